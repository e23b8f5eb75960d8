// The sync controller's stand-in for the page library's tests: a fixture
// translation table, recording error, resync and progress functions, and
// content and offline endpoints that record each read and answer through
// Host.contentAnswer / Host.offlineAnswer when a row sets them.
var Host = (function () {
    "use strict";

    var host = {
        ready: false,
        logs: [],
        calls: {},
        contentAnswer: null,
        offlineAnswer: null,
        // Addresses of the page's jQuery requests, in order.
        requests: []
    };

    // Console lines, as the program's log gets them.
    var consoleLog = console.log;
    console.log = function (text) {
        host.logs.push(String(text));
        return consoleLog.apply(console, arguments);
    };

    host.translations = function () {
        return {
            LANG_CODE: "en",
            APPNAME: "RavoSync",
            WEBSERVICENAME: "Ravo",
            app_name: "Zarvo [APPNAME]",
            ktupdate_downloading: "Downloading file [NUMBER] of [NUMBER]...",
            ktupdate_installing: "Installing the update...",
            maps_downloading_received: "Downloading maps: [NUMBER] MB received.",
            fwupdate_updating: "Updating firmware...",
            fwupdate_waitingrestart: "Waiting for the device to restart...",
            filewrite_updating: "Writing files to the device...",
            filewrite_waitingrestart: "Finishing writing to the device...",
            progress_connecting: "Connecting...",
            progress_syncongoingheader: "Syncing",
            progress_charging: "Charging [LEVEL]",
            progress_ellipsis_first: "...and more",
            sync_tcconnectedheader: "[DEVICENAME] connected",
            sync_tcdisconnectedheader: "Connect your device",
            login_username: "Username",
            button_ok: "OK",
            button_yes: "Yes",
            button_retry: "Sync again",
            button_close: "Close",
            button_copy: "Copy address",
            button_settings_hide_tooltip: "Hide settings",
            button_settings_show_tooltip: "Settings",
            error_header: "Something went wrong",
            error_message_copyaddress: "Copy the address below and open it in your web browser:",
            error_message_libgeneralerror: "Something went wrong. Sync again."
        };
    };

    function recorder(name) {
        host.calls[name] = [];
        return function () {
            host.calls[name].push(Array.prototype.slice.call(arguments));
        };
    }

    function endpointRead(name, answer) {
        return function (path, syncObj, success, error, contentType) {
            var call = { path: path, success: success, error: error, contentType: contentType };
            host.calls[name].push(call);
            if (typeof host[answer] === "function")
                host[answer](call);
        };
    }

    host.reset = function () {
        $("*").stop(true, false);
        App.Common.stopBlink();
        if (host.initialBody !== undefined)
            document.body.innerHTML = host.initialBody;
        App.Common.initErrorDlgButtonValues();
        errorDlgValues.text_id = "";
        host.logs = [];
        host.requests = [];
        host.contentAnswer = null;
        host.offlineAnswer = null;
        App.syncMain = {
            name: "SyncMain",
            url_translations: "tr/translations.json",
            jsonRSVerInfo: "../ver/rs_ver.json",
            postFWsyncOnGoing: false,
            username: "",
            password: "",
            i18n: host.translations(),
            errorCase: recorder("errorCase"),
            reSync: recorder("reSync"),
            updateSyncStatus: recorder("updateSyncStatus"),
            eContent: {
                path: "https://content.ravo.test/contentserver",
                read: endpointRead("contentRead", "contentAnswer"),
                findResource: recorder("findResource")
            },
            eOffline: {
                path: "",
                readOfflineFile: endpointRead("offlineRead", "offlineAnswer")
            }
        };
        host.calls.contentRead = [];
        host.calls.offlineRead = [];
        window.smain = App.syncMain;
        window.showTabIndex = recorder("showTabIndex");
        window.loadAllSettings = recorder("loadAllSettings");
        window.saveAllSettings = recorder("saveAllSettings");
        window.hideButtons = recorder("hideButtons");
    };

    $(document).on("ajaxSend", function (event, xhr, settings) {
        host.requests.push(settings.url);
    });

    host.reset();
    $(function () {
        host.initialBody = document.body.innerHTML;
        host.ready = true;
    });

    // Lines logged since the last reset that contain text.
    host.logged = function (text) {
        return host.logs.filter(function (line) {
            return line.indexOf(text) >= 0;
        });
    };

    return host;
}());
