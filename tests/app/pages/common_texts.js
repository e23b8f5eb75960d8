// Translated texts: tags, lookups, elements and the blinking progress
// message.
(function () {
    "use strict";

    PT.table("replaceTags", [
        { label: "two NUMBER tags in order", key: "ktupdate_downloading", args: [2, 5], want: "Downloading file 2 of 5..." },
        { label: "constant tag takes the file's value", key: "app_name", args: ["ignored"], want: "Zarvo RavoSync" },
        { label: "argument as text", text: "Charging [LEVEL]", args: ["<b>x</b>"], want: "Charging &lt;b&gt;x&lt;/b&gt;" },
        { label: "constant beside arguments", text: "[APPNAME]: [NUMBER] of [NUMBER]", args: [1, 3], want: "RavoSync: 1 of 3" },
        { label: "missing argument leaves nothing", text: "file [NUMBER] of [NUMBER]", args: [1], want: "file 1 of " },
        { label: "single argument", text: "Charging [LEVEL]", args: "80%", want: "Charging 80%" },
        { label: "no closing bracket", text: "a [b", args: [1], want: "a [b" },
        { label: "no tags", text: "plain", args: [1], want: "plain" }
    ], function (row, t) {
        Host.reset();
        var i18n = App.syncMain.i18n;
        var text = row.key ? i18n[row.key] : row.text;
        t.eq(App.Common.replaceTags(i18n, text, row.args), row.want);
    });

    PT.table("getText", [
        { id: "button_ok", want: "OK" },
        { id: "i18n.button_ok", want: "OK" },
        { id: "App.syncMain.i18n.button_ok", want: "OK" },
        { id: "ktupdate_downloading", args: [1, 3], want: "Downloading file 1 of 3..." },
        { label: "missing key gives the id", id: "no_such_key", want: "no_such_key" },
        { label: "no translation object gives the id", id: "button_ok", noI18n: true, want: "button_ok" }
    ], function (row, t) {
        Host.reset();
        if (row.noI18n)
            delete App.syncMain.i18n;
        t.eq(App.Common.getText(row.id, row.args), row.want);
    });

    PT.table("getTrText", [
        { id: "i18n.button_ok", want: "<span class=\"i18n\" id=\"button_ok\" textid=\"button_ok\">OK</span>" }
    ], function (row, t) {
        Host.reset();
        t.eq(App.Common.getTrText(row.id), row.want);
    });

    PT.table("setText", [
        { label: "missing key leaves the element", elem: "plain", id: "no_such_key",
          check: function (t) {
              t.eq($("#plain").html(), "plain text", "element");
              t.eq(Host.logged("Could not change text to element: plain, textid: no_such_key").length, 1, "log line");
          } },
        { label: "empty id only logs", elem: "plain", id: "",
          check: function (t) {
              t.eq($("#plain").html(), "plain text", "element");
              t.eq(Host.logged("Not a valid textid when setting text to element: plain").length, 1, "log line");
          } },
        { label: "no translation object changes nothing", elem: "plain", id: "button_ok", noI18n: true,
          check: function (t) {
              t.eq($("#plain").html(), "plain text", "element");
              t.eq(Host.logged("setText").length, 1, "exception logged");
          } },
        { label: "input gets value and textid", elem: "login_username", id: "i18n.login_username",
          check: function (t) {
              var input = $("#login_username");
              t.eq(input.val(), "Username", "value");
              t.eq(input.attr("textid"), "login_username", "textid");
              t.eq(input.attr("title"), "", "title");
          } },
        { label: "i18n element gets the text", elem: "index_header", id: "progress_syncongoingheader",
          check: function (t) {
              t.eq($("#index_header").html(), "Syncing", "text");
              t.eq($("#index_header").attr("textid"), "progress_syncongoingheader", "textid");
          } },
        { label: "button's inner i18n element", elem: "button_close", id: "button_close",
          check: function (t) {
              t.eq($("#button_close .i18n").html(), "Close", "label");
              t.eq($("#button_close").children().length, 1, "children");
          } },
        { label: "other element gets a span", elem: "plain", id: "button_ok",
          check: function (t) {
              t.eq($("#plain").html(), "<span class=\"i18n\" id=\"button_ok\" textid=\"button_ok\">OK</span>", "html");
          } },
        { label: "arguments escaped", elem: "plain", id: "progress_charging", args: ["<img src=x onerror=alert(1)>"],
          check: function (t) {
              t.eq($("#plain img").length, 0, "no element made");
              t.eq($("#plain").text(), "Charging <img src=x onerror=alert(1)>", "text");
          } },
        { label: "device name escaped", elem: "plain", id: "sync_tcconnectedheader", model: "<img src=x onerror=alert(1)>",
          check: function (t) {
              t.eq($("#plain img").length, 0, "no element made");
              t.eq($("#plain").text(), "<img src=x onerror=alert(1)> connected", "text");
          } }
    ], function (row, t) {
        Host.reset();
        if (row.noI18n)
            delete App.syncMain.i18n;
        if (row.model !== undefined) {
            App.Common.setSessionVariable("tcfullmodel", row.model);
            App.syncMain.i18n = App.Common.createLocObject(Host.translations());
        }
        App.Common.setText(row.elem, row.id, row.args);
        row.check(t);
    });

    PT.table("progress message blinking", [
        { label: "three dots blink, next text stops", first: "progress_connecting", blinks: true, then: "button_ok" },
        { label: "bridge download text blinks", first: "ktupdate_downloading", args: [1, 3], blinks: true, then: "progress_syncongoingheader" },
        { label: "dots at the start do not blink", first: "progress_ellipsis_first", blinks: false, then: "button_ok" },
        { label: "missing key still stops", first: "fwupdate_updating", blinks: true, then: "no_such_key" }
    ], function (row, t) {
        Host.reset();
        App.Common.setText("progress_syncmessage", row.first, row.args);
        t.eq(App.Common.blinkId !== null, row.blinks, "blinking after the first text");
        if (!row.blinks) {
            App.Common.setText("progress_syncmessage", row.then);
            t.eq(App.Common.blinkId, null, "still not blinking");
            return;
        }
        var base = $("#progress_syncmessage").text();
        t.ok(base.indexOf("...") < 0, "dots removed at the start: " + base);
        // The dots come one at a time.
        t.waitFor(function () {
            return $("#progress_syncmessage").text() === base + "..";
        }, function () {
            App.Common.setText("progress_syncmessage", row.then);
            t.eq(App.Common.blinkId, null, "stopped by the next text");
            t.done();
        });
    });
}());
