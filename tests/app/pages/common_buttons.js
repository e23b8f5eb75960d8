// The dialog buttons, the Synchronize and Settings buttons and the panels.
(function () {
    "use strict";

    var all = ["button_ok", "button_yes", "button_syncagain", "button_networksettings", "button_save",
               "button_saveandclose", "button_close", "button_cancel", "button_no", "button_later"];

    function shown(id) {
        return $(document.getElementById(id)).css("display") !== "none";
    }

    function shownButtons() {
        return all.filter(shown).sort();
    }

    PT.table("showButtons", [
        { label: "three names show two", args: ["ok", "close", "cancel"], shown: ["button_close", "button_ok"], main: "button_ok" },
        { label: "savenclose", args: ["savenclose"], shown: ["button_saveandclose"], main: null },
        { label: "syncagain and close", args: ["syncagain", "close"], shown: ["button_close", "button_syncagain"], main: "button_syncagain" },
        { label: "yes and cancel", args: ["yes", "cancel"], shown: ["button_cancel", "button_yes"], main: "button_yes" },
        { label: "no and later", args: ["no", "later"], shown: ["button_later", "button_no"], main: null },
        { label: "save and networksettings", args: ["save", "networksettings"], shown: ["button_networksettings", "button_save"], main: null },
        { label: "signin has no button", args: ["signin"], shown: [], main: null },
        { label: "unknown name", args: ["bogus", "ok"], shown: ["button_ok"], main: "button_ok" },
        { label: "without arguments the dialog values", preset: { close: 1, networksettings: 1, syncagain: 1 },
          args: [], shown: ["button_close", "button_networksettings", "button_syncagain"], main: "button_syncagain" },
        { label: "with arguments the values are reset", preset: { close: 1, later: 1 }, args: ["ok"],
          shown: ["button_ok"], main: "button_ok" }
    ], function (row, t) {
        Host.reset();
        $.each(all, function (i, id) {
            $(document.getElementById(id)).show();
        });
        $.each(row.preset || {}, function (name, value) {
            errorDlgValues.buttons[name] = value;
        });
        App.Common.showButtons.apply(null, row.args);
        t.eq(shownButtons(), row.shown, "shown");
        t.eq(shown("buttons"), true, "button row");
        t.eq(shown("progress_container"), false, "progress area");
        t.eq(shown("button_settings") || shown("button_synchronize"), false, "footer buttons");
        var main = $(".buttonDefaultAction").map(function () { return this.id; }).get();
        t.eq(main, row.main ? [row.main] : [], "default action");
        if (row.args.length > 2)
            t.eq(errorDlgValues.buttons.cancel, 0, "third name not set");
    });

    PT.table("showButtons none", [{ label: "calls the progress page's hideButtons" }], function (row, t) {
        Host.reset();
        App.Common.showButtons("none");
        t.eq(Host.calls.hideButtons.length, 1, "hideButtons");
        t.eq(shown("buttons"), false, "button row untouched");
    });

    PT.table("button clicks", [
        { label: "sync again resyncs once", args: ["syncagain", "close"], click: "button_syncagain", times: 2,
          check: function (t) { t.eq(Host.calls.reSync.length, 1, "reSync calls"); } },
        { label: "shown twice binds once", args: ["syncagain"], again: true, click: "button_syncagain", times: 1,
          check: function (t) { t.eq(Host.calls.reSync.length, 1, "reSync calls"); } },
        { label: "network settings opens the panel on tab 1", args: ["networksettings"], click: "button_networksettings", times: 1,
          check: function (t) {
              t.eq($("#pbSettings").attr("type"), "off", "panel up");
              t.eq(Host.calls.loadAllSettings.length, 1, "settings loaded");
              t.eq(Host.calls.showTabIndex, [[1]], "tab");
          } }
    ], function (row, t) {
        Host.reset();
        App.Common.showButtons.apply(null, row.args);
        if (row.again)
            App.Common.showButtons.apply(null, row.args);
        for (var i = 0; i < row.times; ++i)
            $(document.getElementById(row.click)).trigger("click");
        row.check(t);
    });

    // The window's close: the real bridge's is a gtest of its own, since it
    // ends the page.
    PT.table("buttons that close the window", [
        { value: "ok", id: "button_ok" },
        { value: "close", id: "button_close" },
        { value: "cancel", id: "button_cancel" }
    ], function (row, t) {
        Host.reset();
        App.Common.showButtons(row.value);
        var closes = 0;
        var real = window.JSObject;
        window.JSObject = { SLOT_close: function () { ++closes; } };
        try {
            $(document.getElementById(row.id)).trigger("click");
        } finally {
            window.JSObject = real;
        }
        t.eq(closes, 1, "SLOT_close calls");
    });

    PT.table("Synchronize and Settings buttons", [
        { label: "enable sync", run: function () { App.Common.enableSyncButton(); },
          check: function (t) {
              t.ok(!$("#button_synchronize").hasClass("buttonDisabled"), "enabled");
              t.ok($("#button_synchronize").hasClass("buttonDefaultAction"), "default action");
              $("#pbSynchronize").trigger("click").trigger("click");
              t.eq(Host.calls.reSync.length, 1, "one resync");
          } },
        { label: "disable sync", run: function () { App.Common.enableSyncButton(); App.Common.disableSyncButton(); },
          check: function (t) {
              t.ok($("#button_synchronize").hasClass("buttonDisabled"), "disabled");
              t.ok(!$("#button_synchronize").hasClass("buttonDefaultAction"), "no default action");
              $("#pbSynchronize").trigger("click");
              t.eq(Host.calls.reSync.length, 0, "no resync");
          } },
        { label: "disable settings", run: function () { App.Common.disableSettingsButton(); },
          check: function (t) {
              t.eq($("#pbSettings").attr("onclick"), undefined, "click removed");
              t.ok($("#settings_button_img").hasClass("settingsButtonImgDisabled"), "picture disabled");
              t.ok($("#pbSettings").hasClass("buttonDisabled"), "button disabled");
          } },
        { label: "enable settings again, panel down", run: function () { App.Common.disableSettingsButton(); App.Common.enableSettingsButton(); },
          check: function (t) {
              t.eq($("#pbSettings").attr("onclick"), "App.Common.showHideSettings()", "click restored");
              t.ok($("#settings_button_img").hasClass("settingsButtonImg"), "picture");
              t.ok(!$("#settings_button_img").hasClass("settingsButtonImgDisabled"), "not disabled");
              t.ok(!$("#pbSettings").hasClass("buttonDisabled"), "button enabled");
              t.ok(!shown("button_settings"), "Save stays hidden");
          } },
        { label: "enable settings, panel up", run: function () {
              $("#pbSettings").attr("type", "off");
              App.Common.disableSettingsButton();
              App.Common.enableSettingsButton();
          },
          check: function (t) {
              t.ok(shown("button_settings"), "Save shown");
              t.ok($("#button_settings").hasClass("buttonDefaultAction"), "default action");
          } },
        { label: "setDefaultActionButtonTo moves the class", run: function () {
              App.Common.setDefaultActionButtonTo("button_ok");
              App.Common.setDefaultActionButtonTo("button_close");
          },
          check: function (t) {
              t.eq($(".buttonDefaultAction").map(function () { return this.id; }).get(), ["button_close"]);
          } },
        { label: "setDefaultActionButtonTo nothing", run: function () {
              App.Common.setDefaultActionButtonTo("button_ok");
              App.Common.setDefaultActionButtonTo();
          },
          check: function (t) { t.eq($(".buttonDefaultAction").length, 0); } }
    ], function (row, t) {
        Host.reset();
        row.run();
        row.check(t);
    });

    PT.table("settings panel", [
        { label: "up and down", check: function (t) {
              App.Common.showHideSettings();
              t.eq($("#pbSettings").attr("type"), "off", "type after up");
              t.ok($("#pbSettings").hasClass("settings_on"), "class after up");
              t.eq($("#settings_button_img").attr("title"), "Hide settings", "tooltip after up");
              t.eq(shown("pbSynchronize"), false, "Synchronize hidden");
              t.eq(Host.calls.loadAllSettings.length, 1, "loaded");
              App.Common.showHideSettings();
              t.eq($("#pbSettings").attr("type"), "on", "type after down");
              t.ok($("#pbSettings").hasClass("settings_off"), "class after down");
              t.eq(shown("pbSynchronize"), true, "Synchronize shown");
              t.eq(shown("button_settings"), false, "Save hidden");
              t.eq(Host.calls.saveAllSettings.length, 1, "saved");
              t.waitFor(function () { return !shown("pageSettings"); }, function () {
                  t.eq($("#pageSettings").css("z-index"), "0", "z-index");
                  t.done();
              });
          } },
        { label: "progress bar", check: function (t) {
              App.Common.chgProgressbar("up");
              t.eq($("#progress_container").attr("type"), "up", "up");
              t.ok(shown("progbord"), "bar shown");
              App.Common.chgProgressbar("down");
              t.eq($("#progress_container").attr("type"), "down", "down");
              t.waitFor(function () { return !shown("progbord"); }, function () {
                  t.eq($("#progress_container").css("bottom"), "-12px", "bottom edge");
                  t.done();
              });
          } },
        { label: "page instruction", check: function (t) {
              App.Common.showPageInstruction();
              t.waitFor(function () { return shown("pageInstrText") && !shown("instrImg"); }, function () {
                  App.Common.hidePageInstruction();
                  t.waitFor(function () { return !shown("pageInstrText") && shown("instrImg"); }, function () {
                      t.done();
                  });
              });
          } }
    ], function (row, t) {
        Host.reset();
        row.check(t);
    });
}());
