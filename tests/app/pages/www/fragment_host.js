// The sync controller's stand-in for the fragment tests: a fixture
// translation table, a recording errorCase, a content endpoint that reads
// the real page tree, and showDialog putting a fragment into the content
// area. Host.show(name, then) shows "../ui/<name>" and calls then once the
// fragment's start has run.
var Host = (function () {
    "use strict";

    var host = { ready: false, logs: [], calls: {}, requests: [] };

    var consoleLog = console.log;
    console.log = function (text) {
        host.logs.push(String(text));
        return consoleLog.apply(console, arguments);
    };

    function translations() {
        return {
            LANG_CODE: "en",
            devicelist_header: "Connect your device",
            devicelist_header_preconnect: "Waiting for your device",
            progress_connecting_wait: "Connecting, please wait...",
            progress_syncongoingheader: "Syncing",
            progress_charging: "Charging [LEVEL]",
            progress_charging_full: "Fully charged",
            sync_tcconnectedheader: "[DEVICENAME] connected",
            sync_tcdisconnectedheader: "Connect your device",
            button_ok: "OK",
            button_yes: "Yes!",
            button_retry: "Sync again!",
            button_networksettings: "Network",
            button_save: "Save!",
            button_saveandclose: "Save & close",
            button_close: "Close!",
            button_cancel: "Cancel!",
            button_no: "No!",
            button_later: "Later!"
        };
    }

    function recorder(name) {
        host.calls[name] = [];
        return function () {
            host.calls[name].push(Array.prototype.slice.call(arguments));
        };
    }

    host.reset = function () {
        $("*").stop(true, false);
        App.Common.stopBlink();
        if (typeof window.stopConnectWait === "function")
            window.stopConnectWait();
        $("#ktpage").off(".page");
        $("#pageContent").empty();
        App.Common.initErrorDlgButtonValues();
        errorDlgValues.text_id = "";
        App.Common.setSessionVariable(CONFIG_TAGNAME_CURRENTTCMODEL, "zarvotovri");
        App.Common.setSessionVariable(CONFIG_TAGNAME_CURRENTTCDEVID, "4001");
        App.Common.setSessionVariable(CONFIG_TAGNAME_CURRENTTCFULLMODEL, "Zarvo Tovri");
        JSObject.SLOT_dontAutosyncDevice("");
        host.logs = [];
        host.requests = [];
        App.pageTiming = { connectWaitMs: 200 };
        App.syncMain = {
            name: "SyncMain",
            url_devicelist: "ui/devicelist.html",
            syncOngoing: false,
            errorShown: false,
            i18n: translations(),
            errorCase: recorder("errorCase"),
            reSync: recorder("reSync"),
            eContent: {
                read: function (path, syncObj, success, error) {
                    $.ajax({ url: "../" + path, dataType: "text" }).done(function (data) {
                        success(data);
                    }).fail(error);
                }
            },
            showDialog: function (html) {
                host.shown.push(html.indexOf("wulist") >= 0 ? "devicelist" : "other");
                $("#pageContent").html(html);
            }
        };
        host.shown = [];
        window.smain = App.syncMain;
    };

    host.show = function (name, then) {
        $.ajax({ url: "../ui/" + name, dataType: "text" }).done(function (html) {
            $("#pageContent").html(html);
            // Ready handlers run in order: this one after the fragment's.
            $(function () {
                window.setTimeout(then, 0);
            });
        }).fail(function () {
            then("cannot read " + name);
        });
    };

    host.logged = function (text) {
        return host.logs.filter(function (line) {
            return line.indexOf(text) >= 0;
        });
    };

    $(document).on("ajaxSend", function (event, xhr, settings) {
        host.requests.push(settings.url);
    });

    $(function () {
        JSObject.SLOT_initSyncStatesJson();
        host.reset();
        host.ready = true;
    });

    return host;
}());
