// The sync controller's stand-in for the endpoints' tests: name "SyncMain",
// a recording errorCase, the content endpoint on the content address and an
// authenticate phase named "authenticate". Host.reset() before each row
// puts all of it back and empties the records.
var Host = (function () {
    "use strict";

    var host = { ready: false, logs: [], errors: [], requests: [] };

    var consoleLog = console.log;
    console.log = function (text) {
        host.logs.push(String(text));
        return consoleLog.apply(console, arguments);
    };

    host.contentUrl = function () {
        return String(JSObject.SLOT_loadAppSetting("contenturl"));
    };

    host.reset = function () {
        host.logs = [];
        host.errors = [];
        host.requests = [];
        host.qrcAnswer = null;
        JSObject.SLOT_saveVariable("requesturl", "");
        JSObject.SLOT_saveVariable("replyurl", "");
        JSObject.SLOT_disconnectReadSignals();
        JSObject.SLOT_disconnectWriteSignals();
        JSObject.SLOT_disconnectDirSignals();
        JSObject.SLOT_disconnectEntriesSignal();
        JSObject.SLOT_disconnectRemoveSignals();
        JSObject.SLOT_disconnectGetSubdirsSignals();
        JSObject.SLOT_disconnectGetDailyEntriesSignals();
        JSObject.SLOT_disconnectFWUpdateSignals();
        $.ajaxSetup({ dataFilter: null });
        App.syncMain = {
            name: "SyncMain",
            errorCase: function () {
                host.errors.push(Array.prototype.slice.call(arguments));
            },
            authenticateObj: { name: "authenticate" },
            eContent: new App.RemoteEndpoint(host.contentUrl())
        };
        window.smain = App.syncMain;
        if (typeof StubDevice !== "undefined") {
            StubDevice.silence();
            StubDevice.clear();
        }
    };

    // The requests that reached the device: [{name, args}].
    host.deviceCalls = function () {
        return JSON.parse(StubDevice.calls());
    };

    // Runs fn while the page's "JSObject" has the slots of overrides in
    // place of its own (undefined: absent, as in a bridge of an older
    // program).
    host.bridgeNames = [
        "SLOT_getVariable", "SLOT_saveVariable", "SLOT_loadAppSetting", "SLOT_readFromLocal",
        "SLOT_read", "SLOT_hasOfflineFile", "SLOT_readOfflineFile", "SLOT_writeToLocal",
        "SLOT_write",
        "SLOT_writeOfflineFile", "SLOT_writeOfflineFileToTC", "SLOT_getSubdirs",
        "SLOT_getSubdirsWithoutFile", "SLOT_getDailySubdirsWithoutFile", "SLOT_getDailyEntries",
        "SLOT_createDir", "SLOT_removeEntries", "SLOT_getEntries", "SLOT_getFreeSpace",
        "SLOT_cleanupDisk", "SLOT_doFactoryReset", "SLOT_readBinaryFromRemote",
        "SLOT_writeBinaryToRemote", "SLOT_writeBinary", "SLOT_stopReqTimer",
        "SLOT_disconnectReadSignals", "SLOT_disconnectWriteSignals", "SLOT_disconnectDirSignals",
        "SLOT_disconnectEntriesSignal", "SLOT_disconnectRemoveSignals",
        "SLOT_disconnectGetSubdirsSignals", "SLOT_disconnectGetDailyEntriesSignals",
        "SLOT_disconnectFWUpdateSignals", "SIGNAL_fileRead", "SIGNAL_fileWritten", "SIGNAL_fail",
        "SIGNAL_returnSubdirs", "SIGNAL_returnDailyEntries", "SIGNAL_dirCreated",
        "SIGNAL_entriesRemoved", "SIGNAL_entriesReceived", "SIGNAL_returnFreeSpace",
        "SIGNAL_cleanupDone", "SIGNAL_continueWithDevice"
    ];

    host.withBridge = function (overrides, fn) {
        var real = window.JSObject;
        var partial = bridgeStandIn(real, host.bridgeNames, overrides);
        window.JSObject = partial;
        try {
            if (window.JSObject !== partial)
                throw new Error("JSObject cannot be replaced");
            fn();
        } finally {
            window.JSObject = real;
        }
    };

    host.withoutSlot = function (slotName, fn) {
        var overrides = {};
        overrides[slotName] = undefined;
        host.withBridge(overrides, fn);
    };

    host.logged = function (text) {
        return host.logs.filter(function (line) {
            return line.indexOf(text) >= 0;
        });
    };

    // A built-in resource as the engine answers it to the offline pages:
    // status 0 whether it is there or not, its text when it is.
    host.qrcAnswer = null;
    $.ajaxTransport("+*", function (options) {
        if (!host.qrcAnswer || String(options.url).indexOf("qrc:/") !== 0)
            return undefined;
        var answer = host.qrcAnswer;
        return {
            send: function (headers, complete) {
                window.setTimeout(function () {
                    complete(answer.status, answer.statusText || "", { text: answer.text });
                }, 0);
            },
            abort: function () {}
        };
    });

    $(document).on("ajaxSend", function (event, xhr, settings) {
        host.requests.push({ url: settings.url, dataType: settings.dataType,
                             headers: settings.headers });
    });

    $(function () {
        host.reset();
        host.ready = true;
    });

    return host;
}());
