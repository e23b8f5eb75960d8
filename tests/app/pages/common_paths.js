// Joining addresses and device paths, and the progress percentage.
(function () {
    "use strict";

    PT.table("combineUrl", [
        { label: "doubled slash and a part starting with /", parts: ["https://content.ravo.test//contentserver/", "/ui/index.html"], want: "https://content.ravo.test/contentserver/ui/index.html" },
        { label: "scheme keeps its two slashes", parts: ["https://a.test", "b"], want: "https://a.test/b" },
        { label: "http stays", parts: ["http://a.test/", "b"], want: "http://a.test/b" },
        { label: "ftp becomes https", parts: ["ftp://files.test/x", "y.zip"], want: "https://files.test/x/y.zip" },
        { label: "relative result loses its leading /", parts: ["/sync", "model", "fw.json"], want: "sync/model/fw.json" },
        { label: "relative runs collapse", parts: ["a//b", "c"], want: "a/b/c" },
        { label: "backslashes", parts: ["https://a.test\\\\dir\\x", "y"], want: "https://a.test/dir/x/y" },
        { label: "trimmed ends", parts: ["  https://a.test", "b  "], want: "https://a.test/b" },
        { label: "inner white space", parts: ["https://a.test/my dir", "a\tb"], want: "https://a.test/my%20dir/a%20b" },
        { label: "empty parts", parts: ["https://a.test", "", "b"], want: "https://a.test/b" }
    ], function (row, t) {
        t.eq(App.Common.combineUrl.apply(null, row.parts), row.want);
    });

    PT.table("combinePath", [
        { label: "absolute stays absolute", parts: ["/U/0/", "/S/x.bpb"], want: "/U/0/S/x.bpb" },
        { label: "relative", parts: ["U", "0//S"], want: "U/0/S" },
        { label: "backslashes", parts: ["\\U\\0", "S"], want: "/U/0/S" },
        { label: "white space kept", parts: ["/home/user/My files", "a b.txt"], want: "/home/user/My files/a b.txt" },
        { label: "network scheme only logged", parts: ["https://a.test", "b"], want: "https:/a.test/b",
          logged: "Application error: combinePath include network scheme=https://a.test/b!" }
    ], function (row, t) {
        Host.reset();
        t.eq(App.Common.combinePath.apply(null, row.parts), row.want);
        if (row.logged)
            t.eq(Host.logged(row.logged).length, 1, "log line");
        else
            t.eq(Host.logged("combinePath").length, 0, "no log line");
    });

    PT.table("countMyProgress", [
        { args: [3, 1, 6, 1], want: 39 },
        { args: [0, 0], want: 0 },
        { label: "no major total ignores the minors", args: [0, 0, 6, 1], want: 0 },
        { args: [4, 2], want: 50 },
        { args: [4, 4], want: 100 },
        { label: "above 100 is cut", args: [2, 3], want: 100 },
        { label: "minor above its total is cut", args: [3, 3, 10, 12], want: 100 },
        { label: "third level", args: [2, 1, 4, 1, 10, 5], want: 69 },
        { label: "third level needs the second", args: [2, 1, 0, 1, 10, 5], want: 50 },
        { label: "bridge form", args: [3, 1, 100, 50], want: 50 },
        { label: "texts as numbers", args: ["3", "1", "6", "1"], want: 39 },
        { label: "not a number", args: ["x", 1], want: 0 }
    ], function (row, t) {
        t.eq(App.Common.countMyProgress.apply(null, row.args), row.want);
    });
}());
