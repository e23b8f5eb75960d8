// The sync controller (run.js) in shell_host.html. The fake content server
// answers the phase scripts the test's routes name (shell_test.cpp):
// sync/sports.js defines Sports and Tests, sync/maps.js is missing,
// sync/agps.js defines nothing known.
(function () {
    "use strict";

    function phaseRequests() {
        return Host.requests.filter(function (url) {
            return url.indexOf("../sync/") === 0;
        }).map(function (url) {
            return url.split("?")[0]; // without jQuery's cache breaker
        });
    }

    PT.table("loadSyncPhases", [
        { label: "every constructor defined: no request", missing: [], requests: [],
          loads: 1, errors: 0 },
        // Every script is asked for at once; tests.js is on no server, but
        // sports.js defined Tests as well.
        { label: "one script defining two counts for both", missing: ["Sports", "Tests"],
          requests: ["../sync/sports.js", "../sync/tests.js"], loads: 2, errors: 0 },
        { label: "a missing script ends in an error", missing: ["Maps"],
          requests: ["../sync/maps.js"], loads: 1, errors: 1,
          log: "-D Missing syncphase: maps" },
        { label: "a script defining nothing known ends in the general error",
          missing: ["Agps"], requests: ["../sync/agps.js"], loads: 2, errors: 1,
          text: "i18n.error_message_libgeneralerror", log: "-D Missing syncphase: agps" },
        { label: "phases missing are logged once all were tried", missing: ["Agps"],
          requests: ["../sync/agps.js"], loads: 2, errors: 1,
          log: "-D Syncphases not ready/load yet." }
    ], function (row, t) {
        Host.reset();
        Host.defineAllPhasesBut(row.missing);
        var loads = [];
        // Counts the calls; a complete list starts nothing here.
        var real = App.SyncMain.prototype.syncPhasesLoad;
        smain.syncPhasesLoad = function (doneArray) {
            loads.push(doneArray.slice());
            var all = doneArray.every(function (done) {
                return done;
            });
            return all ? true : real.apply(smain, arguments);
        };
        smain.errorCase = Host.spy("errorCase", smain.errorCase);
        smain.loadSyncPhases();
        t.waitFor(function () {
            return Host.calls.errorCase.length > 0 ||
                   (loads.length > 0 && loads[loads.length - 1].every(function (d) {
                       return d;
                   }));
        }, function () {
            // Nothing more comes after the end.
            window.setTimeout(t.wrap(function () {
                t.eq(phaseRequests(), row.requests, "requests");
                t.eq(loads.length, row.loads, "syncPhasesLoad calls");
                t.eq(Host.calls.errorCase.length, row.errors, "errors");
                // One line names the scripts to load; the probe logs nothing.
                t.eq(Host.logs.filter(function (l) {
                    return l.indexOf("-D Loading phase scripts: ") === 0;
                }).length, row.requests.length > 0 ? 1 : 0, "loading line");
                t.ok(!Host.logs.some(function (l) {
                    return l.indexOf("ReferenceError") >= 0;
                }), "no probe errors");
                if (row.text)
                    t.eq(errorDlgValues.text_id, row.text, "text");
                if (row.log)
                    t.eq(Host.logs.filter(function (l) {
                        return l.indexOf(row.log) === 0;
                    }).length > 0, true, "log");
                t.done();
            }), 100);
        });
    });

    // Errors before any page is in the content area end on the progress
    // page with the error and its buttons (shell_test.cpp routes the
    // garbage translations; "tr404/" is on no server).
    PT.table("errors before a page", [
        { label: "translation file missing", lang: "de", base: "tr404/translations.json",
          buttons: ["button_syncagain", "button_close"] },
        { label: "garbage translation in both languages", lang: "de",
          base: "garbage/translations.json", builtIn: true,
          text: "Something went wrong. Sync again.",
          buttons: ["button_syncagain", "button_close"] },
        { label: "a phase script that fails to load", phases: ["Maps"],
          buttons: ["button_syncagain", "button_close"] },
        // Before any texts arrived: the built-in ones read.
        { label: "translation file not found, no texts yet", lang: "de",
          base: "tr404/translations.json", builtIn: true,
          text: "The service could not handle the request. Try again later.",
          buttons: ["button_syncagain", "button_close"] },
        { label: "translation file a server error, no texts yet", lang: "de",
          base: "tr500/translations.json", builtIn: true,
          text: "The service could not handle the request. Try again later.",
          buttons: ["button_syncagain", "button_close"] },
        // A message the built-in texts lack reads as the general error.
        { label: "translation file unavailable, no texts yet", lang: "de",
          base: "tr503/translations.json", builtIn: true,
          text: "Something went wrong. Sync again.",
          buttons: ["button_syncagain", "button_close"] }
    ], function (row, t) {
        Host.reset();
        $("#pageContent").empty();
        smain.errorCase = Host.spy("errorCase", smain.errorCase);
        if (row.builtIn)
            delete smain.i18n;
        if (row.phases) {
            Host.defineAllPhasesBut(row.phases);
            smain.loadSyncPhases();
        } else {
            App.Common.loadTranslationFile(smain, row.lang, row.base, function () {
                t.fail("no translations expected");
            });
        }
        t.waitFor(function () {
            return $("#pageContent #buttons").is(":visible") &&
                   $("#index_header").text() === "Something went wrong";
        }, function () {
            t.eq(Host.calls.errorCase.length >= 1, true, "error case reached");
            t.eq(smain.errorShown, true, "error shown");
            t.eq(Host.shownButtons(), row.buttons, "buttons");
            t.ok($("#pageInstrText").is(":visible"), "message shown");
            if (row.text)
                t.eq($("#pageInstrText").text(), row.text, "message");
            else
                t.ok($("#pageInstrText").text() !== "", "a message");
            t.ok(Host.logs.some(function (line) {
                return line.indexOf("-D ErrorCase: ") === 0 && line.indexOf("undefined") < 0;
            }), "cause logged");
            t.eq(Host.logs.filter(function (line) {
                return line.indexOf("setText: ") >= 0;
            }), [], "every text found");
            t.eq($("#button_syncagain").text(), "Sync again", "button text");
            t.done();
        });
    });

    // Phases that record their run and report ready on a fresh stack. The
    // firmware phase finds an optional update the first time.
    function definePhases(order, fw) {
        function phase(name, body) {
            return function () {
                this.runSyncPhase = function () {
                    order.push(name);
                    smain.updateSyncStatus(name, 0);
                    if (body)
                        body.call(this);
                    window.setTimeout(function () {
                        smain.syncPhaseReady();
                    }, 0);
                };
                this.showInSummary = true;
                this.finishText = "progress_info_" + name;
                this.syncStatus = 0;
            };
        }
        window.Exercises = phase("exercises");
        window.Routes = phase("routes");
        window.Sensors = phase("sensors", function () {
            this.syncStatus = -1;
        });
        window.Fwupdate = phase("fwupdate", function () {
            if (fw === "optional")
                smain.fwUpdCheckStatus = fwCheckStatusEnum.optional;
            else if (smain.fwUpdCheckStatus === fwCheckStatusEnum.notchecked)
                smain.fwUpdCheckStatus = fw === "once" ? fwCheckStatusEnum.optional
                                                       : fwCheckStatusEnum.none;
            else
                smain.fwUpdCheckStatus = fwCheckStatusEnum.none;
        });
    }

    PT.table("processSynclogic", [
        { label: "list order", files: ["exercises", "routes"], order: ["exercises", "routes"],
          state: "SyncDone" },
        { label: "empty list ends at once", files: [], order: [], state: "SyncDone" },
        { label: "unknown names are skipped", files: ["exercises", "nosuchphase"],
          order: ["exercises"], state: "SyncDone" },
        { label: "an optional update runs again last", fw: "once",
          files: ["exercises", "fwupdate", "routes"],
          order: ["exercises", "fwupdate", "routes", "fwupdate"], state: "SyncDone" },
        { label: "one that stays optional moves only once", fw: "optional",
          files: ["fwupdate", "exercises"], order: ["fwupdate", "exercises", "fwupdate"],
          state: "SyncDone" },
        { label: "a failing phase", files: ["sensors", "routes"], order: ["sensors", "routes"],
          state: "SyncError" }
    ], function (row, t) {
        Host.reset();
        var order = [];
        definePhases(order, row.fw);
        var ready = [];
        smain.syncReady = function () {
            ready.push(smain.getOverallSyncStatus());
        };
        // The share of the run each progress report shows.
        var shares = [];
        var bar = window.updateProgressbarStatus;
        window.updateProgressbarStatus = function (name, index, total, progress) {
            if (progress >= 0)
                shares.push((index + progress / 100) / total);
            return bar.apply(this, arguments);
        };
        smain.processSynclogic({ files: row.files });
        t.waitFor(function () {
            return ready.length > 0;
        }, function () {
            window.setTimeout(t.wrap(function () {
                window.updateProgressbarStatus = bar;
                t.eq(order, row.order, "run order");
                t.eq(ready, [syncStates[row.state]], "ends once");
                t.ok(shares.every(function (share, i) {
                    return i === 0 || share >= shares[i - 1];
                }), "progress never decreases: " + shares.join(" "));
                t.done();
            }), 50);
        });
    });

    // A page replaced or the buttons shown: no timer of the old one runs on.
    PT.table("timers", [
        { label: "a fragment switch ends the blinking and the running bar", action: "switch" },
        { label: "the buttons end the running bar", action: "buttons" }
    ], function (row, t) {
        Host.reset();
        t.async();
        $.ajax({ url: "../ui/progress.html", dataType: "text" }).done(t.wrap(function (html) {
            App.Common.blink("progress_syncmessage");
            window.updateProgressbarStatus("exercises", 0, 1, -1, 50);
            t.ok($("#progress").is(":animated"), "bar running");
            if (row.action === "switch") {
                smain.showDialog(html);
                t.eq(App.Common.blinkId, null, "blinking stopped");
            } else {
                App.Common.showButtons("ok");
            }
            t.eq($.timers.filter(function (timer) {
                return timer.elem.id === "progress";
            }).length, 0, "no bar animation");
            $(function () {
                Host.reset();
                t.done();
            });
        }));
    });

    PT.table("processSynclogic without an object", [
        { label: "text", data: "{\"files\":[]}" },
        { label: "array", data: ["exercises"] },
        { label: "null", data: null },
        { label: "nothing", data: undefined }
    ], function (row, t) {
        Host.reset();
        smain.errorCase = Host.spy("errorCase", smain.errorCase);
        smain.syncReady = Host.recorder("syncReady");
        smain.processSynclogic(row.data);
        t.eq(Host.calls.errorCase.length, 1, "error");
        t.eq(Host.calls.syncReady.length, 0, "not ready");
        t.eq(errorDlgValues.text_id, "i18n.error_message_libgeneralerror", "text");
        t.eq(Host.logs.indexOf("-D Error in processSynclogic. Not an object.") >= 0, true, "log");
    });

    PT.table("summary", [
        { label: "done", files: ["exercises"], has: ["Summary", "progress_info_exercises",
                                                     "Ready to go"], lacks: ["Sync failed"] },
        { label: "failed", files: ["sensors"], has: ["Sync failed", "There were problems"],
          lacks: ["Ready to go"] },
        { label: "nothing to list", files: [], has: ["Summary"], lacks: ["summarylist"] }
    ], function (row, t) {
        Host.reset();
        App.Common.saveAppSetting(CONFIG_TAGNAME_OPENWEBAFTERSYNC, "false");
        definePhases([]);
        smain.processSynclogic({ files: row.files });
        t.waitFor(function () {
            return !smain.syncPhaseObjs[smain.syncIndex] && $("#index_header").text() === "Done";
        }, function () {
            var html = $("#pageInstrText").html();
            row.has.forEach(function (text) {
                t.ok(html.indexOf(text) >= 0, "has " + text);
            });
            row.lacks.forEach(function (text) {
                t.ok(html.indexOf(text) < 0, "lacks " + text);
            });
            t.done();
        });
    });

    // The summary has the content area down to the progress message: its
    // result paragraph shows without scrolling.
    PT.table("summary layout", [
        { label: "twelve items", items: 12, result: "Ready to go" },
        { label: "twelve items, failed", items: 12, failed: true, result: "There were problems" }
    ], function (row, t) {
        Host.reset();
        App.Common.saveAppSetting(CONFIG_TAGNAME_OPENWEBAFTERSYNC, "false");
        smain.syncPhaseObjs = [];
        for (var i = 0; i < row.items; ++i) {
            smain.syncPhaseObjs.push({ showInSummary: true, finishText: "progress_info_item" + i,
                                       syncStatus: row.failed && i === 0 ? -1 : 0 });
        }
        smain.syncIndex = row.items;
        smain.syncReady(false);
        t.waitFor(function () {
            return $("#pageInstrText").is(":visible") && !$("#pageInstrText").is(":animated");
        }, function () {
            var text = $("#pageInstrText")[0];
            t.ok(text.scrollHeight <= text.clientHeight,
                 "no scrolling: " + text.scrollHeight + " > " + text.clientHeight);
            var $result = $("#pageInstrText p").filter(function () {
                return $(this).text().indexOf(row.result) >= 0;
            });
            t.eq($result.length, 1, "result paragraph");
            var bottom = $result[0].getBoundingClientRect().bottom;
            t.ok(bottom <= text.getBoundingClientRect().bottom, "result inside the text area");
            t.ok(bottom <= $("#progress_container")[0].getBoundingClientRect().top + 1,
                 "result above the progress message");
            t.done();
        });
    });

    // The device picture after a firmware update's restart: the post-update
    // run sets it again, undimmed.
    PT.table("device picture after an update", [
        { label: "post-update run" }
    ], function (row, t) {
        Host.reset();
        App.Common.setSessionVariable(CONFIG_TAGNAME_CURRENTTCMODEL, "zarvotovri2");
        App.Common.setSessionVariable(CONFIG_TAGNAME_CURRENTTCDEVID, "4001");
        $(".devImg").css({ "background-image": "url(../img/zarvotovri2.png)", opacity: 0.5 });
        window.DeviceInfo = function () {
            this.runSyncPhase = function () {};
        };
        smain.startPostSyncProcess();
        t.waitFor(function () {
            return Number($(".devImg").css("opacity")) === 1;
        }, function () {
            t.ok($(".devImg").css("background-image").indexOf(".png") >= 0, "picture set");
            App.Common.setSessionVariable(CONFIG_TAGNAME_CURRENTTCDEVID, "");
            t.done();
        });
    });

    PT.table("errorCase", [
        { label: "device lost", flags: "TC_CONNECTION_LOST", text: "The device went away." },
        { label: "nothing set", flags: null, text: "No error message found. " }
    ], function (row, t) {
        Host.reset();
        smain.syncOngoing = true;
        if (row.flags)
            App.Common.parseLocalReply(row.flags);
        smain.errorCase();
        t.eq(smain.syncOngoing, false, "sync over");
        t.eq(smain.errorShown, true, "error shown");
        t.eq($("#index_header").text(), "Something went wrong", "header");
        t.eq($("#pageInstrText").text(), row.text, "text");
        if (row.flags)
            t.ok($("#button_syncagain").css("display") !== "none", "Sync again shown");
        t.ok(!$("#button_synchronize").hasClass("buttonDisabled"), "Synchronize enabled");
    });

    PT.table("Enter key", [
        { label: "Enter clicks the default action", key: 13, clicks: 1, stopped: true },
        { label: "other keys pass", key: 65, clicks: 0, stopped: false }
    ], function (row, t) {
        Host.reset();
        var clicks = 0;
        var $button = $("<div id='enterTarget' class='buttonDefaultAction'></div>").appendTo("body")
            .on("click", function () {
                ++clicks;
            });
        var event = $.Event("keydown", { keyCode: row.key });
        $("#pageContent").trigger(event);
        $button.remove();
        t.eq(clicks, row.clicks, "clicks");
        t.eq(event.isDefaultPrevented(), row.stopped, "consumed");
    });

    PT.table("changeLanguage", [
        { label: "texts every i18n element, logs one without a key" }
    ], function (row, t) {
        Host.reset();
        var $orphan = $("<span class='i18n'>x</span>").appendTo("#pageContent");
        smain.changeLanguage("en");
        $orphan.remove();
        t.eq($("#button_synchronize").text(), "Synchronize", "footer");
        t.eq($("#button_syncagain .i18n").text(), "Sync again", "progress button");
        t.ok(Host.logs.some(function (line) {
            return line.indexOf("-D Undefined textfield found.") === 0;
        }), "log");
    });

    PT.table("rsVersionCheckDone", [
        { label: "no device id", devid: "", status: "OK", dir: "U/1", errors: 1,
          text: "i18n.error_message_libtcconnlost", runs: 0 },
        { label: "ready device", devid: "4001", status: "OK", dir: "U/1", errors: 0, runs: 1,
          header: "Syncing" },
        { label: "busy Tovri", devid: "4001", status: "GENERAL_ERROR, TC_BUSY", dir: "U/1",
          model: "ZarvoTovri", errors: 0, runs: 0, instr: "Busy one", header: "Something went wrong" },
        { label: "busy N410", devid: "4001", status: "TC_BUSY", dir: "U/1", model: "ZarvoN410",
          errors: 0, runs: 0, instr: "Busy two" },
        { label: "busy other", devid: "4001", status: "SYSTEM_BUSY", dir: "U/1", model: "Other",
          errors: 0, runs: 0, instr: "Busy three" },
        { label: "no user folder", devid: "4001", status: "OK", dir: "", model: "zarvotovri2",
          errors: 0, runs: 0, instr: "Busy one" },
        { label: "not OK", devid: "4001", status: "TC_NOT_FOUND", dir: "U/1", errors: 0, runs: 0,
          instr: "The device needs a reset", header: "Cancelled", yes: true },
        { label: "a flag containing OK is not OK", devid: "4001",
          status: "GET_CHALLENGE_TOKEN_FAILED", dir: "U/1", errors: 0, runs: 0,
          instr: "The device needs a reset", yes: true }
    ], function (row, t) {
        Host.reset();
        var runs = 0;
        window.Authenticate = function () {
            this.runSyncPhase = function () {
                ++runs;
            };
        };
        App.Common.setSessionVariable(CONFIG_TAGNAME_CURRENTTCDEVID, row.devid);
        App.Common.setSessionVariable(CONFIG_TAGNAME_CURRENTTCSTATUS, row.status);
        App.Common.setSessionVariable(CONFIG_TAGNAME_CURRENTUSERDIR, row.dir);
        App.Common.setSessionVariable(CONFIG_TAGNAME_CURRENTTCMODEL, row.model || "zarvotovri");
        smain.errorCase = Host.spy("errorCase", smain.errorCase);
        smain.rsVersionCheckDone();
        t.eq(Host.calls.errorCase.length, row.errors, "errors");
        t.eq(runs, row.runs, "authenticate runs");
        if (row.text)
            t.eq(errorDlgValues.text_id, row.text, "text");
        if (row.instr)
            t.eq($("#pageInstrText").text(), row.instr, "instruction");
        if (row.header)
            t.eq($("#index_header").text(), row.header, "header");
        t.eq($("#button_yes").css("display") !== "none", row.yes === true, "Yes button");
    });
}());
