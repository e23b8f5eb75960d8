// First-time use of the sync controller (run.js) in shell_host.html: the
// device's registration page goes to the desktop while the page long-polls
// the web service for the login (shell_flows_test.cpp gives "Probe" and
// "StubDevice").
(function () {
    "use strict";

    var ssoPath = "/v2/login/sso/associateToApp";
    var timePath = "/v2/time/";
    var userReply = { baseUrl: "https://content.ravo.test/v2/users/5/", id: 5,
                      trainingComputerDeviceId: 505 };
    var address = "https://www.ravo.test/settings/device/firstTime?token=pt42&deviceid=4001";
    // Short waits for the table; the polls' gaps are checked against this.
    var backoffMs = 300;
    App.pageTiming.ssoBackoffMs = backoffMs;
    App.pageTiming.browserFadeMs = 50;

    // The web service's long poll: the answers of pending (504s, each held
    // holdMs), then the login reply.
    function sso(pending, extra) {
        return $.extend({ method: "POST", host: "content.ravo.test", path: ssoPath,
                          handler: "sso", pending: pending, reply: userReply }, extra || {});
    }

    // A fresh controller in first-time use: an authenticate phase with its
    // tokens that records getUserId, the device answering OK.
    function start(rules) {
        Host.reset();
        Host.setRoutes(rules.concat([{ method: "GET", host: "content.ravo.test",
                                       path: timePath + "*", handler: "time" }]));
        StubDevice.play(JSON.stringify({ flags: "OK" }));
        JSObject.SLOT_changeSyncState(syncStates.Idle);
        StubDevice.clear();
        Probe.clear();
        $.extend(smain.i18n, {
            progress_firsttimeuseheader: "Welcome",
            progress_firsttimeuse: "Finish the set-up in your browser",
            error_message_openbrowser: "The browser did not open",
            error_message_copyaddress: "Copy the address into your browser",
            button_openweb: "Open the web",
            button_copy: "Copy",
            generalsettings_quickhelp_tooltip: "Help"
        });
        App.Common.setSessionVariable(CONFIG_TAGNAME_CURRENTTCDEVID, "4001");
        App.Common.setSessionVariable(CONFIG_TAGNAME_APPLOGINKEYNAME, "S0VZ");
        App.Common.setSessionVariable(CONFIG_TAGNAME_SYNCURL, "");
        App.Common.saveAppSetting(CONFIG_TAGNAME_OPENWEBAFTERSYNC, "true");
        smain.eRemote = new App.RemoteEndpoint(App.Common.loadAppSetting(CONFIG_TAGNAME_REMOTEURL));
        smain.errorCase = Host.spy("errorCase", smain.errorCase);
        var auth = { name: "authenticate", publicToken: "pt42", secretToken: "st42",
                     firstTimeUse: true, userIds: 0 };
        auth.getUserId = function () {
            ++auth.userIds;
        };
        smain.authenticateObj = auth;
        return auth;
    }

    function shown(id) {
        return $("#" + id).css("display") !== "none";
    }

    function ssoSends() {
        return Host.sendTimes.filter(function (send) {
            return send.url.indexOf("login/sso/associateToApp") >= 0;
        }).map(function (send) {
            return send.at;
        });
    }

    PT.table("long poll", [
        { label: "504 twice, then the login: polls wait the back-off and end in the login",
          rules: [sso([504, 504])], polls: 3,
          onTop: [true, true, true] },
        { label: "a resync during the poll: the next poll alone leaves the top",
          rules: [sso([504, 504], { holdMs: 400 })],
          polls: 3, resync: true, onTop: [true, false, true, true] }
    ], function (row, t) {
        var auth = start(row.rules);
        var polls = Host.webRequests(ssoPath).length;
        if (row.resync) {
            window.SelfUpdate = function () {
                this.runSyncPhase = function () {};
            };
        }
        smain.showFirstTimeUseDialog();
        if (row.resync)
            smain.reSync();
        t.eq(JSON.parse(Probe.opened()), [address], "the browser has the registration page");
        t.eq($("#index_header").text(), "Welcome", "header");
        t.async(20000);
        t.waitFor(function () {
            return auth.userIds > 0;
        }, function () {
            var sent = Host.webRequests(ssoPath).slice(polls);
            t.eq(sent.length, row.polls, "polls");
            t.eq(JSON.parse(sent[0].body), { secretToken: "st42", publicToken: "pt42" }, "tokens");
            t.eq(sent[0].headers.authorization, "Basic S0VZ", "the application's key");
            var at = ssoSends();
            for (var i = 1; i < at.length; ++i)
                t.ok(at[i] - at[i - 1] >= backoffMs,
                     "poll " + i + " waited the back-off: " + (at[i] - at[i - 1]) + " ms");
            t.eq(JSON.parse(Probe.onTop()), row.onTop, "put on top");
            t.eq(App.Common.getSessionVariable(CONFIG_TAGNAME_SYNCURL), userReply.baseUrl,
                 "logged in");
            t.eq(Host.deviceCalls("setTCTimes").length, 1, "clocks set");
            t.eq(Host.calls.errorCase.length, 0, "no error");
            t.eq(auth.userIds, 1, "user id read once");
            // The first-time sync ends without the diary.
            smain.syncReady();
            t.eq(JSON.parse(Probe.opened()), [address], "no diary");
            t.waitFor(function () {
                return App.Common.getSessionVariable("ftu_url") !== "" || row.resync;
            }, function () {
                if (!row.resync)
                    t.eq(App.Common.getSessionVariable("ftu_url"), address, "help address kept");
                t.done();
            });
        });
    });

    PT.table("the desktop refuses", [
        { label: "Open web again: the second try opens it", refuse: 1, opened: [address] },
        { label: "refused twice: the address can be copied", refuse: 2, opened: [] }
    ], function (row, t) {
        var auth = start([sso([], { delayMs: 600 })]);
        App.Common.setSessionVariable("ftu_url", "");
        Probe.refuseOpens(row.refuse);
        smain.showFirstTimeUseDialog();
        t.eq(Probe.refusedOpens(), 1, "first try refused");
        t.eq($("#pageInstrText").text(), "The browser did not open", "says so");
        t.ok(shown("button_yes"), "retry button");
        t.eq($("#button_yes .i18n").text(), "Open the web", "its text");
        $("#button_yes").trigger("click");
        t.eq(Probe.refusedOpens(), row.refuse, "second try");
        t.eq(JSON.parse(Probe.opened()), row.opened, "opened");
        if (row.refuse === 1) {
            t.ok(!shown("button_yes"), "retry button gone");
            t.eq($("#index_header").text(), "Welcome", "header");
        } else {
            t.eq($("#pageInstrText").text(), "Copy the address into your browser", "copy text");
            t.ok(shown("button_save"), "copy button");
            t.eq($("#button_save .i18n").text(), "Copy", "its text");
            $("#button_save").trigger("click");
            t.eq(Probe.clipboard(), address, "copied");
        }
        // The poll goes on meanwhile and ends in the login.
        t.waitFor(function () {
            return auth.userIds > 0 && $("#pageInstrText").is(":animated") === false;
        }, function () {
            t.eq(shown("pageInstrText"), row.refuse !== 1, "message gone once opened");
            t.eq(Host.calls.errorCase.length, 0, "no error");
            t.done();
        });
    });
}());
