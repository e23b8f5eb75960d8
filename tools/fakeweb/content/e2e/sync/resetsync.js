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
    // The handlers it connects to the bridge, released once answered.
    this.links = new App.BridgeLinks();
}

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
        self.links.connect("SIGNAL_backupDone", self.backedUp.bind(self));
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
    this.links.release();
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
    this.links.release();
    App.Common.log("Backup done: " + backupDir + " " + flags);
    if (!App.Common.hasFlag(flags, "OK") || backupDir === "") {
        self.fail(flags);
        return;
    }
    self.backupDir = String(backupDir);
    App.syncMain.updateSyncStatus(self.name, 33);
    // The device restarts with its factory content; its window waits for it.
    JSObject.SLOT_dontAutosyncDevice(App.Common.getTCDeviceId());
    self.links.connect("SIGNAL_continueWithDevice", self.deviceBack.bind(self));
    self.links.connect("SIGNAL_fail", self.resetFailed.bind(self));
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
    this.links.release();
    JSObject.SLOT_dontAutosyncDevice("");
    App.Common.log("Device " + deviceId + " is back after the reset: " + flags);
    App.syncMain.updateSyncStatus(self.name, 66);
    self.links.connect("SIGNAL_backupRevertDone", self.restored.bind(self));
    JSObject.SLOT_revertBackup(self.backupDir);
};

ResetSync.prototype.restored = function (flags) {
    "use strict";
    JSObject.SLOT_disconnectFWUpdateSignals();
    this.links.release();
    App.Common.log("Backup restored: " + this.backupDir + " " + flags);
    if (!App.Common.hasFlag(flags, "OK")) {
        this.fail(flags);
        return;
    }
    this.ready();
};
