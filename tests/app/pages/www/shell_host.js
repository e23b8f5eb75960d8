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
            error_message_400: "The server could not answer.",
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

    // Records each call and calls the function itself, so that the real
    // behaviour stays under test.
    host.spy = function (name, fn) {
        host.calls[name] = [];
        return function () {
            host.calls[name].push(Array.prototype.slice.call(arguments));
            return fn.apply(this, arguments);
        };
    };

    // The ids of the dialog buttons on screen.
    host.shownButtons = function () {
        return $("#buttons .button").filter(function () {
            return $(this).css("display") !== "none";
        }).map(function () {
            return this.id;
        }).get();
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
        host.sendTimes = [];
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

    // The flow tables' helpers (shell_flows_test.cpp gives the page "Probe"
    // and "StubDevice"): a rule of the fake web service on the content host,
    // with a JSON body unless text is given.
    host.route = function (method, path, status, body, extra) {
        var rule = { method: method, host: "content.ravo.test", path: path, status: status };
        if (body !== undefined) {
            rule.body = typeof body === "string" ? body : JSON.stringify(body);
            rule.headers = { "Content-Type": typeof body === "string" ? "text/html"
                                                                        : "application/json" };
        }
        return $.extend(rule, extra || {});
    };
    host.setRoutes = function (rules) {
        Probe.setRoutes(JSON.stringify(rules));
    };
    // The arguments of each request of that name that reached the stub
    // synchroniser.
    host.deviceCalls = function (name) {
        return JSON.parse(StubDevice.calls()).filter(function (call) {
            return call.name === name;
        }).map(function (call) {
            return call.args;
        });
    };
    // The fake's log of requests whose path starts with prefix.
    host.webRequests = function (prefix) {
        return JSON.parse(Probe.requests()).filter(function (request) {
            return request.path.indexOf(prefix) === 0;
        });
    };
    // Send times of the page's jQuery requests, by address.
    host.sendTimes = [];

    $(document).on("ajaxSend", function (event, xhr, settings) {
        host.requests.push(settings.url);
        host.sendTimes.push({ url: settings.url, at: Date.now() });
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
