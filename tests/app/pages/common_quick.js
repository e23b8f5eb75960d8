// Quick dialogs: filling the template and the first-use help.
(function () {
    "use strict";

    var template =
        "<!DOCTYPE html><html><head><title>Zarvo RavoSync</title>" +
        "<script>window.quickTemplateRan = true;<\/script></head><body>" +
        "<div id=\"mainpage\"><div id=\"content\">[TEXT]</div></div><div id=\"buttons\">" +
        "<div id=\"button_ok\" class=\"button\"><div class=\"buttonText i18n\">Ok</div></div>" +
        "<div id=\"button_syncagain\" class=\"button\"><div class=\"buttonText i18n\">Sync again</div></div>" +
        "<div id=\"button_later\" class=\"button\"><div class=\"buttonText i18n\">Later</div></div>" +
        "</div></body></html>";

    // Runs fn with a "JSObject" that records SLOT_showQuickDialog.
    function shownDialogs(fn) {
        var shown = [];
        var real = window.JSObject;
        window.JSObject = {
            SLOT_isOfflineDialog: function () { return false; },
            SLOT_getVariable: function (key) { return real.SLOT_getVariable(key); },
            SLOT_showQuickDialog: function (type, html, script) { shown.push([type, html, script]); }
        };
        try {
            fn();
        } finally {
            window.JSObject = real;
        }
        return shown;
    }

    PT.table("showQuickDialog", [
        { label: "text, labels and layout", type: 1, text: "<b>Help</b> $& text", script: "x();",
          check: function (t, dialog) {
              var doc = new DOMParser().parseFromString(dialog[1], "text/html");
              t.eq(doc.getElementById("content").innerHTML, "<b>Help</b> $&amp; text", "text");
              t.eq($(doc).find("#button_ok .i18n").text(), "OK", "translated label");
              t.eq($(doc).find("#button_syncagain .i18n").text(), "Sync again", "label by its key");
              t.eq($(doc).find("#button_later .i18n").text(), "Later", "untranslated label kept");
              t.eq(doc.querySelectorAll("script").length, 1, "template script kept");
              t.eq(dialog[2], "x();changeLayout(1);", "script");
          } },
        { label: "no script", type: 0, text: "", script: undefined,
          check: function (t, dialog) { t.eq(dialog[2], "changeLayout(0);", "script"); } }
    ], function (row, t) {
        Host.reset();
        window.quickTemplateRan = false;
        var shown = shownDialogs(function () {
            App.Common.showQuickDialog(row.type, template, row.text, row.script);
        });
        t.eq(shown.length, 1, "shown");
        t.eq(shown[0][0], row.type, "type");
        t.eq(window.quickTemplateRan, false, "template scripts never run in this page");
        row.check(t, shown[0]);
    });

    PT.table("loadQuickDialog", [{ label: "reads from the content server" }], function (row, t) {
        Host.reset();
        Host.contentAnswer = function (call) {
            call.success(template, "success", {});
        };
        var shown = shownDialogs(function () {
            App.Common.loadQuickDialog(App.syncMain.eOffline, App.syncMain.eContent, "ui/quickhelp.html", 1,
                                       "i18n.error_message_copyaddress", "");
        });
        t.eq(Host.calls.contentRead.map(function (c) { return [c.path, c.contentType]; }),
             [["ui/quickhelp.html", "text/html"]], "read");
        t.eq(shown.length, 1, "shown");
        t.ok(shown[0][1].indexOf("Copy the address below") >= 0, "text");
    });

    PT.table("openFTUhelp", [{ label: "address as text, copied on the first click" }], function (row, t) {
        Host.reset();
        var address = "https://www.ravo.test/settings/device/firstTime?token=a&deviceid=1\"<img src=x onerror=window.hit=1>\u2028'";
        App.Common.setSessionVariable("ftu_url", address);
        dialogTypes = { PromptDialog: 0, QuickHelpDialog: 1 };
        Host.contentAnswer = function (call) {
            call.success(template, "success", {});
        };
        var shown = shownDialogs(function () {
            App.Common.openFTUhelp();
        });
        t.eq(shown.length, 1, "shown");
        t.eq(shown[0][0], 0, "prompt");
        t.eq(Host.calls.contentRead[0].path, "ui/quickhelp.html", "template");

        // The script as the quick page runs it, here against this page's
        // elements, with its "JSObject" standing in for the window object.
        var copied = [];
        var real = window.JSObject;
        window.changeLayout = function () { return true; };
        window.hit = 0;
        window.JSObject = { SLOT_copyToClipboard: function (text) { copied.push(text); },
                            SLOT_close: function () {} };
        try {
            (0, eval)(shown[0][2]);
            $("#button_save").trigger("click").trigger("click");
        } finally {
            window.JSObject = real;
        }
        t.eq($("#button_save").css("display") !== "none", true, "Save shown");
        t.eq($("#button_save .i18n").text(), "Copy address", "label");
        var paragraphs = $("#mainpage > p");
        t.eq(paragraphs.length, 2, "paragraphs");
        t.eq(paragraphs.eq(0).text(), "Copy the address below and open it in your web browser:", "instruction");
        t.eq(paragraphs.eq(1).text(), address, "address as text");
        t.eq(window.hit, 0, "no markup ran");
        t.eq(copied, [address], "copied once");
    });
}());
