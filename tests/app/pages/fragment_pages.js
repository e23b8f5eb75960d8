// The device list and the progress page, shown from the real page tree in
// fragment_host.html (the controller is a stand-in, fragment_host.js).
(function () {
    "use strict";

    function showing(t, page, then) {
        Host.reset();
        t.async();
        Host.show(page, t.wrap(function (error) {
            if (error) {
                t.fail(error);
                t.done();
                return;
            }
            then();
        }));
    }

    function errorCases() {
        return Host.calls.errorCase.length;
    }

    function handlers(event) {
        var events = $._data(document.getElementById("ktpage"), "events") || {};
        return (events[event] || []).length;
    }

    PT.table("progress bar", [
        { label: "half of the second of four phases", index: 1, count: 4, progress: 50, want: 75 },
        { label: "the last phase done fills the bar", index: 3, count: 4, progress: 100, want: 200 },
        { label: "more than done stops at the full width", index: 3, count: 4, progress: 150, want: 200 },
        { label: "first phase begun", index: 0, count: 2, progress: 0, want: 0 },
        { label: "not a number", index: 1, count: 4, progress: "x", want: 0 },
        { label: "no phases", index: 0, count: 0, progress: 50, want: 0 }
    ], function (row, t) {
        showing(t, "progress.html", function () {
            t.eq($("#progress_container").attr("type"), "down", "starts down");
            $("#progbord").css("width", "200px");
            $("#progress").css("width", "10px");
            updateProgressbarStatus("phase", row.index, row.count, row.progress, 0);
            t.waitFor(function () {
                return !$("#progress").is(":animated");
            }, function () {
                t.eq(Math.round($("#progress").width()), row.want, "bar width");
                t.eq($("#progress_container").attr("type"), "up", "slid up");
                t.done();
            });
        });
    });

    PT.table("running bar", [
        { label: "negative progress runs the bar, a later one draws it", after: 30, want: 60 }
    ], function (row, t) {
        showing(t, "progress.html", function () {
            $("#progbord").css("width", "200px");
            updateProgressbarStatus("phase", 0, 1, -1, 0);
            t.ok($("#progress").hasClass("progressInfinite"), "running class");
            t.ok($("#progress").is(":animated"), "running");
            updateProgressbarStatus("phase", 0, 1, row.after, 0);
            t.ok(!$("#progress").hasClass("progressInfinite"), "running class gone");
            t.waitFor(function () {
                return !$("#progress").is(":animated");
            }, function () {
                t.eq(Math.round($("#progress").width()), row.want, "bar width");
                t.eq($("#progress").css("left"), "0px", "left edge");
                t.done();
            });
        });
    });

    PT.table("progress page start", [
        { label: "texts, buttons and bar" }
    ], function (row, t) {
        showing(t, "progress.html", function () {
            t.eq($("#index_header").text(), "Syncing", "header");
            t.eq($("#button_syncagain .buttonText").text(), "Sync again!", "retry text");
            t.eq($("#button_saveandclose .buttonText").text(), "Save & close", "save and close");
            t.eq($("#buttons .button:visible").length, 0, "dialog buttons hidden");
            t.ok(!$("#buttons").is(":visible"), "button row hidden");
            t.eq($("#progress_syncmessage").text(), "Running syncphase", "message");
            t.eq($("#progress_container").attr("type"), "down", "bar down");
            t.eq(handlers("tcOffline"), 1, "one device-lost handler");
            t.eq(handlers("tcOnline"), 0, "no appearance handler");
            t.done();
        });
    });

    PT.table("hideButtons", [
        { label: "dialog buttons go, the shell's stay" }
    ], function (row, t) {
        showing(t, "progress.html", function () {
            App.Common.showButtons("syncagain", "yes");
            $("#button_synchronize").show();
            t.eq($(".buttonDefaultAction").length, 1, "a default action before");
            hideButtons();
            t.eq($(".buttonDefaultAction").length, 0, "no default action");
            t.eq($("#button_yes:visible, #button_syncagain:visible").length, 0, "buttons hidden");
            t.ok(!$("#buttons").is(":visible"), "row hidden");
            t.ok($("#progress_container").is(":visible"), "progress shown");
            t.ok($("#button_synchronize").is(":visible"), "Synchronize stays");
            t.eq(errorDlgValues.buttons.yes, 0, "button values reset");
            t.done();
        });
    });

    PT.table("device rows", [
        { label: "plain name", name: "ZarvoTovri", picture: "../img/zarvotovri.png" },
        { label: "markup shows as text", name: "<img/src=x/onerror=window.pwned=1>",
          picture: "../img/imgsrcxonerrorwindowpwned1.png" },
        { label: "path in the name", name: "../../Zarvo N410", picture: "../img/zarvon410.png" },
        { label: "empty name", name: "", picture: "../img/generic.png" }
    ], function (row, t) {
        showing(t, "devicelist.html", function () {
            window.pwned = undefined;
            $("#ktpage").trigger("tcOnline", ["4001", "00000FA1", row.name]);
            var $row = $(document.getElementById("c_4001"));
            t.eq($row.length, 1, "row");
            t.eq($row.find(".tc_info").text(), "DeviceId: 00000FA1Name: " + row.name, "text");
            t.eq($row.find(".tc_info").children().length, 1, "only the line break is markup");
            t.eq($row.find("img").length, 1, "one picture");
            t.eq($row.find("img.tc_img").attr("src"), row.picture, "picture");
            t.eq($row.find("input[type=button]").val(), "Sync", "button");
            t.ok(!$row.is(":visible"), "first row hidden");
            // A broken picture would have fired its handler by the time the
            // real picture's request is answered.
            $.ajax({ url: row.picture }).always(t.wrap(function () {
                window.setTimeout(t.wrap(function () {
                    t.eq(window.pwned, undefined, "no script ran");
                    t.done();
                }), 50);
            }));
        });
    });

    PT.table("device list", [
        { label: "later rows fade in, removing the last brings the picture back" }
    ], function (row, t) {
        showing(t, "devicelist.html", function () {
            var pictures = [];
            var setTC = App.Common.setTC;
            $("#ktpage").trigger("tcOnline", ["1", "01", "ZarvoTovri"]);
            $("#ktpage").trigger("tcOnline", ["2", "02", "ZarvoN410"]);
            t.eq($("#wulist").children().length, 2, "two rows");
            t.waitFor(function () {
                // The list itself stays hidden: only the fade is seen.
                var $second = $(document.getElementById("c_2"));
                return $second.css("display") !== "none" && !$second.is(":animated");
            }, function () {
                App.Common.setTC = function (model) {
                    pictures.push(model);
                };
                $("#ktpage").trigger("tcOffline", ["1", "01", "ZarvoTovri"]);
                t.waitFor(function () {
                    return $("#wulist").children().length === 1;
                }, function () {
                    t.eq(pictures, [], "picture unchanged while a row is left");
                    $("#ktpage").trigger("tcOffline", ["2", "02", "ZarvoN410"]);
                    t.waitFor(function () {
                        return $("#wulist").children().length === 0 && pictures.length > 0;
                    }, function () {
                        App.Common.setTC = setTC;
                        t.eq(pictures, ["zarvotovri"], "current model's picture");
                        t.ok(!$("#wulist").is(":visible"), "list hidden");
                        t.done();
                    });
                });
            });
            // An unknown row is ignored.
            $("#ktpage").trigger("tcOffline", ["99", "63", "ghost"]);
        });
    });

    PT.table("device list start", [
        { label: "texts and handlers" }
    ], function (row, t) {
        showing(t, "devicelist.html", function () {
            t.eq($("#index_header").text(), "Connect your device", "header");
            t.eq($("#progress_syncmessage").text(), "", "message");
            t.ok(!$("#pageInstrText").is(":visible"), "instruction hidden");
            t.ok(!$("#wulist").is(":visible"), "list hidden");
            ["tcOnline", "tcOffline", "dorvaneOnline", "dorvaneOffline"].forEach(function (event) {
                t.eq(handlers(event), 1, event);
            });
            t.eq(handlers("tcBatteryStatus"), 0, "battery");
            t.ok(!$("#button_synchronize").hasClass("buttonDisabled"), "Synchronize enabled");
            t.done();
        });
    });

    // The network device's connect wait (lowered to 200 ms by the host).
    PT.table("connect wait", [
        { label: "no device appears", errors: 1 },
        { label: "the device appears", then: function () {
            $("#ktpage").trigger("tcOnline", ["7", "07", "ZarvoN410"]);
        }, errors: 0 },
        { label: "the device goes", then: function () {
            $("#ktpage").trigger("dorvaneOffline");
        }, errors: 0, header: "Connect your device" },
        { label: "a sync starts: the progress page replaces the list", then: function (t, next) {
            Host.show("progress.html", next);
        }, errors: 0, header: "Syncing" }
    ], function (row, t) {
        showing(t, "devicelist.html", function () {
            $("#ktpage").trigger("dorvaneOnline");
            t.eq(App.Common.getSessionVariable(CONFIG_TAGNAME_CURRENTTCFULLMODEL), "Zarvo N410",
                 "model");
            t.eq($("#index_header").text(), "Waiting for your device", "header");
            t.ok(window.timerId !== null, "waiting");
            function judge() {
                if (row.errors > 0) {
                    t.waitFor(function () {
                        return errorCases() > 0;
                    }, function () {
                        t.eq(errorCases(), row.errors, "errors");
                        t.eq(errorDlgValues.text_id, "i18n.error_message_libtcconnfail", "text");
                        t.done();
                    });
                    return;
                }
                t.eq(window.timerId, null, "wait stopped");
                if (row.header)
                    t.eq($("#index_header").text(), row.header, "header");
                // Past the wait nothing has fired.
                window.setTimeout(t.wrap(function () {
                    t.eq(errorCases(), 0, "errors");
                    t.done();
                }), 400);
            }
            if (row.then)
                row.then(t, t.wrap(judge));
            if (!row.then || row.then.length < 2)
                judge();
        });
    });

    PT.table("progTCDisappeared", [
        { label: "after a completed sync the list comes back", ongoing: false, excluded: "",
          devid: "", list: true, errors: 0 },
        { label: "device lost during a sync", ongoing: true, excluded: "", devid: "",
          log: "-D Device lost during sync. Show error.", errors: 1,
          text: "i18n.error_message_libtcconnlost" },
        { label: "the excluded device restarts", ongoing: true, excluded: "00000FA1", devid: "",
          log: "-D Firmware update ongoing.", errors: 0 },
        { label: "excluded device after the sync", ongoing: false, excluded: "00000FA1", devid: "4001",
          log: "-D Firmware update ongoing.", errors: 0 },
        { label: "another device goes during a sync", ongoing: true, excluded: "", devid: "4001",
          log: "-D Firmware update ongoing.", errors: 0 },
        { label: "an error on screen", ongoing: true, excluded: "", devid: "", shown: true,
          errors: 0 }
    ], function (row, t) {
        showing(t, "progress.html", function () {
            smain.syncOngoing = row.ongoing;
            smain.errorShown = row.shown === true;
            JSObject.SLOT_dontAutosyncDevice(row.excluded);
            App.Common.setSessionVariable(CONFIG_TAGNAME_CURRENTTCDEVID, row.devid);
            $("#ktpage").trigger("tcOffline", ["4001", "00000FA1", "ZarvoTovri"]);
            t.eq(errorCases(), row.errors, "errors");
            if (row.text)
                t.eq(errorDlgValues.text_id, row.text, "text");
            if (row.log)
                t.eq(Host.logged(row.log).length, 1, "log");
            else
                t.eq(Host.logged("-D Device lost").length + Host.logged("-D Firmware").length, 0,
                     "no log");
            if (!row.list) {
                t.eq(Host.shown, [], "nothing shown");
                t.done();
                return;
            }
            t.waitFor(function () {
                return Host.shown.length > 0;
            }, function () {
                t.eq(Host.shown, ["devicelist"], "device list");
                t.done();
            });
        });
    });

    PT.table("progTCBatteryStatus", [
        { label: "during a sync the message stays", ongoing: true, charge: 100,
          want: "Running syncphase" },
        { label: "full", ongoing: false, charge: 100, want: "Fully charged" },
        { label: "over full", ongoing: false, charge: 120, want: "Fully charged" },
        { label: "charging", ongoing: false, charge: 40, want: "Charging " }
    ], function (row, t) {
        showing(t, "progress.html", function () {
            smain.syncOngoing = row.ongoing;
            $("#ktpage").trigger("tcBatteryStatus", ["4001", "00000FA1", "ZarvoTovri", row.charge]);
            t.eq($("#progress_syncmessage").text(), row.want, "message");
            t.done();
        });
    });
}());
