// The user settings phase of the end-to-end runs: the user's settings file
// as the web service holds it ("user-settings" below the sync endpoint) is
// written to the device as "UDEVSET.BPB" in the user's folder.
function UserSettings(eLocal, eUserSync) {
    "use strict";
    this.name = "user_settings";
    this.eLocal = eLocal;
    this.eUserSync = eUserSync;
    this.syncStatus = 0;
    this.syncFailStatus = 0;
    this.showInSummary = false;
    this.finishText = "";
    this.moreInfoText = "";
}

UserSettings.settingsFile = "UDEVSET.BPB";

UserSettings.prototype.runSyncPhase = function () {
    "use strict";
    var self = this;
    this.syncStatus = 0;
    this.syncFailStatus = 0;
    smain.updateSyncStatus("user_settings", 0);
    this.eUserSync.read("user-settings", this, function (data) {
        self.eLocal.write(UserSettings.settingsFile, self, function () {
            self.syncStatus = 0;
            smain.updateSyncStatus("user_settings", 100);
            smain.syncPhaseReady();
        }, function (data, status) {
            self.fail("write: " + status);
        }, "application/x-protobuf", data);
    }, function (data, status) {
        self.fail("download: " + status);
    }, "application/x-protobuf", "application/x-protobuf");
};

UserSettings.prototype.fail = function (what) {
    "use strict";
    App.Common.log("e2e user settings failed: " + what);
    this.syncStatus = -1;
    this.syncFailStatus = 1;
    this.moreInfoText = App.Common.escapeHtml("user_settings: " + what);
    smain.syncPhaseReady();
};
