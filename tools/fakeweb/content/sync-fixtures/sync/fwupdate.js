// Sync fixture of the fake content server: the "fwupdate" phase. It looks for
// the device's firmware update ("fwupdate.json" per model and firmware):
// none ends ready; one marked optional is noted (the shell then moves this
// phase to the end of the run) and, when the phase runs again at the end,
// left for another time. An update that names its archive ("url", an https
// address ending in ".zip") and is not optional is downloaded through the
// bridge, which hands it to the synchroniser; the archive's stored path
// ("fwupdfilezippath") then goes to the device's update, after which the
// device restarts and comes back with its answer.
function Fwupdate(eLocal, eUserSync, eContent) {
    this.name = "fwupdate";
    this.eLocal = eLocal;
    this.eUserSync = eUserSync;
    this.eContent = eContent;
    this.runs = 0;
    this.syncStatus = 0;
    this.showInSummary = false;
    this.finishText = "";
    this.moreInfoText = "";
}

Fwupdate.prototype.runSyncPhase = function () {
    "use strict";
    var self = this;
    this.runs += 1;
    if (this.runs > 1 && smain.fwUpdCheckStatus === fwCheckStatusEnum.optional) {
        smain.fwUpdCheckStatus = fwCheckStatusEnum.none;
        smain.syncPhaseReady();
        return;
    }
    App.Common.findSyncResource("fwupdate.json", function (data) {
        var found = !!data && typeof data === "object";
        var optional = found && data.optional === true;
        if (found && !optional && typeof data.url === "string") {
            smain.fwUpdCheckStatus = fwCheckStatusEnum.mandatory;
            self.download(data.url);
            return;
        }
        smain.fwUpdCheckStatus = optional ? fwCheckStatusEnum.optional : fwCheckStatusEnum.none;
        smain.syncPhaseReady();
    });
};

// Each step listens for its own answer only while it waits for it.
Fwupdate.prototype.listen = function (signals, handler) {
    "use strict";
    var done = false;
    var slots = [];
    function release() {
        for (var i = 0; i < slots.length; ++i)
            slots[i].signal.disconnect(slots[i].slot);
        slots = [];
    }
    signals.forEach(function (entry) {
        var slot = function () {
            if (done)
                return;
            done = true;
            release();
            handler(entry.good, Array.prototype.slice.call(arguments));
        };
        slots.push({ signal: entry.signal, slot: slot });
        entry.signal.connect(slot);
    });
    return release;
};

Fwupdate.prototype.finish = function (good, detail) {
    "use strict";
    this.syncStatus = good ? 0 : -1;
    this.showInSummary = true;
    this.finishText = good ? "progress_info_fwupdate" : "progress_info_fwupdatefail";
    this.moreInfoText = good ? "" : App.Common.escapeHtml("fwupdate: " + detail);
    smain.syncPhaseReady();
};

Fwupdate.prototype.download = function (url) {
    "use strict";
    var self = this;
    App.Common.setText("progress_syncmessage", "fwupdate_downloading");
    var release = this.listen([{ signal: JSObject.SIGNAL_fileWritten, good: true },
                               { signal: JSObject.SIGNAL_fail, good: false }],
                              function (good, args) {
        if (!good) {
            self.finish(false, args[1]);
            return;
        }
        self.update(App.Common.getSessionVariable(FILEPATH_FWUPDATEZIPFILEPATH));
    });
    if (!JSObject.SLOT_downloadFirmware(url)) {
        release();
        this.finish(false, "refused " + url);
    }
};

Fwupdate.prototype.update = function (zipPath) {
    "use strict";
    var self = this;
    smain.updateSyncStatus(this.name, 0);
    this.listen([{ signal: JSObject.SIGNAL_continueWithDevice, good: true }],
                function (good, args) {
        self.finish(App.Common.hasFlag(args[1], "OK"), args[1]);
    });
    JSObject.SLOT_updateFirmware(zipPath, true);
};
