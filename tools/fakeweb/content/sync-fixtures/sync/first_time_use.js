// Sync fixture of the fake content server: the "first_time_use" phase. It
// posts the device's data with its public token to the web service, where
// the user then claims the device in the browser.
function FirstTimeUse(eLocal, eRemote) {
    this.name = "first_time_use";
    this.eLocal = eLocal;
    this.eRemote = eRemote;
    this.syncStatus = 0;
    this.showInSummary = false;
    this.finishText = "";
    this.moreInfoText = "";
}

FirstTimeUse.prototype.runSyncPhase = function (publicToken) {
    "use strict";
    var C = App.Common;
    var device = C.getTCDeviceId();
    var body = JSON.stringify({
        deviceId: device,
        model: C.getSessionVariable(CONFIG_TAGNAME_CURRENTTCFULLMODEL),
        firmware: C.getSessionVariable(CONFIG_TAGNAME_CURRENTTCFIRMWARE),
        publicToken: String(publicToken === undefined || publicToken === null ? "" : publicToken)
    });
    this.eRemote.write("devices/" + encodeURIComponent(device) + "/firsttime", this, function () {
        smain.firstTimeDataDone();
    }, function (data, status, obj) {
        C.parseRemoteReply(status, obj);
        smain.errorCase(obj, status, status);
    }, "application/json", "application/json", body);
};
