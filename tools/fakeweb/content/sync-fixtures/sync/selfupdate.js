// Sync fixture of the fake content server: the "selfupdate" phase. It reads
// the content server's version file (which also names the content-delivery
// address) and hands back to the shell; a missing version file only skips
// the check.
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
    App.Common.getCfAddress(this, function () {
        smain.rsVersionCheckDone();
    }, function () {
        App.Common.log("selfupdate: no version information, no update check.");
        smain.rsVersionCheckDone();
    });
};
