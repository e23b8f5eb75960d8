// An offline dialog (built-in pages): fonts set on the elements, files and
// quick dialogs read through the offline endpoint.
JSObject.SLOT_setDialogStateOffline();

(function () {
    "use strict";

    PT.table("offline state", [{ label: "the bridge says offline" }], function (row, t) {
        t.eq(App.Common.isOfflineDialog(), true);
    });

    PT.table("dropFonts offline", [
        { lang: "ja", body: "14px", header: "20px", family: /Helvetica/, tab: /Helvetica/ },
        { lang: "zh_CN", body: "14px", header: "20px", family: /Helvetica/, tab: /Helvetica/ },
        { lang: "de", body: "15px", header: "23px", family: /Nimbus Sans Novus Cond Bold/ },
        { lang: "", body: "15px", header: "23px", family: /Nimbus Sans Novus Cond Bold/ }
    ], function (row, t) {
        Host.reset();
        $("#pageContent").append("<span class=\"tabheader\">tab</span>");
        App.Common.dropFonts(row.lang);
        t.eq($("body").css("font-size"), row.body, "body size");
        t.eq($("#index_header").css("font-size"), row.header, "header size");
        t.ok(row.family.test($("#index_header").css("font-family")) ||
             row.lang.indexOf("ja") >= 0 || row.lang.indexOf("zh") >= 0, "header family " + $("#index_header").css("font-family"));
        if (row.tab)
            t.ok(row.tab.test($(".tabheader").css("font-family")), "tab family");
        t.eq($("#rs_fonts").attr("href"), "../ui/css/fonts.css", "link unchanged");
    });

    PT.table("offline reads", [
        { label: "translation file", run: function () {
              Host.offlineAnswer = function (call) {
                  call.success("\ufeff{\"LANG_CODE\":\"fi\"}", "success", {});
              };
              var loaded = [];
              App.Common.loadTranslationFile(this, "fi", "tr/translations.json", function (data) {
                  loaded.push(App.Common.createLocObject(data).LANG_CODE);
              });
              return [Host.calls.offlineRead.map(function (c) { return [c.path, c.contentType]; }),
                      Host.calls.contentRead.length, loaded];
          }, want: [[["tr/translations_fi.json", "application/json"]], 0, ["fi"]] },
        { label: "quick dialog", run: function () {
              App.Common.loadQuickDialog(App.syncMain.eOffline, App.syncMain.eContent, "ui/quickhelp.html", 1, "", "");
              return [Host.calls.offlineRead.map(function (c) { return [c.path, c.contentType]; }),
                      Host.calls.contentRead.length];
          }, want: [[["ui/quickhelp.html", "text/html"]], 0] }
    ], function (row, t) {
        Host.reset();
        t.eq(row.run(), row.want);
    });
}());
