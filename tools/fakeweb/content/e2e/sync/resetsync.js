// Backup, factory reset and restore phase of the end-to-end runs, switched on
// by the content server's "backup.json" ({"backup": true, "dirs": "…"},
// looked up as the device's other sync resources are): the user's folders
// are backed up, the device goes back to its factory content and restarts,
// and the backup is written back onto the returned device. Without the file
// the phase has nothing to do.
function ResetSync(eLocal) {
    "use strict";
    this.name = "resetsync";
    this.eLocal = eLocal;
    this.syncStatus = 0;
    this.syncFailStatus = 0;
    this.showInSummary = false;
    this.finishText = "";
    this.moreInfoText = "";
    this.backupDir = "";
}

// The phase's handlers on the bridge go through the page's bookkeeping: each
// answer releases them, and the page releases what is left when it goes.
ResetSync.prototype.listen = function (signalName, method) {
    "use strict";
    var self = this;
    if (!self.links)
        self.links = new App.BridgeLinks();
    self.links.connect(signalName, function () {
        return method.apply(self, arguments);
    });
};

ResetSync.prototype.release = function () {
    "use strict";
    if (this.links)
        this.links.release();
};

// Every user's settings and daily activity folders.
ResetSync.defaultDirs = "/U/[USER]/S,/U/[USER]/[YYYYMMDD]/ACT";

ResetSync.prototype.runSyncPhase = function () {
    "use strict";
    var self = this;
    App.syncMain.resetSyncOngoing = true;
    App.syncMain.updateSyncStatus(self.name, 0);
    App.Common.findSyncResource("backup.json", function (data) {
        if (typeof data === "string" && data !== "") {
            try {
                data = JSON.parse(data);
            } catch (e) {
                data = null;
            }
        }
        if (!data || data.backup !== true) {
            self.ready();
            return;
        }
        var dirs = data.dirs ? String(data.dirs) : ResetSync.defaultDirs;
        App.Common.log("Backup of " + dirs);
        self.listen("SIGNAL_backupDone", self.backedUp);
        JSObject.SLOT_doBackup(dirs, "", "");
    });
};

ResetSync.prototype.ready = function () {
    "use strict";
    App.syncMain.resetSyncOngoing = false;
    App.syncMain.syncPhaseReady();
};

ResetSync.prototype.fail = function (flags) {
    "use strict";
    JSObject.SLOT_disconnectFWUpdateSignals();
    this.release();
    JSObject.SLOT_dontAutosyncDevice("");
    App.syncMain.resetSyncOngoing = false;
    this.syncStatus = -1;
    this.syncFailStatus = 1;
    App.Common.log("Backup and restore failed: " + flags);
    App.Common.parseLocalReply(flags);
    App.syncMain.errorCase();
};

ResetSync.prototype.backedUp = function (backupDir, flags) {
    "use strict";
    var self = this;
    JSObject.SLOT_disconnectFWUpdateSignals();
    this.release();
    App.Common.log("Backup done: " + backupDir + " " + flags);
    if (!App.Common.hasFlag(flags, "OK") || backupDir === "") {
        self.fail(flags);
        return;
    }
    self.backupDir = String(backupDir);
    App.syncMain.updateSyncStatus(self.name, 33);
    // The device restarts with its factory content; its window waits for it.
    JSObject.SLOT_dontAutosyncDevice(App.Common.getTCDeviceId());
    self.listen("SIGNAL_continueWithDevice", self.deviceBack);
    self.listen("SIGNAL_fail", self.resetFailed);
    JSObject.SLOT_doReset(false, true);
};

ResetSync.prototype.resetFailed = function (data, flags) {
    "use strict";
    this.fail(flags);
};

ResetSync.prototype.deviceBack = function (deviceId, flags) {
    "use strict";
    var self = this;
    JSObject.SLOT_disconnectFWUpdateSignals();
    this.release();
    JSObject.SLOT_dontAutosyncDevice("");
    App.Common.log("Device " + deviceId + " is back after the reset: " + flags);
    App.syncMain.updateSyncStatus(self.name, 66);
    self.listen("SIGNAL_backupRevertDone", self.restored);
    JSObject.SLOT_revertBackup(self.backupDir);
};

ResetSync.prototype.restored = function (flags) {
    "use strict";
    JSObject.SLOT_disconnectFWUpdateSignals();
    this.release();
    App.Common.log("Backup restored: " + this.backupDir + " " + flags);
    if (!App.Common.hasFlag(flags, "OK")) {
        this.fail(flags);
        return;
    }
    this.ready();
};
