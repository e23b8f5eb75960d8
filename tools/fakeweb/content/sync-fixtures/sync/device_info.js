// Sync fixture of the fake content server: the "device_info" phase. It finds
// the device's sync logic (per model and firmware, else the general one) and
// hands it to the shell, which runs the phases it names.
function DeviceInfo(eContent) {
    this.name = "device_info";
    this.eContent = eContent;
    this.syncStatus = 0;
    this.showInSummary = false;
    this.finishText = "";
    this.moreInfoText = "";
}

DeviceInfo.prototype.runSyncPhase = function () {
    "use strict";
    App.Common.findSyncResource("synclogic.json", function (data) {
        smain.processSynclogic(data);
    });
};
