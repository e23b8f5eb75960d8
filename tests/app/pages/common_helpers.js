// The helpers of the sync phase scripts: dates, device paths, lists.
(function () {
    "use strict";
    var C = App.Common;

    PT.table("parseISODate", [
        { text: "2024-03-05", want: [2024, 3, 5, 0, 0, 0, 0] },
        { text: "2024-03-05T07:08", want: [2024, 3, 5, 7, 8, 0, 0] },
        { text: "2024-03-05 07:08:09", want: [2024, 3, 5, 7, 8, 9, 0] },
        { text: "2024-03-05T07:08:09.250", want: [2024, 3, 5, 7, 8, 9, 250] },
        { text: "2024-03-05T07:08:09Z", want: [2024, 3, 5, 7, 8, 9, 0] },
        { text: "2024-03-05T07:08:09.5+02:30", want: [2024, 3, 5, 7, 8, 9, 5, "+", 2, 30] },
        { text: "2024-03-05T07:08-05:00", want: [2024, 3, 5, 7, 8, 0, 0, "-", 5, 0] },
        { label: "week date", text: "2024-W02-3", want: [2024, 0, 10, 0, 0, 0, 0] },
        { label: "week date with time", text: "2024-W01-1T10:00Z", want: [2024, 0, 1, 10, 0, 0, 0] },
        { label: "ordinal date", text: "2024-060", want: [2024, 0, 60, 0, 0, 0, 0] },
        { label: "month 13", text: "2024-13-01", want: [-1] },
        { label: "minute 60", text: "2024-01-01T10:60", want: [-1] },
        { label: "week 54", text: "2024-W54-1", want: [-1] },
        { label: "no dashes", text: "20240305", want: [-1] },
        { label: "trailing text", text: "2024-03-05Tx", want: [-1] },
        { label: "empty", text: "", want: [-1] },
        { label: "undefined", text: undefined, want: [-1] }
    ], function (row, t) {
        t.eq(parseISODate(row.text), row.want);
        t.eq(C.parseISODate(row.text), row.want, "App.Common");
    });

    PT.table("datetimeToString", [
        { label: "Date, local fields", value: new Date(2024, 0, 2, 3, 4, 5, 6), format: "yyyy-MM-ddThh:mm:ss.SSS", want: "2024-01-02T03:04:05.006" },
        { label: "text, its own fields", value: "2024-11-12T13:14:15.5+01:00", format: "yyyy-MM-dd hh:mm:ss.SSS zhh:mm", want: "2024-11-12 13:14:15.500 +01:00" },
        { label: "negative offset", value: "2024-11-12T13:14:15-03:30", format: "hh:mmzhh:mm", want: "13:14-03:30" },
        { label: "date only", value: "2024-11-12T13:14:15Z", format: "dd.MM.yyyy", want: "12.11.2024" },
        { label: "time only", value: "2024-11-12T13:14:15Z", format: "hh:mm:ssZ", want: "13:14:15Z" },
        { label: "invalid text", value: "soon", format: "yyyy", want: "" }
    ], function (row, t) {
        t.eq(C.datetimeToString(row.value, row.format), row.want);
    });

    PT.table("UTC conversions", [
        { fn: "convertDatetimeToUTCString", args: ["2024-11-12T01:14:15+02:00", "yyyy-MM-dd hh:mm:ss"], want: "2024-11-11 23:14:15" },
        { fn: "convertISOdateToString", args: ["2024-11-12T01:14:15+02:00"], want: "2024-11-11" },
        { fn: "convertISOtimeToString", args: ["2024-11-12T01:14:15+02:00"], want: "23:14:15" },
        { fn: "convertISOdateStringToDevicePath", args: ["2024-11-12T01:14:15+02:00"], want: "20241111/231415" },
        { fn: "convertISOdateStringToDevicePath", args: ["2024-01-05T07:08:09Z", "E"], want: "20240105/E/070809" },
        { fn: "convertISOdateStringToDevicePath", args: [new Date(Date.UTC(2024, 0, 5, 7, 8, 9))], want: "20240105/070809" },
        { fn: "convertISOdateStringToDevicePath", args: ["not a date"], want: "" },
        { label: "local conversion round trip", fn: "convertDatetimeToString",
          args: [C.datetimeToString(new Date(2024, 5, 6, 7, 8, 9), "yyyy-MM-ddThh:mm:ss"), "yyyy-MM-dd hh:mm:ss"],
          want: "2024-06-06 07:08:09" }
    ], function (row, t) {
        t.eq(C[row.fn].apply(null, row.args), row.want);
    });

    // 2024-06-05 is a Wednesday.
    PT.table("week boundaries", [
        { fn: "firstDateOfWeek", date: new Date(2024, 5, 5, 13, 30), want: new Date(2024, 5, 3, 13, 30) },
        { fn: "lastDateOfWeek", date: new Date(2024, 5, 5, 13, 30), want: new Date(2024, 5, 9, 13, 30) },
        { label: "Monday starts its week", fn: "firstDateOfWeek", date: new Date(2024, 5, 3, 8), want: new Date(2024, 5, 3, 8) },
        { label: "Sunday ends it", fn: "lastDateOfWeek", date: new Date(2024, 5, 9, 8), want: new Date(2024, 5, 9, 8) },
        { label: "Sunday belongs to the week before", fn: "firstDateOfWeek", date: new Date(2024, 5, 9, 8), want: new Date(2024, 5, 3, 8) },
        { label: "weeks starting Sunday", fn: "firstDateOfWeek", date: new Date(2024, 5, 5), first: 0, want: new Date(2024, 5, 2) },
        { label: "across a month", fn: "lastDateOfWeek", date: new Date(2024, 4, 29), want: new Date(2024, 5, 2) },
        { fn: "firstUTCDateOfWeek", date: new Date(Date.UTC(2024, 5, 5, 23)), want: new Date(Date.UTC(2024, 5, 3, 23)) },
        { fn: "lastUTCDateOfWeek", date: new Date(Date.UTC(2024, 5, 5, 1)), want: new Date(Date.UTC(2024, 5, 9, 1)) }
    ], function (row, t) {
        var before = row.date.getTime();
        var result = row.first === undefined ? C[row.fn](row.date) : C[row.fn](row.date, row.first);
        t.eq(result.getTime(), row.want.getTime(), result.toString());
        t.eq(row.date.getTime(), before, "argument unchanged");
    });

    PT.table("getDayIndexOfWeek", [
        { name: "sunday", want: 0 }, { name: "monday", want: 1 }, { name: "Saturday", want: 6 },
        { name: "someday", want: 1 }
    ], function (row, t) {
        t.eq(C.getDayIndexOfWeek(row.name), row.want);
    });

    function range(from, to, except) {
        var list = [];
        for (var i = from; i <= to; ++i) {
            if (i !== except)
                list.push(i);
        }
        return list;
    }

    PT.table("parseNextAvailableIndex", [
        { list: [], want: 0 },
        { list: [0, 1, 2], want: 3 },
        { list: ["00", "01", "03"], want: 2 },
        { list: [5, 0, 1], want: 2 },
        { label: "gap near the end", list: range(0, 99, 98), want: 98 },
        { label: "all taken wraps and stops", list: range(0, 99), want: 0 },
        { label: "duplicates stay bounded", list: range(0, 99).concat([0, 1, 2]), want: 3 }
    ], function (row, t) {
        t.eq(C.parseNextAvailableIndex(row.list), row.want);
    });

    PT.table("list helpers", [
        { label: "removeSameElements", run: function () {
              var a = ["x", "y", "z"], b = ["y", "w", "y"];
              C.removeSameElements(a, b);
              return [a, b];
          }, want: [["x", "z"], ["w"]] },
        { label: "tweakLangCodesArray", run: function () {
              return C.tweakLangCodesArray(["en", "de", "zh_CN", "pt-BR", "fi"]);
          }, want: ["de", "zh", "pt", "fi"] },
        { label: "cleanArray removes loose equals", run: function () {
              return [1, "1", 2, "", 0, null].cleanArray(1);
          }, want: [2, "", 0, null] },
        { label: "cleanArray is not enumerable", run: function () {
              var seen = [];
              for (var key in [7])
                  seen.push(key);
              return seen;
          }, want: ["0"] },
        { label: "findArrayIndex", run: function () {
              return [C.findArrayIndex([{ a: 1 }, { a: 2 }], "a", 2), C.findArrayIndex([{ a: 1 }], "a", "1")];
          }, want: [1, -1] },
        { label: "findArrayValue", run: function () {
              return [C.findArrayValue([{ a: 1, b: "x" }], "a", 1), C.findArrayValue([{ a: 1 }], "a", 3)];
          }, want: [{ a: 1, b: "x" }, null] },
        { label: "findArrayValues", run: function () {
              return [C.findArrayValues([{ a: 1, b: 1 }, { a: 2 }, { a: 1, b: 2 }], "a", 1), C.findArrayValues([], "a", 1)];
          }, want: [[{ a: 1, b: 1 }, { a: 1, b: 2 }], null] },
        { label: "getIndexString", run: function () { return [C.getIndexString(7, 3), C.getIndexString(1234, 2)]; },
          want: ["007", "1234"] },
        { label: "parseRemoteResource", run: function () {
              return [C.parseRemoteResource("https://a.test/v2/users/1?x=y"), C.parseRemoteResource("a/b"),
                      C.parseRemoteResource("https://a.test")];
          }, want: ["/v2/users/1?x=y", "/b", ""] },
        { label: "sign and signMark", run: function () {
              return [C.sign(-3), C.sign(4), C.sign(0), C.signMark(-1), C.signMark(2), C.signMark(0)];
          }, want: [-1, 1, 0, "-", "+", 0] },
        { label: "sign of NaN", run: function () { return [isNaN(C.sign(NaN)), isNaN(C.signMark(NaN))]; },
          want: [true, true] },
        { label: "isThisCurrentDayFolder", run: function () {
              return [C.isThisCurrentDayFolder("/U/0/20240105/E/", "2024-01-05"),
                      C.isThisCurrentDayFolder("/U/0/20240106/E/", "2024-01-05T10:00Z")];
          }, want: [true, false] },
        { label: "isEntryDateSubDirTimeFolder", run: function () {
              return ["20240105/PHYSDATA/101010", "20240105/PHYSDATA/1010", "x20240105/PHYSDATA/101010",
                      "20240105/E/101010"].map(C.isEntryDateSubDirTimeFolder);
          }, want: [true, false, false, false] }
    ], function (row, t) {
        t.eq(row.run(), row.want);
    });

    PT.table("addToMoreInfo", [
        { label: "name only", text: "", add: "/U/0/S/SPROFILE.BPB", want: "</br>- sprofile" },
        { label: "date and time", text: "x", add: "/U/0/20240105/E/101530/TSESS.BPB?v=2", date: 3, time: 5,
          want: "x</br>- 2024-01-05 10:15 tsess" },
        { label: "relative path: one less", text: "", add: "U/0/20240105/E/101530/TSESS.BPB", date: 3, time: 5,
          want: "</br>- 2024-01-05 10:15 tsess" },
        { label: "no duplicates", text: "</br>- sprofile", add: "/U/0/S/SPROFILE.BPB", want: "</br>- sprofile" },
        { label: "empty add", text: "x", add: "", want: "x" },
        { label: "escaped", text: "", add: "/U/0/<img src=x onerror=alert(1)>", want: "</br>- &lt;img src=x onerror=alert(1)&gt;" }
    ], function (row, t) {
        t.eq(C.addToMoreInfo(row.text, row.add, row.date, row.time), row.want);
    });

    PT.table("constants", [
        { name: "CONFIG_TAGNAME_CONTENTURL", want: "contenturl" },
        { name: "CONFIG_TAGNAME_APPLOGINKEYNAME", want: "login_api_encoded_key" },
        { name: "CONFIG_TAGNAME_CURRENTTCDBDEVID", want: "tcdbdeviceid" },
        { name: "CONFIG_TAGNAME_LOCATIONSYNCURL", want: "Location" },
        { name: "FILEPATH_FWUPDATEZIPFILEPATH", want: "fwupdfilezippath" },
        { name: "CONFIG_TAGNAME_MAJORPHASES", want: "major_phases" },
        { name: "firstDayOfWeek", want: "monday" },
        { name: "weekDayNamesArray", want: ["sunday", "monday", "tuesday", "wednesday", "thursday", "friday", "saturday"] },
        { name: "rsUpdateStatus", want: { noUpdate: 0, optional: 1, mandatory: 2 } },
        { name: "fwCheckStatusEnum", want: { notchecked: 0, none: 1, optional: 2, mandatory: 3 } },
        { name: "contentServerVersion", want: "1.0.0.0" }
    ], function (row, t) {
        t.eq(window[row.name], row.want);
    });

    PT.table("version form", [{ label: "major.minor.patch.revision" }], function (row, t) {
        t.ok(/^\d+\.\d+\.\d+\.\d+$/.test(C.getContentServerVersion()), C.getContentServerVersion());
    });
}());
