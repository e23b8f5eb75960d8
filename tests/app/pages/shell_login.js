// Login and server time of the sync controller (run.js) in shell_host.html,
// against the fake web service's answers each row sets ("Probe": its login
// and clock handlers, or plain rules), the content server's login fragment
// and the stub synchroniser playing the device ("StubDevice";
// shell_flows_test.cpp).
(function () {
    "use strict";

    var loginPath = "/v2/login/user/associateToApp";
    var timePath = "/v2/time/";
    var userReply = { baseUrl: "https://content.ravo.test/v2/users/77/", id: 77,
                      trainingComputerDeviceId: 4242 };
    var goodTime = { utc: "2026-12-11T07:00:00Z", local: "2026-12-11T09:00:00+02:00" };
    var sessionKeys = [CONFIG_TAGNAME_SYNCURL, CONFIG_TAGNAME_CURRENTTCDBDEVID,
                       CONFIG_TAGNAME_CURRENTMASTERID, CONFIG_TAGNAME_USERNAME,
                       CONFIG_TAGNAME_PASSWORD];

    // The web service's login: anna with s3cret gets in with userReply.
    var loginRule = { method: "POST", host: "content.ravo.test", path: loginPath,
                      handler: "login", users: { anna: "s3cret" }, reply: userReply };
    var clockRule = { method: "GET", host: "content.ravo.test", path: timePath + "*",
                      handler: "time", utc: goodTime.utc };

    function session(key) {
        return App.Common.getSessionVariable(key);
    }

    // A fresh controller with an authenticate phase that records its
    // getUserId, the device answering OK and the fake answering rules.
    function start(rules) {
        Host.reset();
        Host.setRoutes(rules);
        StubDevice.play(JSON.stringify({ flags: "OK" }));
        // The bridge passes on changes of state only.
        JSObject.SLOT_changeSyncState(syncStates.Idle);
        StubDevice.clear();
        sessionKeys.forEach(function (key) {
            App.Common.setSessionVariable(key, "");
        });
        smain.i18n.error_loginfailed = "Login failed";
        smain.eRemote = new App.RemoteEndpoint(App.Common.loadAppSetting(CONFIG_TAGNAME_REMOTEURL));
        smain.errorCase = Host.spy("errorCase", smain.errorCase);
        var auth = { name: "authenticate", userIds: 0 };
        auth.getUserId = function () {
            ++auth.userIds;
        };
        smain.authenticateObj = auth;
        $("#pageLogin").html("<h1 id='login_header'>Log in</h1>").hide().css("top", "");
        return auth;
    }

    function requestCount(prefix) {
        return Host.webRequests(prefix).length;
    }

    PT.table("sendLoginData", [
        { label: "accepted: the user's address and ids are kept, the sync goes on",
          user: "anna", password: "s3cret", accepted: true },
        { label: "a wrong password: 401, the login panel says so", user: "anna",
          password: "wrong", accepted: false },
        { label: "an unknown user: 401, the login panel says so", user: "nobody",
          password: "s3cret", accepted: false }
    ], function (row, t) {
        var auth = start([loginRule, clockRule]);
        var logins = requestCount(loginPath);
        var times = requestCount(timePath);
        smain.sendLoginData(row.user, row.password);
        if (row.accepted) {
            t.waitFor(function () {
                return auth.userIds > 0;
            }, function () {
                var sent = Host.webRequests(loginPath).slice(logins);
                t.eq(sent.length, 1, "one login request");
                t.eq(JSON.parse(sent[0].body), { username: "anna", password: "s3cret" }, "body");
                t.eq(session(CONFIG_TAGNAME_SYNCURL), userReply.baseUrl, "syncUrl");
                t.eq(session(CONFIG_TAGNAME_CURRENTTCDBDEVID), "4242", "tcdbdeviceid");
                t.eq(session(CONFIG_TAGNAME_CURRENTMASTERID), "77", "currentmasterid");
                t.eq(session(CONFIG_TAGNAME_USERNAME), "anna", "username kept");
                t.ok(smain.eUserSync instanceof App.RemoteEndpoint, "eUserSync made");
                t.eq(smain.eUserSync && smain.eUserSync.path, userReply.baseUrl, "eUserSync path");
                t.ok(auth.userEndpoint === smain.eUserSync, "the phase has the user's endpoint");
                var set = Host.deviceCalls("setTCTimes");
                t.eq(set.length, 1, "clocks set once");
                t.eq(set[0] && set[0].slice(0, 2), [goodTime.utc, true], "from the server");
                t.eq(auth.userIds, 1, "getUserId once");
                t.eq(Host.calls.errorCase.length, 0, "no error");
                t.done();
            });
            return;
        }
        t.waitFor(function () {
            return $("#login_header").text() === "Login failed" && !$("#pageLogin").is(":animated");
        }, function () {
            t.eq(requestCount(loginPath) - logins, 1, "one login request");
            t.ok($("#pageLogin").is(":visible"), "login panel shown");
            t.eq($("#pageLogin").css("top"), "0px", "slid up");
            t.eq(session(CONFIG_TAGNAME_SYNCURL), "", "no syncUrl");
            t.eq(session(CONFIG_TAGNAME_USERNAME), "", "nothing stored");
            t.eq(requestCount(timePath), times, "no time request");
            t.eq(Host.deviceCalls("setTCTimes").length, 0, "clocks untouched");
            t.eq(Host.calls.errorCase.length, 0, "no general error");
            t.eq(auth.userIds, 0, "no user id read");
            t.eq(smain.syncOngoing, false, "no sync");
            t.done();
        });
    });

    // A failure of the service is no wrong password: the general error (or
    // the status's own text) through the error case, no login panel.
    PT.table("the service fails the login", [
        { label: "200 with a body that is no JSON", status: 200, body: "<html>busy</html>",
          text: "i18n.error_message_libgeneralerror" },
        { label: "a server error", status: 500, body: "oops", text: "error_message_400" }
    ], function (row, t) {
        var auth = start([Host.route("POST", loginPath, row.status, row.body), clockRule]);
        smain.sendLoginData("anna", "s3cret");
        t.waitFor(function () {
            return Host.calls.errorCase.length > 0;
        }, function () {
            t.eq(errorDlgValues.text_id, row.text, "message");
            t.ok($("#login_header").text() !== "Login failed", "not the wrong-password message");
            t.ok(!$("#pageLogin").is(":visible"), "no login panel");
            t.eq(session(CONFIG_TAGNAME_USERNAME), "", "nothing stored");
            t.eq(auth.userIds, 0, "no user id read");
            t.ok(Host.logs.some(function (line) {
                return line.indexOf("-D Login not answered usably: status " + row.status) === 0;
            }), "logged");
            t.done();
        });
    });

    // The content server's login fragment in the panel: its Sign in sends
    // what the user typed.
    PT.table("runSyncWithLogin", [
        { label: "stored credentials log in at once", user: "anna", password: "s3cret",
          panel: false },
        { label: "without stored credentials the login page is shown and signs in",
          user: "", password: "", panel: true },
        { label: "a name without a password is not enough", user: "anna", password: "",
          panel: true },
        { label: "stored credentials refused: the login form says so and signs in",
          user: "anna", password: "old", panel: true, refused: true }
    ], function (row, t) {
        var auth = start([loginRule, clockRule]);
        $("#pageLogin").empty();
        App.Common.setSessionVariable(CONFIG_TAGNAME_USERNAME, row.user);
        App.Common.setSessionVariable(CONFIG_TAGNAME_PASSWORD, row.password);
        var logins = requestCount(loginPath);
        var pages = requestCount("/contentserver/ui/login.html");
        smain.runSyncWithLogin();
        if (!row.panel) {
            t.waitFor(function () {
                return auth.userIds > 0;
            }, function () {
                t.eq(requestCount("/contentserver/ui/login.html"), pages, "no login page");
                t.eq(JSON.parse(Host.webRequests(loginPath).pop().body),
                     { username: row.user, password: row.password }, "stored credentials sent");
                t.done();
            });
            return;
        }
        t.waitFor(function () {
            return $("#pageLogin #button_signin").length > 0 && !$("#pageLogin").is(":animated") &&
                   (!row.refused || $("#login_header").text() === "Login failed");
        }, function () {
            t.eq(requestCount(loginPath) - logins, row.refused ? 1 : 0,
                 "no login before the user signs in but with the stored credentials");
            t.eq($("#pageLogin #login_header").length, 1, "one form");
            t.eq(requestCount("/contentserver/ui/login.html") - pages, 1, "login page read");
            t.ok($("#pageLogin").is(":visible"), "login panel shown");
            t.eq($("#pageContent #login_header").length, 0, "not in the content area");
            $("#login_username").val("anna");
            $("#login_password").val("s3cret");
            $("#button_signin").trigger("click");
            t.waitFor(function () {
                return auth.userIds > 0;
            }, function () {
                t.eq(JSON.parse(Host.webRequests(loginPath).pop().body),
                     { username: "anna", password: "s3cret" }, "typed credentials sent");
                t.eq(session(CONFIG_TAGNAME_PASSWORD), "s3cret", "kept for the next sync");
                t.done();
            });
        });
    });

    PT.table("refused during a sync", [
        { label: "a second login", call: "login", log: "-D There is already a sync ongoing.." },
        { label: "a second time request", call: "time", log: "-D There is already a sync ongoing." }
    ], function (row, t) {
        var auth = start([Host.route("GET", timePath + "*", 200, goodTime)]);
        var times = requestCount(timePath);
        var continued = 0;
        smain.syncOngoing = true;
        if (row.call === "login")
            smain.userLoginDone({ baseUrl: "https://content.ravo.test/v2/users/9/", id: 9 }, "200",
                                {}, "bob", "pw");
        else
            smain.getServerTimes(function () {
                ++continued;
            });
        t.ok(Host.logs.indexOf(row.log) >= 0, "log line");
        t.eq(session(CONFIG_TAGNAME_SYNCURL), "", "syncUrl untouched");
        t.eq(session(CONFIG_TAGNAME_USERNAME), "", "username untouched");
        // Nothing follows later either.
        t.async();
        window.setTimeout(t.wrap(function () {
            t.eq(requestCount(timePath), times, "no time request");
            t.eq(Host.deviceCalls("setTCTimes").length, 0, "clocks untouched");
            t.eq(Host.deviceCalls("syncProcessStateChanged").length, 0, "state untouched");
            t.eq(auth.userIds + continued, 0, "the sync does not go on");
            t.eq(smain.syncOngoing, true, "the running sync stays");
            t.done();
        }), 300);
    });

    PT.table("getServerTimes", [
        { label: "a good reply sets both clocks as trusted", status: 200, reply: goodTime,
          set: [goodTime.utc, true, goodTime.local] },
        { label: "a reply without utc sets them from the computer", status: 200,
          reply: { local: goodTime.local }, set: ["", false, ""] },
        { label: "a reply that is not JSON goes on without setting them", status: 200,
          reply: "no json here", set: null },
        { label: "a failed request goes on without setting them", status: 500, reply: {},
          set: null }
    ], function (row, t) {
        start([Host.route("GET", timePath + "*", row.status, row.reply)]);
        var times = requestCount(timePath);
        var continued = 0;
        var zone = JSObject.SLOT_getTimezoneMinutes();
        smain.getServerTimes(function () {
            ++continued;
        });
        t.eq(smain.syncOngoing, true, "sync marked running");
        t.waitFor(function () {
            return continued > 0;
        }, function () {
            var sent = Host.webRequests(timePath).slice(times);
            t.eq(sent.length, 1, "one time request");
            t.eq(sent[0].path, timePath + zone, "its zone");
            t.eq(sent[0].query, "timeUnit=minute", "its unit");
            var set = Host.deviceCalls("setTCTimes");
            t.eq(set, row.set ? [row.set.concat([String(zone)])] : [], "clocks");
            if (row.set && row.set[1] === false)
                t.ok(Host.logs.indexOf("-D Could not get times from server. Settings time from " +
                                       "local computer...") >= 0, "log line");
            t.eq(Host.deviceCalls("syncProcessStateChanged").map(function (args) {
                return args[1];
            }), [String(syncStates.SyncOn)], "sync state");
            // Once: the device's answer is not taken twice.
            window.setTimeout(t.wrap(function () {
                t.eq(continued, 1, "continues once");
                t.done();
            }), 100);
        });
    });
}());
