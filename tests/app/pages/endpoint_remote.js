// Remote endpoints against the real bridge and the fake web service (its
// rules are in endpoint_test.cpp): routing by content type, the completion
// filter, the verdicts that end the sync, refused methods, the resource
// search and the offline files.
(function () {
    "use strict";

    var obj = { name: "Exercises" };
    var authenticate = { name: "authenticate" };

    function remote() {
        return new App.RemoteEndpoint(String(JSObject.SLOT_loadAppSetting("remoteurl")));
    }

    function content() {
        return App.syncMain.eContent;
    }

    function fails(t) {
        return t.wrap(function (data, status) {
            t.fail("unexpected error: " + data + ", " + status);
            t.done();
        });
    }

    // The kinds of content: a raw-data read through the bridge (what its
    // success data shows: Base64 of the body, or empty when the body stays
    // in the bridge for a device write) or a jQuery request and its data
    // type.
    PT.table("remote read routing", [
        { label: "protobuf", type: "application/x-protobuf", path: "test/kind/a.bin",
          bridgeData: "QUFB" },
        { label: "x-json", type: "application/x-json", path: "test/kind/b.bin",
          bridgeData: "QUFB" },
        { label: "image keeps the body", type: "application/x-zarvo-image",
          path: "test/kind/c.bin", bridgeData: "" },
        { label: "zip keeps the body", type: "application/x-zip-file", path: "test/kind/d.bin",
          bridgeData: "" },
        { label: "assistance data keeps the body", type: "application/x-ublox-alp",
          path: "test/kind/e.bin", bridgeData: "" },
        { label: "other x- type", type: "application/x-other", path: "test/kind/f.bin",
          bridgeData: "QUFB" },
        { label: "map without a download slot", type: "application/x-zarvo-map",
          path: "test/kind/g.bin", bridgeData: "QUFB", withoutSlot: "SLOT_downloadFile" },
        { label: "json", type: "application/json", path: "test/kind/h.json",
          dataType: "json", data: { a: 1 } },
        { label: "html", type: "text/html", path: "test/kind/i.html", dataType: "html",
          data: "<p>i</p>" },
        { label: "xml", type: "application/xml", path: "test/kind/j.xml", dataType: "xml" },
        { label: "plain text", type: "text/plain", path: "test/kind/k.txt", dataType: "text",
          data: "k" }
    ], function (row, t) {
        Host.reset();
        t.async();
        var read = function (path, caller, success, error, type) {
            content().read(path, caller, success, error, type);
        };
        if (row.withoutSlot)
            read = function (path, caller, success, error, type) {
                Host.withoutSlot(row.withoutSlot, function () {
                    content().read(path, caller, success, error, type);
                });
            };
        read(row.path, obj, t.wrap(function (data, status) {
            if (row.dataType === undefined) {
                t.eq(Host.requests, [], "jQuery requests");
                t.eq(data, row.bridgeData, "data");
                t.eq(status, "200", "status");
            } else {
                t.eq(Host.requests.length, 1, "jQuery requests");
                t.eq(Host.requests[0].dataType, row.dataType, "data type");
                t.eq(status, "success", "status");
                if (row.data !== undefined)
                    t.eq(data, row.data, "data");
            }
            t.done();
        }), fails(t), row.type);
    });

    PT.table("map with the download slot", [{ label: "downloadFile" }], function (row, t) {
        Host.reset();
        var calls = [];
        Host.withBridge({
            SLOT_downloadFile: function () {
                calls.push(Array.prototype.slice.call(arguments));
            }
        }, function () {
            content().read("test/kind/m.map", obj, function () {}, function () {},
                           "application/x-zarvo-map", "", false);
        });
        t.eq(calls, [[Host.contentUrl() + "/test/kind/m.map", "GET", "application/x-zarvo-map",
                      "application/x-zarvo-map", "false"]]);
        t.eq(Host.requests, [], "jQuery requests");
    });

    PT.table("completion filter", [
        { label: "a late reply for an older request is dropped" },
        { label: "a content-server reply passes whatever requesturl says" },
        { label: "a jQuery reply passes when replyurl names another address" },
        { label: "a failing local read completes while replyurl holds a web address" }
    ], function (row, t) {
        Host.reset();
        t.async();
        switch (row.label) {
        case "a late reply for an older request is dropped": {
            var endpoint = remote();
            var first = [];
            endpoint.read("slow", obj, function (data) { first.push(data); }, fails(t),
                          "application/json");
            endpoint.read("slower", obj, t.wrap(function (data, status) {
                t.eq(data, { which: "slower" }, "data");
                t.eq(status, "success", "status");
                t.eq(first, [], "the older request's callbacks");
                t.eq(Host.logged("-D Request and response urls do not mach. Forget response..")
                         .length, 1, "dropped");
                t.done();
            }), fails(t), "application/json");
            break;
        }
        case "a content-server reply passes whatever requesturl says":
            content().read("test/kind/h.json", obj, t.wrap(function (data) {
                t.eq(data, { a: 1 }, "data");
                t.done();
            }), fails(t), "application/json");
            JSObject.SLOT_saveVariable("requesturl", remote().path + "/elsewhere");
            break;
        case "a jQuery reply passes when replyurl names another address":
            // Runs between the network completion and the callback, as
            // another reply finishing there would.
            $.ajaxSetup({ dataFilter: function (data) {
                JSObject.SLOT_saveVariable("replyurl", remote().path + "/picture.png");
                return data;
            } });
            remote().read("data", obj, t.wrap(function (data) {
                t.eq(data, { which: "data" }, "data");
                t.done();
            }), fails(t), "application/json");
            break;
        default:
            StubDevice.play(
                JSON.stringify({ flagsFor: { readFromFile: "FILE_OPERATION_FAILED" } }));
            new App.LocalEndpoint("/U/0").read("A.BPB", obj, t.wrap(function () {
                t.fail("success");
                t.done();
            }), t.wrap(function (data, status) {
                t.eq(status, "FILE_OPERATION_FAILED", "status");
                t.done();
            }));
            // A web request in flight, whose reply has just come in.
            JSObject.SLOT_saveVariable("requesturl", remote().path + "/data");
            JSObject.SLOT_saveVariable("replyurl", remote().path + "/picture.png");
            break;
        }
    });

    PT.table("connection flags end the sync", [
        { flags: "TC_NOT_FOUND" }, { flags: "TC_CONNECT_FAILED" },
        { flags: "TC_CONNECTION_LOST" }, { flags: "GENERAL_ERROR, TC_BUSY" },
        { flags: "SYSTEM_BUSY" }, { flags: "WAIT_FOR_IDLING" }
    ], function (row, t) {
        Host.reset();
        var errors = [];
        var endpoint = new App.LocalEndpoint("/U/0");
        endpoint.storeRequest(obj, function () { errors.push("success"); },
                              function () { errors.push("error"); });
        endpoint.readReady("", row.flags, "", endpoint.errorFunc);
        t.eq(errors, [], "the caller's functions");
        t.eq(Host.errors, [["", row.flags]], "errorCase");
    });

    PT.table("a busy device ends the sync", [{ label: "TC_BUSY from the device" }],
             function (row, t) {
        Host.reset();
        t.async();
        StubDevice.play(JSON.stringify({ flagsFor: { readFromFile: "GENERAL_ERROR, TC_BUSY" } }));
        var own = [];
        new App.LocalEndpoint("/U/0").read("A.BPB", obj, function () { own.push("success"); },
                                             function () { own.push("error"); });
        t.waitFor(function () { return Host.errors.length > 0; }, function () {
            t.eq(Host.errors, [["", "GENERAL_ERROR, TC_BUSY"]], "errorCase");
            t.eq(own, [], "the caller's functions");
            t.done();
        });
    });

    PT.table("web statuses that end the sync", [
        { label: "401", path: "s401", status: 401 },
        { label: "502", path: "s502", status: 502 },
        { label: "0", path: "s0", status: 0 },
        { label: "401 to the authenticate phase", path: "s401", status: 401, caller: authenticate },
        { label: "502 to the authenticate phase", path: "s502", status: 502, caller: authenticate },
        { label: "0 to the authenticate phase", path: "s0", status: 0, caller: authenticate },
        { label: "500 to its caller", path: "s500", status: 500, own: true }
    ], function (row, t) {
        Host.reset();
        t.async();
        var ownErrors = [];
        remote().read(row.path, row.caller || obj, t.wrap(function () {
            t.fail("success");
            t.done();
        }), function (textStatus, status) {
            ownErrors.push([textStatus, status]);
        }, "application/json");
        t.waitFor(function () { return Host.errors.length + ownErrors.length > 0; }, function () {
            if (row.caller || row.own) {
                t.eq(ownErrors, [["error", row.status]], "own error function");
                t.eq(Host.errors, [], "errorCase");
            } else {
                t.eq(ownErrors, [], "own error function");
                t.eq(Host.errors.length, 1, "errorCase");
                t.eq(Host.errors[0][1], row.status, "status");
                t.eq(Host.errors[0][2], row.status, "status again");
            }
            t.done();
        });
    });

    PT.table("methods other than POST and PUT", [
        { method: "DELETE", type: "application/json" },
        { method: "GET", type: "application/json" },
        { method: "DELETE", type: "application/x-protobuf" }
    ], function (row, t) {
        Host.reset();
        var own = [];
        remote().write("thing", obj, function () { own.push("success"); },
                       function () { own.push("error"); }, row.type, row.type, "{}", row.method);
        t.eq(Host.requests, [], "requests");
        t.eq(own, [], "the caller's functions");
        t.eq(Host.errors.length, 1, "errorCase");
        t.eq(errorDlgValues.text_id, "error_message_400", "the 500 texts");
        t.eq(Host.logged("-D Remote.Write fail, url: " + remote().path + "/thing,<br>returned: " +
                         "Error: http method not found: " + row.method).length, 1, "log line");
    });

    PT.table("writes", [
        { label: "POST by default", method: undefined, path: "posted" },
        { label: "PUT", method: "PUT", path: "put" }
    ], function (row, t) {
        Host.reset();
        t.async();
        remote().write(row.path, obj, t.wrap(function (data, status) {
            t.eq(status, "success", "status");
            t.eq(data, { stored: true }, "data");
            t.done();
        }), fails(t), "application/json", "application/json", "{\"n\":1}", row.method);
    });

    PT.table("findResource", [
        { label: "found two parts up", name: "two.json", want: { data: { found: "two" } } },
        { label: "found nowhere", name: "none.json", want: { data: "", status: 404 } },
        { label: "server failing", name: "bad.json", errorCase: true }
    ], function (row, t) {
        Host.reset();
        t.async();
        var got = [];
        content().findResource(["sync", "m1", "1.2.3"], row.name, function (data, status) {
            got.push({ data: data, status: status });
        });
        t.waitFor(function () { return got.length > 0 || Host.errors.length > 0; }, function () {
            if (row.errorCase) {
                t.eq(got, [], "contFunc");
                t.eq(Host.errors.length, 1, "errorCase");
                t.eq(Host.errors[0][1], 502, "status");
            } else {
                t.eq(got.length, 1, "contFunc calls");
                t.eq(got[0].data, row.want.data, "data");
                if (row.want.status !== undefined)
                    t.eq(got[0].status, row.want.status, "status");
            }
            t.done();
        });
    });

    PT.table("findExternalResource", [
        { label: "found one part up", name: "x.bin", want: ["eDE=", "200"] },
        { label: "found nowhere", name: "y.bin", want: ["", "404", ""] }
    ], function (row, t) {
        Host.reset();
        t.async();
        content().findExternalResource(Host.contentUrl() + "/ext", obj, ["a"], row.name,
                                       t.wrap(function (data, status, third) {
            var got = [data, status];
            if (row.want.length > 2)
                got.push(third);
            t.eq(got, row.want, "contFunc");
            t.eq(Host.requests, [], "jQuery requests");
            t.eq(Host.deviceCalls().filter(function (call) {
                return call.name === "showOfflineDialog";
            }), [], "error dialogs");
            t.done();
        }));
    });

    // What went out is checked in the fake's log (endpoint_test.cpp); the
    // authenticate phase hears every failure itself.
    function readFrom(address, path, done) {
        new App.RemoteEndpoint(address).read(path, authenticate, done, done, "application/json");
    }

    PT.table("headers", [
        { label: "our service", credentials: true,
          start: function (done) { readFrom(remote().path, "hdr", done); } },
        { label: "cookie set earlier", credentials: true, start: function (done) {
            readFrom(remote().path, "cookie", function () {
                readFrom(remote().path, "hdr2", done);
            });
        } },
        { label: "other host", start: function (done) {
            readFrom("https://api.other.test", "hdr3", done);
        } },
        { label: "plain http", start: function (done) {
            readFrom("http://content.ravo.test/v2", "hdr4", done);
        } }
    ], function (row, t) {
        Host.reset();
        t.async();
        JSObject.SLOT_saveVariable("login_api_encoded_key", "S0VZ");
        row.start(t.wrap(function () {
            var last = Host.requests[Host.requests.length - 1];
            t.eq(last.headers.authorization, row.credentials ? "Basic S0VZ" : undefined,
                 "authorization");
            t.eq(last.headers["Content-Encoding"], "", "Content-Encoding");
            t.done();
        }));
    });

    PT.table("readOfflineFile", [
        { label: "a file beside the program" },
        { label: "a built-in resource" },
        { label: "an empty answer" },
        { label: "a missing resource" }
    ], function (row, t) {
        Host.reset();
        t.async();
        switch (row.label) {
        case "a file beside the program": {
            var dir = String(JSObject.SLOT_getVariable("test_offline_dir"));
            StubDevice.play(JSON.stringify({ offlineData: "{\"offline\":1}" }));
            new App.LocalEndpoint(dir).readOfflineFile("f.json", obj,
                                                       t.wrap(function (data, status) {
                t.eq(data, "{\"offline\":1}", "data");
                t.eq(status, "OK", "status");
                t.eq(Host.deviceCalls(), [{ name: "readOfflineFile", args: [dir + "/f.json"] }],
                     "device calls");
                t.done();
            }), fails(t), "application/json");
            break;
        }
        case "a built-in resource":
            Host.qrcAnswer = { status: 0, text: "body { font-size: 15px; }" };
            new App.LocalEndpoint("resources").readOfflineFile("ui/css/fonts.css", obj,
                                                               t.wrap(function (data, status) {
                t.eq(data, "body { font-size: 15px; }", "data");
                t.eq(status, "success", "status");
                t.eq(Host.requests.length, 1, "jQuery requests");
                t.eq(Host.requests[0].url, "qrc:/resources/ui/css/fonts.css", "address");
                t.eq(Host.deviceCalls(), [], "device calls");
                t.done();
            }), fails(t), "text/css");
            break;
        case "an empty answer":
            Host.qrcAnswer = { status: 0, text: "" };
            new App.LocalEndpoint("resources").readOfflineFile("ui/none.html", obj, fails(t),
                                                               fails(t), "text/html");
            t.waitFor(function () { return Host.errors.length > 0; }, function () {
                t.eq(Host.errors.length, 1, "errorCase");
                t.done();
            });
            break;
        default:
            new App.LocalEndpoint("resources").readOfflineFile("ui/nothing.html", obj,
                                                               fails(t), fails(t), "text/html");
            t.waitFor(function () { return Host.errors.length > 0; }, function () {
                t.eq(Host.errors.length, 1, "errorCase");
                t.done();
            });
            break;
        }
    });
}());
