// One run at a time in the sync controller (run.js) in shell_host.html:
// Synchronize during a run, a phase that throws as it starts, and what the
// device hears at the end (shell_flows_test.cpp gives "StubDevice"). Each
// run ends done or failed, and a later one can start.
(function () {
    "use strict";

    var realBridge = window.JSObject;

    // The run's first phase records its starts and stays under way until
    // the row ends the run.
    function start() {
        window.JSObject = realBridge;
        delete window.disableSyncResetButton;
        delete window.enableSyncResetButton;
        Host.reset();
        StubDevice.play(JSON.stringify({ flags: "OK" }));
        JSObject.SLOT_changeSyncState(syncStates.Idle);
        StubDevice.clear();
        App.Common.saveAppSetting(CONFIG_TAGNAME_OPENWEBAFTERSYNC, "false");
        var runs = { starts: 0 };
        window.SelfUpdate = function () {
            this.runSyncPhase = function () {
                ++runs.starts;
            };
        };
        App.Common.enableSyncButton();
        return runs;
    }

    function progressRequests() {
        return Host.requests.filter(function (url) {
            return url.indexOf("ui/progress.html") >= 0;
        }).length;
    }

    function stops() {
        return Host.deviceCalls("stopSync").map(function (args) {
            return args[0];
        });
    }

    function lastState() {
        var states = Host.deviceCalls("syncProcessStateChanged");
        return states.length > 0 ? states[states.length - 1][1] : -1;
    }

    PT.table("Synchronize during a run", [
        { label: "refused until the run is done", end: "ready", stop: true },
        { label: "refused until the run failed", end: "error", stop: false },
        { label: "refused after Sync again started the run", syncAgain: true, end: "error",
          stop: false }
    ], function (row, t) {
        var runs = start();
        t.async(10000);
        if (row.syncAgain) {
            App.Common.parseLocalReply("GENERAL_ERROR");
            smain.errorCase();
            $("#button_syncagain").trigger("click");
        } else {
            $("#pbSynchronize").trigger("click");
        }
        t.waitFor(function () {
            return runs.starts === 1;
        }, function () {
            t.ok($("#button_synchronize").hasClass("buttonDisabled"), "Synchronize disabled");
            $("#pbSynchronize").trigger("click");
            smain.reSync();
            // Long enough for a second run's page request to be sent.
            window.setTimeout(t.wrap(function () {
                t.eq(runs.starts, 1, "one run");
                t.eq(progressRequests(), 1, "one progress page");
                StubDevice.clear();
                if (row.end === "ready") {
                    smain.syncReady();
                } else {
                    App.Common.parseLocalReply("GENERAL_ERROR");
                    smain.errorCase();
                }
                t.eq(stops(), [row.stop], "the device hears the end once");
                t.ok(!$("#button_synchronize").hasClass("buttonDisabled"), "Synchronize enabled");
                $("#pbSynchronize").trigger("click");
                t.waitFor(function () {
                    return runs.starts === 2;
                }, function () {
                    t.done();
                });
            }), 300);
        });
    });

    // After the error case: the general error, the device told the sync
    // failed, and a later run starts.
    function ended(t, runs) {
        t.eq(errorDlgValues.text_id, "i18n.error_message_libgeneralerror", "general error");
        t.eq($("#index_header").text(), "Something went wrong", "header");
        t.eq(lastState(), syncStates.SyncError, "state");
        t.eq(stops(), [false], "the device hears of the failure");
        t.ok(!$("#button_synchronize").hasClass("buttonDisabled"), "Synchronize enabled");
        var before = runs.starts;
        $("#pbSynchronize").trigger("click");
        t.waitFor(function () {
            return runs.starts === before + 1;
        }, function () {
            t.done();
        });
    }

    // A phase that throws as it starts: the general error through the error
    // case, the device told the sync failed, and a later run starts.
    PT.table("a phase that throws", [
        { label: "the version check", where: "selfupdate" },
        { label: "a sync phase's run", where: "run" },
        { label: "a sync phase's constructor", where: "constructor" },
        { label: "the device information phase", where: "device_info" }
    ], function (row, t) {
        var runs = start();
        var starts = 0;
        if (row.where === "selfupdate") {
            window.SelfUpdate = function () {
                this.runSyncPhase = function () {
                    ++starts;
                    if (starts === 1)
                        throw new TypeError("broken phase");
                    ++runs.starts;
                };
            };
        }
        t.async(10000);
        $("#pbSynchronize").trigger("click");
        t.waitFor(function () {
            return runs.starts === 1 || smain.errorShown;
        }, function () {
            if (row.where === "run") {
                window.Exercises = function () {
                    this.runSyncPhase = function () {
                        throw new TypeError("broken phase");
                    };
                };
                smain.processSynclogic({ files: ["exercises"] });
            } else if (row.where === "constructor") {
                window.Exercises = function () {
                    throw new TypeError("broken constructor");
                };
                smain.processSynclogic({ files: ["exercises"] });
            } else if (row.where === "device_info") {
                window.DeviceInfo = function () {
                    this.runSyncPhase = function () {
                        throw new TypeError("broken phase");
                    };
                };
                smain.runSyncPhases();
            }
            t.waitFor(function () {
                return smain.errorShown;
            }, function () {
                ended(t, runs);
            });
        });
    });

    // A run the page starts by itself once its first page is up (a device
    // plugged in) is guarded as a clicked one: Synchronize and the reset
    // buttons stay off until it ends.
    PT.table("a run the page starts itself", [
        { label: "refuses Synchronize and reset until it is done", end: "ready" },
        { label: "refuses them until it failed", end: "error" }
    ], function (row, t) {
        var runs = start();
        var resets = { disabled: 0, enabled: 0 };
        window.disableSyncResetButton = function () {
            ++resets.disabled;
        };
        window.enableSyncResetButton = function () {
            ++resets.enabled;
        };
        // A window with a device (www/bridge_stand_in.js).
        window.JSObject = bridgeStandIn(realBridge, [], {
            SLOT_isDeviceListDialog: function () {
                return false;
            }
        });
        t.async(10000);
        smain.firstPageShown = true;
        smain.phasesStarted = true;
        smain.afterFirstPage();
        window.JSObject = realBridge;
        t.waitFor(function () {
            return runs.starts === 1;
        }, function () {
            t.ok(smain.runOngoing, "a run under way");
            t.ok($("#button_synchronize").hasClass("buttonDisabled"), "Synchronize disabled");
            t.eq(resets.disabled, 1, "reset buttons disabled");
            resets.enabled = 0;
            $("#pbSynchronize").trigger("click");
            smain.reSync();
            // Long enough for a second run's page request to be sent.
            window.setTimeout(t.wrap(function () {
                t.eq(runs.starts, 1, "one run");
                t.eq(progressRequests(), 0, "no progress page asked for");
                StubDevice.clear();
                if (row.end === "ready") {
                    smain.syncReady(false);
                } else {
                    App.Common.parseLocalReply("GENERAL_ERROR");
                    smain.errorCase();
                }
                t.eq(stops().length, 1, "the device hears the end once");
                t.ok(resets.enabled > 0, "reset buttons enabled again");
                t.ok(!$("#button_synchronize").hasClass("buttonDisabled"), "Synchronize enabled");
                $("#pbSynchronize").trigger("click");
                t.waitFor(function () {
                    return runs.starts === 2;
                }, function () {
                    t.done();
                });
            }), 300);
        });
    });

    // Puts the progress page back into the content area.
    function progressPageBack(then) {
        $.ajax({ url: "../ui/progress.html", dataType: "text" }).done(function (html) {
            $("#pageContent").html(html);
            $(then);
        });
    }

    // The device leaves a clicked run before the login: the device list
    // ends the run, and Synchronize starts the next one.
    PT.table("a device that leaves before the login", [
        { label: "Synchronize then starts a new run" }
    ], function (row, t) {
        var runs = start();
        t.async(10000);
        $("#pbSynchronize").trigger("click");
        t.waitFor(function () {
            return runs.starts === 1;
        }, function () {
            window.progTCDisappeared(null, "7", "00000007");
            t.waitFor(function () {
                return $("#pageContent #wulist").length > 0 &&
                       !$("#button_synchronize").hasClass("buttonDisabled");
            }, function () {
                t.eq(smain.runOngoing, false, "the run ended");
                $("#pbSynchronize").trigger("click");
                t.waitFor(function () {
                    return runs.starts === 2;
                }, function () {
                    progressPageBack(t.wrap(function () {
                        t.done();
                    }));
                });
            });
        });
    });

    // An error no script catches in a callback of the run ends the run in
    // the general error, with its message and place in the log.
    PT.table("a phase callback that throws", [
        { label: "a web answer's callback", where: "web", text: "broken web answer",
          uncaught: true },
        { label: "a device answer's callback", where: "device", text: "broken device answer" },
        { label: "a timer's callback", where: "timer", text: "broken timer", uncaught: true },
        { label: "a promise's callback", where: "promise", text: "broken promise" }
    ], function (row, t) {
        var runs = start();
        smain.eLocal = new App.LocalEndpoint("/U/0");
        t.allowUncaught(row.text);
        window.Exercises = function () {
            this.runSyncPhase = function () {
                var fail = function () {
                    throw new TypeError(row.text);
                };
                if (row.where === "web")
                    smain.eContent.read("ui/progress.html", this, fail, function () {}, "text/html");
                else if (row.where === "device")
                    smain.eLocal.read("A/B.BPB", this, fail, function () {});
                else if (row.where === "timer")
                    window.setTimeout(fail, 0);
                else
                    $.Deferred().resolve().then(fail);
            };
        };
        t.async(10000);
        $("#pbSynchronize").trigger("click");
        t.waitFor(function () {
            return runs.starts === 1;
        }, function () {
            StubDevice.clear();
            smain.processSynclogic({ files: ["exercises"] });
            t.waitFor(function () {
                return smain.errorShown;
            }, function () {
                t.ok(Host.logs.some(function (line) {
                    return line.indexOf("-D Page error: ") === 0 && line.indexOf(row.text) > 0 &&
                           / \(.+\)$/.test(line);
                }), "message and place logged");
                t.eq(t.uncaughtAllowed, row.uncaught ? 1 : 0, "uncaught errors");
                ended(t, runs);
            });
        });
    });

    // Answers a run asked for that arrive after it ended act no more: the
    // first error stays, the device hears of it once.
    PT.table("late answers of an ended run", [
        { label: "a web answer", where: "web", status: 200 },
        { label: "a web failure", where: "web", status: 500 },
        { label: "a device answer", where: "device" }
    ], function (row, t) {
        var runs = start();
        Host.setRoutes([Host.route("GET", "/contentserver/test/late.json", row.status || 200,
                                   { late: true }, { delayMs: 400 })]);
        smain.eLocal = new App.LocalEndpoint("/U/0");
        var answers = 0;
        var answered = function () {
            ++answers;
        };
        window.Exercises = function () {
            this.runSyncPhase = function () {
                if (row.where === "web")
                    smain.eContent.read("test/late.json", this, answered, answered,
                                        "application/json");
                else
                    smain.eLocal.read("A/B.BPB", this, answered, answered);
                // The device goes before the answer arrives.
                App.Common.parseLocalReply("TC_CONNECTION_LOST");
                smain.errorCase();
            };
        };
        smain.errorCase = Host.spy("errorCase", smain.errorCase);
        t.async(10000);
        $("#pbSynchronize").trigger("click");
        t.waitFor(function () {
            return runs.starts === 1;
        }, function () {
            StubDevice.clear();
            smain.processSynclogic({ files: ["exercises"] });
            t.waitFor(function () {
                return Host.logs.indexOf("-D An answer of an ended sync run is ignored.") >= 0;
            }, function () {
                // Long enough for what a late answer would set off.
                window.setTimeout(t.wrap(function () {
                    t.eq(answers, 0, "the phase hears nothing");
                    t.eq(Host.calls.errorCase.length, 1, "one error case");
                    t.eq($("#pageInstrText").text(), "The device went away.", "message");
                    t.eq(stops(), [false], "the device hears the end once");
                    t.eq(Host.logs.filter(function (line) {
                        return line === "-D An answer of an ended sync run is ignored.";
                    }).length, 1, "logged once");
                    t.done();
                }), 300);
            });
        });
    });

    // The device hears success only when every phase succeeded.
    PT.table("the end of a run", [
        { label: "every phase done", fail: 0, status: 0, stop: [true], state: "SyncDone" },
        { label: "a phase failed through its fail status", fail: 1, status: 0, stop: [false],
          state: "SyncError" },
        { label: "a phase failed through its status", fail: 0, status: -1, stop: [false],
          state: "SyncError" }
    ], function (row, t) {
        start();
        window.Exercises = function () {
            this.syncStatus = row.status;
            this.syncFailStatus = row.fail;
            this.runSyncPhase = function () {
                window.setTimeout(function () {
                    smain.syncPhaseReady();
                }, 0);
            };
        };
        t.async(10000);
        smain.processSynclogic({ files: ["exercises"] });
        t.waitFor(function () {
            return stops().length > 0;
        }, function () {
            t.eq(stops(), row.stop, "stop");
            t.eq(lastState(), syncStates[row.state], "state");
            t.done();
        });
    });
}());
