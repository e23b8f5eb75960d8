// Sync fixture of the fake content server: the "authenticate" phase. It makes
// the device's token pair, asks the web service whether the device has an
// owner and hands over to the login (registered) or to the first-time use.
// Once logged in, the shell calls getUserId, which reads the device's user
// file and starts the phases of the sync logic.
function Authenticate(eLocal, eRemote, eUserSync) {
    this.name = "authenticate";
    this.eLocal = eLocal;
    this.eRemote = eRemote;
    this.userEndpoint = eUserSync;
    this.publicToken = "";
    this.secretToken = "";
    this.firstTimeUse = false;
    this.syncStatus = 0;
    this.showInSummary = false;
    this.finishText = "";
    this.moreInfoText = "";
}

Authenticate.prototype.runSyncPhase = function () {
    "use strict";
    var self = this;
    this.publicToken = String(JSObject.SLOT_getSecret(32));
    this.secretToken = String(JSObject.SLOT_getSecret(32));
    this.firstTimeUse = false;
    var device = encodeURIComponent(App.Common.getTCDeviceId());
    this.eRemote.read("devices/" + device + "/registration", this, function (data) {
        if (typeof data === "string") {
            try {
                data = JSON.parse(data);
            } catch (e) {
                data = null;
            }
        }
        if (data && data.registered === true) {
            smain.runSyncWithLogin();
            return;
        }
        self.firstTimeUse = true;
        smain.deviceRegistered();
    }, function (data, status, obj) {
        App.Common.parseRemoteReply(status, obj);
        smain.errorCase(obj, status, status);
    }, "application/json", "application/json");
};

Authenticate.prototype.getUserId = function () {
    "use strict";
    this.eLocal.read("USERID.BPB", this, function () {
        smain.runSyncPhases();
    }, function (data, status) {
        App.Common.parseLocalReply(status);
        smain.errorCase("", status);
    }, "application/x-protobuf");
};
