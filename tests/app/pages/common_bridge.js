// What the bridge evaluates in the page, the bridge wrappers and the
// fonts, on a content-server page (not an offline dialog).
(function () {
    "use strict";

    // Replaces the page's "JSObject" for one call, as in the quick-help page
    // where it is the window object with only a few slots.
    function withJSObject(stand_in, fn) {
        var real = window.JSObject;
        window.JSObject = stand_in;
        try {
            if (window.JSObject !== stand_in)
                throw new Error("JSObject cannot be replaced in this page");
            return fn();
        } finally {
            window.JSObject = real;
        }
    }

    PT.table("scripts the bridge evaluates", [
        { script: "App.Common.parseLocalReply('OK',true)", want: true },
        { script: "App.Common.parseLocalReply('OK, FILE_OR_DIR_NOT_FOUND',false)", want: false },
        { script: "App.Common.parseLocalReply('GET_CHALLENGE_TOKEN_FAILED',true)", want: false },
        { script: "App.Common.parseRemoteReply(200)", want: true },
        { script: "App.Common.parseRemoteReply(0)", want: false },
        { script: "App.Common.setText('progress_syncmessage','fwupdate_updating');", text: "Updating firmware" },
        { script: "App.Common.setText('progress_syncmessage','fwupdate_waitingrestart');", text: "Waiting for the device to restart" },
        { script: "App.Common.setText('progress_syncmessage','filewrite_updating');", text: "Writing files to the device" },
        { script: "App.Common.setText('progress_syncmessage','filewrite_waitingrestart');", text: "Finishing writing to the device" },
        { script: "App.Common.setText('progress_syncmessage','ktupdate_installing');", text: "Installing the update" },
        { script: "App.Common.setText('progress_syncmessage','ktupdate_downloading', [1,3]);", text: "Downloading file 1 of 3" },
        { script: "App.syncMain.updateSyncStatus(self.name, App.Common.countMyProgress(3, 1, 100, 50));",
          check: function (t) { t.eq(Host.calls.updateSyncStatus, [[window.name, 50]], "progress"); } },
        { script: "App.syncMain.updateSyncStatus(self.name, -1);",
          check: function (t) { t.eq(Host.calls.updateSyncStatus, [[window.name, -1]], "running bar"); } },
        { script: "App.Common.setText('progress_syncmessage','maps_downloading_received',['2.6']);",
          check: function (t) {
              t.eq($("#progress_syncmessage").text(), "Downloading maps: 2.6 MB received.", "message");
          } },
        { script: "App.syncMain.errorCase();", check: function (t) { t.eq(Host.calls.errorCase.length, 1, "errorCase"); } },
        { script: "smain.errorCase();", check: function (t) { t.eq(Host.calls.errorCase.length, 1, "errorCase"); } },
        { script: "errorDlgValues.buttons.syncagain=1;", check: function (t) { t.eq(errorDlgValues.buttons.syncagain, 1); } },
        { script: "errorDlgValues.buttons.close=1;", check: function (t) { t.eq(errorDlgValues.buttons.close, 1); } },
        { script: "errorDlgValues.buttons.networksettings=1;", check: function (t) { t.eq(errorDlgValues.buttons.networksettings, 1); } },
        { script: "errorDlgValues.buttons.syncagain=1;errorDlgValues.buttons.close=1;",
          check: function (t) { t.eq([errorDlgValues.buttons.syncagain, errorDlgValues.buttons.close], [1, 1]); } },
        { script: "App.Common.showHideSettings(); showTabIndex(1);",
          check: function (t) {
              t.eq($("#pbSettings").attr("type"), "off", "panel up");
              t.eq(Host.calls.showTabIndex, [[1]], "tab");
          } }
    ], function (row, t) {
        Host.reset();
        var result = (0, eval)(row.script);
        if (row.want !== undefined)
            t.eq(result, row.want, "result");
        if (row.text !== undefined)
            t.eq($("#progress_syncmessage").text().split(".").join(""), row.text, "progress message");
        if (row.check)
            row.check(t);
    });

    PT.table("bridge wrappers", [
        { label: "page variables", run: function () {
              App.Common.setSessionVariable("probe", "v1");
              return App.Common.getSessionVariable("probe");
          }, want: "v1" },
        { label: "user name and password copied", run: function () {
              App.Common.setUsername("ann");
              App.Common.setPassword("secret");
              return [App.Common.getUsername(), App.Common.getPassword(), App.syncMain.username, App.syncMain.password];
          }, want: ["ann", "secret", "ann", "secret"] },
        { label: "model falls back to generic", run: function () {
              App.Common.setSessionVariable("tcmodel", "");
              var empty = App.Common.getTCModel();
              App.Common.setSessionVariable("tcmodel", "ZarvoTovri2");
              return [empty, App.Common.getTCModel()];
          }, want: ["generic", "ZarvoTovri2"] },
        { label: "request address empties the reply address", run: function () {
              App.Common.setSessionVariable("replyurl", "https://old.test/");
              App.Common.setRequestUrl("https://content.ravo.test/x");
              return [App.Common.getSessionVariable("requesturl"), App.Common.getSessionVariable("replyurl")];
          }, want: ["https://content.ravo.test/x", ""] },
        { label: "progress info", run: function () {
              App.Common.setProgressInfo(2, 5);
              return [App.Common.getSessionVariable("major_phase"), App.Common.getSessionVariable("major_phases")];
          }, want: ["2", "5"] },
        { label: "colour and design", run: function () {
              App.Common.setSessionVariable("tccolor", "/Black/Red");
              App.Common.setSessionVariable("tcdesign", "Brillane");
              return [App.Common.getModelWithColor(), App.Common.getModelWithDesign()];
          }, want: ["black/red", "brillane"] },
        { label: "settings", run: function () {
              App.Common.saveAppSetting("openwebaftersync", "true");
              return App.Common.loadAppSetting("openwebaftersync");
          }, want: "true" },
        { label: "without JSObject", run: function () {
              return withJSObject(undefined, function () {
                  App.Common.setSessionVariable("probe", "v2");
                  App.Common.saveAppSetting("probe", "v2");
                  return [App.Common.getSessionVariable("probe"), App.Common.loadAppSetting("probe"),
                          App.Common.getTCModel(), App.Common.getTCDeviceId(), App.Common.isOfflineDialog()];
              });
          }, want: ["", "", "generic", "", false] }
    ], function (row, t) {
        Host.reset();
        t.eq(row.run(), row.want);
    });

    PT.table("dropFonts", [
        { lang: "ja", want: "../ui/css/fonts_asia.css" },
        { lang: "zh_CN", want: "../ui/css/fonts_asia.css" },
        { lang: "de", want: "../ui/css/fonts.css" },
        { lang: "", want: "../ui/css/fonts.css" },
        { label: "quick-help page: no SLOT_getOSVersion", lang: "de", want: "../ui/css/fonts.css",
          jsobject: { SLOT_isOfflineDialog: function () { return false; },
                      SLOT_loadAppSetting: function () { return ""; } } },
        { label: "mac versions take the system face", lang: "de", want: "../ui/css/fonts_mav.css",
          jsobject: { SLOT_isOfflineDialog: function () { return false; },
                      SLOT_getOSVersion: function () { return "mac11"; } } }
    ], function (row, t) {
        Host.reset();
        $("#rs_fonts").attr("href", "../ui/css/none.css");
        if (row.jsobject)
            withJSObject(row.jsobject, function () { App.Common.dropFonts(row.lang); });
        else
            App.Common.dropFonts(row.lang);
        t.eq($("#rs_fonts").attr("href"), row.want);
    });

    // The header face is the web font of the page tree: one TrueType file.
    PT.table("header web font", [{ label: "style sheet and font file" }], function (row, t) {
        t.async(20000);
        var sheet = "../ui/css/webfonts/nimbus-sans-novus-cond-bold.css";
        $.ajax({ url: sheet, dataType: "text" })
            .done(t.wrap(function (css) {
                t.ok(css.indexOf("font-family: \"Nimbus Sans Novus Cond Bold\"") >= 0, "family");
                t.eq(css.match(/url\(/g).length, 1, "one source");
                t.ok(css.indexOf("url(\"DejaVuSansCondensed-Bold.ttf\") format(\"truetype\")") >= 0, "TrueType");
                $.ajax({ url: "../ui/css/webfonts/DejaVuSansCondensed-Bold.ttf", dataType: "text" })
                    .done(t.wrap(function (data) {
                        t.ok(data.length > 10000, "font file size " + data.length);
                        t.done();
                    }))
                    .fail(t.wrap(function (xhr) {
                        t.fail("font file: " + xhr.status);
                        t.done();
                    }));
            }))
            .fail(t.wrap(function (xhr) {
                t.fail("style sheet: " + xhr.status);
                t.done();
            }));
    });
}());
