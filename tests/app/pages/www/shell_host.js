// The sync controller under test: Host.reset() makes a fresh SyncMain with
// a fixture translation table, forgets every phase constructor and records
// the page's requests and log lines. The progress page is in the content
// area once Host.ready is true.
var Host = (function () {
    "use strict";

    var host = { ready: false, logs: [], requests: [], calls: {} };

    var consoleLog = console.log;
    console.log = function (text) {
        host.logs.push(String(text));
        return consoleLog.apply(console, arguments);
    };

    host.translations = function () {
        return {
            LANG_CODE: "en",
            error_header: "Something went wrong",
            error_message_libgeneralerror: "Something went wrong. Sync again.",
            error_message_libtcconnlost: "The device went away.",
            progress_synccompleted: "Done",
            progress_info_summary: "Summary",
            progress_info_readytogo: "Ready to go",
            progress_info_syncproblems: "There were problems",
            app_menu_state_syncerror: "Sync failed",
            progress_charging: "Charging [LEVEL]",
            button_retry: "Sync again",
            button_close: "Close",
            button_synchronize: "Synchronize",
            button_save: "Save",
            progress_syncongoingheader: "Syncing",
            progress_connecting: "Connecting",
            error_message_libtcconnbusy_1: "Busy one",
            error_message_libtcconnbusy_2: "Busy two",
            error_message_libtcconnbusy_3: "Busy three",
            error_message_libcancel: "Cancelled",
            error_message_corrupteddevice: "The device needs a reset"
        };
    };

    host.recorder = function (name, result) {
        host.calls[name] = [];
        return function () {
            host.calls[name].push(Array.prototype.slice.call(arguments));
            return result;
        };
    };

    // Every phase constructor undefined again.
    host.forgetPhases = function () {
        App.syncPhaseTable.forEach(function (row) {
            window[row.obj_name] = undefined;
        });
    };

    host.defineAllPhasesBut = function (missing) {
        App.syncPhaseTable.forEach(function (row) {
            if (missing.indexOf(row.obj_name) < 0)
                window[row.obj_name] = function () {
                    this.runSyncPhase = function () {};
                };
        });
    };

    host.reset = function () {
        $("*").stop(true, false);
        App.Common.stopBlink();
        host.forgetPhases();
        host.logs = [];
        host.requests = [];
        host.calls = {};
        App.Common.initErrorDlgButtonValues();
        errorDlgValues.text_id = "";
        App.syncMain = new App.SyncMain();
        smain = App.syncMain;
        smain.i18n = host.translations();
        smain.eContent = new App.RemoteEndpoint("https://content.ravo.test/contentserver");
        if (typeof window.hideButtons === "function")
            window.hideButtons();
    };

    $(document).on("ajaxSend", function (event, xhr, settings) {
        host.requests.push(settings.url);
    });
    $(document).on("keydown", App.onKeyDown);

    $(function () {
        JSObject.SLOT_initSyncStatesJson();
        host.reset();
        $.ajax({ url: "../ui/progress.html", dataType: "text" }).done(function (html) {
            $("#pageContent").html(html);
            $(function () {
                host.reset();
                host.ready = true;
            });
        });
    });

    return host;
}());
