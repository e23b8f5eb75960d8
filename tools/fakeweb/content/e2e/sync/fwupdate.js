// Firmware update phase of the end-to-end runs. The content server names the
// newest firmware in "fwupdate.json" ({"version": "x.y.z", "url": "https://…
// .zip"}, looked up as the device's other sync resources are); when it is
// newer than the device's, the archive is downloaded, the device is kept out
// of the automatic sync while it restarts, and the whole sync runs once more
// after its return. Without the file, or with an older version, the phase
// has nothing to do.
function Fwupdate(eLocal, eUserSync, eContent) {
    "use strict";
    this.name = "fwupdate";
    this.eLocal = eLocal;
    this.eUserSync = eUserSync;
    this.eContent = eContent;
    this.syncStatus = 0;
    this.syncFailStatus = 0;
    this.showInSummary = false;
    this.finishText = "";
    this.moreInfoText = "";
    // The handlers it connects to the bridge, released once answered.
    this.links = new App.BridgeLinks();
}

// -1, 0 or 1 as version text a is older than, the same as or newer than b.
Fwupdate.compareVersions = function (a, b) {
    "use strict";
    var x = String(a).split(".");
    var y = String(b).split(".");
    for (var i = 0; i < Math.max(x.length, y.length); ++i) {
        var p = parseInt(x[i] || "0", 10) || 0;
        var q = parseInt(y[i] || "0", 10) || 0;
        if (p !== q)
            return p < q ? -1 : 1;
    }
    return 0;
};

Fwupdate.prototype.runSyncPhase = function () {
    "use strict";
    var self = this;
    App.syncMain.updateSyncStatus(self.name, 0);
    App.Common.findSyncResource("fwupdate.json", function (data) {
        if (typeof data === "string" && data !== "") {
            try {
                data = JSON.parse(data);
            } catch (e) {
                data = null;
            }
        }
        var current = JSObject.SLOT_getVariable("tcfirmware");
        if (!data || !data.version || !data.url ||
            Fwupdate.compareVersions(data.version, current) <= 0) {
            App.Common.log("Firmware " + current + " is up to date.");
            self.ready();
            return;
        }
        App.Common.log("Firmware update from " + current + " to " + data.version);
        self.download(String(data.url));
    });
};

Fwupdate.prototype.ready = function () {
    "use strict";
    App.syncMain.syncPhaseReady();
};

Fwupdate.prototype.fail = function (flags) {
    "use strict";
    JSObject.SLOT_disconnectWriteSignals();
    JSObject.SLOT_disconnectFWUpdateSignals();
    this.links.release();
    JSObject.SLOT_dontAutosyncDevice("");
    this.syncStatus = -1;
    this.syncFailStatus = 1;
    App.Common.log("Firmware update failed: " + flags);
    App.Common.parseLocalReply(flags);
    App.syncMain.errorCase();
};

Fwupdate.prototype.download = function (url) {
    "use strict";
    var self = this;
    App.Common.setText("progress_syncmessage", "fwupdate_updating");
    // The archive is stored by the window's synchroniser, whose write result
    // names nothing but the flags; its path is in "fwupdfilezippath".
    self.links.connect("SIGNAL_fileWritten", self.downloaded.bind(self));
    self.links.connect("SIGNAL_fail", self.downloadFailed.bind(self));
    if (!JSObject.SLOT_downloadFirmware(url))
        self.downloadFailed("", "FW_UPDATE_FAILED|INVALID_CONTENT", "");
};

Fwupdate.prototype.downloadFailed = function (data, flags) {
    "use strict";
    this.fail(flags);
};

Fwupdate.prototype.downloaded = function () {
    "use strict";
    var self = this;
    JSObject.SLOT_disconnectWriteSignals();
    this.links.release();
    var archive = JSObject.SLOT_getVariable("fwupdfilezippath");
    App.Common.log("Firmware archive stored: " + archive);
    var deviceId = App.Common.getTCDeviceId();
    JSObject.SLOT_changeSyncState(syncStates.FwUpdateOnGoing);
    // The device restarts with its new firmware; its window waits for it.
    JSObject.SLOT_dontAutosyncDevice(deviceId);
    self.links.connect("SIGNAL_continueWithDevice", self.deviceBack.bind(self));
    self.links.connect("SIGNAL_fail", self.updateFailed.bind(self));
    JSObject.SLOT_updateFirmware(archive, true);
};

Fwupdate.prototype.updateFailed = function (data, flags) {
    "use strict";
    this.fail(flags);
};

Fwupdate.prototype.deviceBack = function (deviceId, flags) {
    "use strict";
    JSObject.SLOT_disconnectFWUpdateSignals();
    this.links.release();
    JSObject.SLOT_dontAutosyncDevice("");
    App.Common.log("Device " + deviceId + " is back with firmware " +
                   JSObject.SLOT_getVariable("tcfirmware") + ": " + flags);
    JSObject.SLOT_changeSyncState(syncStates.SyncOn);
    App.syncMain.runPostSyncProcess = true;
    this.ready();
};
