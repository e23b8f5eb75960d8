// Local endpoints against the real bridge, with the stub synchroniser
// playing the device (StubDevice): the request that reaches the device, the
// release of the page signals and exactly one completion.
(function () {
    "use strict";

    var root = "/U/0";

    // Runs start(endpoint, success, error) and waits for one completion;
    // then(which, args) once it came and the device had time to answer
    // twice.
    function complete(t, start, then) {
        var endpoint = new App.LocalEndpoint(root);
        var seen = [];
        function recorder(which) {
            return t.wrap(function () {
                seen.push({ which: which, args: Array.prototype.slice.call(arguments) });
            });
        }
        start(endpoint, recorder("success"), recorder("error"));
        t.waitFor(function () { return seen.length > 0 || Host.errors.length > 0; }, function () {
            // A second answer to the same signal must not complete again.
            window.setTimeout(t.wrap(function () {
                t.eq(seen.length <= 1, true, "completions: " + JSON.stringify(seen));
                then(seen[0] || { which: "none", args: [] });
            }), 50);
        });
    }

    function callsNamed(name) {
        return Host.deviceCalls().filter(function (call) { return call.name === name; });
    }

    function released(t, signals) {
        for (var i = 0; i < signals.length; ++i)
            t.eq(StubDevice.connected(signals[i]), false, signals[i] + " still connected");
    }

    var obj = { name: "Exercises" };

    PT.table("local operations", [
        { label: "read, relative path", answers: { fileData: "QUJD" },
          start: function (ep, s, e) { ep.read("EXE/A.BPB", obj, s, e, "application/x-protobuf"); },
          call: { name: "readFromFile", args: ["/U/0/EXE/A.BPB"] },
          want: { which: "success", args: ["QUJD", "OK", ""] },
          signals: ["SIGNAL_fileRead", "SIGNAL_fail"] },
        { label: "read, absolute path", answers: { fileData: "" },
          start: function (ep, s, e) { ep.read("/SYS/B.BPB", obj, s, e); },
          call: { name: "readFromFile", args: ["/SYS/B.BPB"] },
          want: { which: "success", args: ["", "OK", ""] },
          signals: ["SIGNAL_fileRead", "SIGNAL_fail"] },
        { label: "read failing", answers: { flagsFor: { readFromFile: "FILE_OPERATION_FAILED" } },
          start: function (ep, s, e) { ep.read("EXE/C.BPB", obj, s, e); },
          call: { name: "readFromFile", args: ["/U/0/EXE/C.BPB"] },
          want: { which: "error", args: ["", "FILE_OPERATION_FAILED", ""] },
          signals: ["SIGNAL_fileRead", "SIGNAL_fail"] },
        { label: "write", answers: {},
          start: function (ep, s, e) { ep.write("S.JSON", obj, s, e, "application/json", "{}"); },
          call: { name: "writeToFile", args: ["/U/0/S.JSON", "{}"] },
          want: { which: "success", args: ["", "OK", ""] },
          signals: ["SIGNAL_fileWritten", "SIGNAL_fail"] },
        { label: "writeOfflineFile", answers: {},
          start: function (ep, s, e) {
              ep.writeOfflineFile("store/f.json", obj, s, e, "application/json", "[1]");
          },
          call: { name: "writeOfflineFile", args: ["/U/0/store/f.json", "[1]"] },
          want: { which: "success", args: ["", "OK", ""] },
          signals: ["SIGNAL_fileWritten", "SIGNAL_fail"] },
        { label: "writeOfflineFileToTC", answers: {},
          start: function (ep, s, e) {
              ep.writeOfflineFileToTC("MAP/m.bin", obj, s, e, "application/x-zarvo-map", "");
          },
          call: { name: "writeOfflineToTCFile", args: ["/U/0/MAP/m.bin", { bytes: "" }] },
          want: { which: "success", args: ["", "OK", ""] },
          signals: ["SIGNAL_fileWritten", "SIGNAL_fail"] },
        { label: "getSubdirs", answers: { entries: ["20260101", "20260102"] },
          start: function (ep, s) { ep.getSubdirs(obj, s, "ACT"); },
          call: { name: "getSubdirs", args: ["/U/0/ACT"] },
          want: { which: "success", args: [["20260101", "20260102"], "OK"] },
          signals: ["SIGNAL_returnSubdirs"] },
        { label: "getSubdirsWithoutFile", answers: { entries: ["E1"] },
          start: function (ep, s) { ep.getSubdirsWithoutFile(obj, s, "EXE", "BASE.BPB"); },
          call: { name: "getSubdirsWithoutFile", args: ["/U/0/EXE", "BASE.BPB"] },
          want: { which: "success", args: [["E1"], "OK"] },
          signals: ["SIGNAL_returnSubdirs"] },
        { label: "getDailySubdirsWithoutFile", answers: { entries: ["D"] },
          start: function (ep, s) {
              ep.getDailySubdirsWithoutFile(obj, s, "ACT/[YYYYMMDD]/", "DAY.BPB");
          },
          call: { name: "getDailySubdirsWithoutFile", args: ["/U/0/ACT/[YYYYMMDD]/", "DAY.BPB"] },
          want: { which: "success", args: [["D"], "OK"] },
          signals: ["SIGNAL_returnSubdirs"] },
        { label: "getDailyEntries", answers: { entries: ["/U/0/ACT/20260101/A.BPB"] },
          start: function (ep, s) { ep.getDailyEntries(obj, s, "ACT/[YYYYMMDD]/"); },
          call: { name: "getDailyEntries", args: ["/U/0/ACT/[YYYYMMDD]/"] },
          want: { which: "success", args: [["/U/0/ACT/20260101/A.BPB"], "OK"] },
          signals: ["SIGNAL_returnDailyEntries"] },
        { label: "getSubdirs with the connection lost ends the sync",
          answers: { flagsFor: { getSubdirs: "GET_SUBDIRECTORIES_FAILED, TC_CONNECTION_LOST" } },
          start: function (ep, s) { ep.getSubdirs(obj, s, "ACT"); },
          call: { name: "getSubdirs", args: ["/U/0/ACT"] },
          want: { which: "none", args: [] },
          errorCase: [["", "GET_SUBDIRECTORIES_FAILED, TC_CONNECTION_LOST"]],
          signals: ["SIGNAL_returnSubdirs"] },
        { label: "createDir", answers: {},
          start: function (ep, s, e) { ep.createDir(obj, s, e, "NEW"); },
          call: { name: "createDir", args: ["/U/0/NEW"] },
          want: { which: "success", args: ["", "OK"] },
          signals: ["SIGNAL_dirCreated", "SIGNAL_fail"] },
        { label: "createDir failing", answers: { flags: "FILE_OPERATION_FAILED" },
          start: function (ep, s, e) { ep.createDir(obj, s, e, "/U/0/NEW"); },
          call: { name: "createDir", args: ["/U/0/NEW"] },
          want: { which: "error", args: ["", "FILE_OPERATION_FAILED"] },
          signals: ["SIGNAL_dirCreated", "SIGNAL_fail"] },
        { label: "removeEntries", answers: {},
          start: function (ep, s, e) { ep.removeEntries(obj, s, e, ["A/1", "/U/0/B"]); },
          call: { name: "removeEntries", args: [["/U/0/A/1", "/U/0/B"]] },
          want: { which: "success", args: ["", "OK"] },
          signals: ["SIGNAL_entriesRemoved", "SIGNAL_fail"] },
        { label: "getEntries", answers: { entries: ["/U/0/EXE/A"] },
          start: function (ep, s, e) { ep.getEntries(obj, s, e, "EXE"); },
          call: { name: "getEntries", args: ["/U/0/EXE"] },
          want: { which: "success", args: [["/U/0/EXE/A"], "OK"] },
          signals: ["SIGNAL_entriesReceived", "SIGNAL_fail"] },
        { label: "getFreeSpace", answers: { freeSpace: 4096 },
          start: function (ep, s) { ep.getFreeSpace(obj, s); },
          call: { name: "getFreeSpace", args: [] },
          want: { which: "success", args: [4096, "OK"] },
          signals: ["SIGNAL_returnFreeSpace", "SIGNAL_fail"] },
        { label: "cleanupDisk", answers: { freeSpace: 8192 },
          start: function (ep, s, e) { ep.cleanupDisk(obj, s, e, 1000); },
          call: { name: "cleanupDisk", args: ["1000"] },
          want: { which: "success", args: [8192, "OK"] },
          signals: ["SIGNAL_cleanupDone", "SIGNAL_fail"] }
    ], function (row, t) {
        Host.reset();
        StubDevice.play(JSON.stringify(row.answers));
        complete(t, row.start, function (seen) {
            t.eq(Host.deviceCalls(), [row.call], "device calls");
            t.eq(seen, row.want, "completion");
            t.eq(Host.errors, row.errorCase || [], "errorCase");
            released(t, row.signals);
            t.done();
        });
    });

    // Refused at once: the error function with empty data and
    // "INVALID_PARAMETER", nothing reaches the device.
    function refused(t, start) {
        Host.reset();
        StubDevice.play("{}");
        var endpoint = new App.LocalEndpoint(root);
        var seen = [];
        start(endpoint, function () {
            seen.push("success");
        }, function () {
            seen.push(Array.prototype.slice.call(arguments));
        });
        t.eq(seen, [["", "INVALID_PARAMETER"]], "completion");
        t.eq(Host.deviceCalls(), [], "device calls");
    }

    PT.table("per-day listings need the day folder", [
        { label: "getDailyEntries",
          start: function (ep, s, e) { ep.getDailyEntries(obj, e, "ACT/20260101/"); } },
        { label: "getDailySubdirsWithoutFile",
          start: function (ep, s, e) { ep.getDailySubdirsWithoutFile(obj, e, "ACT/", "DAY.BPB"); } }
    ], function (row, t) {
        refused(t, row.start);
        t.eq(Host.logged("Local.getDaily fail, Could not find ").length, 1, "log line");
    });

    PT.table("removeEntries refuses entries outside the tree", [
        { label: "no list", list: undefined },
        { label: "empty list", list: [] },
        { label: "the root as text", list: "/U/0" },
        { label: "the root", list: ["/U/0"] },
        { label: "the root with a slash", list: ["/U/0/"] },
        { label: "empty entry", list: ["A", ""] },
        { label: "dot", list: ["."] },
        { label: "dot dot", list: [".."] },
        { label: "climbing out", list: ["a/../.."] },
        { label: "dot dot inside", list: ["a/../b"] },
        { label: "above the root", list: ["/U"] },
        { label: "the device root", list: ["/"] },
        { label: "comma", list: ["a,b"] },
        { label: "not a text", list: [5] }
    ], function (row, t) {
        refused(t, function (ep, s, e) { ep.removeEntries(obj, s, e, row.list); });
    });

    PT.table("absent slots answer at once", [
        { label: "getEntries", slot: "SLOT_getEntries",
          start: function (ep, s, e) { ep.getEntries(obj, s, e, "EXE"); } },
        { label: "cleanupDisk", slot: "SLOT_cleanupDisk",
          start: function (ep, s, e) { ep.cleanupDisk(obj, s, e, 10); } }
    ], function (row, t) {
        Host.withoutSlot(row.slot, function () {
            refused(t, row.start);
        });
    });

    PT.table("absent read and write slots fall back", [
        { label: "read without SLOT_readFromLocal", slot: "SLOT_readFromLocal",
          start: function (ep, s, e) { ep.read("A.BPB", obj, s, e); },
          call: { name: "readFromFile", args: ["/U/0/A.BPB"] } },
        { label: "write without SLOT_writeToLocal", slot: "SLOT_writeToLocal",
          start: function (ep, s, e) { ep.write("A.BPB", obj, s, e, "application/json", "x"); },
          call: { name: "writeToFile", args: ["/U/0/A.BPB", "x"] } }
    ], function (row, t) {
        Host.reset();
        StubDevice.play("{}");
        var endpoint = new App.LocalEndpoint(root);
        Host.withoutSlot(row.slot, function () {
            row.start(endpoint, function () {}, function () {});
        });
        t.eq(Host.deviceCalls(), [row.call], "device calls");
        t.eq(Host.errors, [], "errorCase");
    });

    PT.table("local write", [
        { label: "protobuf content", type: "application/x-protobuf", content: "CAE=",
          want: ["/U/0/X.BPB", "CAE="] },
        { label: "text content", type: "application/json", content: "{\"a\":1}",
          want: ["/U/0/X.BPB", "{\"a\":1}"] },
        { label: "no content: the downloaded file", type: "application/x-zip-file", content: "",
          download: "test/package.zip", want: ["/U/0/X.BPB", { bytes: "UEsDBHppcA==" }] }
    ], function (row, t) {
        Host.reset();
        StubDevice.play("{}");
        t.async();
        function write() {
            StubDevice.clear();
            var endpoint = new App.LocalEndpoint(root);
            endpoint.write("X.BPB", obj, t.wrap(function (data, status) {
                t.eq(status, "OK", "status");
                t.eq(Host.deviceCalls(), [{ name: "writeToFile", args: row.want }], "device calls");
                t.done();
            }), t.wrap(function (data, status) {
                t.fail("write failed: " + status);
                t.done();
            }), row.type, row.content);
        }
        if (!row.download) {
            write();
            return;
        }
        App.syncMain.eContent.read(row.download, obj, t.wrap(write), t.wrap(function (d, status) {
            t.fail("download failed: " + status);
            t.done();
        }), row.type);
    });

    PT.table("doFactoryReset", [
        { label: "the device comes back", flags: "OK", id: "0000ABCD",
          want: { which: "success", args: ["0000ABCD", "OK"] } },
        { label: "the reset fails", flags: "FACTORYRESET_FAILED", id: "0000ABCD",
          want: { which: "error", args: ["", "FACTORYRESET_FAILED"] } }
    ], function (row, t) {
        Host.reset();
        JSObject.SLOT_saveVariable("tcdeviceid", "0000ABCD");
        StubDevice.answerReset(row.id, row.flags);
        complete(t, function (ep, s, e) { ep.doFactoryReset(obj, s, e, false); }, function (seen) {
            t.eq(Host.deviceCalls(), [{ name: "doReset", args: [false, true] }], "device calls");
            t.eq(seen, row.want, "completion");
            released(t, ["SIGNAL_continueWithDevice", "SIGNAL_fail", "SIGNAL_fwUpdateDone",
                         "SIGNAL_firmwareDataCopied"]);
            t.done();
        });
    });

    PT.table("getFileSize", [
        { file: "ID.BPB", want: 51 }, { file: "USERID.BPB", want: 99 },
        { file: "DGOAL.BPB", want: 99 }, { file: "OTHER.BPB", want: 0 }
    ], function (row, t) {
        t.eq(new App.LocalEndpoint(root).getFileSize(row.file), row.want);
    });
}());
