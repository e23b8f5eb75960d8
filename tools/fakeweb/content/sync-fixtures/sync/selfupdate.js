// Sync fixture of the fake content server: the "selfupdate" phase. It reads
// the content server's version file (which also names the content-delivery
// address) and hands back to the shell; a missing version file only skips
// the check. A version file whose "update" is mandatory ({"mandatory": true,
// "path": below the content-delivery address, "installer": its file name,
// "libs": the libraries' names}) has the bridge download the program's
// update from the content delivery; the controller then installs it.
function SelfUpdate(eOffline, eContent) {
    this.name = "selfupdate";
    this.eOffline = eOffline;
    this.eContent = eContent;
    this.syncStatus = 0;
    this.showInSummary = false;
    this.finishText = "";
    this.moreInfoText = "";
}

SelfUpdate.prototype.runSyncPhase = function () {
    "use strict";
    var self = this;
    App.Common.getCfAddress(this, function (cfUrl) {
        $.ajax({ url: smain.jsonRSVerInfo, type: "GET", dataType: "json", cache: false })
            .done(function (info) {
                var update = info && typeof info === "object" ? info.update : null;
                if (update && typeof update === "object" && update.mandatory === true)
                    self.update(cfUrl, update);
                else
                    smain.rsVersionCheckDone();
            })
            .fail(function () {
                smain.rsVersionCheckDone();
            });
    }, function () {
        App.Common.log("selfupdate: no version information, no update check.");
        smain.rsVersionCheckDone();
    });
};

SelfUpdate.prototype.update = function (cfUrl, update) {
    "use strict";
    App.Common.setText("index_header", "ktupdate_headerupdating");
    App.Common.setText("progress_syncmessage", "ktupdate_info_mustupdate");
    var libs = Array.isArray(update.libs) ? update.libs.map(String) : [];
    var failed = function (data, status) {
        release();
        App.Common.log("selfupdate: the update failed: " + status);
        App.Common.setText("pageInstrText", "error_message_mandatoryupdate");
        smain.errorCase("", status);
    };
    var installing = function () {
        release();
    };
    function release() {
        JSObject.SIGNAL_fail.disconnect(failed);
        JSObject.SIGNAL_ravoSyncInstallerDownloadDone.disconnect(installing);
    }
    JSObject.SIGNAL_fail.connect(failed);
    JSObject.SIGNAL_ravoSyncInstallerDownloadDone.connect(installing);
    // A refused update answers through SIGNAL_fail before it returns.
    JSObject.SLOT_updateRavoSync(App.Common.combineUrl(cfUrl, String(update.path || "")),
                                 String(update.installer || ""), libs);
};
