// The settings panel in the real main page ("ui/index.html" from the fake
// content server), with a device published to the window and the progress
// page in the content area (settings_test.cpp). "StubDevice" is the stub
// synchroniser; quick dialogs are recorded instead of shown.
(function () {
    "use strict";

    var C = App.Common;
    var device = { id: "00004001", model: "ZarvoTovri2", firmware: "1.2.3",
                   fullModel: "Zarvo Tovri 2" };

    var S = { logs: [], quick: [], links: [] };
    window.SettingsTest = S;

    var consoleLog = console.log;
    console.log = function (text) {
        S.logs.push(String(text));
        return consoleLog.apply(console, arguments);
    };

    C.loadQuickDialog = function (eOff, eOnl, url, dlgType, textId, script) {
        S.quick.push({ url: url, dlgType: dlgType, textId: textId,
                       script: script === undefined ? null : script });
    };

    var realBridge = window.JSObject;
    // The bridge members the panel uses, should the bridge object not list
    // its members.
    var bridgeNames = [
        "SLOT_getVariable", "SLOT_saveVariable", "SLOT_loadAppSetting", "SLOT_saveAppSetting",
        "SLOT_setApplicationToStartAtLogin", "SLOT_initConfigs", "SLOT_openExternalLink",
        "SLOT_dontAutosyncDevice", "SLOT_doFactoryReset", "SLOT_disconnectFWUpdateSignals",
        "SLOT_disconnectReadSignals", "SLOT_startSync", "SLOT_stopSync", "SLOT_deleteFwUpdFiles",
        "SLOT_copyLangsToLocal", "SLOT_copyFirmwareData", "SLOT_readBinaryFromRemote",
        "SLOT_stopReqTimer", "SLOT_isOfflineDialog", "SLOT_getOSVersion", "SLOT_showQuickDialog",
        "SLOT_changeSyncState", "SIGNAL_continueWithDevice", "SIGNAL_fail",
        "SIGNAL_firmwareDataCopied", "SIGNAL_fileRead"
    ];

    // Puts a bridge with the slots of overrides in place of the page's own
    // until the next reset (www/bridge_stand_in.js).
    S.standIn = function (overrides) {
        var partial = bridgeStandIn(realBridge, bridgeNames, overrides);
        window.JSObject = partial;
        if (window.JSObject !== partial)
            throw new Error("JSObject cannot be replaced");
    };

    S.setDevice = function (d) {
        C.setSessionVariable("tcdeviceid", d.id);
        C.setSessionVariable("tcmodel", d.model);
        C.setSessionVariable("tcfirmware", d.firmware);
        C.setSessionVariable("tcfullmodel", d.fullModel || "");
    };

    // The panel down without saving, the device back, nothing recorded.
    S.reset = function (d) {
        window.JSObject = realBridge;
        $("*").stop(true, true);
        if ($("#pbSettings").attr("type") !== "on")
            C.chgSettings("pageSettings", "down");
        $("#pageSettings").stop(true, true);
        realBridge.SLOT_disconnectFWUpdateSignals();
        realBridge.SLOT_disconnectReadSignals();
        realBridge.SLOT_dontAutosyncDevice("");
        StubDevice.silence();
        StubDevice.clear();
        S.logs = [];
        S.quick = [];
        S.links = [];
        S.setDevice(d || device);
        realBridge.SLOT_saveAppSetting("language", "en");
        smain.syncOngoing = false;
        smain.runOngoing = false;
        smain.resetSyncOngoing = false;
        smain.factoryResetOngoing = false;
        smain.errorShown = false;
    };

    S.open = function () {
        if ($("#pbSettings").attr("type") === "on")
            C.showHideSettings();
    };

    S.close = function () {
        if ($("#pbSettings").attr("type") !== "on")
            C.showHideSettings();
    };

    S.setting = function (key) {
        return String(realBridge.SLOT_loadAppSetting(key));
    };

    S.store = function (values) {
        Object.keys(values).forEach(function (key) {
            realBridge.SLOT_saveAppSetting(key, values[key]);
        });
    };

    S.calls = function () {
        return JSON.parse(StubDevice.calls());
    };

    S.callsNamed = function (name) {
        return S.calls().filter(function (call) {
            return call.name === name;
        }).map(function (call) {
            return call.args;
        });
    };

    S.logged = function (text) {
        return S.logs.some(function (line) {
            return line.indexOf(text) >= 0;
        });
    };

    // The text key an element shows.
    S.keyOf = function (selector) {
        return $(selector).find("[textid]").addBack("[textid]").last().attr("textid");
    };

    S.plain = function (key) {
        return $("<div></div>").html(C.getText(key)).text();
    };

    var tabs = ["generaltab", "networktab", "abouttab"];

    PT.table("tabs", [
        { label: "general", index: 0, shown: "generaltab" },
        { label: "network", index: 1, shown: "networktab" },
        { label: "about", index: 2, shown: "abouttab" },
        { label: "about as text", index: "2", shown: "abouttab" },
        { label: "any other value is the network tab", index: 7, shown: "networktab" },
        { label: "negative", index: -1, shown: "networktab" }
    ], function (row, t) {
        S.reset();
        showTabIndex(row.index);
        tabs.forEach(function (tab) {
            var on = tab === row.shown;
            t.eq($("#" + tab).hasClass("tabheader_on"), on, tab + " on");
            t.eq($("#" + tab).hasClass("tabheader_off"), !on, tab + " off");
            t.eq($("#" + tab + "data").css("display") !== "none", on, tab + " content shown");
        });
    });

    PT.table("tab headers show their tabs", [
        { label: "about", click: "abouttab", shown: "abouttabdata" },
        { label: "network", click: "networktab", shown: "networktabdata" },
        { label: "general", click: "generaltab", shown: "generaltabdata" }
    ], function (row, t) {
        S.reset();
        $("#" + row.click).trigger("click");
        t.eq($(".tabdata").filter(function () {
            return $(this).css("display") !== "none";
        }).map(function () {
            return this.id;
        }).get(), [row.shown]);
    });

    var proxyFields = ["#txtProxy", "#txtProxyPort", "#txtProxyUser", "#txtProxyPass"];
    var stored = { proxyname: "proxy.zarvo.test", proxyport: "3128", proxyusername: "ann",
                   proxypassword: "s3cret" };

    function fieldValues() {
        return proxyFields.map(function (id) {
            return $(id).val();
        });
    }

    function fieldsEnabled() {
        return proxyFields.map(function (id) {
            return !$(id).prop("disabled");
        });
    }

    PT.table("proxy settings load", [
        { label: "none", type: "0", radio: "rbNoProxy", fields: ["", "", "", ""], manual: false },
        { label: "an empty value counts as none", type: "", radio: "rbNoProxy",
          fields: ["", "", "", ""], manual: false, empty: true },
        { label: "automatic", type: "1", radio: "rbAutoProxy",
          fields: ["proxy.zarvo.test", "3128", "ann", "s3cret"], manual: false },
        { label: "manual", type: "2", radio: "rbManualProxy",
          fields: ["proxy.zarvo.test", "3128", "ann", "s3cret"], manual: true },
        { label: "any other value is manual", type: "7", radio: "rbManualProxy",
          fields: ["proxy.zarvo.test", "3128", "ann", "s3cret"], manual: true }
    ], function (row, t) {
        S.reset();
        $(proxyFields.join(",")).val("typed before");
        S.store($.extend({ proxytype: row.type }, stored));
        // The store gives its built-in value for an empty text; the page
        // may still get one from another program's store.
        if (row.empty)
            S.standIn({ SLOT_loadAppSetting: function (key) {
                return key === "proxytype" ? "" : realBridge.SLOT_loadAppSetting(key);
            } });
        S.open();
        t.eq($("input[name=proxytype]:checked").attr("id"), row.radio, "radio button");
        t.eq(fieldValues(), row.fields, "fields");
        t.eq(fieldsEnabled(), [row.manual, row.manual, row.manual, row.manual], "editable");
    });

    PT.table("proxy radio buttons", [
        { label: "manual enables the fields", radio: "rbManualProxy", manual: true },
        { label: "automatic disables them", radio: "rbAutoProxy", manual: false },
        { label: "none disables them", radio: "rbNoProxy", manual: false }
    ], function (row, t) {
        S.reset();
        S.store({ proxytype: row.manual ? "1" : "2" });
        S.open();
        $("#" + row.radio).trigger("click");
        t.ok($("#" + row.radio).prop("checked"), "chosen");
        t.eq(fieldsEnabled(), [row.manual, row.manual, row.manual, row.manual], "editable");
    });

    PT.table("proxy settings save and read back", [
        { label: "none: type 0, everything empty", radio: "rbNoProxy",
          saved: { proxytype: "0", proxyname: "", proxyport: "", proxyusername: "",
                   proxypassword: "" },
          hostAndPort: ["", ""] },
        { label: "automatic: type 1, the four values empty", radio: "rbAutoProxy",
          saved: { proxytype: "1", proxyname: "", proxyport: "", proxyusername: "",
                   proxypassword: "" },
          hostAndPort: ["", ""] },
        { label: "manual: the four fields", radio: "rbManualProxy",
          saved: { proxytype: "2", proxyname: "cache.zarvo.test", proxyport: "8080",
                   proxyusername: "bob", proxypassword: "pa ss" },
          hostAndPort: ["cache.zarvo.test", "8080"] }
    ], function (row, t) {
        S.reset();
        S.store($.extend({ proxytype: "2" }, stored));
        S.open();
        $("#" + row.radio).trigger("click");
        $("#txtProxy").val("cache.zarvo.test");
        $("#txtProxyPort").val("8080");
        $("#txtProxyUser").val("bob");
        $("#txtProxyPass").val("pa ss");
        S.close();
        Object.keys(row.saved).forEach(function (key) {
            t.eq(S.setting(key), row.saved[key], key);
        });
        t.eq([$("#txtProxy").val(), $("#txtProxyPort").val()], row.hostAndPort,
             "host and port fields hold what was saved");
        S.open();
        t.eq($("input[name=proxytype]:checked").attr("id"),
             row.radio === "rbNoProxy" ? "rbNoProxy" : row.radio, "read back");
        if (row.radio === "rbManualProxy")
            t.eq(fieldValues(), ["cache.zarvo.test", "8080", "bob", "pa ss"], "fields read back");
        else if (row.radio === "rbNoProxy")
            t.eq(fieldValues(), ["", "", "", ""], "fields read back");
    });

    PT.table("check boxes", [
        { label: "both ticked", open: true, start: true },
        { label: "neither", open: false, start: false },
        { label: "only the web service", open: true, start: false }
    ], function (row, t) {
        S.reset();
        S.store({ openwebaftersync: row.open ? "false" : "true",
                  startwithos: row.start ? "false" : "true" });
        S.open();
        t.eq($("#cbOpenService").prop("checked"), !row.open, "loaded");
        $("#cbOpenService").prop("checked", row.open);
        $("#cbRunAutomatically").prop("checked", row.start);
        S.close();
        t.eq(S.setting("openwebaftersync"), row.open ? "true" : "false", "openwebaftersync");
        t.eq(S.setting("startwithos"), row.start ? "true" : "false", "startwithos");
        t.eq(S.callsNamed("initConfigs").length, 1, "configuration applied once");
        S.open();
        t.eq([$("#cbOpenService").prop("checked"), $("#cbRunAutomatically").prop("checked")],
             [row.open, row.start], "read back");
    });

    PT.table("language list", [
        { label: "unset is English", language: "", label_: "en",
          list: ["de", "ja", "zh_CN"] },
        { label: "German", language: "de", label_: "de", list: ["en", "ja", "zh_CN"] },
        { label: "Japanese", language: "ja", label_: "ja", list: ["de", "en", "zh_CN"] }
    ], function (row, t) {
        S.reset();
        C.setSessionVariable("avllangcodes", "de,en,ja,zh_CN");
        S.store({ language: row.language });
        S.open();
        t.eq($("#currentLang").attr("lang"), row.label_, "label code");
        t.eq($("#currentLang").text(), S.plain("language_" + row.label_), "label text");
        var $items = $("#langSelection li");
        t.eq($items.map(function () {
            return $(this).attr("lang");
        }).get(), row.list, "the other languages");
        $items.each(function () {
            var code = $(this).attr("lang");
            var asian = code === "ja" || code === "zh_CN";
            t.eq($(this).text(), S.plain("language_" + code), code + " text");
            t.eq([this.style.fontFamily, this.style.fontSize],
                 asian ? ["Helvetica, Arial", "14px"] : ["", ""], code + " font");
        });
        t.eq($("#langSelection").css("display"), "none", "closed");
        $("#currentLang").trigger("click");
        t.ok($("#langSelection").css("display") !== "none", "label opens the list");
        t.ok($("#dd").hasClass("dropdownOpen"), "arrow up");
        $("#about_version").trigger("click");
        t.eq($("#langSelection").css("display"), "none", "a click elsewhere closes it");
        $("#currentLang").trigger("click");
        $("#langSelection li").first().trigger("click");
        t.eq($("#currentLang").attr("lang"), row.list[0], "entry chosen");
        t.eq($("#currentLang").text(), S.plain("language_" + row.list[0]), "its text");
        t.eq($("#langSelection").css("display"), "none", "closed after the choice");
        t.ok(!$("#dd").hasClass("dropdownOpen"), "arrow down");
    });

    function buttonState(id) {
        return { disabled: $("#" + id).hasClass("buttonDisabled"), title: $("#" + id).attr("title") };
    }

    PT.table("factory reset and resync buttons", [
        { label: "no device", id: "", trigger: "tcOnline",
          factory: [true, "devicelist_notcavailable"], resync: [true, "devicelist_notcavailable"] },
        { label: "device idle", id: "00004001", trigger: "tcOnline",
          factory: [false, "generalsettings_factoryreset"],
          resync: [false, "generalsettings_syncreset"] },
        { label: "device gone", id: "", trigger: "tcOffline.settings",
          factory: [true, "devicelist_notcavailable"], resync: [true, "devicelist_notcavailable"] },
        { label: "sync running", id: "00004001", syncOngoing: true, trigger: "tcOnline",
          factory: [true, ""], resync: [true, ""] },
        { label: "run started, not yet signed in", id: "00004001", runOngoing: true,
          trigger: "tcOnline", factory: [true, ""], resync: [true, ""] },
        { label: "resync running", id: "00004001", resetSyncOngoing: true, trigger: "tcOnline",
          factory: [true, ""], resync: [true, ""] },
        { label: "factory reset running", id: "00004001", factoryResetOngoing: true,
          trigger: "tcOnline", factory: [true, ""], resync: [true, ""] },
        { label: "panel opened without a device", id: "", open: true,
          factory: [true, "devicelist_notcavailable"], resync: [true, "devicelist_notcavailable"] },
        { label: "panel opened with a device", id: "00004001", open: true,
          factory: [false, "generalsettings_factoryreset"],
          resync: [false, "generalsettings_syncreset"] },
        { label: "shell disables both at a run's start", id: "00004001", trigger: "tcOnline",
          shell: "disableSyncResetButton", factory: [true, ""], resync: [true, ""] },
        { label: "shell enables it again", id: "00004001", trigger: "tcOnline",
          shell: "enableSyncResetButton", first: "disableSyncResetButton",
          factory: [false, "generalsettings_factoryreset"],
          resync: [false, "generalsettings_syncreset"] },
        { label: "shell enables it without a device", id: "", trigger: "tcOnline",
          shell: "enableSyncResetButton", first: "disableSyncResetButton",
          factory: [true, "devicelist_notcavailable"], resync: [true, "devicelist_notcavailable"] },
        { label: "shell enables it during a sync", id: "00004001", syncOngoing: true,
          trigger: "tcOnline", shell: "enableSyncResetButton", factory: [true, ""],
          resync: [true, ""] }
    ], function (row, t) {
        S.reset();
        C.setSessionVariable("tcdeviceid", row.id);
        smain.syncOngoing = !!row.syncOngoing;
        smain.runOngoing = !!row.runOngoing;
        smain.resetSyncOngoing = !!row.resetSyncOngoing;
        smain.factoryResetOngoing = !!row.factoryResetOngoing;
        if (row.first)
            window[row.first]();
        if (row.trigger)
            $("#ktpage").trigger(row.trigger, [row.id, row.id, "ZarvoTovri2"]);
        if (row.open)
            S.open();
        if (row.shell)
            window[row.shell]();
        function want(pair) {
            return { disabled: pair[0], title: pair[1] === "" ? "" : S.plain(pair[1]) };
        }
        t.eq(buttonState("button_factoryreset"), want(row.factory), "factory reset");
        t.eq(buttonState("button_syncreset"), want(row.resync), "resync");
    });

    PT.table("quick dialogs", [
        { label: "general help", click: "quickHelpGeneral", type: "QuickHelpDialog",
          textId: "generalsettings_quickhelp", script: null },
        { label: "network help", click: "quickHelpNetwork", type: "QuickHelpDialog",
          textId: "networksettings_quickhelp", script: null },
        { label: "factory reset prompt", click: "button_factoryreset", type: "PromptDialog",
          textId: "generalsettings_factoryreset_prompt",
          script: "App.Common.showButtons('yes','cancel');" }
    ], function (row, t) {
        S.reset();
        S.open();
        $("#" + row.click).trigger("click");
        t.eq(S.quick, [{ url: "ui/quickhelp.html", dlgType: dialogTypes[row.type],
                         textId: row.textId, script: row.script }]);
        t.eq(S.callsNamed("doReset").length, 0, "nothing reset yet");
    });

    PT.table("texts", [
        { label: "tab headers", id: "generaltab", key: "generalsettings_header" },
        { label: "network header", id: "networktab", key: "networksettings_header" },
        { label: "about header", id: "abouttab", key: "about_header" },
        { label: "check box", id: "generalsettings_startwithos", key: "generalsettings_startwithos" },
        { label: "proxy label", id: "networksettings_password", key: "networksettings_password" },
        { label: "application name", id: "about_appname", key: "about_appname" },
        { label: "company link", id: "about_companyurl", key: "about_companyurl" }
    ], function (row, t) {
        S.reset();
        settingsSetTexts();
        t.eq($("#" + row.id).text(), S.plain(row.key));
        t.eq($("#" + row.id).attr("textid"), row.key, "text key");
    });

    PT.table("button texts and tooltips", [
        { label: "factory reset", id: "button_factoryreset", key: "button_factoryreset" },
        { label: "resync", id: "button_syncreset", key: "button_syncreset" }
    ], function (row, t) {
        S.reset();
        settingsSetTexts();
        t.eq($("#" + row.id).text(), S.plain(row.key), "text");
        t.ok($("#" + row.id).css("display") !== "none", "shown whatever the dialog buttons do");
        t.ok($("#" + row.id).attr("title") !== "", "tooltip kept");
        t.eq($("#quickHelpGeneral").attr("title"), S.plain("generalsettings_quickhelp_tooltip"),
             "help tooltip");
    });

    PT.table("about tab", [
        { label: "company", link: "about_companyurl", address: "COMPANYURL" },
        { label: "web service", link: "about_webserviceurl", address: "WEBSERVICEURL" },
        { label: "help", link: "about_apphelpurl", address: "APPHELPURL" }
    ], function (row, t) {
        S.reset();
        settingsSetTexts();
        t.eq($("#about_version").text(), S.setting("ktversion"), "version");
        t.eq($("#about_copyright").text(),
             S.plain("about_copyright") + " " + new Date().getFullYear(), "copyright");
        S.standIn({ SLOT_openExternalLink: function (url) {
            S.links.push(url);
            return true;
        } });
        $("#" + row.link).trigger("click");
        t.eq(S.links, ["http://" + C.getText(row.address)], "opened in the browser");
        t.eq($("#" + row.link).text(), C.getText(row.address), "link text");
    });

    // --- Factory reset ---------------------------------------------------------

    function resetWith(t, d, returnId, flags, then) {
        S.reset(d);
        S.store((function () {
            var o = {};
            o[d.id + "_LastSync_Agps"] = "2026-01-01";
            return o;
        }()));
        StubDevice.play(JSON.stringify({ flags: "OK" }));
        if (returnId !== null)
            StubDevice.answerReset(returnId, flags || "OK");
        S.open();
        t.async(20000);
        quickClicked("button_yes");
        then();
    }

    function plainOf(selector) {
        return $(selector).text();
    }

    PT.table("factory reset of each model", [
        { label: "ZarvoN410 returns and is done", model: "ZarvoN410", returns: "00004001",
          calls: [["doReset", [false, true]], ["initConfigs", []]], header: "sync_tcconnectedheader",
          instruction: "generalsettings_factoryreset_done2", log: "-D N410 factory reset done.",
          excluded: "" },
        { label: "ZarvoN410, another device appears", model: "ZarvoN410", returns: "0000BEEF",
          calls: [["doReset", [false, true]], ["initConfigs", []]], header: "generalsettings_factoryreset_header",
          instruction: "generalsettings_factoryreset_resetting",
          log: "-D Device 0000BEEF appeared, but it is not the device we were waiting for.",
          excluded: "00004001" },
        // Released, the device is no longer awaited: its window may sync it again.
        { label: "a failure only lets go", model: "ZarvoN410", returns: "00004001",
          flags: "GENERAL_ERROR,FACTORYRESET_FAILED",
          calls: [["doReset", [false, true]], ["initConfigs", []]], header: "generalsettings_factoryreset_header",
          instruction: "generalsettings_factoryreset_resetting", log: null,
          excluded: "", released: true },
        { label: "ZarvoTovri sleeps and asks to unplug", model: "ZarvoTovri", returns: null,
          calls: [["doReset", [true, true]], ["initConfigs", []]], header: "devicelist_header", instruction: null,
          unplug: true, excluded: "" }
    ], function (row, t) {
        var d = { id: "00004001", model: row.model, firmware: "1.0.0", fullModel: row.model };
        resetWith(t, d, row.returns, row.flags, function () {
            t.eq($("#pbSettings").attr("type"), "on", "panel closed");
            if (row.returns !== null)
                t.eq(S.keyOf("#index_header"), "generalsettings_factoryreset_header",
                     "resetting header");
            t.waitFor(function () {
                if (row.log)
                    return S.logged(row.log);
                if (row.released)
                    return !StubDevice.connected("SIGNAL_continueWithDevice");
                return S.callsNamed("doReset").length > 0;
            }, function () {
                var calls = S.calls().filter(function (call) {
                    return call.name !== "syncProcessStateChanged";
                }).map(function (call) {
                    return [call.name, call.args];
                });
                t.eq(calls, row.calls, "bridge requests");
                t.eq(S.keyOf("#index_header"), row.header, "header");
                if (row.instruction)
                    t.eq(S.keyOf("#pageInstrText"), row.instruction, "instruction");
                t.eq(String(JSObject.SLOT_dontAutosyncDevice()), row.excluded,
                     "device excluded from automatic sync");
                if (row.unplug)
                    t.eq(S.quick, [{ url: "ui/quickhelp.html", dlgType: dialogTypes.PromptDialog,
                                     textId: "generalsettings_factoryreset_unplug",
                                     script: "App.Common.showButtons('ok');" }], "prompt");
                t.eq(S.setting(d.id + "_LastSync_Agps"), "2026-01-01", "no language copy");
                if (row.log)
                    t.eq(S.logs.filter(function (line) {
                        return line === row.log;
                    }).length, 1, "handled once");
                t.done();
            });
        });
    });

    PT.table("factory reset with languages", [
        { label: "package on the content-delivery host", model: "ZarvoTovri2", firmware: "1.2.3",
          copied: true,
          source: "https://cdn.ravo.test/contentserver/sync/zarvotovri2/1.2.3/langs.zip" },
        { label: "package under the content server", model: "ZarvoTovri2", firmware: "2.0.0",
          copied: true,
          source: "https://content.ravo.test/contentserver/sync/zarvotovri2/langs.zip" },
        { label: "no package anywhere", model: "ZarvoTovri3", firmware: "9.9.9", copied: false,
          source: null, log: "-D Could not find langs. Show factory reset done." },
        { label: "a program that cannot copy the package", model: "ZarvoTovri2",
          firmware: "1.2.3", copied: false, noCopySlot: true,
          source: "https://cdn.ravo.test/contentserver/sync/zarvotovri2/1.2.3/langs.zip",
          log: "-D Could not copy langs: the program cannot write them." }
    ], function (row, t) {
        var d = { id: "00004001", model: row.model, firmware: row.firmware,
                  fullModel: "Zarvo Tovri 2" };
        resetWith(t, d, d.id, "OK", function () {
            if (row.noCopySlot)
                S.standIn({ SLOT_copyLangsToLocal: undefined });
            t.waitFor(function () {
                return S.callsNamed("stopSync").length > 0;
            }, function () {
                var names = S.calls().map(function (call) {
                    return call.name;
                }).filter(function (name) {
                    return name !== "syncProcessStateChanged";
                });
                // Closing the panel saved the settings.
                var want = ["doReset", "initConfigs", "startSync"];
                if (row.copied)
                    want.push("copyFirmwareData");
                want.push("stopSync");
                t.eq(names, want, "bridge requests");
                t.eq(S.callsNamed("stopSync"), [[true]], "stopped as done");
                var reads = S.logs.filter(function (line) {
                    return line.indexOf("-D Remote.Read, url: ") === 0 &&
                           line.indexOf("langs.zip") >= 0;
                }).map(function (line) {
                    return line.substring("-D Remote.Read, url: ".length);
                });
                if (row.source)
                    t.eq(reads[reads.length - 1], row.source, "package found there");
                else
                    t.eq(reads.length, 8, "four places on each host");
                t.eq(S.callsNamed("showOfflineDialog").length, 0, "no offline error dialog");
                t.eq(S.setting(d.id + "_LastSync_Agps"), "", "assisted-positioning data mark");
                t.ok(S.logged("-D Write languages"), "write log");
                t.ok(S.logged("-D Lang file copy done"), "done log");
                if (row.copied) {
                    t.eq(S.callsNamed("copyFirmwareData"), [["/SYS"]], "folder written");
                    t.ok(S.logged("-D Files deleted") ||
                         S.logged("-D Could not delete fw update files."), "update files");
                    t.eq(StubDevice.connected("SIGNAL_firmwareDataCopied"), false, "released");
                } else {
                    t.ok(S.logged(row.log), "reason logged");
                }
                t.eq(S.keyOf("#index_header"), "sync_tcconnectedheader", "header");
                t.eq(S.keyOf("#pageInstrText"), "generalsettings_factoryreset_done2",
                     "instruction");
                t.eq(String(JSObject.SLOT_dontAutosyncDevice()), "", "mark cleared");
                t.eq($("#progress_syncmessage").text(), "", "progress message");
                t.done();
            });
        });
    });

    // A factory reset's handlers would take a running sync's: the reset waits
    // for the run's end (done or failed), and no sync starts during the reset.
    PT.table("factory reset during a sync", [
        { label: "after the run is done", end: "ready" },
        { label: "after the run failed", end: "error" }
    ], function (row, t) {
        var d = { id: "00004001", model: "ZarvoN410", firmware: "1.0.0", fullModel: "ZarvoN410" };
        S.reset(d);
        StubDevice.play(JSON.stringify({ flags: "OK" }));
        StubDevice.answerReset(d.id, "OK");
        // As the run's start leaves the panel.
        smain.runOngoing = true;
        window.disableSyncResetButton();
        S.open();
        $("#button_factoryreset").trigger("click");
        t.eq(S.quick.length, 0, "no prompt during the sync");
        // A prompt left open while the run began, whose update awaits the
        // device's restart: the awaited device stays excluded.
        realBridge.SLOT_dontAutosyncDevice(d.id);
        quickClicked("button_yes");
        t.eq(S.callsNamed("doReset").length, 0, "no reset during the sync");
        t.ok(S.logged("-D A sync is under way: the factory reset is refused."), "refusal logged");
        t.eq(String(JSObject.SLOT_dontAutosyncDevice()), d.id, "the awaited device kept");
        realBridge.SLOT_dontAutosyncDevice("");

        if (row.end === "ready") {
            smain.syncReady(false);
        } else {
            C.parseLocalReply("GENERAL_ERROR");
            smain.errorCase();
        }
        t.eq(buttonState("button_factoryreset").disabled, false, "factory reset enabled");
        $("#button_factoryreset").trigger("click");
        t.eq(S.quick.length, 1, "prompt after the run");
        t.async(20000);
        quickClicked("button_yes");
        t.eq(S.callsNamed("doReset").length, 1, "reset");
        t.eq(buttonState("button_factoryreset").disabled, true, "no second reset");
        t.ok($("#button_synchronize").hasClass("buttonDisabled"), "Synchronize disabled");
        smain.reSync();
        t.ok(S.logged("-D A sync is under way: the request to sync again is refused."),
             "no sync during the reset");
        t.waitFor(function () {
            return S.logged("-D N410 factory reset done.");
        }, function () {
            t.eq(smain.factoryResetOngoing, false, "reset over");
            t.ok(!$("#button_synchronize").hasClass("buttonDisabled"), "Synchronize enabled");
            t.eq(buttonState("button_factoryreset").disabled, false, "factory reset enabled");
            t.done();
        });
    });

    PT.table("cancel the prompt", [
        { label: "only the mark is cleared", id: "button_cancel" }
    ], function (row, t) {
        S.reset();
        realBridge.SLOT_dontAutosyncDevice("00004001");
        quickClicked(row.id);
        t.eq(String(JSObject.SLOT_dontAutosyncDevice()), "", "mark cleared");
        t.eq(S.callsNamed("doReset").length, 0, "no reset");
    });

    // --- Resync ------------------------------------------------------------------

    PT.table("resync", [
        { label: "runs the resync phase", phase: true, ongoing: true },
        { label: "without the phase ends in the error", phase: false, ongoing: false }
    ], function (row, t) {
        S.reset();
        var runs = 0;
        var phase = window.ResetSync;
        window.ResetSync = row.phase ? function () {
            this.runSyncPhase = function () {
                runs++;
            };
        } : undefined;
        try {
            S.open();
            $("#button_syncreset").trigger("click");
        } finally {
            window.ResetSync = phase;
        }
        t.ok(S.logged("-D runResetSync"), "logged");
        t.eq($("#pbSettings").attr("type"), "on", "panel closed");
        t.eq(runs, row.phase ? 1 : 0, "phase runs");
        t.eq(smain.resetSyncOngoing, row.ongoing, "resync flag");
        t.eq(smain.errorShown, !row.phase, "error shown");
    });
}());
