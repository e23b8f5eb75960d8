// One run at a time in the sync controller (run.js) in shell_host.html:
// Synchronize during a run, a phase that throws as it starts, and what the
// device hears at the end (shell_flows_test.cpp gives "StubDevice"). Each
// run ends done or failed, and a later one can start.
(function () {
    "use strict";

    // The run's first phase records its starts and stays under way until
    // the row ends the run.
    function start() {
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
