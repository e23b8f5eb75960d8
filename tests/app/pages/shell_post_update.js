// The end of a run in the sync controller (run.js) in shell_host.html: the
// post-update run a phase asks for, and the diary in the browser
// afterwards (shell_flows_test.cpp gives "Probe" and "StubDevice").
(function () {
    "use strict";

    var diary = "https://www.ravo.test/diary";

    function start() {
        Host.reset();
        StubDevice.play(JSON.stringify({ flags: "OK" }));
        JSObject.SLOT_changeSyncState(syncStates.Idle);
        StubDevice.clear();
        Probe.clear();
        App.Common.saveAppSetting(CONFIG_TAGNAME_OPENWEBAFTERSYNC, "false");
    }

    // Phases that record each run (their name, the run's number and whether
    // the post-update run is on) and report ready on a fresh stack; the
    // sync logic lists files. Exercises asks for the post-update run in the
    // first run when askAgain is set; Sensors fails in the second.
    function definePhases(runs, files, askAgain) {
        var run = 0;
        window.DeviceInfo = function () {
            this.runSyncPhase = function () {
                ++run;
                window.setTimeout(function () {
                    smain.processSynclogic({ files: files });
                }, 0);
            };
        };
        function phase(name, body) {
            return function () {
                this.showInSummary = true;
                this.syncStatus = 0;
                this.runSyncPhase = function () {
                    runs.push({ name: name, run: run, post: smain.postFWsyncOnGoing,
                                starts: Host.deviceCalls("startSync").length });
                    this.finishText = "run" + run + "_" + name;
                    if (body)
                        body.call(this, run);
                    window.setTimeout(function () {
                        smain.syncPhaseReady();
                    }, 0);
                };
            };
        }
        window.Exercises = phase("exercises", function (number) {
            if (askAgain && number === 1)
                smain.runPostSyncProcess = true;
        });
        window.Routes = phase("routes");
        window.Sensors = phase("sensors", function (number) {
            if (number === 2)
                this.syncStatus = -1;
        });
    }

    function runsOf(runs) {
        return runs.map(function (r) {
            return r.run + ":" + r.name + (r.post ? " post" : "") + " starts=" + r.starts;
        });
    }

    PT.table("post-update run", [
        { label: "asked for: every phase runs again after the sync start, first summary shown",
          askAgain: true, files: ["exercises", "routes"],
          runs: ["1:exercises starts=0", "1:routes starts=0", "2:exercises post starts=1",
                 "2:routes post starts=1"],
          shows: ["run1_exercises", "run1_routes", "Ready to go"], hides: ["run2_", "Sync failed"],
          state: "SyncDone" },
        { label: "a failing post-update run shows its own summary with the failure",
          askAgain: true, files: ["exercises", "sensors"],
          runs: ["1:exercises starts=0", "1:sensors starts=0", "2:exercises post starts=1",
                 "2:sensors post starts=1"],
          shows: ["run2_exercises", "run2_sensors", "Sync failed", "There were problems"],
          hides: ["run1_", "Ready to go"], state: "SyncError" },
        { label: "not asked for: one run", askAgain: false, files: ["exercises", "routes"],
          runs: ["1:exercises starts=0", "1:routes starts=0"],
          shows: ["run1_exercises", "run1_routes"], hides: ["run2_"], state: "SyncDone" }
    ], function (row, t) {
        start();
        var runs = [];
        definePhases(runs, row.files, row.askAgain);
        smain.syncOngoing = true;
        smain.runSyncPhases();
        t.waitFor(function () {
            return Host.deviceCalls("stopSync").length > 0;
        }, function () {
            window.setTimeout(t.wrap(function () {
                t.eq(runsOf(runs), row.runs, "runs");
                t.eq(Host.deviceCalls("startSync").length, row.askAgain ? 1 : 0, "sync starts");
                // The device hears success only when the run succeeded.
                t.eq(Host.deviceCalls("stopSync"), [[row.state === "SyncDone"]], "one stop");
                var states = Host.deviceCalls("syncProcessStateChanged").map(function (args) {
                    return String(args[1]);
                });
                t.eq(states[states.length - 1], String(syncStates[row.state]), "last state");
                var summary = $("#pageInstrText").html();
                row.shows.forEach(function (text) {
                    t.ok(summary.indexOf(text) >= 0, "summary has " + text);
                });
                row.hides.forEach(function (text) {
                    t.ok(summary.indexOf(text) < 0, "summary lacks " + text);
                });
                t.eq(smain.postFWsyncOnGoing, false, "post-update run over");
                t.eq(smain.syncOngoing, false, "sync over");
                t.done();
            }), 100);
        });
    });

    PT.table("diary", [
        { label: "asked for", setting: "true", ends: [{}], opened: [diary] },
        { label: "not asked for", setting: "false", ends: [{}], opened: [] },
        { label: "any other value is not asking", setting: "1", ends: [{}], opened: [] },
        { label: "not after a first-time use", setting: "true", ends: [{ firstTimeUse: true }],
          opened: [] },
        { label: "the run after a first-time use opens it", setting: "true",
          ends: [{ firstTimeUse: true }, {}], opened: [diary] },
        { label: "not when the caller says no", setting: "true", ends: [{ openWeb: false }],
          opened: [] }
    ], function (row, t) {
        start();
        App.Common.saveAppSetting(CONFIG_TAGNAME_OPENWEBAFTERSYNC, row.setting);
        smain.authenticateObj = { name: "authenticate", firstTimeUse: false };
        row.ends.forEach(function (end) {
            if (end.firstTimeUse)
                smain.authenticateObj.firstTimeUse = true;
            smain.syncOngoing = true;
            smain.syncReady(end.openWeb);
        });
        t.eq(JSON.parse(Probe.opened()), row.opened, "opened");
        t.eq(Host.deviceCalls("stopSync").length, row.ends.length, "each end stops the sync");
    });
}());
