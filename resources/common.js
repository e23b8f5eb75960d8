// The page library: names of the settings and page variables, the error
// dialog model, the verdicts on device and web results, translated texts,
// the window's buttons, panels, progress bar and device picture, and the
// date, path and list helpers of the sync phase scripts.
//
// The bridge evaluates some of these functions by name from native code
// ("App.Common.parseLocalReply('OK',true)", "errorDlgValues.buttons.close=1;"
// and others), so their names and argument orders stay as they are.
//
// Every page loads it after jQuery (and endpoint.js) and before run.js. In
// the quick-help page "JSObject" is the window object, which has only a few
// of the bridge's slots: every call into it tests for the slot first.

window.App = window.App || {};

// Settings (JSObject.SLOT_loadAppSetting/SLOT_saveAppSetting) and page
// variables (JSObject.SLOT_getVariable/SLOT_saveVariable).
var CONFIG_TAGNAME_KTVERSION = "ktversion";
var CONFIG_TAGNAME_USERNAME = "username";
var CONFIG_TAGNAME_PASSWORD = "password";
var CONFIG_TAGNAME_CONTENTURL = "contenturl";
var CONFIG_TAGNAME_REMOTEURL = "remoteurl";
var CONFIG_TAGNAME_RAVOURL = "ravourl";
var CONFIG_TAGNAME_STARTWITHOS = "startwithos";
var CONFIG_TAGNAME_OPENWEBAFTERSYNC = "openwebaftersync";
var CONFIG_TAGNAME_APPLOGINKEYNAME = "login_api_encoded_key";
var CONFIG_TAGNAME_OFFLINEFILEDIR = "offlinefiledir";
var CONFIG_TAGNAME_CURRENTUSERDIR = "currentuserdir";
var CONFIG_TAGNAME_CURRENTUSERID = "currentuserid";
var CONFIG_TAGNAME_CURRENTMASTERID = "currentmasterid";
var CONFIG_TAGNAME_CURRENTTCMODEL = "tcmodel";
var CONFIG_TAGNAME_CURRENTTCFULLMODEL = "tcfullmodel";
var CONFIG_TAGNAME_CURRENTTCDEVID = "tcdeviceid";
var CONFIG_TAGNAME_CURRENTTCBOOTLOADER = "tcbootloader";
var CONFIG_TAGNAME_CURRENTTCFIRMWARE = "tcfirmware";
var CONFIG_TAGNAME_CURRENTTCTYPE = "tctype";
var CONFIG_TAGNAME_CURRENTTCCOLOR = "tccolor";
var CONFIG_TAGNAME_CURRENTTCDESIGN = "tcdesign";
var CONFIG_TAGNAME_CURRENTTCSTATUS = "tcstatus";
var CONFIG_TAGNAME_CURRENTTCDBDEVID = "tcdbdeviceid";
var CONFIG_TAGNAME_PROXYNAME = "proxyname";
var CONFIG_TAGNAME_PROXYPORT = "proxyport";
var CONFIG_TAGNAME_PROXYTYPE = "proxytype";
var CONFIG_TAGNAME_PROXYUSERNAME = "proxyusername";
var CONFIG_TAGNAME_PROXYPASSWORD = "proxypassword";
var CONFIG_TAGNAME_FWUPDATEIMGURL = "fwupdateimageurl";
var CONFIG_TAGNAME_LANGUAGE = "language";
var CONFIG_TAGNAME_AVAILABLELANGCODES = "avllangcodes";
var CONFIG_TAGNAME_SYNCURL = "syncUrl";
var CONFIG_TAGNAME_LOCATIONSYNCURL = "Location";
var CONFIG_TAGNAME_KTUPDATELASTASKED = "ktupdate_lastasked";
var CONFIG_TAGNAME_APPSECRET = "appsecret";
var FILEPATH_FWUPDATEZIPFILEPATH = "fwupdfilezippath";
var CONFIG_TAGNAME_LOGINWITHAPP = "loginwithapp";
var CONFIG_TAGNAME_REQUESTURL = "requesturl";
var CONFIG_TAGNAME_REPLYURL = "replyurl";
var CONFIG_TAGNAME_CFURL = "cfurl";
var CONFIG_TAGNAME_MAPDATAURL = "mapdata_url";
var CONFIG_TAGNAME_MAPINFOURL = "mapinfo_url";
var CONFIG_TAGNAME_MAJORPHASE = "major_phase";
var CONFIG_TAGNAME_MAJORPHASES = "major_phases";

// The error dialog: the buttons to show (1) or hide (0) and the text key.
var errorDlgValues = {
    buttons: {
        ok: 0,
        close: 0,
        cancel: 0,
        save: 0,
        savenclose: 0,
        networksettings: 0,
        syncagain: 0,
        signin: 0,
        yes: 0,
        no: 0,
        later: 0
    },
    text_id: ""
};

var rsUpdateStatus = { noUpdate: 0, optional: 1, mandatory: 2 };
var fwCheckStatusEnum = { notchecked: 0, none: 1, optional: 2, mandatory: 3 };

// Filled by JSObject.SLOT_initSyncStatesJson from the program's enumerations.
var syncStates = {};
var dialogTypes = {};

var firstDayOfWeek = "monday";
var weekDayNamesArray = ["sunday", "monday", "tuesday", "wednesday", "thursday", "friday",
                         "saturday"];
// major.minor.patch.revision
var contentServerVersion = "1.0.0.0";

