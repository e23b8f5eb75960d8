// Sync fixture of the fake content server: the "resetsync" phase, run from
// the settings panel. It removes the device's sync bookkeeping, so the next
// run sends everything again, and starts that run.
function ResetSync(eLocal) {
    this.name = "resetsync";
    this.eLocal = eLocal;
    this.syncStatus = 0;
    this.showInSummary = false;
    this.finishText = "";
    this.moreInfoText = "";
}

ResetSync.prototype.runSyncPhase = function () {
    "use strict";
    function again() {
        smain.resetSyncOngoing = false;
        smain.reSync();
    }
    // A device without bookkeeping yet has nothing to remove.
    this.eLocal.removeEntries(this, again, function (data, status) {
        if (App.Common.hasFlag(status, "FILE_OR_DIR_NOT_FOUND")) {
            again();
            return;
        }
        smain.resetSyncOngoing = false;
        App.Common.parseLocalReply(status);
        smain.errorCase("", status);
    }, ["SYNC/SYNCINFO.BPB"]);
};
