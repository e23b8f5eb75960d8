// The exercises phase of the end-to-end runs. Every exercise folder of the
// user's day folders ("<user dir>/<yyyyMMdd>/E/<hhmmss>/") that has no
// "SYNCED.TXT" yet is uploaded: its exercise file "BASE.BPB" goes to the sync
// endpoint as "exercises/<yyyyMMdd>/<hhmmss>" (a binary write of the bridge),
// then the marker file is written, so the next sync skips the folder.
function Exercises(eLocal, eUserSync) {
    "use strict";
    this.name = "exercises";
    this.eLocal = eLocal;
    this.eUserSync = eUserSync;
    this.syncStatus = 0;
    this.syncFailStatus = 0;
    this.showInSummary = true;
    this.finishText = "progress_info_exercises";
    this.moreInfoText = "";
    this.folders = [];
}

Exercises.markerFile = "SYNCED.TXT";
Exercises.exerciseFile = "BASE.BPB";

Exercises.prototype.runSyncPhase = function () {
    "use strict";
    var self = this;
    this.syncStatus = 0;
    this.syncFailStatus = 0;
    this.finishText = "progress_info_exercises";
    smain.updateSyncStatus("exercises", 0);
    this.eLocal.getDailySubdirsWithoutFile(this, function (list, status) {
        if (!App.Common.hasFlag(status, "OK")) {
            self.fail("listing: " + status);
            return;
        }
        self.folders = (list || []).map(function (folder) {
            return String(folder).replace(/\/+$/, "");
        });
        App.Common.log("e2e exercises to upload: " + self.folders.length);
        self.upload(0);
    }, "[YYYYMMDD]/E/[SUBDIR]", Exercises.markerFile);
};

Exercises.prototype.upload = function (index) {
    "use strict";
    var self = this;
    if (index >= this.folders.length) {
        this.syncStatus = 0;
        smain.updateSyncStatus("exercises", 100);
        smain.syncPhaseReady();
        return;
    }
    var folder = this.folders[index];
    // "20260101/E/120000"
    var parts = folder.split("/");
    var address = "exercises/" + parts[0] + "/" + parts[parts.length - 1];
    // Each step's time as the page sees it, for the end-to-end benchmark.
    var started = Date.now();
    var read = 0;
    var uploaded = 0;
    this.eLocal.read(folder + "/" + Exercises.exerciseFile, this, function (data) {
        read = Date.now();
        self.eUserSync.write(address, self, function () {
            uploaded = Date.now();
            self.eLocal.write(folder + "/" + Exercises.markerFile, self, function () {
                App.Common.log("e2e exercise steps: read " + (read - started) + " upload " +
                               (uploaded - read) + " marker " + (Date.now() - uploaded));
                smain.updateSyncStatus("exercises", Math.round(100 * (index + 1) /
                                                               self.folders.length));
                self.upload(index + 1);
            }, function (data, status) {
                self.fail("marker of " + folder + ": " + status);
            }, "application/x-protobuf", btoa("synced\n"));
        }, function (data, status) {
            self.fail("upload of " + folder + ": " + status);
        }, "application/x-protobuf", "application/json", data, "PUT");
    }, function (data, status) {
        self.fail("read of " + folder + ": " + status);
    }, "application/x-protobuf");
};

Exercises.prototype.fail = function (what) {
    "use strict";
    App.Common.log("e2e exercises failed: " + what);
    this.syncStatus = -1;
    this.syncFailStatus = 1;
    this.finishText = "progress_info_exercisesfail";
    this.moreInfoText = App.Common.escapeHtml("exercises: " + what);
    smain.syncPhaseReady();
};
