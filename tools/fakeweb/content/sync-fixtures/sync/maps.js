// Sync fixture of the fake content server: the "maps" phase. It has nothing
// to do yet and ends ready at once.
function Maps(eLocal, eUserSync, eOffline) {
    this.name = "maps";
    this.eLocal = eLocal;
    this.eUserSync = eUserSync;
    this.eOffline = eOffline;
    this.syncStatus = 0;
    this.showInSummary = false;
    this.finishText = "";
    this.moreInfoText = "";
}

Maps.prototype.runSyncPhase = function () {
    "use strict";
    smain.syncPhaseReady();
};
