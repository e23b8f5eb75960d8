// No picture at all: the test's routes answer 404 for every picture, so the
// probe ends after "generic" with no picture (common_test.cpp counts the
// probes in the fake's request log).
(function () {
    "use strict";

    PT.table("getImage without pictures", [
        { model: "ghost", design: "brillane", color: "red", want: "" }
    ], function (row, t) {
        Host.reset();
        t.async();
        var calls = 0;
        App.Common.getImage(row.model, row.design, row.color, t.wrap(function (name) {
            ++calls;
            t.eq(name, row.want, "picture");
            t.eq(Host.logged("No device picture found for model ghost").length, 1, "log line");
            App.Common.setTCreceived(name);
            t.eq($("#devImg").css("background-image"), "none", "no picture shown");
            t.eq(calls, 1, "answers");
            t.done();
        }));
    });
}());