App.Common = (function ($) {
    "use strict";

    var C = {};

    // --- Bridge access -----------------------------------------------------

    function bridge() {
        return typeof window.JSObject !== "undefined" && window.JSObject ? window.JSObject : null;
    }

    // The bridge's slot, or null when this page's "JSObject" lacks it.
    function slot(name) {
        var b = bridge();
        if (!b)
            return null;
        try {
            return typeof b[name] === "function" ? b : null;
        } catch (e) {
            return null;
        }
    }

    function callSlot(name, args, fallback) {
        var b = slot(name);
        if (!b)
            return fallback;
        var result = b[name].apply(b, args);
        return result === undefined || result === null ? fallback : result;
    }

    // Console lines starting "-D " go to the program's log.
    C.log = function (text) {
        if (window.console && console.log)
            console.log("-D " + text);
    };

    C.escapeHtml = function (value) {
        return String(value === undefined || value === null ? "" : value)
            .replace(/&/g, "&amp;")
            .replace(/</g, "&lt;")
            .replace(/>/g, "&gt;")
            .replace(/"/g, "&quot;")
            .replace(/'/g, "&#39;");
    };

    // A script text literal of value, safe to embed in a script.
    C.jsString = function (value) {
        return JSON.stringify(String(value === undefined || value === null ? "" : value))
            .replace(/\u2028/g, "\\u2028")
            .replace(/\u2029/g, "\\u2029")
            .replace(/</g, "\\u003c");
    };

    // The element with that id (an id is never read as a selector).
    function byId(id) {
        return $(document.getElementById(String(id)));
    }

    C.isOfflineDialog = function () {
        return callSlot("SLOT_isOfflineDialog", [], false) === true;
    };

    // --- Bridge wrappers ---------------------------------------------------

    C.setSessionVariable = function (key, value) {
        callSlot("SLOT_saveVariable", [String(key), String(value === undefined || value === null
                                                               ? ""
                                                               : value)]);
    };
    C.getSessionVariable = function (key) {
        return String(callSlot("SLOT_getVariable", [String(key)], ""));
    };
    C.saveAppSetting = function (key, value) {
        callSlot("SLOT_saveAppSetting", [String(key), String(value === undefined || value === null
                                                                 ? ""
                                                                 : value)]);
    };
    C.loadAppSetting = function (key) {
        return String(callSlot("SLOT_loadAppSetting", [String(key)], ""));
    };
    C.setUsername = function (name) {
        C.setSessionVariable(CONFIG_TAGNAME_USERNAME, name);
        if (App.syncMain)
            App.syncMain.username = name;
    };
    C.setPassword = function (password) {
        C.setSessionVariable(CONFIG_TAGNAME_PASSWORD, password);
        if (App.syncMain)
            App.syncMain.password = password;
    };
    C.getUsername = function () {
        return C.getSessionVariable(CONFIG_TAGNAME_USERNAME);
    };
    C.getPassword = function () {
        return C.getSessionVariable(CONFIG_TAGNAME_PASSWORD);
    };
    C.getTCModel = function () {
        var model = C.getSessionVariable(CONFIG_TAGNAME_CURRENTTCMODEL);
        return model === "" ? "generic" : model;
    };
    C.getTCDeviceId = function () {
        return C.getSessionVariable(CONFIG_TAGNAME_CURRENTTCDEVID);
    };
    C.setRequestUrl = function (url) {
        C.setSessionVariable(CONFIG_TAGNAME_REQUESTURL, url);
        C.setSessionVariable(CONFIG_TAGNAME_REPLYURL, "");
    };
    C.setProgressInfo = function (majorPhase, majorPhases) {
        C.setSessionVariable(CONFIG_TAGNAME_MAJORPHASE, majorPhase);
        C.setSessionVariable(CONFIG_TAGNAME_MAJORPHASES, majorPhases);
    };
    C.getModelWithColor = function () {
        return C.getSessionVariable(CONFIG_TAGNAME_CURRENTTCCOLOR).toLowerCase().replace("/", "");
    };
    C.getModelWithDesign = function () {
        return C.getSessionVariable(CONFIG_TAGNAME_CURRENTTCDESIGN).toLowerCase().replace("/", "");
    };
    C.getContentServerVersion = function () {
        return contentServerVersion;
    };

    // --- Verdicts ----------------------------------------------------------

    // Whether a flags text ("OK, FILE_EXISTS") names that flag. Whole names
    // only: "GET_CHALLENGE_TOKEN_FAILED" does not name "OK".
    C.hasFlag = function (flagsText, name) {
        if (flagsText === undefined || flagsText === null)
            return false;
        var names = String(flagsText).split(",");
        for (var i = 0; i < names.length; ++i) {
            if (String(names[i]).trim() === name)
                return true;
        }
        return false;
    };

    function hasAnyFlag(flagsText, names) {
        for (var i = 0; i < names.length; ++i) {
            if (C.hasFlag(flagsText, names[i]))
                return true;
        }
        return false;
    }

    C.initErrorDlgButtonValues = function () {
        for (var name in errorDlgValues.buttons) {
            if (errorDlgValues.buttons.hasOwnProperty(name))
                errorDlgValues.buttons[name] = 0;
        }
    };

    function resetErrorDlg() {
        C.initErrorDlgButtonValues();
        errorDlgValues.text_id = "";
    }

    function verdict(textId, buttons, result) {
        errorDlgValues.text_id = textId;
        for (var i = 0; i < buttons.length; ++i)
            errorDlgValues.buttons[buttons[i]] = 1;
        return result;
    }

    var retryButtons = ["syncagain", "close"];

    function postUpdateRunning() {
        return !!(App.syncMain && App.syncMain.postFWsyncOnGoing);
    }

    // First match wins.
    var localVerdicts = [
        { flags: ["CANCELLED"], text: "i18n.error_message_libcancel" },
        { flags: ["TC_NOT_FOUND"], text: "i18n.error_message_libtcnotfound" },
        { flags: ["TC_CONNECT_FAILED"], text: "i18n.error_message_libtcconnfail" },
        { flags: ["TC_CONNECTION_LOST"], text: "i18n.error_message_libtcconnlost" },
        { flags: ["FILE_OR_DIR_NOT_FOUND"], text: "i18n.error_message_libfileopfail" },
        { flags: ["FILE_OPERATION_FAILED"], text: "i18n.error_message_libfileopfail" },
        { flags: ["TC_BUSY", "SYSTEM_BUSY", "WAIT_FOR_IDLING"], when: postUpdateRunning,
          text: "i18n.fwupdate_waitingrestart" },
        { flags: ["TC_BUSY", "SYSTEM_BUSY", "WAIT_FOR_IDLING"],
          text: "i18n.error_message_libtcconnbusy" },
        { flags: ["FACTORYRESET_FAILED"], text: "i18n.error_message_libfactoryresetfail",
          buttons: ["ok"] },
        { flags: ["OK", "FILE_EXISTS", "DIRECTORY_EXISTS"], text: "", buttons: ["ok"],
          result: true }
    ];

    // The second argument has no effect; the bridge passes it all the same.
    C.parseLocalReply = function (flagsText) {
        resetErrorDlg();
        for (var i = 0; i < localVerdicts.length; ++i) {
            var row = localVerdicts[i];
            if (hasAnyFlag(flagsText, row.flags) && (!row.when || row.when()))
                return verdict(row.text, row.buttons || retryButtons, row.result === true);
        }
        return verdict("i18n.error_message_libgeneralerror", retryButtons, false);
    };

    C.parseRemoteReply = function (httpCode, jqXHR) {
        var st = parseInt(httpCode, 10);
        var given = jqXHR !== undefined && jqXHR !== null;
        if (given && (st === 0 || httpCode === "error"))
            st = parseInt(jqXHR.status, 10);
        var line = "ParseRemoteReply, status: " + httpCode + ", st: " + st;
        if (given)
            line += ", jqXHR status: " + jqXHR.status + ", statusText: " + jqXHR.statusText;
        C.log(line);
        resetErrorDlg();

        if (httpCode === "success" || (st >= 200 && st < 400 && st !== 305))
            return true;
        if (st === 305)
            return verdict("i18n.error_message_305", ["syncagain", "networksettings"], false);
        if (st >= 400 && st <= 408) {
            var text = "i18n.error_message_408";
            if (st === 400 || st === 401 || st === 404 || st === 405)
                text = "i18n.error_message_400";
            else if (st === 407)
                text = "i18n.error_message_407";
            return verdict(text, retryButtons, false);
        }
        if (st === 0 || (st >= 500 && st <= 504)) {
            var serverTexts = {
                0: "error_nonetworkconnection",
                500: "error_message_400",
                501: "i18n.error_message_400",
                502: "error_nonetworkconnection",
                503: "error_message_503",
                504: "error_message_504"
            };
            return verdict(serverTexts[st], retryButtons, false);
        }
        if (httpCode === "timeout")
            return verdict("error_message_504", retryButtons, false);
        C.log("No error defined for this code!?");
        return verdict("i18n.progress_info_syncproblems", retryButtons, false);
    };

    C.parseSuccessRatio = function (status) {
        return status === "success" || C.parseLocalReply(status) || C.parseRemoteReply(status);
    };

    C.ConnectClientLibCPFlagToSyncState = function (flags) {
        if (C.hasFlag(flags, "TC_BUSY"))
            return syncStates.TCBusy;
        if (C.hasFlag(flags, "SYSTEM_BUSY"))
            return syncStates.SystemBusy;
        if (C.hasFlag(flags, "WAIT_FOR_IDLING"))
            return syncStates.WaitForIdling;
        return syncStates.SyncOn;
    };

    // --- Addresses and paths -----------------------------------------------

    function joinedParts(args) {
        return Array.prototype.slice.call(args).join("/").replace(/^\s+|\s+$/g, "")
            .replace(/\\+/g, "/");
    }

    C.combineUrl = function () {
        var text = joinedParts(arguments);
        var at = text.indexOf("://");
        if (at < 0) {
            text = text.replace(/\/+/g, "/");
        } else {
            var scheme = text.substring(0, at).toLowerCase();
            if (scheme !== "http" && scheme !== "https")
                scheme = "https";
            text = scheme + "://" + text.substring(at + 3).replace(/\/+/g, "/");
        }
        if (text.charAt(0) === "/")
            text = text.substring(1);
        return text.replace(/\s/g, "%20");
    };

    // Device and offline-store paths: absolute ones stay absolute.
    C.combinePath = function () {
        var text = joinedParts(arguments);
        if (text.indexOf("://") >= 0)
            C.log("Application error: combinePath include network scheme=" + text + "!");
        return text.replace(/\/+/g, "/");
    };

    // --- Device picture ----------------------------------------------------

    // Picture names come from the device: only [a-z0-9_] is kept.
    function pictureNamePart(value) {
        return String(value === undefined || value === null ? "" : value).toLowerCase()
            .replace(/[^a-z0-9_]/g, "");
    }

    function pictureName(model, design, color) {
        if (color === "" || color === "black" || model === "generic")
            return model;
        if (model === "zarvotovri2" && design === "brillane")
            return model + "_" + design + "_" + color;
        return model + "_" + color;
    }

    C.setTC = function (model) {
        C.getImage(model, C.getModelWithDesign(), C.getModelWithColor(), C.setTCreceived);
    };

    // Probes "../img/<name>.png", dropping the colour, then the design, then
    // the model until a picture answers; cont gets its name, or "" when even
    // "generic" is missing.
    C.getImage = function (model, design, color, cont) {
        var parts = {
            model: pictureNamePart(model) || "generic",
            design: pictureNamePart(design),
            color: pictureNamePart(color)
        };
        var tried = {};
        var original = parts.model;

        function next() {
            if (parts.color !== "")
                parts.color = "";
            else if (parts.design !== "")
                parts.design = "";
            else if (parts.model !== "generic")
                parts.model = "generic";
            else
                return false;
            return true;
        }

        function probe() {
            var name = pictureName(parts.model, parts.design, parts.color);
            if (tried[name]) {
                if (next())
                    probe();
                else
                    giveUp();
                return;
            }
            tried[name] = true;
            $.ajax({ url: "../img/" + name + ".png", type: "GET", dataType: "text", cache: true })
                .done(function () {
                    cont(name);
                })
                .fail(function () {
                    if (next())
                        probe();
                    else
                        giveUp();
                });
        }

        function giveUp() {
            C.log("No device picture found for model " + original + ", not even generic.");
            cont("");
        }

        probe();
    };

    // The plug's nudge toward the socket while no device is there. Every
    // step repaints the window, so it moves in a few steps a second (the
    // same 40 px and 5 s round as ever), only while the window can be seen
    // and only while the fragment that started it is in the page.
    var plugStepMs = 500;
    var plugPositions = [208, 216, 224, 232, 240, 232, 224, 216, 208, 200];
    var plug = { element: null, timer: null, next: 0 };

    function stopPlugSteps() {
        if (plug.timer !== null)
            window.clearTimeout(plug.timer);
        plug.timer = null;
    }

    function plugStep() {
        plug.timer = null;
        if (!plug.element || !$.contains(document.documentElement, plug.element)) {
            plug.element = null;
            return;
        }
        if (document.hidden)
            return;
        $(plug.element).css("left", plugPositions[plug.next] + "px");
        plug.next = (plug.next + 1) % plugPositions.length;
        plug.timer = window.setTimeout(plugStep, plugStepMs);
    }

    function startPlug(element) {
        stopPlugSteps();
        plug.element = element || null;
        plug.next = 0;
        plugStep();
    }

    function stopPlug() {
        stopPlugSteps();
        plug.element = null;
        $("#connect_usb_comp").stop(true, false);
    }

    document.addEventListener("visibilitychange", function () {
        stopPlugSteps();
        if (!document.hidden)
            plugStep();
    });

    // Whether the plug is moving (a step is due).
    C.plugMoving = function () {
        return plug.timer !== null;
    };

    C.setTCreceived = function (name) {
        var picture = name ? "url(../img/" + name + ".png)" : "none";
        $(".devImg").css({ "background-image": picture, opacity: 1 });
        var connected = !((name === "generic" || name === "") && C.getTCDeviceId() === "");
        stopPlug();
        if (connected) {
            C.setText("settings_tcStatus", "sync_tcconnectedheader");
            $(".tcVerInfo").text(C.getSessionVariable(CONFIG_TAGNAME_CURRENTTCFIRMWARE));
            $("#connect_usb_comp").animate({ left: "244px" }, 2500, "swing", function () {
                $(this).attr("src", "../img/usb2_plugged.png");
                $("#connect_usb_tc")
                    .removeClass("connect_usb_tc_unplugged")
                    .addClass("connect_usb_tc_plugged")
                    .attr("src", "../img/usb1_plugged.png");
            });
        } else {
            C.setText("settings_tcStatus", "sync_tcdisconnectedheader");
            $(".tcVerInfo").text("");
            $("#connect_usb_comp").attr("src", "../img/usb2_unplugged.png");
            $("#connect_usb_tc")
                .removeClass("connect_usb_tc_plugged")
                .addClass("connect_usb_tc_unplugged")
                .attr("src", "../img/usb1_unplugged.png");
            startPlug($("#connect_usb_comp")[0]);
        }
    };

    C.unsetTC = function (model) {
        C.getImage(model, "", "", function (name) {
            var picture = name ? "url(../img/" + name + ".png)" : "none";
            $(".devImg").css({ "background-image": picture, opacity: 0.5 });
        });
        C.setText("settings_tcStatus", "sync_tcdisconnectedheader");
    };

    // --- Panels and progress bar ---------------------------------------------

    C.chgSettings = function (panel, direction) {
        var id = String(panel).replace(/^#/, "");
        var $panel = byId(id);
        $panel.stop(true, true);
        var height = $("#mainpage").height() - $("#pageFooter").height();
        var settings = id === "pageSettings";
        if (direction === "up") {
            $panel.show().css("z-index", 10).animate({ top: 0, height: height }, 400);
            if (settings) {
                var hide = C.getText("button_settings_hide_tooltip");
                $("#pbSettings").attr("type", "off").removeClass("settings_off")
                    .addClass("settings_on").attr("title", hide);
                $("#settings_button_img").attr("title", hide);
                $("#pbSynchronize").hide();
                $("#button_synchronize").hide();
                $("#button_settings").show();
                C.setDefaultActionButtonTo("button_settings");
            }
        } else {
            $panel.animate({ top: height, height: 0 }, 400, function () {
                $panel.hide().css("z-index", 0);
            });
            if (settings) {
                var show = C.getText("button_settings_show_tooltip");
                $("#pbSettings").attr("type", "on").removeClass("settings_on")
                    .addClass("settings_off").attr("title", show);
                $("#settings_button_img").attr("title", show);
                $("#pbSynchronize").show();
                $("#button_synchronize").show();
                $("#button_settings").hide().removeClass("buttonDefaultAction");
            }
        }
    };

    C.showHideSettings = function () {
        if ($("#pbSettings").attr("type") === "on") {
            C.chgSettings("pageSettings", "up");
            if (typeof window.loadAllSettings === "function")
                window.loadAllSettings();
            C.setTC(C.getTCModel());
        } else {
            C.chgSettings("pageSettings", "down");
            if (typeof window.saveAllSettings === "function")
                window.saveAllSettings();
        }
    };

    C.chgProgressbar = function (direction) {
        var $container = $("#progress_container");
        $container.stop(true, true);
        if (direction === "up") {
            $("#progbord").show();
            $container.attr("type", "up").animate({ bottom: 0 }, 400);
        } else {
            var height = $("#progbord").outerHeight() || 0;
            $container.attr("type", "down").animate({ bottom: -height }, 400, function () {
                $("#progbord").hide();
            });
        }
    };

    // --- Texts -------------------------------------------------------------

    function textKey(textid) {
        return String(textid).replace("App.", "").replace("syncMain.", "").replace("i18n.", "");
    }

    function hasText(i18n, key) {
        return Object.prototype.hasOwnProperty.call(i18n, key) && typeof i18n[key] === "string";
    }

    C.searchChar = function (text, character) {
        var count = 0;
        var s = String(text);
        for (var i = 0; i < s.length; ++i) {
            if (s.charAt(i) === character)
                ++count;
        }
        return count;
    };

    // Fills "[NAME]" tags: a name the translation object has takes its
    // value (trusted), any other takes the next argument, as text.
    C.replaceTags = function (i18n, text, args) {
        var result = String(text);
        var values = args === undefined || args === null ? [] : Array.isArray(args) ? args : [args];
        var first = result.indexOf("[");
        if (first < 0 || result.indexOf("]", first) < 0)
            return result;
        var used = 0;
        var count = C.searchChar(result, "[");
        for (var i = 0; i < count; ++i) {
            var start = result.indexOf("[");
            var end = result.indexOf("]");
            if (start < 0 || end < start)
                break;
            var name = result.substring(start + 1, end);
            var value;
            if (i18n && hasText(i18n, name))
                value = i18n[name];
            else if (used < values.length)
                value = C.escapeHtml(values[used++]);
            else
                value = "";
            result = result.substring(0, start) + value + result.substring(end + 1);
        }
        return result;
    };

    C.getText = function (textid, args) {
        try {
            var i18n = App.syncMain.i18n;
            var key = textKey(textid);
            if (!hasText(i18n, key))
                return textid;
            return C.replaceTags(i18n, i18n[key], args);
        } catch (e) {
            return textid;
        }
    };

    C.getTrText = function (textid, args) {
        var key = C.escapeHtml(textKey(textid));
        return "<span class=\"i18n\" id=\"" + key + "\" textid=\"" + key + "\">" +
               C.getText(textid, args) + "</span>";
    };

    C.setText = function (elemid, textid, args) {
        if (!textid) {
            C.log("Not a valid textid when setting text to element: " + elemid);
            return;
        }
        var key = textKey(textid);
        var i18n;
        try {
            i18n = App.syncMain.i18n;
            i18n[key];
        } catch (e) {
            C.log("setText: " + e);
            return;
        }
        var $element = byId(elemid);
        if ($element.hasClass("button") && !$element.hasClass("i18n"))
            $element = $element.find(".i18n").first();
        var progress = elemid === "progress_syncmessage" ||
                       $element.closest("#progress_syncmessage").length > 0;
        if (progress)
            C.stopBlink();
        if (!hasText(i18n, key)) {
            C.log("Could not change text to element: " + elemid + ", textid: " + key);
            return;
        }
        var text = C.getText(key, args);
        if ($element.is("input")) {
            $element.val(text).attr("textid", key).attr("title", "");
        } else if ($element.hasClass("i18n")) {
            $element.html(text).attr("textid", key);
        } else {
            $element.html(C.getTrText(key, args));
        }
        if (elemid === "progress_syncmessage" && text.indexOf("...") > 0)
            C.blink(elemid);
    };

    C.blinkId = null;

    C.stopBlink = function () {
        if (C.blinkId !== null)
            window.clearInterval(C.blinkId);
        C.blinkId = null;
    };

    C.blink = function (elemid) {
        C.stopBlink();
        var $element = byId(elemid);
        var $inner = $element.find(".i18n").first();
        var $target = $inner.length ? $inner : $element;
        var base = $target.text().split("...").join("");
        var dots = 0;
        $target.text(base);
        C.blinkId = window.setInterval(function () {
            dots = dots === 3 ? 0 : dots + 1;
            $target.text(base + "...".substring(0, dots));
        }, 600);
    };

    // Fades one of the instruction area's picture and text out and the
    // other in.
    function swapInstruction(showText) {
        var $out = $(showText ? "#instrImg" : "#pageInstrText");
        var $in = $(showText ? "#pageInstrText" : "#instrImg");
        $(".pageInfoTextHolder").css("vertical-align", showText ? "middle" : "");
        $("#pageInstrText").stop(true, true);
        $("#instrImg").stop(true, true);
        $out.fadeOut("fast", function () {
            $(this).hide();
        });
        $in.fadeIn("fast");
    }

    C.showPageInstruction = function () {
        swapInstruction(true);
    };

    C.hidePageInstruction = function () {
        swapInstruction(false);
    };

    // --- Translations ------------------------------------------------------

    // Shown when neither the chosen language's file nor the English one can
    // be read, or none was served: enough for the error dialog with Sync
    // again and Close (a message not here shows as the general error). The
    // texts are those of translations_en.json (a test compares them).
    var builtInTexts = {
        LANG_CODE: "en",
        error_header: "Something went wrong",
        error_message_libgeneralerror: "Something went wrong. Sync again.",
        error_nonetworkconnection: "No internet connection. Check your connection and try again.",
        error_message_400: "The service could not handle the request. Try again later.",
        button_retry: "Sync again",
        button_close: "Close",
        button_ok: "OK"
    };

    C.builtInTranslations = function () {
        return $.extend({}, builtInTexts);
    };

    C.createLangFileName = function (lang, base) {
        var code = lang ? String(lang) : "en";
        var name = String(base);
        var at = name.indexOf(".json");
        return at < 0 ? name : name.substring(0, at) + "_" + code + name.substring(at);
    };

    function parseTranslations(data) {
        if (data && typeof data === "object")
            return data;
        if (typeof data !== "string" || data === "")
            return null;
        try {
            var parsed = JSON.parse(data.charAt(0) === "\ufeff" ? data.substring(1) : data);
            return parsed && typeof parsed === "object" && !Array.isArray(parsed) ? parsed : null;
        } catch (e) {
            return null;
        }
    }

    function setDeviceName(i18n) {
        var fullModel = C.getSessionVariable(CONFIG_TAGNAME_CURRENTTCFULLMODEL);
        if (fullModel.toLowerCase() === "zarvo tovri 2" && C.getModelWithDesign() === "brillane" &&
            C.getModelWithColor() === "white")
            i18n.DEVICENAME = "Zarvo Tovri Vistel";
        else
            i18n.DEVICENAME = C.escapeHtml(fullModel);
    }

    // The translation object of a file's data (its object, or its text with
    // or without a byte-order mark). Data that is not a JSON object gives
    // the built-in English texts.
    C.createLocObject = function (data) {
        var i18n = parseTranslations(data);
        if (!i18n) {
            C.log("Translation data is not a JSON object; using the built-in texts.");
            i18n = C.builtInTranslations();
        }
        setDeviceName(i18n);
        return i18n;
    };

    function failTranslations(fail) {
        if (App.syncMain && !App.syncMain.i18n)
            App.syncMain.i18n = C.createLocObject(C.builtInTranslations());
        resetErrorDlg();
        verdict("i18n.error_message_libgeneralerror", retryButtons, false);
        if (typeof fail === "function")
            fail(undefined, "parsererror", "No usable translation file");
    }

    // Reads the language's file and hands it to success. A file that is not
    // a JSON object is logged and the English one read instead (once); when
    // that is unusable too, the built-in texts are installed and the failure
    // function called, so the error dialog has its texts.
    C.loadTranslationFile = function (retObj, lang, base, success) {
        var english = !lang || lang === "en";
        var file = C.createLangFileName(lang, base);
        var main = App.syncMain;
        var fail = main && typeof main.errorCase === "function" ? function () {
            return main.errorCase.apply(main, arguments);
        } : undefined;

        function unusable() {
            C.log("Could not parse translation file: " + file);
            if (english)
                failTranslations(fail);
            else
                C.loadTranslationFile(retObj, "en", base, success);
        }

        function done(data, status, obj) {
            if (parseTranslations(data))
                success(data, status, obj);
            else
                unusable();
        }

        function failed(data, status, obj) {
            if (data === "parsererror") {
                unusable();
                return;
            }
            C.parseRemoteReply(status, obj);
            if (typeof fail === "function")
                fail(obj, status, status);
        }

        if (C.isOfflineDialog())
            App.syncMain.eOffline.readOfflineFile(file, retObj, done, failed, "application/json");
        else
            App.syncMain.eContent.read(file, retObj, done, failed, "application/json");
    };

    // --- Buttons and quick dialogs -------------------------------------------

    C.setDefaultActionButtonTo = function (button) {
        $(".buttonDefaultAction").removeClass("buttonDefaultAction");
        if (button)
            byId(button).addClass("buttonDefaultAction");
    };

    // Buttons whose id is not their text key.
    var buttonTextKeys = { button_syncagain: "button_retry" };

    function buttonLabel(id) {
        var key = buttonTextKeys[id] || id;
        var text = C.getText(key);
        return text === key ? null : text;
    }

    function parseDocument(html) {
        var doc = null;
        try {
            doc = new window.DOMParser().parseFromString(html, "text/html");
        } catch (e) {
            doc = null;
        }
        if (!doc || !doc.documentElement) {
            doc = document.implementation.createHTMLDocument("");
            doc.documentElement.innerHTML = html;
        }
        return doc;
    }

    C.showQuickDialog = function (dlgType, data, text, script) {
        // Not String.replace: the engine reads "$&" and the like in the text
        // even when a function gives it.
        var html = String(data === undefined || data === null ? "" : data);
        var at = html.indexOf("[TEXT]");
        if (at >= 0) {
            html = html.substring(0, at) + (text === undefined || text === null ? "" : String(text)) +
                   html.substring(at + "[TEXT]".length);
        }
        // Parsed apart from this page: its scripts never run here.
        var doc = parseDocument(html);
        var buttons = doc.querySelectorAll(".button");
        for (var i = 0; i < buttons.length; ++i) {
            var label = buttonLabel(buttons[i].id);
            var inner = buttons[i].querySelector(".i18n");
            if (inner && label !== null)
                inner.innerHTML = label;
        }
        var content = "<!DOCTYPE html>\n" + doc.documentElement.outerHTML;
        var fullScript = (script ? String(script) : "") + "changeLayout(" + dlgType + ");";
        callSlot("SLOT_showQuickDialog", [dlgType, content, fullScript]);
    };

    C.loadQuickDialog = function (eOff, eOnl, url, dlgType, textId, script) {
        var text = C.getText(textId);
        var show = function (data) {
            C.showQuickDialog(dlgType, data, text, script);
        };
        var failed = function (data, status) {
            C.log("Could not load quick dialog " + url + ", status: " + status);
        };
        if (C.isOfflineDialog())
            eOff.readOfflineFile(url, this, show, failed, "text/html");
        else
            eOnl.read(url, this, show, failed, "text/html");
    };

    C.openFTUhelp = function () {
        var address = C.getSessionVariable("ftu_url");
        var script =
            "App.Common.showButtons('save');" +
            "$('#mainpage').append($('<p></p>').html(" +
            C.jsString(C.getText("error_message_copyaddress")) + "));" +
            "$('#mainpage').append($('<p></p>').text(" + C.jsString(address) + "));" +
            "$('#button_save .i18n').html(" + C.jsString(C.getText("button_copy")) + ");" +
            "$('#button_save').one('click', function () { JSObject.SLOT_copyToClipboard(" +
            C.jsString(address) + "); });";
        var syncMain = App.syncMain || {};
        C.loadQuickDialog(syncMain.eOffline, syncMain.eContent, "ui/quickhelp.html",
                          dialogTypes.PromptDialog, "", script);
    };

    function closeWindow() {
        callSlot("SLOT_close", []);
    }

    // One frame per button value: its element, what a click does (bound
    // once, under the "common" name space) and whether it becomes the
    // default action.
    var buttonRows = [
        { value: "ok", id: "button_ok", click: closeWindow, main: true },
        { value: "syncagain", id: "button_syncagain", once: true, main: true,
          click: function () { App.syncMain.reSync(); } },
        { value: "networksettings", id: "button_networksettings",
          click: function () {
              if ($("#pbSettings").attr("type") === "on")
                  C.showHideSettings();
              if (typeof window.showTabIndex === "function")
                  window.showTabIndex(1);
          } },
        { value: "save", id: "button_save" },
        { value: "savenclose", id: "button_saveandclose" },
        { value: "close", id: "button_close", click: closeWindow },
        { value: "cancel", id: "button_cancel", click: closeWindow },
        { value: "yes", id: "button_yes", main: true },
        { value: "no", id: "button_no" },
        { value: "later", id: "button_later" }
    ];

    C.showButtons = function () {
        if (arguments.length > 0 && arguments[0] === "none") {
            if (typeof window.hideButtons === "function")
                window.hideButtons();
            return;
        }
        // The buttons take the progress bar's place: its running bar ends.
        $("#progress").stop(true, false).removeClass("progressInfinite");
        $("#progress_container").hide();
        $("#buttons").show();
        $("#button_settings").hide();
        $("#button_synchronize").hide();
        if (arguments.length > 0) {
            C.initErrorDlgButtonValues();
            for (var a = 0; a < arguments.length && a < 2; ++a) {
                if (errorDlgValues.buttons.hasOwnProperty(arguments[a]))
                    errorDlgValues.buttons[arguments[a]] = 1;
            }
        }
        $.each(buttonRows, function (i, row) {
            var $button = byId(row.id);
            if (errorDlgValues.buttons[row.value] !== 1) {
                $button.hide();
                return;
            }
            $button.show();
            if (row.click) {
                $button.off("click.common");
                if (row.once)
                    $button.one("click.common", row.click);
                else
                    $button.on("click.common", row.click);
            }
            if (row.main)
                C.setDefaultActionButtonTo(row.id);
        });
    };

    C.enableSyncButton = function () {
        $("#pbSynchronize").off("click.common").one("click.common", function () {
            App.syncMain.reSync();
        });
        $("#button_synchronize").removeClass("buttonDisabled").show();
        C.setDefaultActionButtonTo("button_synchronize");
    };

    C.disableSyncButton = function () {
        $("#pbSynchronize").off("click.common");
        $("#button_synchronize").addClass("buttonDisabled").removeClass("buttonDefaultAction");
    };

    C.enableSettingsButton = function () {
        if ($("#pbSettings").attr("type") !== "on") {
            $("#button_settings").show();
            C.setDefaultActionButtonTo("button_settings");
        }
        $("#pbSettings").attr("onclick", "App.Common.showHideSettings()")
            .removeClass("buttonDisabled");
        $("#button_settings").removeClass("buttonDisabled");
        $("#settings_button_img").removeClass("settingsButtonImgDisabled")
            .addClass("settingsButtonImg");
    };

    C.disableSettingsButton = function () {
        $("#pbSettings").removeAttr("onclick").addClass("buttonDisabled");
        $("#button_settings").addClass("buttonDisabled").removeClass("buttonDefaultAction");
        $("#settings_button_img").removeClass("settingsButtonImg")
            .addClass("settingsButtonImgDisabled");
    };

    // --- Fonts ---------------------------------------------------------------

    var headers = "h1, h2, h3, h4, h5, h6";

    C.dropFonts = function (lang) {
        var code = String(lang === undefined || lang === null ? "" : lang);
        var offline = C.isOfflineDialog();
        if (code.indexOf("ja") >= 0 || code.indexOf("zh") >= 0) {
            if (offline) {
                $("body").css({ "font-size": "14px", "font-family": "Helvetica, Arial" });
                $(headers + ", .pageInfoTextHolderSmall").css("font-size", "20px");
                $(".tabheader").css("font-family", "Helvetica");
            } else {
                $("#rs_fonts").attr("href", "../ui/css/fonts_asia.css");
            }
            return;
        }
        var os = String(callSlot("SLOT_getOSVersion", [], ""));
        var systemHeaders = os === "mac0" || os === "mac11";
        if (offline) {
            $("body").css("font-size", "15px");
            $(headers).css({
                "font-family": systemHeaders ? "\"Helvetica Neue\""
                                             : "\"Nimbus Sans Novus Cond Bold\"",
                "font-size": "23px"
            });
        } else {
            $("#rs_fonts").attr("href", systemHeaders ? "../ui/css/fonts_mav.css"
                                                      : "../ui/css/fonts.css");
        }
    };

    // --- Progress, content-delivery address, sync resources -----------------

    function number(value) {
        var n = Number(value);
        return isNaN(n) ? 0 : n;
    }

    C.countMyProgress = function (totalMajor, curMajor, totalMinor, curMinor, totalMinor2,
                                  curMinor2) {
        var tMajor = number(totalMajor);
        if (!(tMajor > 0))
            return 0;
        var r = number(curMajor) / tMajor;
        var tMinor = number(totalMinor);
        if (totalMinor !== undefined && curMinor !== undefined && tMinor > 0) {
            r += number(curMinor) / (tMajor * tMinor);
            var tMinor2 = number(totalMinor2);
            if (totalMinor2 !== undefined && curMinor2 !== undefined && tMinor2 > 0)
                r += number(curMinor2) / (tMajor * tMinor * tMinor2);
        }
        return Math.min(100, Math.round(100 * r));
    };

    C.getCfAddress = function (obj, success, fail) {
        C.setSessionVariable(CONFIG_TAGNAME_CFURL, "");
        $.ajax({ url: App.syncMain.jsonRSVerInfo, type: "GET", dataType: "json", timeout: 30000,
                 cache: false })
            .done(function (data, textStatus, jqXHR) {
                var good = C.parseSuccessRatio(textStatus) && data !== null &&
                           typeof data === "object" && !Array.isArray(data) &&
                           typeof data.url === "string";
                if (good) {
                    C.setSessionVariable(CONFIG_TAGNAME_CFURL, data.url);
                    if (typeof success === "function")
                        success(data.url, textStatus);
                } else if (typeof fail === "function") {
                    fail(jqXHR, textStatus);
                }
            })
            .fail(function (jqXHR, textStatus) {
                if (typeof fail === "function")
                    fail(jqXHR, textStatus);
            });
    };

    C.findSyncResource = function (name, cont) {
        App.syncMain.eContent.findResource(
            ["sync", C.getTCModel().toLowerCase(),
             C.getSessionVariable(CONFIG_TAGNAME_CURRENTTCFIRMWARE)],
            name, cont);
    };

    return C;
}(jQuery));

// --- Helpers of the sync phase scripts ---------------------------------------

// [year, month, day, hours, minutes, seconds, fraction] of an ISO 8601 text
// (calendar date YYYY-MM-DD, week date YYYY-Www-D or ordinal date YYYY-DDD,
// then optionally "T" or a blank and hh:mm[:ss[.fraction]], then optionally
// "Z" or a signed offset hh:mm), followed by [sign, hours, minutes] for an
// explicit offset; [-1] for anything else. A week date gives month 0 and the
// day (week - 1) x 7 + weekday, an ordinal date month 0 and its day of the
// year; the fraction is its digits read as an integer.
function parseISODate(text) {
    "use strict";
    var m = /^(\d{4})-(?:(\d{2})-(\d{2})|W(\d{2})-(\d)|(\d{3}))(?:[T ](\d{2}):(\d{2})(?::(\d{2})(?:[.,](\d+))?)?(Z|([+-])(\d{2}):(\d{2}))?)?$/
        .exec(String(text === undefined || text === null ? "" : text));
    if (!m)
        return [-1];
    var n = function (i) {
        return m[i] === undefined ? 0 : parseInt(m[i], 10);
    };
    var year = n(1);
    var month = 0;
    var day;
    if (m[2] !== undefined) {
        month = n(2);
        day = n(3);
        if (month < 1 || month > 12 || day < 1 || day > 31)
            return [-1];
    } else if (m[4] !== undefined) {
        var week = n(4);
        var weekday = n(5);
        if (week < 1 || week > 53 || weekday < 1 || weekday > 7)
            return [-1];
        day = (week - 1) * 7 + weekday;
    } else {
        day = n(6);
        if (day < 1 || day > 366)
            return [-1];
    }
    var hours = n(7);
    var minutes = n(8);
    var seconds = n(9);
    if (hours > 24 || minutes > 59 || seconds > 60)
        return [-1];
    var result = [year, month, day, hours, minutes, seconds, n(10)];
    if (m[12] !== undefined) {
        if (n(13) > 23 || n(14) > 59)
            return [-1];
        result.push(m[12], n(13), n(14));
    }
    return result;
}

(function (C, $) {
    "use strict";

    C.parseISODate = parseISODate;

    C.parseRemoteResource = function (url) {
        var text = String(url);
        var scheme = text.indexOf("://");
        var slash = text.indexOf("/", scheme < 0 ? 0 : scheme + 3);
        return slash < 0 ? "" : text.substring(slash);
    };

    C.getIndexString = function (n, width) {
        var text = String(n);
        while (text.length < width)
            text = "0" + text;
        return text;
    };

    // The smallest index from 0 the list lacks, counting to 99 and wrapping
    // to 0, trying at most as many numbers as the list has entries.
    C.parseNextAvailableIndex = function (list) {
        var taken = {};
        for (var i = 0; i < list.length; ++i)
            taken[Number(list[i])] = true;
        var index = 0;
        for (var tries = 0; tries < list.length && taken[index]; ++tries)
            index = index === 99 ? 0 : index + 1;
        return index;
    };

    C.removeSameElements = function (a, b) {
        for (var i = a.length - 1; i >= 0; --i) {
            var at = b.indexOf(a[i]);
            if (at >= 0) {
                var value = a[i];
                a.splice(i, 1);
                for (var j = b.length - 1; j >= 0; --j) {
                    if (b[j] === value)
                        b.splice(j, 1);
                }
            }
        }
    };

    C.tweakLangCodesArray = function (codes) {
        for (var i = codes.length - 1; i >= 0; --i) {
            if (codes[i] === "en")
                codes.splice(i, 1);
        }
        for (var k = 0; k < codes.length; ++k)
            codes[k] = String(codes[k]).split(/[_-]/)[0];
        return codes;
    };

    C.findArrayIndex = function (array, member, value) {
        for (var i = 0; i < array.length; ++i) {
            if (array[i] && array[i][member] === value)
                return i;
        }
        return -1;
    };

    C.findArrayValue = function (array, member, value) {
        var i = C.findArrayIndex(array, member, value);
        return i < 0 ? null : array[i];
    };

    C.findArrayValues = function (array, member, value) {
        var found = [];
        for (var i = 0; i < array.length; ++i) {
            if (array[i] && array[i][member] === value)
                found.push(array[i]);
        }
        return found.length ? found : null;
    };

    // Appends "</br>- " and a short name of a device path (date, time, the
    // file name without extension) unless it is there already. The name
    // comes from the device: it is inserted as text.
    C.addToMoreInfo = function (text, add, dateIndex, timeIndex) {
        var result = String(text === undefined || text === null ? "" : text);
        if (add === undefined || add === null || String(add) === "")
            return result;
        var path = String(add);
        var parts = path.split("/");
        var shift = path.charAt(0) === "/" ? 0 : 1;
        var pieces = [];
        var at = function (index) {
            if (index === undefined || index === null || index < 0)
                return "";
            var part = parts[index - shift];
            return part === undefined ? "" : part;
        };
        var date = at(dateIndex);
        if (/^\d{8}$/.test(date))
            pieces.push(date.substring(0, 4) + "-" + date.substring(4, 6) + "-" + date.substring(6, 8));
        var time = at(timeIndex);
        if (/^\d{4}/.test(time))
            pieces.push(time.substring(0, 2) + ":" + time.substring(2, 4));
        var last = parts[parts.length - 1].split(".")[0].split("?")[0].toLowerCase();
        pieces.push(last);
        var entry = "</br>- " + C.escapeHtml(pieces.join(" "));
        return result.indexOf(entry) >= 0 ? result : result + entry;
    };

    C.sign = function (x) {
        return x > 0 ? 1 : x < 0 ? -1 : x;
    };

    C.signMark = function (x) {
        return x > 0 ? "+" : x < 0 ? "-" : x;
    };

    C.getDayIndexOfWeek = function (name) {
        var index = weekDayNamesArray.indexOf(String(name).toLowerCase());
        return index < 0 ? 1 : index;
    };

    function weekStart(first) {
        return first === undefined || first === null ? 1 : Number(first);
    }

    // The first (or last) day of d's week, at d's time of day, on local
    // or UTC fields.
    function dayOfWeek(d, first, utc, last) {
        var date = new Date(d.getTime());
        var start = weekStart(first);
        var weekday = utc ? date.getUTCDay() : date.getDay();
        var days = last ? (6 - weekday + start) % 7 : -((7 + weekday - start) % 7);
        if (utc)
            date.setUTCDate(date.getUTCDate() + days);
        else
            date.setDate(date.getDate() + days);
        return date;
    }

    C.firstDateOfWeek = function (d, first) {
        return dayOfWeek(d, first, false, false);
    };
    C.lastDateOfWeek = function (d, first) {
        return dayOfWeek(d, first, false, true);
    };
    C.firstUTCDateOfWeek = function (d, first) {
        return dayOfWeek(d, first, true, false);
    };
    C.lastUTCDateOfWeek = function (d, first) {
        return dayOfWeek(d, first, true, true);
    };

    function pad(n, width) {
        return C.getIndexString(Math.abs(Math.floor(n)), width);
    }

    // Milliseconds of an ISO text's fraction digits.
    function fractionMillis(text) {
        var m = /[.,](\d+)/.exec(String(text).replace(/^[^T ]*[T ]/, ""));
        return m ? parseInt((m[1] + "00").substring(0, 3), 10) : 0;
    }

    function fieldsOfDate(date, utc) {
        var offset = utc ? 0 : -date.getTimezoneOffset();
        return {
            year: utc ? date.getUTCFullYear() : date.getFullYear(),
            month: (utc ? date.getUTCMonth() : date.getMonth()) + 1,
            day: utc ? date.getUTCDate() : date.getDate(),
            hours: utc ? date.getUTCHours() : date.getHours(),
            minutes: utc ? date.getUTCMinutes() : date.getMinutes(),
            seconds: utc ? date.getUTCSeconds() : date.getSeconds(),
            millis: utc ? date.getUTCMilliseconds() : date.getMilliseconds(),
            sign: offset < 0 ? "-" : "+",
            offsetHours: Math.floor(Math.abs(offset) / 60),
            offsetMinutes: Math.abs(offset) % 60
        };
    }

    function fieldsOfText(text) {
        var p = parseISODate(text);
        if (p.length < 7)
            return null;
        return {
            year: p[0], month: p[1], day: p[2], hours: p[3], minutes: p[4], seconds: p[5],
            millis: fractionMillis(text),
            sign: p.length > 7 ? p[7] : "+",
            offsetHours: p.length > 7 ? p[8] : 0,
            offsetMinutes: p.length > 7 ? p[9] : 0
        };
    }

    function format(f, pattern) {
        var out = String(pattern);
        if (out.indexOf("yyyy") >= 0) {
            out = out.replace("yyyy", pad(f.year, 4)).replace("MM", pad(f.month, 2))
                .replace("dd", pad(f.day, 2));
        }
        if (out.indexOf("hh") >= 0 || out.indexOf("Z") >= 0 || out.indexOf("z") >= 0) {
            out = out.replace("hh", pad(f.hours, 2)).replace("mm", pad(f.minutes, 2))
                .replace("ss", pad(f.seconds, 2)).replace("SSS", pad(f.millis, 3));
            var z = out.indexOf("z");
            if (z >= 0) {
                var tail = out.substring(z + 1).replace("hh", pad(f.offsetHours, 2))
                    .replace("mm", pad(f.offsetMinutes, 2));
                out = out.substring(0, z) + f.sign + tail;
            }
        }
        return out;
    }

    // A Date's local fields, or an ISO text's own fields.
    C.datetimeToString = function (value, pattern) {
        var f = value instanceof Date ? fieldsOfDate(value, false) : fieldsOfText(value);
        return f ? format(f, pattern) : "";
    };

    // The instant of an ISO text: its offset, UTC for "Z", local time
    // without either. Null when the text is no calendar date and time.
    C.isoTextToDate = function (text) {
        var p = parseISODate(text);
        if (p.length < 7 || p[1] === 0)
            return null;
        var millis = fractionMillis(text);
        var explicitUtc = /Z$/.test(String(text));
        if (p.length > 7 || explicitUtc) {
            var t = Date.UTC(p[0], p[1] - 1, p[2], p[3], p[4], p[5], millis);
            if (p.length > 7)
                t -= (p[7] === "-" ? -1 : 1) * (p[8] * 60 + p[9]) * 60000;
            return new Date(t);
        }
        return new Date(p[0], p[1] - 1, p[2], p[3], p[4], p[5], millis);
    };

    C.convertDatetimeToString = function (text, pattern) {
        var date = C.isoTextToDate(text);
        return date ? format(fieldsOfDate(date, false), pattern) : "";
    };

    C.convertDatetimeToUTCString = function (text, pattern) {
        var date = C.isoTextToDate(text);
        return date ? format(fieldsOfDate(date, true), pattern) : "";
    };

    C.convertISOdateToString = function (text) {
        return C.convertDatetimeToUTCString(text, "yyyy-MM-dd");
    };

    C.convertISOtimeToString = function (text) {
        return C.convertDatetimeToUTCString(text, "hh:mm:ss");
    };

    // yyyyMMdd[/subDir]/hhmmss of the UTC fields of a Date or an ISO text.
    C.convertISOdateStringToDevicePath = function (utc, subDir) {
        var date = utc instanceof Date ? utc : C.isoTextToDate(utc);
        if (!date)
            return "";
        var f = fieldsOfDate(date, true);
        var parts = [pad(f.year, 4) + pad(f.month, 2) + pad(f.day, 2)];
        if (subDir)
            parts.push(subDir);
        parts.push(pad(f.hours, 2) + pad(f.minutes, 2) + pad(f.seconds, 2));
        return parts.join("/");
    };

    C.isThisCurrentDayFolder = function (path, isoDay) {
        var f = fieldsOfText(isoDay);
        if (!f || f.month === 0)
            return false;
        return String(path).indexOf(pad(f.year, 4) + pad(f.month, 2) + pad(f.day, 2)) >= 0;
    };

    C.isEntryDateSubDirTimeFolder = function (entry) {
        return /^\d{8}\/PHYSDATA\/\d{6}$/.test(String(entry));
    };
}(App.Common, jQuery));

// Removes every element loosely equal to value; not enumerable, so loops
// over arrays never meet it.
Object.defineProperty(Array.prototype, "cleanArray", {
    configurable: true,
    writable: true,
    value: function (value) {
        for (var i = this.length - 1; i >= 0; --i) {
            /* eslint-disable-next-line eqeqeq */
            if (this[i] == value)
                this.splice(i, 1);
        }
        return this;
    }
});
