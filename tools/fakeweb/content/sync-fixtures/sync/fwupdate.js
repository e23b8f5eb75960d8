// Sync fixture of the fake content server: the "fwupdate" phase. It looks for
// the device's firmware update ("fwupdate.json" per model and firmware):
// none ends ready; one marked optional is noted (the shell then moves this
// phase to the end of the run) and, when the phase runs again at the end,
// left for another time.
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
    this.runs += 1;
    if (this.runs > 1 && smain.fwUpdCheckStatus === fwCheckStatusEnum.optional) {
        smain.fwUpdCheckStatus = fwCheckStatusEnum.none;
        smain.syncPhaseReady();
        return;
    }
    App.Common.findSyncResource("fwupdate.json", function (data) {
        var optional = !!data && typeof data === "object" && data.optional === true;
        smain.fwUpdCheckStatus = optional ? fwCheckStatusEnum.optional : fwCheckStatusEnum.none;
        smain.syncPhaseReady();
    });
};
