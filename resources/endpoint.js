// The pages' places of data behind one calling style: local endpoints (the
// device and the offline store, through the bridge's device slots) and
// remote endpoints (the web service and the content server, through jQuery
// for text and JSON and through the bridge's raw-data slots for every
// "application/x-" content type).
//
// An endpoint keeps the callbacks of its one pending request. Completions
// are filtered against the address asked for (page variable "requesturl")
// so that a late reply for an older request does not complete the current
// one. Loaded after jQuery and before common.js: App.Common is only used
// once a request runs.

window.App = window.App || {};

// Largest sizes of the device files getFileSize knows.
var tcFileArray = [
    { name: "ID.BPB", size: 51 },
    { name: "USERID.BPB", size: 99 },
    { name: "DGOAL.BPB", size: 99 }
];

(function ($) {
    "use strict";

    // Flags texts that mean the device connection is gone or busy: the sync
    // ends, whatever the caller wanted.
    var connectionFlags = ["TC_NOT_FOUND", "TC_CONNECT_FAILED", "TC_CONNECTION_LOST", "TC_BUSY",
                           "SYSTEM_BUSY", "WAIT_FOR_IDLING"];
    var dailyMarker = "[YYYYMMDD]/";
    var requestTimeoutMs = 30000;

    function bridge() {
        return typeof window.JSObject !== "undefined" && window.JSObject ? window.JSObject : null;
    }

    function hasSlot(name) {
        var b = bridge();
        if (!b)
            return false;
        try {
            return typeof b[name] === "function";
        } catch (e) {
            return false;
        }
    }

    function callSlot(name) {
        var b = bridge();
        return b[name].apply(b, Array.prototype.slice.call(arguments, 1));
    }

    function log(text) {
        if (window.console && console.log)
            console.log(text);
    }

    function variable(key) {
        return hasSlot("SLOT_getVariable") ? String(callSlot("SLOT_getVariable", key)) : "";
    }

    function setVariable(key, value) {
        if (hasSlot("SLOT_saveVariable"))
            callSlot("SLOT_saveVariable", key, String(value));
    }

    function setting(key) {
        return hasSlot("SLOT_loadAppSetting") ? String(callSlot("SLOT_loadAppSetting", key)) : "";
    }

    function withoutQuery(address) {
        var text = address === undefined || address === null ? "" : String(address);
        var at = text.indexOf("?");
        return at < 0 ? text : text.substring(0, at);
    }

    // The path part of an address: from the first "/" after the scheme.
    function pathPart(address) {
        var at = address.indexOf("://");
        var slash = address.indexOf("/", at < 0 ? 0 : at + 3);
        return slash < 0 ? "" : address.substring(slash);
    }

    function isFunction(value) {
        return typeof value === "function";
    }

    function hasConnectionFlag(status) {
        for (var i = 0; i < connectionFlags.length; ++i) {
            if (App.Common.hasFlag(status, connectionFlags[i]))
                return true;
        }
        return false;
    }

    function syncMain() {
        return App.syncMain || {};
    }

    // The number of the sync run under way, 0 between runs (run.js).
    function runNow() {
        var main = syncMain();
        return typeof main.currentRun === "function" ? main.currentRun() : 0;
    }

    // Whether an answer asked for in run token arrives after that run
    // ended: then nobody waits for it any more.
    function runEnded(token) {
        var main = syncMain();
        return typeof main.endedRunAnswer === "function" && main.endedRunAnswer(token);
    }

    // Ends the sync through the controller with the arguments given.
    function endSync() {
        var main = syncMain();
        if (isFunction(main.errorCase))
            main.errorCase.apply(main, arguments);
    }

    function contentPath() {
        var content = syncMain().eContent;
        return content && content.path ? String(content.path) : "";
    }

    // "host:port" of an https address (443 when it names none, the host in
    // lower case), or "" for any other address.
    function httpsOrigin(address) {
        var text = String(address === undefined || address === null ? "" : address).trim();
        var match = /^https:\/\/(?:[^\/?#@]*@)?(\[[^\]\/?#]*\]|[^\/?#:]*)(?::(\d*))?(?:[\/?#]|$)/i
            .exec(text);
        if (!match || match[1] === "")
            return "";
        var port = match[2] === undefined || match[2] === "" ? 443 : parseInt(match[2], 10);
        return match[1].toLowerCase() + ":" + port;
    }

    // The application's credentials go only to our own services (scheme,
    // host and port of a configured address; nothing a page stores adds
    // one), and only encrypted.
    function sendsCredentials(address) {
        var origin = httpsOrigin(address);
        if (origin === "")
            return false;
        var own = [setting(CONFIG_TAGNAME_CONTENTURL), setting(CONFIG_TAGNAME_REMOTEURL),
                   setting(CONFIG_TAGNAME_RAVOURL)];
        for (var i = 0; i < own.length; ++i) {
            if (httpsOrigin(own[i]) === origin)
                return true;
        }
        return false;
    }

    function dataTypeOf(contentType) {
        var type = String(contentType === undefined || contentType === null ? "" : contentType);
        if (type.indexOf("application/x-") >= 0)
            return "text";
        if (type.indexOf("text/html") >= 0)
            return "html";
        if (type.indexOf("application/json") >= 0)
            return "json";
        if (type.indexOf("application/xml") >= 0)
            return "xml";
        return "text";
    }

    // --- Connections to the bridge's signals -------------------------------

    // The engine keeps a connection object under the bridge for every
    // connect, holding the handler and through it the whole page, until the
    // page disconnects that very handler; the bridge's disconnect slots only
    // cut the link. So every owner (an endpoint, a phase, a part of a page)
    // keeps what it connected and disconnects it once done, and whatever the
    // page still holds is disconnected when the page goes.
    var liveLinks = [];

    App.BridgeLinks = function () {
        this.links = [];
    };

    // Connects handler to the bridge's signal of that name; false when the
    // bridge has no such signal.
    App.BridgeLinks.prototype.connect = function (signalName, handler) {
        var b = bridge();
        var signal = b ? b[signalName] : null;
        if (!signal || typeof signal.connect !== "function")
            return false;
        // The engine drops what a bridge signal's handler throws without a
        // word: the page's error handling hears of it instead.
        var guarded = function () {
            try {
                return handler.apply(this, arguments);
            } catch (e) {
                if (typeof App.reportPageError !== "function")
                    throw e;
                App.reportPageError(String(e), signalName + " handler" +
                                    (e && e.line ? ", line " + e.line : ""));
                return undefined;
            }
        };
        signal.connect(guarded);
        var link = { signal: signal, handler: guarded };
        this.links.push(link);
        liveLinks.push(link);
        return true;
    };

    function disconnectLink(link) {
        var at = liveLinks.indexOf(link);
        if (at < 0)
            return;
        liveLinks.splice(at, 1);
        try {
            link.signal.disconnect(link.handler);
        } catch (e) {
            // A stand-in bridge without disconnect, or one already gone.
        }
    }

    // Disconnects every handler connected through this owner; safe inside
    // one of those handlers.
    App.BridgeLinks.prototype.release = function () {
        var links = this.links;
        this.links = [];
        for (var i = 0; i < links.length; ++i)
            disconnectLink(links[i]);
    };

    // Every handler the page still has connected.
    App.BridgeLinks.releaseAll = function () {
        var links = liveLinks.slice();
        for (var i = 0; i < links.length; ++i)
            disconnectLink(links[i]);
    };

    // A page being replaced or closed lets go of the bridge.
    window.addEventListener("unload", App.BridgeLinks.releaseAll);

    // --- The base of both kinds --------------------------------------------

    App.EndPoint = function (path) {
        this.path = path === undefined || path === null ? "" : String(path);
        // The handlers of the pending request.
        this.links = new App.BridgeLinks();
        this.successFunc = "";
        this.errorFunc = "";
        this.showErrorDialog = true;
        this.callerName = "";
        this.waitForResponse = 0;
    };

    var base = App.EndPoint.prototype;

    base.isLocal = function () {
        return false;
    };

    // Only an explicit false (or another value than true) keeps the bridge
    // from showing its error dialog.
    function dialogWanted(showErrorDialog) {
        return showErrorDialog === undefined || showErrorDialog === true ||
               showErrorDialog === "true";
    }

    function dialogText(showErrorDialog) {
        return dialogWanted(showErrorDialog) ? "true" : "false";
    }

    base.storeRequest = function (syncObj, success, error, showErrorDialog) {
        this.waitForResponse = this.isLocal() ? 0 : 1;
        this.successFunc = isFunction(success) ? success : "";
        this.errorFunc = isFunction(error) ? error : "";
        this.showErrorDialog = dialogWanted(showErrorDialog);
        this.callerName = syncObj && syncObj.name !== undefined ? String(syncObj.name) : "";
        this.runToken = runNow();
    };

    base.forgetRequest = function () {
        this.successFunc = "";
        this.errorFunc = "";
        this.links.release();
    };

    base.isAuthenticatePhase = function () {
        var phase = syncMain().authenticateObj;
        return !!phase && phase.name !== undefined && String(phase.name) === this.callerName;
    };

    // Whether a completion belongs to the request asked for (req and resp
    // without their queries). A refused one re-arms the request.
    base.letThrough = function (req, resp) {
        // Device results never carry a web address of their own.
        if (this.isLocal())
            return true;
        var content = contentPath();
        if ((content !== "" && resp.indexOf(content) >= 0) || req === "" || resp === "")
            return true;
        if (resp.indexOf("http") === 0) {
            if (req === resp)
                return true;
            App.Common.setRequestUrl(req);
            return false;
        }
        return true;
    };

    // The completion filter of reads and writes. ownUrl is the address a
    // jQuery request sent: its completion is judged by that, not by the
    // page-wide "replyurl", which any other reply overwrites meanwhile.
    base.complete = function (disconnectSlot, data, status, obj, contFunc, ownUrl, token) {
        // The answer of a run that has ended: its request is let go, and a
        // later request of this endpoint keeps its own callbacks.
        var asked = token === undefined ? this.runToken : token;
        if (runEnded(asked)) {
            if (asked === this.runToken) {
                this.forgetRequest();
                if (hasSlot(disconnectSlot))
                    callSlot(disconnectSlot);
            }
            return;
        }
        var req = withoutQuery(variable(CONFIG_TAGNAME_REQUESTURL));
        var resp = ownUrl !== undefined ? withoutQuery(ownUrl)
                                        : withoutQuery(variable(CONFIG_TAGNAME_REPLYURL));
        log("> " + req);
        log("< " + resp);
        if (!this.letThrough(req, resp)) {
            log("-D > " + pathPart(req));
            log("-D < " + pathPart(resp));
            log("-D Request and response urls do not mach. Forget response..");
            return;
        }
        this.forgetRequest();
        if (hasSlot(disconnectSlot))
            callSlot(disconnectSlot);
        setVariable(CONFIG_TAGNAME_REQUESTURL, "");
        setVariable(CONFIG_TAGNAME_REPLYURL, "");

        if (hasConnectionFlag(status)) {
            App.Common.parseLocalReply(status);
            endSync("", status);
            return;
        }
        var code = String(status);
        if ((code === "0" || code === "401" || code === "502") && !this.isAuthenticatePhase()) {
            App.Common.parseRemoteReply(status, obj);
            endSync(obj, status, status);
            return;
        }
        if (isFunction(contFunc) && contFunc === syncMain().errorCase) {
            App.Common.parseRemoteReply(status, obj);
            contFunc.call(syncMain(), obj, status, status);
            return;
        }
        if (isFunction(contFunc))
            contFunc(data, status, obj);
    };

    base.readReady = function (data, status, obj, contFunc, ownUrl, token) {
        this.complete("SLOT_disconnectReadSignals", data, status, obj, contFunc, ownUrl, token);
    };

    base.writeReady = function (data, status, obj, contFunc, ownUrl, token) {
        this.complete("SLOT_disconnectWriteSignals", data, status, obj, contFunc, ownUrl, token);
    };

    // A device or raw-data result: the callbacks are the endpoint's when the
    // signal arrives.
    function connectSignals(endpoint, doneSignal, ready) {
        endpoint.connectOnly(doneSignal, function (data, status, obj) {
            setVariable(CONFIG_TAGNAME_REPLYURL, variable(CONFIG_TAGNAME_REQUESTURL));
            endpoint[ready](data, status, obj, endpoint.successFunc);
        }, function (data, status, obj) {
            endpoint[ready](data, status, obj, endpoint.errorFunc);
        });
    }

    // The handlers of a new request in place of any earlier one's; a
    // missing signal fails the start as a missing slot does.
    base.connectOnly = function (doneSignal, done, fail) {
        this.links.release();
        if (!this.links.connect(doneSignal, done))
            throw new TypeError("no bridge signal " + doneSignal);
        if (fail && !this.links.connect("SIGNAL_fail", fail))
            throw new TypeError("no bridge signal SIGNAL_fail");
    };

    base.connectReadSignals = function () {
        connectSignals(this, "SIGNAL_fileRead", "readReady");
    };

    base.connectWriteSignals = function () {
        connectSignals(this, "SIGNAL_fileWritten", "writeReady");
    };

    // A request that could not start: the sync ends with the server-error
    // texts.
    function failedToStart(line, error) {
        log(line + ",<br>returned: " + error);
        App.Common.parseRemoteReply(500);
        endSync("", 500, String(error));
    }

    // --- Local endpoints ---------------------------------------------------

    App.LocalEndpoint = function (path) {
        App.EndPoint.call(this, path);
        this.waitForResponse = 0;
    };
    App.LocalEndpoint.prototype = Object.create(base);
    App.LocalEndpoint.prototype.constructor = App.LocalEndpoint;

    var local = App.LocalEndpoint.prototype;

    local.isLocal = function () {
        return true;
    };

    local.fullPath = function (p) {
        var text = p === undefined || p === null ? "" : String(p);
        return text.charAt(0) === "/" ? text : App.Common.combinePath(this.path, text);
    };

    // An operation that cannot run: the error function at once.
    function refuse(error) {
        if (isFunction(error))
            error("", "INVALID_PARAMETER");
    }

    function textOf(value) {
        return value === undefined || value === null ? "" : String(value);
    }

    // A device read or write: bookkeeping, the page signals, then start.
    local.transfer = function (connect, syncObj, success, error, showErrorDialog, line, start) {
        try {
            this.storeRequest(syncObj, success, error, showErrorDialog);
            this[connect]();
            start();
        } catch (e) {
            failedToStart(line, e);
        }
    };

    local.read = function (p, syncObj, success, error, contentType, showErrorDialog) {
        var full = this.fullPath(p);
        var dialog = dialogText(showErrorDialog);
        this.transfer("connectReadSignals", syncObj, success, error, showErrorDialog,
                      "-D Local.Read fail: " + full, function () {
            if (hasSlot("SLOT_readFromLocal"))
                callSlot("SLOT_readFromLocal", full, dialog);
            else
                callSlot("SLOT_read", full, dialog);
        });
    };

    local.readOfflineFile = function (p, syncObj, success, error, contentType,
                                      showErrorDialog) {
        var full = this.fullPath(p);
        try {
            if (hasSlot("SLOT_hasOfflineFile") && callSlot("SLOT_hasOfflineFile", full) === true) {
                this.transfer("connectReadSignals", syncObj, success, error, showErrorDialog,
                              "-D Local.ReadOfflineFile fail: " + full, function () {
                    callSlot("SLOT_readOfflineFile", full, dialogText(showErrorDialog));
                });
                return;
            }
            // A built-in resource: answers status 0 even when it is there.
            $.ajax({ url: "qrc:/" + full, type: "GET", dataType: dataTypeOf(contentType) })
                .done(function (data, textStatus, jqXHR) {
                    if (isFunction(success))
                        success(data, textStatus, jqXHR);
                })
                .fail(function (jqXHR, textStatus, errorThrown) {
                    if (jqXHR.status === 0 && jqXHR.responseText) {
                        if (isFunction(success))
                            success(jqXHR.responseText, "success", jqXHR);
                        return;
                    }
                    log("-D Local.readOfflineFile fail: " + full + ", status: " + jqXHR.status);
                    endSync(jqXHR, textStatus, errorThrown);
                });
        } catch (e) {
            failedToStart("-D Local.ReadOfflineFile fail: " + full, e);
        }
    };

    local.write = function (p, syncObj, success, error, contentType, content, showErrorDialog) {
        var full = this.fullPath(p);
        var text = textOf(content);
        var dialog = dialogText(showErrorDialog);
        // The local buffer holds a download made for this write; a write that
        // brings its own content writes that content.
        var useLocalBuffer =
            text === "" && textOf(contentType).indexOf("application/x-protobuf") < 0;
        this.transfer("connectWriteSignals", syncObj, success, error, showErrorDialog,
                      "-D Local.Write fail: " + full, function () {
            if (hasSlot("SLOT_writeToLocal"))
                callSlot("SLOT_writeToLocal", full, text, dialog, useLocalBuffer);
            else
                callSlot("SLOT_write", full, text, dialog);
        });
    };

    local.writeOfflineFile = function (p, syncObj, success, error, contentType, content,
                                       showErrorDialog) {
        var full = this.fullPath(p);
        this.transfer("connectWriteSignals", syncObj, success, error, showErrorDialog,
                      "-D Local.WriteOfflineFile fail: " + full, function () {
            callSlot("SLOT_writeOfflineFile", full, textOf(content), dialogText(showErrorDialog));
        });
    };

    local.writeOfflineFileToTC = function (p, syncObj, success, error, contentType, content,
                                           showErrorDialog) {
        var full = this.fullPath(p);
        this.transfer("connectWriteSignals", syncObj, success, error, showErrorDialog,
                      "-D Local.WriteOfflineFileToTC fail: " + full, function () {
            callSlot("SLOT_writeOfflineFileToTC", full, textOf(content),
                     dialogText(showErrorDialog), textOf(contentType));
        });
    };

    // --- Lists -------------------------------------------------------------

    function listReady(endpoint, disconnectSlot, list, status) {
        var returnFunction = endpoint.successFunc;
        endpoint.forgetRequest();
        if (hasSlot(disconnectSlot))
            callSlot(disconnectSlot);
        if (runEnded(endpoint.runToken))
            return;
        if (hasConnectionFlag(status)) {
            App.Common.parseLocalReply(status);
            endSync("", status);
            return;
        }
        if (isFunction(returnFunction))
            returnFunction(list, status);
    }

    local.getSubdirsReady = function (list, status) {
        listReady(this, "SLOT_disconnectGetSubdirsSignals", list, status);
    };

    local.getDailyEntriesReady = function (list, status) {
        listReady(this, "SLOT_disconnectGetDailyEntriesSignals", list, status);
    };

    local.listRequest = function (syncObj, returnFunction, signal, ready, line, slotName) {
        var self = this;
        var args = Array.prototype.slice.call(arguments, 6);
        try {
            this.storeRequest(syncObj, returnFunction, "", true);
            this.connectOnly(signal, function (list, status) {
                self[ready](list, status);
            });
            callSlot.apply(null, [slotName].concat(args));
        } catch (e) {
            failedToStart(line, e);
        }
    };

    local.getSubdirs = function (syncObj, returnFunction, p) {
        var full = this.fullPath(p);
        this.listRequest(syncObj, returnFunction, "SIGNAL_returnSubdirs", "getSubdirsReady",
                         "-D Local.getSubdirs fail: " + full, "SLOT_getSubdirs", full);
    };

    local.getSubdirsWithoutFile = function (syncObj, returnFunction, p, filename) {
        var full = this.fullPath(p);
        this.listRequest(syncObj, returnFunction, "SIGNAL_returnSubdirs", "getSubdirsReady",
                         "-D Local.getSubdirsWithoutFile fail: " + full,
                         "SLOT_getSubdirsWithoutFile", full, String(filename));
    };

    // The per-day listings need the day folder's place in the path. Without
    // it the caller hears at once instead of waiting for nothing.
    function dailyPathMissing(p, returnFunction) {
        if (String(p === undefined || p === null ? "" : p).indexOf(dailyMarker) >= 0)
            return false;
        log("Local.getDaily fail, Could not find " + dailyMarker + " in path: " + p);
        refuse(returnFunction);
        return true;
    }

    local.getDailySubdirsWithoutFile = function (syncObj, returnFunction, p, filename) {
        if (dailyPathMissing(p, returnFunction))
            return;
        var full = App.Common.combinePath(this.path, String(p));
        this.listRequest(syncObj, returnFunction, "SIGNAL_returnSubdirs", "getSubdirsReady",
                         "-D Local.getDailySubdirsWithoutFile fail: " + full,
                         "SLOT_getDailySubdirsWithoutFile", full, String(filename));
    };

    local.getDailyEntries = function (syncObj, returnFunction, p) {
        if (dailyPathMissing(p, returnFunction))
            return;
        var full = App.Common.combinePath(this.path, String(p));
        this.listRequest(syncObj, returnFunction, "SIGNAL_returnDailyEntries",
                         "getDailyEntriesReady", "-D Local.getDailyEntries fail: " + full,
                         "SLOT_getDailyEntries", full);
    };

    // --- Directory operations ----------------------------------------------

    // Forgets the callbacks, disconnects, passes (data, status) on.
    function operationReady(endpoint, disconnectSlot, useError, data, status) {
        var fn = useError ? endpoint.errorFunc : endpoint.successFunc;
        endpoint.forgetRequest();
        if (hasSlot(disconnectSlot))
            callSlot(disconnectSlot);
        if (runEnded(endpoint.runToken))
            return;
        if (isFunction(fn))
            fn(data, status);
    }

    local.operation = function (syncObj, success, error, doneSignal, disconnectSlot, line,
                                start) {
        var self = this;
        try {
            this.storeRequest(syncObj, success, error, true);
            this.connectOnly(doneSignal, function (data, status) {
                operationReady(self, disconnectSlot, false, data, status);
            }, function (data, status) {
                operationReady(self, disconnectSlot, true, data, status);
            });
            start();
        } catch (e) {
            failedToStart(line, e);
        }
    };

    local.createDirReady = function (data, status) {
        operationReady(this, "SLOT_disconnectDirSignals", false, data, status);
    };
    local.entriesRemoved = function (data, status) {
        operationReady(this, "SLOT_disconnectRemoveSignals", false, data, status);
    };
    local.entriesReceived = function (data, status) {
        operationReady(this, "SLOT_disconnectEntriesSignal", false, data, status);
    };
    local.freeSpaceReceived = function (data, status) {
        operationReady(this, "SLOT_disconnectDirSignals", false, data, status);
    };
    local.cleanupDiskReady = function (data, status) {
        operationReady(this, "SLOT_disconnectDirSignals", false, data, status);
    };

    local.createDir = function (syncObj, success, error, dir) {
        var full = this.fullPath(dir);
        this.operation(syncObj, success, error, "SIGNAL_dirCreated", "SLOT_disconnectDirSignals",
                       "-D Local.createDir fail: " + full,
                       function () { callSlot("SLOT_createDir", full); });
    };

    // Path parts of an absolute path, without empty and "." parts.
    function pathParts(path) {
        return String(path).split("/").filter(function (part) {
            return part !== "" && part !== ".";
        });
    }

    // The absolute path of an entry that stays inside the endpoint's tree
    // below its root, or null. The bridge splits the list at ",", so a name
    // with one cannot be removed.
    local.removablePath = function (entry) {
        if (typeof entry !== "string")
            return null;
        var trimmed = entry.replace(/^\s+|\s+$/g, "");
        if (trimmed === "" || trimmed === "." || trimmed === ".." || entry.indexOf(",") >= 0)
            return null;
        var full = this.fullPath(entry);
        var parts = pathParts(full);
        if (parts.indexOf("..") >= 0 || parts.length === 0)
            return null;
        var root = pathParts(this.path);
        if (parts.length <= root.length) {
            var above = true;
            for (var i = 0; i < parts.length; ++i)
                above = above && parts[i] === root[i];
            if (above)
                return null;
        }
        return full;
    };

    local.removeEntries = function (syncObj, success, error, entryList) {
        var list = entryList;
        if (typeof list === "string")
            list = list === "" ? [] : [list];
        if (!list || !list.length || String(list) === this.path) {
            log("removeEntries: entryList is empty!");
            refuse(error);
            return;
        }
        var paths = [];
        for (var i = 0; i < list.length; ++i) {
            var full = this.removablePath(list[i]);
            if (full === null) {
                log("removeEntries: refused entry: " + list[i]);
                refuse(error);
                return;
            }
            paths.push(full);
        }
        this.operation(syncObj, success, error, "SIGNAL_entriesRemoved",
                       "SLOT_disconnectRemoveSignals", "-D Local.removeEntries fail: " + paths,
                       function () { callSlot("SLOT_removeEntries", paths.join(",")); });
    };

    local.getEntries = function (syncObj, success, error, path) {
        if (!hasSlot("SLOT_getEntries")) {
            refuse(error);
            return;
        }
        var full = this.fullPath(path);
        this.operation(syncObj, success, error, "SIGNAL_entriesReceived",
                       "SLOT_disconnectEntriesSignal", "-D Local.getEntries fail: " + full,
                       function () { callSlot("SLOT_getEntries", full); });
    };

    // Both the answer and a failure go to successFunction.
    local.getFreeSpace = function (syncObj, successFunction) {
        this.operation(syncObj, successFunction, successFunction, "SIGNAL_returnFreeSpace",
                       "SLOT_disconnectDirSignals", "-D Local.getFreeSpace fail",
                       function () { callSlot("SLOT_getFreeSpace"); });
    };

    local.cleanupDisk = function (syncObj, success, error, requiredSpace) {
        if (!hasSlot("SLOT_cleanupDisk")) {
            refuse(error);
            return;
        }
        this.operation(syncObj, success, error, "SIGNAL_cleanupDone", "SLOT_disconnectDirSignals",
                       "-D Local.cleanupDisk fail",
                       function () { callSlot("SLOT_cleanupDisk", requiredSpace); });
    };

    // The device restarts; it answers with its id once it is back. Both ends
    // release the update handlers.
    local.doFactoryReset = function (syncObj, success, error, sleep) {
        var self = this;
        try {
            this.storeRequest(syncObj, success, error, true);
            this.connectOnly("SIGNAL_continueWithDevice", function (deviceId, status) {
                if (String(deviceId) !== App.Common.getTCDeviceId())
                    return;
                operationReady(self, "SLOT_disconnectFWUpdateSignals", false, deviceId, status);
            }, function (data, status) {
                operationReady(self, "SLOT_disconnectFWUpdateSignals", true, data, status);
            });
            callSlot("SLOT_doFactoryReset", !!sleep);
        } catch (e) {
            failedToStart("-D Local.doFactoryReset fail", e);
        }
    };

    local.getFileSize = function (file) {
        for (var i = 0; i < tcFileArray.length; ++i) {
            if (tcFileArray[i].name === file)
                return tcFileArray[i].size;
        }
        return 0;
    };

    // --- Remote endpoints --------------------------------------------------

    App.RemoteEndpoint = function (path) {
        App.EndPoint.call(this, path);
        this.waitForResponse = 1;
    };
    App.RemoteEndpoint.prototype = Object.create(base);
    App.RemoteEndpoint.prototype.constructor = App.RemoteEndpoint;

    var remote = App.RemoteEndpoint.prototype;

    remote.fullUrl = function (u) {
        var text = u === undefined || u === null ? "" : String(u);
        if (text.indexOf("http://") === 0 || text.indexOf("https://") === 0)
            return text;
        return App.Common.combineUrl(this.path, text);
    };

    remote.buildUrl = function (begin, pathArray, resourceName) {
        var parts = [begin].concat(pathArray || []);
        parts.push(resourceName === undefined || resourceName === null ? "" : resourceName);
        return App.Common.combineUrl.apply(null, parts);
    };

    remote.read = function (u, syncObj, success, error, contentType, acceptType, showErrorDialog,
                            majorPhase, majorPhases) {
        var self = this;
        var address = this.fullUrl(u);
        log("-D Remote.Read, url: " + address);
        try {
            this.storeRequest(syncObj, success, error, true);
            App.Common.setRequestUrl(address);
            if (majorPhase !== undefined && majorPhases !== undefined && majorPhase >= 0 &&
                majorPhase <= majorPhases)
                App.Common.setProgressInfo(majorPhase, majorPhases);
            var type = contentType === undefined || contentType === null ? "" : String(contentType);
            var accept = acceptType ? String(acceptType) : type;
            var dialog = dialogText(showErrorDialog);
            if (type.indexOf("application/x-") >= 0) {
                this.connectReadSignals();
                if (type.indexOf("application/x-zarvo-map") >= 0 && hasSlot("SLOT_downloadFile")) {
                    callSlot("SLOT_downloadFile", address, "GET", type, accept, dialog);
                } else {
                    // Files for a later device write stay in the bridge.
                    var keep = type.indexOf("application/x-zarvo-image") >= 0 ||
                               type.indexOf("application/x-zip-file") >= 0 ||
                               type.indexOf("application/x-ublox-alp") >= 0;
                    callSlot("SLOT_readBinaryFromRemote", address, "GET", accept, keep, dialog);
                }
                return;
            }
            var readToken = this.runToken;
            this.doRequest(
                "GET", address, "Basic " + variable(CONFIG_TAGNAME_APPLOGINKEYNAME),
                function (data, textStatus, jqXHR) {
                    self.readReady(data, textStatus, jqXHR, self.successFunc, address, readToken);
                },
                function (jqXHR, textStatus) {
                    self.readReady(textStatus, jqXHR.status, jqXHR, self.errorFunc, address,
                                   readToken);
                },
                dataTypeOf(type), accept);
        } catch (e) {
            failedToStart("-D Remote.Read fail, url: " + address, e);
        }
    };

    remote.write = function (u, syncObj, success, error, contentType, acceptType, content,
                             httpMethod, content_encoding) {
        var self = this;
        var address = this.fullUrl(u);
        log("-D Remote.Write, url: " + address);
        try {
            this.storeRequest(syncObj, success, error, true);
            App.Common.setRequestUrl(address);
            var type = contentType === undefined || contentType === null ? "" : String(contentType);
            var accept = acceptType ? String(acceptType) : type;
            var method = httpMethod ? String(httpMethod) : "POST";
            if (method !== "POST" && method !== "PUT")
                throw new Error("http method not found: " + method);
            var encoding = content_encoding ? String(content_encoding) : "";
            var body = content === undefined || content === null ? "" : content;
            if (type.indexOf("application/x-") >= 0) {
                this.connectWriteSignals();
                if (hasSlot("SLOT_writeBinaryToRemote"))
                    callSlot("SLOT_writeBinaryToRemote", address, method, String(body), type,
                             accept, encoding);
                else
                    callSlot("SLOT_writeBinary", address, method, String(body), type, accept,
                             encoding);
                return;
            }
            var writeToken = this.runToken;
            this.doRequest(
                method, address, "Basic " + variable(CONFIG_TAGNAME_APPLOGINKEYNAME),
                function (data, textStatus, jqXHR) {
                    self.writeReady(data, textStatus, jqXHR, self.successFunc, address, writeToken);
                },
                function (jqXHR, textStatus) {
                    self.writeReady(textStatus, jqXHR.status, jqXHR, self.errorFunc, address,
                                    writeToken);
                },
                dataTypeOf(accept), accept, body, type, encoding);
        } catch (e) {
            failedToStart("-D Remote.Write fail, url: " + address, e);
        }
    };

    remote.doRequest = function (method, url, basic, success, error, dataType, acceptType,
                                 content, contentType, contentEncoding) {
        var language = setting(CONFIG_TAGNAME_LANGUAGE);
        if (hasSlot("SLOT_stopReqTimer"))
            callSlot("SLOT_stopReqTimer");
        var headers = {
            "Accept": acceptType === undefined || acceptType === null ? "" : String(acceptType),
            "Accept-Language": language,
            "Content-Encoding": contentEncoding ? String(contentEncoding) : ""
        };
        if (sendsCredentials(url))
            headers.authorization = basic;
        var options = {
            type: method,
            url: url,
            xhrFields: { withCredentials: true },
            dataType: dataType || "text",
            processData: false,
            timeout: requestTimeoutMs,
            headers: headers
        };
        if (contentType)
            options.contentType = contentType;
        if (content !== undefined && content !== null && content !== "")
            options.data = content;
        return $.ajax(options)
            .done(function (data, textStatus, jqXHR) {
                if (isFunction(success))
                    success(data, textStatus, jqXHR);
            })
            .fail(function (jqXHR, textStatus, errorThrown) {
                if (isFunction(error))
                    error(jqXHR, textStatus, errorThrown);
            });
    };

    // Looks for name under the path parts, one part fewer after each miss:
    // sync/<model>/<firmware>/name, then sync/<model>/name, sync/name, name.
    remote.findResource = function (pathArray, resourceName, contFunc, contentType) {
        var self = this;
        var parts = (pathArray || []).slice();
        var dataType = contentType || "json";
        var token = runNow();

        function attempt() {
            var address = self.buildUrl(self.path, parts, resourceName);
            $.ajax({ url: address, type: "GET", dataType: dataType, cache: false,
                     timeout: requestTimeoutMs })
                .done(function (data, textStatus, jqXHR) {
                    if (runEnded(token))
                        return;
                    if (isFunction(contFunc))
                        contFunc(data, textStatus, jqXHR);
                })
                .fail(function (jqXHR, textStatus) {
                    if (runEnded(token))
                        return;
                    if (parts.length > 0) {
                        parts.pop();
                        attempt();
                        return;
                    }
                    log("Could not find resources. Return empty. st: " + textStatus);
                    var status = textStatus;
                    if (status === 0 || status === "0" || status === "error")
                        status = jqXHR.status;
                    if (String(status) === "0" || String(status) === "502") {
                        App.Common.parseRemoteReply(status, jqXHR);
                        endSync(jqXHR, status, status);
                        return;
                    }
                    if (isFunction(contFunc))
                        contFunc("", status, jqXHR);
                });
        }
        attempt();
    };

    // The same search from a content-delivery address, through this
    // endpoint's raw-data read and without the error dialog.
    remote.findExternalResource = function (address, syncObj, pathArray, resourceName, contFunc,
                                            contentType) {
        var self = this;
        var parts = (pathArray || []).slice();
        var type = contentType || "application/x-json";

        function attempt() {
            var url = self.buildUrl(address, parts, resourceName);
            self.read(url, syncObj,
                      function (data, status, obj) {
                          if (isFunction(contFunc))
                              contFunc(data, status, obj);
                      },
                      function (data, status, obj) {
                          if (parts.length > 0) {
                              parts.pop();
                              attempt();
                              return;
                          }
                          log("Could not find resources. Return empty.");
                          if (isFunction(contFunc))
                              contFunc("", status, data);
                      },
                      type, type, false);
        }
        attempt();
    };
}(jQuery));
