// The main page's controller: SyncMain carries one synchronisation from the
// start of the page to its summary or its error. It loads the translations
// and the sync phase scripts from the content server, shows the device list
// or the progress page, hands over to the phases and collects their
// results. Loaded after jQuery, endpoint.js and common.js.
//
// The bridge evaluates "App.syncMain.errorCase();" and "smain.errorCase();"
// by name, and the phase scripts call the members below by name: names and
// argument orders stay as they are.

window.App = window.App || {};

// Waits a test may lower before the page starts; the shipped values stand.
App.pageTiming = App.pageTiming || {};
(function (timing) {
    "use strict";
    var defaults = { connectWaitMs: 60000, browserFadeMs: 6000, ssoBackoffMs: 2000,
                     phaseScriptTimeoutMs: 30000 };
    for (var key in defaults) {
        if (typeof timing[key] !== "number")
            timing[key] = defaults[key];
    }
}(App.pageTiming));

var smain = null;

(function ($) {
    "use strict";

    var revision = "37";

    // The phases the sync logic may name: p_name, p_index, obj_name and the
    // endpoints each constructor takes, in this order.
    var phaseTable = [
        { p_name: "authenticate", p_index: 0, obj_name: "Authenticate", args: ["eLocal", "eRemote", "eUserSync"] },
        { p_name: "selfupdate", p_index: 1, obj_name: "SelfUpdate", args: ["eOffline", "eContent"] },
        { p_name: "device_info", p_index: 2, obj_name: "DeviceInfo", args: ["eContent"] },
        { p_name: "user_settings", p_index: 3, obj_name: "UserSettings", args: ["eLocal", "eUserSync"] },
        { p_name: "exercises", p_index: 4, obj_name: "Exercises", args: ["eLocal", "eUserSync"] },
        { p_name: "activities", p_index: 5, obj_name: "Activities", args: ["eLocal", "eUserSync"] },
        { p_name: "sensors", p_index: 6, obj_name: "Sensors", args: ["eLocal", "eUserSync"] },
        { p_name: "sport_profiles", p_index: 7, obj_name: "SportProfiles", args: ["eLocal", "eUserSync"] },
        { p_name: "training_targets", p_index: 8, obj_name: "TrainingTargets", args: ["eLocal", "eUserSync"] },
        { p_name: "routes", p_index: 9, obj_name: "Routes", args: ["eLocal", "eUserSync"] },
        { p_name: "totals", p_index: 10, obj_name: "Totals", args: ["eLocal", "eUserSync"] },
        { p_name: "fwupdate", p_index: 11, obj_name: "Fwupdate", args: ["eLocal", "eUserSync", "eContent"] },
        { p_name: "first_time_use", p_index: 12, obj_name: "FirstTimeUse", args: ["eLocal", "eRemote"] },
        { p_name: "sports", p_index: 13, obj_name: "Sports", args: ["eLocal", "eUserSync"] },
        { p_name: "tests", p_index: 14, obj_name: "Tests", args: ["eLocal", "eUserSync"] },
        { p_name: "histories", p_index: 15, obj_name: "Histories", args: ["eLocal", "eUserSync"] },
        { p_name: "agps", p_index: 16, obj_name: "Agps", args: ["eLocal", "eUserSync", "eContent"] },
        { p_name: "languages", p_index: 17, obj_name: "Languages", args: ["eLocal", "eUserSync", "eContent"] },
        { p_name: "apkupdate", p_index: 18, obj_name: "Apkupdate", args: ["eLocal", "eUserSync", "eContent"] },
        { p_name: "maps", p_index: 19, obj_name: "Maps", args: ["eLocal", "eUserSync", "eOffline"] },
        { p_name: "downloads", p_index: 20, obj_name: "Downloads", args: ["eLocal", "eUserSync", "eOffline"] },
        { p_name: "resetsync", p_index: 21, obj_name: "ResetSync", args: ["eLocal"] },
        { p_name: "physical_info", p_index: 22, obj_name: "PhysicalInfo", args: ["eLocal", "eUserSync", "eOffline"] }
    ];

    function C() {
        return App.Common;
    }

    function bridgeHas(name) {
        return typeof window.JSObject !== "undefined" && window.JSObject &&
               typeof window.JSObject[name] === "function";
    }

    function bridgeSignal(name) {
        return typeof window.JSObject !== "undefined" && window.JSObject &&
               window.JSObject[name] && typeof window.JSObject[name].connect === "function"
            ? window.JSObject[name] : null;
    }

    function enableButtons() {
        // A run under way keeps Synchronize off: only its end enables it.
        if (App.syncMain && App.syncMain.runOngoing) {
            C().enableSettingsButton();
            if (typeof window.enableSyncResetButton === "function")
                window.enableSyncResetButton();
            return;
        }
        C().enableSyncButton();
        C().enableSettingsButton();
        if (typeof window.enableSyncResetButton === "function")
            window.enableSyncResetButton();
    }

    // Starts a phase (start makes and runs it). One that throws as it
    // starts would leave the run waiting for ever: the run ends in the
    // general error instead, so a later sync can start. False then. The
    // error case comes on a fresh stack, after the start of a fragment the
    // phase's caller has just shown (it sets its own texts).
    function startPhase(self, start) {
        try {
            start();
            return true;
        } catch (e) {
            C().log("A sync phase failed to start: " + e);
            window.setTimeout(function () {
                C().parseLocalReply("GENERAL_ERROR");
                self.errorCase();
            }, 0);
            return false;
        }
    }

    function isUpdatePhase(obj) {
        return (typeof window.Fwupdate === "function" && obj instanceof window.Fwupdate) ||
               (typeof window.Apkupdate === "function" && obj instanceof window.Apkupdate);
    }

    // The device's name as translated texts insert it: escaped, since it
    // comes from the device.
    function setDeviceName(self) {
        if (!self.i18n)
            return;
        var fullModel = C().getSessionVariable(CONFIG_TAGNAME_CURRENTTCFULLMODEL);
        if (fullModel.toLowerCase() === "zarvo tovri 2" && C().getModelWithDesign() === "brillane" &&
            C().getModelWithColor() === "white")
            self.i18n.DEVICENAME = "Zarvo Tovri Vistel";
        else
            self.i18n.DEVICENAME = C().escapeHtml(fullModel);
    }

    function SyncMain() {
        this.name = "SyncMain";
        this.url_login = "login/user/associateToApp";
        this.url_loginsso = "login/sso/associateToApp";
        this.url_logout = "logout";
        this.url_logindialog = "ui/login.html";
        this.url_syncprogress = "ui/progress.html";
        this.url_devicelist = "ui/devicelist.html";
        this.url_translations = "tr/translations.json";
        this.url_time = "time";
        this.jsonRSVerInfo = "../ver/rs_ver.json";
        this.phases = phaseTable;
        this.eLocal = undefined;
        this.eOffline = undefined;
        this.eRemote = undefined;
        this.eContent = undefined;
        this.eUserSync = undefined;
        this.username = "";
        this.password = "";
        this.syncIndex = 0;
        this.syncOngoing = false;
        // From the start of a run (a click, or the page's own start with a
        // device) to its summary or error: a second run would take the
        // first one's device handlers.
        this.runOngoing = false;
        // Counts the runs: the answers a run asked for carry its number, so
        // those arriving after it ended are told apart (endpoint.js).
        this.runToken = 0;
        this.staleRunLogged = 0;
        // Set by the settings panel from a factory reset to its end.
        this.factoryResetOngoing = false;
        this.fwUpdCheckStatus = fwCheckStatusEnum.notchecked;
        this.runPostSyncProcess = false;
        this.postFWsyncOnGoing = false;
        this.resetSyncOngoing = false;
        this.errorShown = false;
        this.postFWUpdSummaryTexts = "";
        this.selfUpdObj = undefined;
        this.authenticateObj = undefined;
        this.firstTimeUseObj = undefined;
        this.deviceInfoObj = undefined;
        this.resetSyncObj = undefined;
        this.syncPhaseObjs = [];
        this.i18n = undefined;
        this.firstTimeUseResync = false;
        this.readingErrorPage = false;
        this.firstPageShown = false;
        this.phasesStarted = false;
        // The share of the run the progress bar has shown.
        this.progressDone = 0;
        // Phase objects moved to the end of the list in this run.
        this.movedPhases = [];
        // The device events, connected for the page's life.
        this.eventLinks = new App.BridgeLinks();
        // The clock's answer while it is awaited.
        this.timeLinks = new App.BridgeLinks();
    }

    var proto = SyncMain.prototype;

    proto.getSyncIndex = function () {
        return this.syncIndex;
    };

    // --- One run at a time ---------------------------------------------------

    // Every run, however it starts, holds Synchronize and the reset buttons
    // off until its summary or error.
    proto.beginRun = function () {
        this.runOngoing = true;
        ++this.runToken;
        C().disableSyncButton();
        if (typeof window.disableSyncResetButton === "function")
            window.disableSyncResetButton();
    };

    // The number of the run under way, 0 between runs.
    proto.currentRun = function () {
        return this.runOngoing ? this.runToken : 0;
    };

    // Whether an answer asked for by run token comes after that run ended
    // (logged once per run). Answers asked for between runs always count.
    proto.endedRunAnswer = function (token) {
        if (!token || token === this.currentRun())
            return false;
        if (this.staleRunLogged !== token) {
            this.staleRunLogged = token;
            C().log("An answer of an ended sync run is ignored.");
        }
        return true;
    };

    // An error no script caught while a run is under way (a phase's
    // callback that throws) would leave the window waiting for ever: it is
    // logged with its place and ends the run in the general error, on a
    // fresh stack and only while that same run is still under way.
    App.reportPageError = function (message, place) {
        C().log("Page error: " + message + (place ? " (" + place + ")" : ""));
        var main = App.syncMain;
        var token = main && typeof main.currentRun === "function" ? main.currentRun() : 0;
        if (!token)
            return;
        window.setTimeout(function () {
            if (main.currentRun() !== token)
                return;
            C().parseLocalReply("GENERAL_ERROR");
            main.errorCase();
        }, 0);
    };

    window.addEventListener("error", function (event) {
        var place = event.filename ? event.filename + ":" + event.lineno + ":" + event.colno : "";
        App.reportPageError(event.message || String(event.error), place);
    });

    // jQuery turns an exception in a promise's callback into a rejection
    // that reaches no error handler: its hook reports it.
    if ($.Deferred) {
        var deferredHook = $.Deferred.exceptionHook;
        $.Deferred.exceptionHook = function (error, stack) {
            if (typeof deferredHook === "function")
                deferredHook.apply(this, arguments);
            // The stack's first frame (some engines put the message first).
            var lines = error && error.stack ? String(error.stack).split("\n") : [];
            var place = lines.length > 1 && lines[0].indexOf(String(error)) >= 0 ? lines[1]
                                                                                  : lines[0];
            App.reportPageError(String(error), String(place || "").replace(/^\s+/, ""));
        };
    }

    // --- Start -------------------------------------------------------------

    proto.runsync = function () {
        C().log("Start... Version: " + C().getContentServerVersion() + " " + revision);
        this.errorShown = false;
        if (this.syncOngoing) {
            this.continueSync();
            return;
        }
        this.eLocal = new App.LocalEndpoint(C().getSessionVariable(CONFIG_TAGNAME_CURRENTUSERDIR));
        this.eOffline = new App.LocalEndpoint(C().loadAppSetting(CONFIG_TAGNAME_OFFLINEFILEDIR));
        this.eRemote = new App.RemoteEndpoint(C().loadAppSetting(CONFIG_TAGNAME_REMOTEURL));
        this.eContent = new App.RemoteEndpoint(C().loadAppSetting(CONFIG_TAGNAME_CONTENTURL));
        JSObject.SLOT_initSyncStatesJson();
        if (bridgeHas("SLOT_releaseTCevents") && JSObject.SLOT_releaseTCevents() === true) {
            var self = this;
            var pairs = [["SIGNAL_tcAppeared", "tcAppeared"], ["SIGNAL_tcDisappeared", "tcDisappeared"],
                         ["SIGNAL_announceDorvane", "dorvaneAppeared"],
                         ["SIGNAL_removedDorvane", "dorvaneRemoved"]];
            this.eventLinks.release();
            $.each(pairs, function (i, pair) {
                if (bridgeSignal(pair[0])) {
                    self.eventLinks.connect(pair[0], function () {
                        self[pair[1]].apply(self, arguments);
                    });
                }
            });
        }
        var me = this;
        C().loadTranslationFile(this, C().loadAppSetting(CONFIG_TAGNAME_LANGUAGE),
                                this.url_translations, function (data, status, jqXHR) {
                                    me.translationsLoad(data, status, jqXHR);
                                });
    };

    // --- Device events -----------------------------------------------------

    function trigger(event, args) {
        $("#ktpage").trigger(event, Array.prototype.slice.call(args));
    }

    proto.tcAppeared = function () {
        trigger("tcOnline", arguments);
    };
    proto.tcDisappeared = function () {
        trigger("tcOffline", arguments);
    };
    proto.tcBatteryStatus = function () {
        trigger("tcBatteryStatus", arguments);
    };
    proto.dorvaneAppeared = function () {
        trigger("dorvaneOnline", arguments);
    };
    proto.dorvaneRemoved = function () {
        trigger("dorvaneOffline", arguments);
    };

    // --- Translations ------------------------------------------------------

    proto.translationsLoad = function (data) {
        var self = this;
        if (data)
            this.setTr(data);
        else
            C().log("data is empty! ");
        if (C().isOfflineDialog()) {
            this.eOffline.readOfflineFile("ui/settings.html", this, function (html) {
                $("#pageSettings").html(html);
            }, function () {}, "text/html");
            this.eOffline.readOfflineFile(JSObject.SLOT_offlineFileName(), this, function (html) {
                self.showDialog(html);
            }, function () {}, "text/html");
        } else {
            $("#pageSettings").load("../ui/settings.html");
            this.showFirstPage();
            this.loadSyncPhases();
        }
    };

    proto.setTr = function (data) {
        this.i18n = C().createLocObject(data);
        this.changeLanguage(this.i18n.LANG_CODE);
    };

    proto.indexSetTexts = function () {
        $("#globalhelp").attr("title", C().getText("button_help_tooltip"));
        C().setText("button_synchronize", "button_synchronize");
        C().setText("button_settings", "button_save");
        var tooltip = C().getText("button_settings_show_tooltip");
        $("#pbSettings").attr("title", tooltip);
        $("#settings_button_img").attr("title", tooltip);
    };

    proto.changeLanguage = function (lang) {
        C().dropFonts(lang);
        this.indexSetTexts();
        if (typeof window.settingsSetTexts === "function")
            window.settingsSetTexts();
        $(".i18n").each(function () {
            var $element = $(this);
            var id = this.id || $element.parent().attr("id");
            var textid = $element.attr("textid");
            if (!id || !textid) {
                C().log("Undefined textfield found. id: " + id + ", textid: " + textid);
                return;
            }
            C().setText(id, textid);
        });
    };

    // --- Phase scripts -----------------------------------------------------

    // The phase object of that name, or undefined for a name not in the
    // table; throws when its constructor is not defined.
    proto.createSyncPhase = function (name) {
        for (var i = 0; i < phaseTable.length; ++i) {
            var row = phaseTable[i];
            if (row.p_name !== name)
                continue;
            var Constructor = window[row.obj_name];
            if (typeof Constructor !== "function")
                throw new ReferenceError(row.obj_name + " is not defined");
            var self = this;
            var e = row.args.map(function (member) {
                return self[member];
            });
            return new Constructor(e[0], e[1], e[2]);
        }
        return undefined;
    };

    // Loads every phase script whose constructor is not defined yet, all at
    // once: each only defines constructors, so the order of arrival does not
    // matter. A phase is missing only when no script defined it once all
    // have answered; the first failed load then names the error.
    proto.loadSyncPhases = function () {
        var self = this;
        var doneArray = phaseTable.map(function () {
            return false;
        });
        var failure = null;

        function markDefined() {
            $.each(phaseTable, function (i, row) {
                if (typeof window[row.obj_name] === "function")
                    doneArray[row.p_index] = true;
            });
        }

        function finish() {
            markDefined();
            // Every phase has had its answer: those still missing end the
            // start in an error instead of an idle window.
            if (self.syncPhasesLoad(doneArray))
                return;
            // The engine reports some failed loads without a status (no sign
            // of a missing network), and a script that would not run comes
            // with 200: both show the general error.
            var reply = failure ? failure[0] : null;
            if (!(reply && reply.status > 0 && C().parseRemoteReply(reply.status, reply) === false))
                C().parseLocalReply("GENERAL_ERROR");
            self.errorCase.apply(self, failure || []);
        }

        this.phasesStarted = false;
        markDefined();
        var toLoad = phaseTable.filter(function (row) {
            return !doneArray[row.p_index];
        });
        if (toLoad.length === 0) {
            finish();
            return;
        }
        C().log("Loading phase scripts: " + toLoad.map(function (row) {
            return row.p_name;
        }).join(", "));
        var pending = toLoad.length;
        $.each(toLoad, function (i, row) {
            $.ajax({ url: "../sync/" + row.p_name + ".js", type: "GET", dataType: "script",
                     timeout: App.pageTiming.phaseScriptTimeoutMs })
                .done(function () {
                    markDefined();
                    self.syncPhasesLoad(doneArray, true);
                })
                .fail(function (jqXHR, textStatus, errorThrown) {
                    C().log("Phase script " + row.p_name + " not loaded: " + textStatus +
                            (jqXHR && jqXHR.status ? " " + jqXHR.status : ""));
                    if (!failure)
                        failure = [jqXHR, textStatus, errorThrown];
                })
                .always(function () {
                    if (--pending === 0)
                        finish();
                });
        });
    };

    // True once every phase is there (and the next step has begun).
    proto.syncPhasesLoad = function (doneArray, quiet) {
        var missing = [];
        for (var i = 0; i < doneArray.length; ++i) {
            if (!doneArray[i])
                missing.push(phaseTable[i].p_name);
        }
        if (missing.length > 0) {
            if (quiet)
                return false;
            C().log("Syncphases not ready/load yet.");
            $.each(missing, function (i, name) {
                C().log("Missing syncphase: " + name);
            });
            return false;
        }
        if (this.phasesStarted)
            return true;
        this.phasesStarted = true;
        enableButtons();
        this.afterFirstPage();
        return true;
    };

    // The device list or the progress page goes up while the phase scripts
    // load, so the window is never blank meanwhile.
    proto.showFirstPage = function () {
        var self = this;
        var deviceList = JSObject.SLOT_isDeviceListDialog();
        this.firstPageShown = false;
        this.eContent.read(deviceList ? this.url_devicelist : this.url_syncprogress, this,
                           function (data) {
                               // An error meanwhile has its own page.
                               if (self.errorShown)
                                   return;
                               self.showDialog(data);
                               self.firstPageShown = true;
                               self.afterFirstPage();
                           }, function (a, b, c) {
                               self.errorCase(a, b, c);
                           }, "text/html");
    };

    // The sync starts once its page is up and every phase is there.
    proto.afterFirstPage = function () {
        if (!this.firstPageShown || !this.phasesStarted || this.errorShown)
            return;
        this.firstPageShown = false;
        if (JSObject.SLOT_isDeviceListDialog())
            return;
        // A Synchronize clicked meanwhile has started the run.
        if (this.runOngoing)
            return;
        this.beginRun();
        this.checkRSversion();
    };

    // --- Sync start --------------------------------------------------------

    proto.startSyncProcess = function () {
        var self = this;
        this.errorShown = false;
        this.beginRun();
        this.eContent.read(this.url_syncprogress, this, function (data) {
            self.progressDialogReceived(data);
        }, function (a, b, c) {
            self.errorCase(a, b, c);
        }, "text/html");
    };

    proto.progressDialogReceived = function (data) {
        this.showDialog(data);
        this.checkRSversion();
    };

    proto.checkRSversion = function () {
        var self = this;
        startPhase(this, function () {
            self.selfUpdObj = self.createSyncPhase("selfupdate");
            self.selfUpdObj.runSyncPhase();
        });
    };

    function busyText(model) {
        var m = String(model).toLowerCase();
        if (m === "zarvotovri" || m === "zarvotovri2")
            return "error_message_libtcconnbusy_1";
        if (m === "zarvon410")
            return "error_message_libtcconnbusy_2";
        return "error_message_libtcconnbusy_3";
    }

    proto.rsVersionCheckDone = function () {
        var self = this;
        C().setText("index_header", "progress_syncongoingheader");
        C().setText("progress_syncmessage", "progress_connecting");
        var deviceId = C().getSessionVariable(CONFIG_TAGNAME_CURRENTTCDEVID);
        var status = C().getSessionVariable(CONFIG_TAGNAME_CURRENTTCSTATUS);
        var userDir = C().getSessionVariable(CONFIG_TAGNAME_CURRENTUSERDIR);
        var busy = C().hasFlag(status, "TC_BUSY") || C().hasFlag(status, "SYSTEM_BUSY") ||
                   C().hasFlag(status, "WAIT_FOR_IDLING");
        if (deviceId === "") {
            C().parseLocalReply("TC_CONNECTION_LOST");
            this.errorCase();
        } else if (C().hasFlag(status, "OK") && userDir !== "") {
            if (!startPhase(this, function () {
                self.authenticateObj = self.createSyncPhase("authenticate");
                self.authenticateObj.runSyncPhase();
            }))
                return;
            JSObject.SLOT_startSync();
            JSObject.SLOT_changeSyncState(syncStates.SyncOn);
            C().setTC(C().getTCModel());
            setDeviceName(this);
        } else if (busy || userDir === "") {
            var state = userDir === "" ? syncStates.TCBusy
                                       : C().ConnectClientLibCPFlagToSyncState(status);
            if (state !== syncStates.SyncOn)
                JSObject.SLOT_changeSyncState(state);
            C().setText("index_header", "error_header");
            C().setText("pageInstrText", busyText(C().getTCModel()));
            C().showPageInstruction();
            C().stopBlink();
            $("#progress_syncmessage").empty();
            this.runOngoing = false;
            enableButtons();
        } else {
            // The run ends here; only the prompt's reset may follow.
            this.runOngoing = false;
            C().setText("index_header", "error_message_libcancel");
            C().setText("pageInstrText", "error_message_corrupteddevice");
            C().showPageInstruction();
            C().showButtons("yes", "close");
            $("#button_yes").off("click.common").one("click.common", function () {
                JSObject.SLOT_doFactoryReset(true);
                C().loadQuickDialog(self.eOffline, self.eContent, "ui/quickhelp.html",
                                    dialogTypes.PromptDialog, "generalsettings_factoryreset_unplug",
                                    "App.Common.showButtons('ok');");
            });
        }
    };

    // --- Login ---------------------------------------------------------------

    proto.deviceRegistered = function () {
        var self = this;
        startPhase(this, function () {
            self.firstTimeUseObj = self.createSyncPhase("first_time_use");
            self.firstTimeUseObj.runSyncPhase(self.authenticateObj
                                                  ? self.authenticateObj.publicToken : "");
        });
    };

    proto.firstTimeDataDone = function () {
        this.showFirstTimeUseDialog();
    };

    proto.runSyncWithLogin = function () {
        var u = C().getUsername();
        var p = C().getPassword();
        var self = this;
        if (u !== "" && p !== "") {
            this.sendLoginData(u, p);
            return;
        }
        this.eContent.read(this.url_logindialog, this, function (data) {
            self.showDialog(data);
        }, function (a, b, c) {
            self.errorCase(a, b, c);
        }, "text/html");
    };

    proto.sendLoginData = function (u, p) {
        var self = this;
        var body = JSON.stringify({ username: String(u), password: String(p) });
        // The authenticate phase is the caller, so that a 401 reaches the
        // login panel rather than the general error.
        var caller = this.authenticateObj || this;
        this.eRemote.write(this.url_login, caller, function (data, status, jqXHR) {
            self.userLoginDone(data, status, jqXHR, u, p);
        }, function (textStatus, status, jqXHR) {
            // Only the service refusing the credentials reads as a wrong
            // password; an answer that cannot be read or a failed service
            // is the general error.
            var code = parseInt(status, 10);
            if (code !== 400 && code !== 401 && code !== 403) {
                C().log("Login not answered usably: status " + status + ", " + textStatus);
                if (isNaN(code) || C().parseRemoteReply(code, jqXHR) !== false)
                    C().parseLocalReply("GENERAL_ERROR");
                self.errorCase(jqXHR, textStatus, status);
                return;
            }
            function refused() {
                C().chgSettings("pageLogin", "up");
                C().setText("login_header", "error_loginfailed");
            }
            // Stored credentials the service refuses: the login fragment is
            // not there yet, and an empty panel would leave no way to sign in.
            if ($("#pageLogin #login_header").length > 0) {
                refused();
                return;
            }
            self.eContent.read(self.url_logindialog, self, function (data) {
                self.showDialog(data);
                refused();
            }, function (a, b, c) {
                self.errorCase(a, b, c);
            }, "text/html");
        }, "application/json", "application/json", body);
    };

    proto.userLoginDone = function (data, status, jqXHR, u, p) {
        if (this.syncOngoing) {
            C().log("There is already a sync ongoing..");
            return;
        }
        var hide = bridgeSignal("SIGNAL_hideQuickDialog");
        if (hide)
            JSObject.SIGNAL_hideQuickDialog();
        C().setText("index_header", "progress_syncongoingheader");
        C().setText("progress_syncmessage", "progress_connecting");
        // Signed in: the login panel gives the progress page back.
        if ($("#pageLogin").is(":visible"))
            C().chgSettings("pageLogin", "down");
        if (u !== undefined && p !== undefined) {
            this.username = String(u);
            this.password = String(p);
            C().setUsername(this.username);
            C().setPassword(this.password);
        }
        this.preserveUserBaseUrl(data);
        if (this.authenticateObj) {
            this.authenticateObj.userEndpoint = this.eUserSync;
            var auth = this.authenticateObj;
            this.getServerTimes(function () {
                auth.getUserId();
            });
        }
    };

    proto.preserveUserBaseUrl = function (data) {
        if (typeof data === "string") {
            try {
                data = JSON.parse(data);
            } catch (e) {
                data = {};
            }
        }
        data = data || {};
        if (data.trainingComputerDeviceId !== undefined && data.trainingComputerDeviceId !== null)
            C().setSessionVariable(CONFIG_TAGNAME_CURRENTTCDBDEVID, data.trainingComputerDeviceId);
        if (data.id !== undefined && data.id !== null)
            C().setSessionVariable(CONFIG_TAGNAME_CURRENTMASTERID, data.id);
        C().setSessionVariable(CONFIG_TAGNAME_SYNCURL, data.baseUrl);
        this.eUserSync = new App.RemoteEndpoint(data.baseUrl === undefined ? "" : data.baseUrl);
    };

    proto.dbaLoginDone = function () {
        var self = this;
        C().chgSettings("pageLogin", "down");
        this.getServerTimes(function () {
            self.runSyncPhases();
        });
    };

    // --- First-time use ----------------------------------------------------

    var ssoPollSent = false;

    proto.showFirstTimeUseDialog = function () {
        var self = this;
        C().setText("index_header", "progress_firsttimeuseheader");
        C().setText("progress_syncmessage", "progress_firsttimeuse");
        JSObject.SLOT_resizeme();
        var token = this.authenticateObj ? this.authenticateObj.publicToken : "";
        var address = C().combineUrl(C().loadAppSetting(CONFIG_TAGNAME_RAVOURL),
                                     "settings/device/firstTime?token=" +
                                     encodeURIComponent(token) + "&deviceid=" +
                                     encodeURIComponent(C().getTCDeviceId()));
        this.startLoginSso();

        function opened() {
            window.setTimeout(function () {
                $("#progbord").fadeOut("slow");
                C().setSessionVariable("ftu_url", address);
                var $link = $("<span>").addClass("link").css("font-size", "14px")
                    .html(C().getText("generalsettings_quickhelp_tooltip"))
                    .on("click", function () {
                        C().openFTUhelp();
                    });
                $("#progress_syncmessage").empty()
                    .append($("<span>").html(C().getText("progress_firsttimeuse")))
                    .append($("<br>")).append($link);
                C().stopBlink();
            }, App.pageTiming.browserFadeMs);
        }

        if (JSObject.SLOT_openExternalLink(address) !== false) {
            opened();
            return;
        }
        C().setText("pageInstrText", "error_message_openbrowser");
        C().showPageInstruction();
        C().showButtons("yes");
        $("#button_yes .i18n").html(C().getText("button_openweb"));
        $("#button_yes").attr("title", address).off("click.common").one("click.common", function () {
            if (JSObject.SLOT_openExternalLink(address) !== false) {
                C().setText("index_header", "progress_firsttimeuseheader");
                C().setText("progress_syncmessage", "progress_firsttimeuse");
                C().hidePageInstruction();
                if (typeof window.hideButtons === "function")
                    window.hideButtons();
                opened();
                return;
            }
            C().setText("pageInstrText", "error_message_copyaddress");
            C().showButtons("save");
            $("#button_save .i18n").html(C().getText("button_copy"));
            $("#button_save").attr("title", address).off("click.common")
                .one("click.common", function () {
                    JSObject.SLOT_copyToClipboard(address);
                });
        });
    };

    proto.startLoginSso = function () {
        var self = this;
        if (this.firstTimeUseResync) {
            if (bridgeHas("SLOT_putOnTop"))
                JSObject.SLOT_putOnTop(false);
            this.firstTimeUseResync = false;
        }
        var auth = this.authenticateObj || {};
        ssoPollSent = true;

        function completed() {
            if (!ssoPollSent)
                return false;
            ssoPollSent = false;
            if (bridgeSignal("SIGNAL_hideQuickDialog"))
                JSObject.SIGNAL_hideQuickDialog();
            JSObject.SLOT_showDialog(true);
            if (bridgeHas("SLOT_putOnTop"))
                JSObject.SLOT_putOnTop(true);
            return true;
        }

        $.ajax({
            type: "POST",
            url: C().combineUrl(this.eRemote.path, this.url_loginsso),
            xhrFields: { withCredentials: true },
            data: JSON.stringify({ secretToken: String(auth.secretToken || ""),
                                   publicToken: String(auth.publicToken || "") }),
            contentType: "application/json",
            dataType: "json",
            headers: {
                "Accept": "application/json",
                "authorization": "Basic " + C().getSessionVariable(CONFIG_TAGNAME_APPLOGINKEYNAME),
                "Accept-Language": C().loadAppSetting(CONFIG_TAGNAME_LANGUAGE)
            }
        }).done(function (data, status, jqXHR) {
            if (!completed())
                return;
            self.userLoginDone(data, status, jqXHR);
        }).fail(function (jqXHR, textStatus, errorThrown) {
            if (!completed())
                return;
            if (textStatus === "timeout" || jqXHR.status === 504 ||
                C().parseRemoteReply(jqXHR.status, jqXHR)) {
                // A server answering at once is not polled in a busy loop.
                window.setTimeout(function () {
                    self.startLoginSso();
                }, App.pageTiming.ssoBackoffMs);
                return;
            }
            self.errorCase(jqXHR, textStatus, errorThrown);
        });
    };

    // --- Server time -------------------------------------------------------

    proto.getServerTimes = function (contFunction) {
        var self = this;
        var tz = JSObject.SLOT_getTimezoneMinutes();
        var address = C().combineUrl(C().loadAppSetting(CONFIG_TAGNAME_REMOTEURL), this.url_time,
                                     String(tz) + "?timeUnit=minute");
        if (this.syncOngoing) {
            C().log("There is already a sync ongoing.");
            return;
        }
        this.syncOngoing = true;
        JSObject.SLOT_changeSyncState(syncStates.SyncOn);
        C().setTC(C().getTCModel());
        setDeviceName(this);

        function onceSet() {
            JSObject.SLOT_disconnectTimesetSignals();
            self.timeLinks.release();
            contFunction();
        }

        this.eRemote.read(address, this, function (data, status) {
            var zone = JSObject.SLOT_getTimezoneMinutes();
            self.timeLinks.release();
            self.timeLinks.connect("SIGNAL_tcTimesSet", onceSet);
            self.timeLinks.connect("SIGNAL_fail", onceSet);
            if (typeof data === "string") {
                try {
                    data = JSON.parse(data);
                } catch (e) {
                    data = {};
                }
            }
            if (C().parseRemoteReply(status) && data && data.utc) {
                JSObject.SLOT_setTCTimes(String(data.utc), true, String(data.local || ""), zone);
            } else {
                C().log("Could not get times from server. Settings time from local computer...");
                JSObject.SLOT_setTCTimes("", false, "", zone);
            }
        }, function () {
            JSObject.SLOT_disconnectTimesetSignals();
            contFunction();
        }, "application/json", "application/json");
    };

    // --- Running phases ----------------------------------------------------

    proto.runSyncPhases = function () {
        this.errorShown = false;
        this.syncIndex = 0;
        this.syncPhaseObjs = [];
        this.movedPhases = [];
        this.progressDone = 0;
        this.fwUpdCheckStatus = fwCheckStatusEnum.notchecked;
        var self = this;
        startPhase(this, function () {
            self.deviceInfoObj = self.createSyncPhase("device_info");
            self.deviceInfoObj.runSyncPhase();
        });
    };

    proto.processSynclogic = function (data) {
        if (!data || typeof data !== "object" || Array.isArray(data)) {
            C().log("Error in processSynclogic. Not an object.");
            C().parseLocalReply("GENERAL_ERROR");
            this.errorCase();
            return;
        }
        // A phase whose constructor throws ends the run as one that throws
        // as it starts.
        var self = this;
        var made = startPhase(this, function () {
            var files = Array.isArray(data.files) ? data.files : [];
            for (var i = 0; i < files.length; ++i) {
                var obj = self.createSyncPhase(String(files[i]));
                if (obj)
                    self.syncPhaseObjs.push(obj);
            }
        });
        if (!made)
            return;
        C().chgProgressbar("up");
        this.continueSync();
    };

    proto.syncPhaseReady = function () {
        JSObject.SLOT_resizeme();
        this.updateSyncStatus("", 100);
        var current = this.syncPhaseObjs[this.syncIndex];
        // An optional update goes behind the others once per run; the next
        // time it reports ready the run moves on.
        if (this.fwUpdCheckStatus === fwCheckStatusEnum.optional && current &&
            isUpdatePhase(current) && this.movedPhases.indexOf(current) < 0) {
            this.movedPhases.push(current);
            this.syncPhaseObjs.splice(this.syncIndex, 1);
            this.syncPhaseObjs.push(current);
            C().hidePageInstruction();
        } else {
            ++this.syncIndex;
        }
        this.continueSync();
    };

    proto.continueSync = function () {
        var obj = this.syncPhaseObjs[this.syncIndex];
        if (obj) {
            // Before the run: a phase that ends at once may end the whole
            // sync, whose final state must not be overwritten.
            JSObject.SLOT_changeSyncState(syncStates.SyncOn);
            startPhase(this, function () {
                obj.runSyncPhase();
            });
        } else if (this.runPostSyncProcess) {
            this.runPostSyncProcess = false;
            JSObject.SLOT_startSync();
            this.startPostSyncProcess();
        } else {
            this.syncReady();
        }
    };

    proto.startPostSyncProcess = function () {
        // The device is back after its restart: its picture is no longer
        // the dimmed one of a device gone.
        C().setTC(C().getTCModel());
        this.postFWsyncOnGoing = true;
        this.syncOngoing = true;
        this.postFWUpdSummaryTexts = this.gatherSummaryText(this.getOverallSyncStatus());
        this.runSyncPhases();
    };

    proto.updateSyncStatus = function (syncPhaseName, syncPhaseProgress) {
        if (typeof window.updateProgressbarStatus !== "function")
            return;
        var index = this.syncIndex;
        var total = this.syncPhaseObjs.length;
        var progress = Number(syncPhaseProgress);
        // The bar never steps back within a run: an optional update moved
        // to the end leaves the next phase at the index it had finished.
        if (progress >= 0 && total > 0) {
            var done = (index + progress / 100) / total;
            if (done < this.progressDone) {
                index = 0;
                progress = this.progressDone * total * 100;
            } else {
                this.progressDone = done;
            }
        }
        window.updateProgressbarStatus(syncPhaseName, index, total, progress, 50);
    };

    // --- End -----------------------------------------------------------------

    proto.syncReady = function (openWeb) {
        C().setText("index_header", "progress_synccompleted");
        this.username = "";
        this.password = "";
        var overall = this.getOverallSyncStatus();
        JSObject.SLOT_changeSyncState(overall);
        // After a post-update run its first run's summary, unless the
        // post-update run failed: then its own, which says so.
        var text = this.postFWsyncOnGoing && this.postFWUpdSummaryTexts !== "" &&
                           overall === syncStates.SyncDone
            ? this.postFWUpdSummaryTexts : this.gatherSummaryText(overall);
        $("#pageInstrText").html(text);
        if (C().getTCDeviceId() !== "")
            C().setText("progress_syncmessage", "progress_charging", [""]);
        C().chgProgressbar("down");
        C().showPageInstruction();
        JSObject.SLOT_syncIsReady();
        // A phase that failed only through its fail status failed the sync.
        JSObject.SLOT_stopSync(overall === syncStates.SyncDone);
        var firstTimeUse = !!(this.authenticateObj && this.authenticateObj.firstTimeUse);
        this.syncOngoing = false;
        this.runOngoing = false;
        this.postFWsyncOnGoing = false;
        this.fwUpdCheckStatus = fwCheckStatusEnum.notchecked;
        if (this.authenticateObj)
            this.authenticateObj.firstTimeUse = false;
        if ((openWeb === undefined || openWeb === true) &&
            C().loadAppSetting(CONFIG_TAGNAME_OPENWEBAFTERSYNC) === "true" && !firstTimeUse)
            JSObject.SLOT_openExternalLink(C().combineUrl(C().loadAppSetting(CONFIG_TAGNAME_RAVOURL),
                                                          "diary"));
        JSObject.SLOT_resizeme();
        enableButtons();
    };

    proto.getOverallSyncStatus = function () {
        for (var i = 0; i < this.syncPhaseObjs.length; ++i) {
            var obj = this.syncPhaseObjs[i];
            if (obj.syncStatus < 0 || obj.syncFailStatus > 0)
                return syncStates.SyncError;
        }
        return syncStates.SyncDone;
    };

    proto.gatherSummaryText = function (overallStatus) {
        var items = "";
        var more = "";
        for (var i = 0; i < this.syncPhaseObjs.length; ++i) {
            var obj = this.syncPhaseObjs[i];
            if (obj.showInSummary !== true || !obj.finishText)
                continue;
            items += "<li>" + C().getTrText(obj.finishText) + "</li>";
            if (overallStatus !== syncStates.SyncDone && obj.moreInfoText)
                more += "<p>" + obj.moreInfoText + "</p>";
        }
        var text = C().getTrText("progress_info_summary");
        if (items !== "")
            text += "<ul class=\"summarylist\">" + items + "</ul>";
        if (overallStatus === syncStates.SyncDone) {
            text += "<p>" + C().getTrText("progress_info_readytogo") + "</p>";
        } else if (overallStatus === syncStates.SyncError ||
                   overallStatus === syncStates.FwUpdateError) {
            var collected = C().getTrText("app_menu_state_syncerror") + more;
            text += "<p>" + collected + "</p>";
            text += "<p>" + C().getTrText("progress_info_syncproblems") + "</p>";
            text += "<p><span class=\"link\" style=\"font-size: 12px\" " +
                    "onclick=\"App.syncMain.showProblems()\">" +
                    C().getTrText("generalsettings_quickhelp_tooltip") + "</span></p>";
            this.problemTexts = collected;
        }
        return text;
    };

    // The quick-help dialog with the problems of the last run.
    proto.showProblems = function () {
        var texts = this.problemTexts || "";
        C().loadQuickDialog(this.eOffline, this.eContent, "ui/quickhelp.html",
                            dialogTypes.QuickHelpDialog, "",
                            "$('#mainpage').append($('<div></div>').html(" + C().jsString(texts) +
                            "));");
    };

    proto.reSync = function () {
        // One run at a time: a second would take the first one's device
        // handlers and strand it. The first-time use's long poll waits for
        // the user, not the device, and may start again.
        if ((this.runOngoing || this.syncOngoing || this.resetSyncOngoing ||
             this.factoryResetOngoing) && !ssoPollSent) {
            C().log("A sync is under way: the request to sync again is refused.");
            return;
        }
        if (C().isOfflineDialog()) {
            JSObject.SLOT_resync();
            return;
        }
        if (ssoPollSent)
            this.firstTimeUseResync = true;
        this.errorShown = false;
        this.startSyncProcess();
    };

    proto.resetSync = function () {
        this.resetSyncObj = this.createSyncPhase("resetsync");
        this.resetSyncObj.runSyncPhase();
    };

    // --- Dialogs -------------------------------------------------------------

    proto.showDialog = function (htmlPage) {
        var self = this;
        if (!htmlPage)
            return;
        var text = String(htmlPage);
        if (/^https?:\/\//.test(text)) {
            this.eContent.read(text, this, function (data) {
                self.showDialog(data);
            }, function (a, b, c) {
                self.errorCase(a, b, c);
            }, "text/html");
            return;
        }
        // The device list's connect wait ends with it.
        if (typeof window.stopConnectWait === "function")
            window.stopConnectWait();
        if (text.indexOf("login_header") >= 0) {
            C().chgSettings("pageSettings", "down");
            $("#pageLogin").html(text);
            C().chgSettings("pageLogin", "up");
        } else if (text.indexOf("networksettings_header") >= 0) {
            $("#pageSettings").html(text);
            C().chgSettings("pageSettings", "up");
        } else {
            C().chgSettings("pageSettings", "down");
            C().chgSettings("pageLogin", "down");
            // The old page's timers end with it.
            C().stopBlink();
            $("#progress").stop(true, false);
            $("#pageContent").html(text);
        }
        JSObject.SLOT_showDialog(true);
        if (C().isOfflineDialog()) {
            var script = JSObject.SLOT_executeScript();
            // After the fragment's own start, which resets its texts and
            // buttons (ready handlers run in the order they were added).
            if (script) {
                $(function () {
                    (0, eval)(String(script));
                });
            }
        }
    };

    proto.hideDialog = function () {
        JSObject.SLOT_showDialog(false);
    };

    // What ended the run, for the log: the reply's status when one came
    // with the error, the texts given and the message shown.
    function errorCause(args) {
        var parts = [];
        for (var i = 0; i < args.length; ++i) {
            var value = args[i];
            if (value === undefined || value === null || value === "")
                continue;
            if (typeof value === "object") {
                if (value.status !== undefined)
                    parts.push("status " + value.status +
                               (value.statusText ? " " + value.statusText : ""));
            } else {
                parts.push(String(value));
            }
        }
        var shown = errorDlgValues.text_id;
        // The offline page shows the program's text.
        if (!shown && C().isOfflineDialog() && bridgeHas("SLOT_contentTextIds")) {
            var ids = JSObject.SLOT_contentTextIds();
            if (ids && ids.length > 0)
                shown = "i18n." + String(ids[0]);
        }
        parts.push(shown ? "shows " + shown : "no message set");
        return parts.join(", ");
    }

    // The error texts and buttons live in the device list's or progress
    // page's content area.
    function hasErrorArea() {
        return $("#pageContent #pageInstrText").length > 0 && $("#pageContent #buttons").length > 0;
    }

    proto.errorCase = function (jqXHR, textStatus, errorThrown) {
        C().log("ErrorCase: " + errorCause(arguments));
        // An error before any translation arrived reads in the built-in
        // texts.
        if (!this.i18n)
            this.i18n = C().createLocObject(C().builtInTranslations());
        this.syncOngoing = false;
        this.runOngoing = false;
        this.postFWsyncOnGoing = false;
        JSObject.SLOT_changeSyncState(syncStates.SyncError);
        this.errorShown = true;
        if (!hasErrorArea()) {
            JSObject.SLOT_stopSync(false);
            this.showErrorPage();
            return;
        }
        this.showError(jqXHR);
        JSObject.SLOT_stopSync(false);
        enableButtons();
    };

    // An error before any page is in the content area (no translations,
    // no phase scripts): the progress page comes first and shows it; when
    // not even that can be read, the built-in offline page does.
    proto.showErrorPage = function () {
        var self = this;
        var textId = errorDlgValues.text_id || "i18n.error_message_libgeneralerror";
        var buttons = [];
        $.each(errorDlgValues.buttons, function (name, on) {
            if (on === 1)
                buttons.push("errorDlgValues.buttons." + name + "=1;");
        });
        if (buttons.length === 0)
            buttons = ["errorDlgValues.buttons.syncagain=1;", "errorDlgValues.buttons.close=1;"];

        function shown(html) {
            self.readingErrorPage = false;
            self.showDialog(html);
            // After the page's own start, which resets its texts and buttons.
            $(function () {
                if (!hasErrorArea())
                    return;
                errorDlgValues.text_id = textId;
                C().initErrorDlgButtonValues();
                (0, eval)(buttons.join(""));
                self.showError();
                enableButtons();
            });
        }

        function builtIn() {
            C().log("The progress page could not be read; showing the built-in error page.");
            JSObject.SLOT_startByLoading("qrc:/resources/ui/index.html", self.url_syncprogress,
                                         [textId.replace("i18n.", "")], buttons.join(""),
                                         "App.syncMain.errorCase();");
        }

        function fallBack() {
            self.readingErrorPage = false;
            if (C().isOfflineDialog())
                C().log("No page to show the error in.");
            else
                builtIn();
        }

        // Reading the progress page ended in this error itself.
        if (this.readingErrorPage) {
            fallBack();
            return;
        }
        this.readingErrorPage = true;
        // An endpoint of its own: the shared ones may have a request out.
        if (C().isOfflineDialog())
            new App.LocalEndpoint(this.eOffline ? this.eOffline.path : "")
                .readOfflineFile(this.url_syncprogress, this, shown, fallBack, "text/html");
        else
            new App.RemoteEndpoint(this.eContent ? this.eContent.path
                                                 : C().loadAppSetting(CONFIG_TAGNAME_CONTENTURL))
                .read(this.url_syncprogress, this, shown, fallBack, "text/html");
    };

    proto.showError = function () {
        if (C().isOfflineDialog()) {
            var ids = JSObject.SLOT_contentTextIds();
            if (ids && ids.length > 0)
                errorDlgValues.text_id = "i18n." + String(ids[0]);
            var buttons = JSObject.SLOT_dialogButtons();
            C().initErrorDlgButtonValues();
            if (buttons)
                (0, eval)(String(buttons));
        }
        C().setText("index_header", "error_header");
        // A page shown for the error alone has no device picture yet.
        var picture = $(".devImg").css("background-image");
        if (!picture || picture === "none")
            C().setTC(C().getTCModel());
        var textId = errorDlgValues.text_id;
        // A text the translations lack (the built-in ones hold few) shows
        // the general error rather than nothing.
        if (textId && this.i18n && C().getText(textId) === textId &&
            C().getText("error_message_libgeneralerror") !== "error_message_libgeneralerror")
            textId = "i18n.error_message_libgeneralerror";
        if (textId)
            C().setText("pageInstrText", textId);
        else
            $("#pageInstrText").text("No error message found. ");
        C().showPageInstruction();
        C().showButtons();
    };

    // Enter clicks the current default action and goes no further; other
    // keys pass.
    App.onKeyDown = function (event) {
        var key = event.keyCode || event.which || event.charCode;
        if (key !== 13)
            return true;
        $(".buttonDefaultAction").trigger("click");
        event.preventDefault();
        event.stopPropagation();
        return false;
    };

    App.SyncMain = SyncMain;
    App.syncPhaseTable = phaseTable;
}(jQuery));
