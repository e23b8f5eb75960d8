// Sync fixture of the fake content server: the "maps" phase. It looks for
// the device's map ("maps.json" per model and firmware: "url", the map's
// https address, and "file", its path on the device); none ends ready. A
// map is streamed by the bridge into the offline store after the device's
// free space was asked (the bridge limits the download to it), and the
// stored map ("storagefilename") is then written to the device from there.
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
    var self = this;
    var mapType = "application/x-zarvo-map";

    function finish(good, detail) {
        self.syncStatus = good ? 0 : -1;
        self.showInSummary = true;
        self.finishText = good ? "progress_info_maps" : "progress_info_mapsfail";
        self.moreInfoText = good ? "" : App.Common.escapeHtml("maps: " + detail);
        smain.syncPhaseReady();
    }
    function failed(data, status) {
        finish(false, status);
    }

    App.Common.findSyncResource("maps.json", function (data) {
        if (!data || typeof data !== "object" || typeof data.url !== "string" ||
            typeof data.file !== "string") {
            smain.syncPhaseReady();
            return;
        }
        App.Common.setText("progress_syncmessage", "progress_syncing_maps");
        smain.updateSyncStatus(self.name, 0);
        self.eLocal.getFreeSpace(self, function () {
            self.eUserSync.read(data.url, self, function () {
                self.eLocal.writeOfflineFileToTC(data.file, self, function () {
                    finish(true);
                }, failed, mapType, "", "true");
            }, failed, mapType, "application/octet-stream", "false");
        });
    });
};
