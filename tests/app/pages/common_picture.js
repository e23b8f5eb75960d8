// The device picture, probed on the content server, and the content-delivery
// address. The test sets the fake's routes (common_test.cpp): the pictures
// zarvon410, zarvotovri2, zarvotovri2_brillane_white and generic exist,
// every other picture answers 404; the version files under "../ver/" are
// good.json, array.json, nourl.json, and missing.json answers 404.
(function () {
    "use strict";

    function probes() {
        return Host.requests.filter(function (url) {
            return url.indexOf("../img/") === 0 && url.indexOf("usb") < 0;
        }).map(function (url) {
            return url.substring("../img/".length).replace(".png", "");
        });
    }

    PT.table("getImage", [
        { label: "colour dropped", model: "Zarvon410", design: "x", color: "Red",
          probes: ["zarvon410_red", "zarvon410"], want: "zarvon410" },
        { label: "black means no colour", model: "zarvon410", design: "", color: "black",
          probes: ["zarvon410"], want: "zarvon410" },
        { label: "model, design and colour first", model: "zarvotovri2", design: "brillane", color: "white",
          probes: ["zarvotovri2_brillane_white"], want: "zarvotovri2_brillane_white" },
        { label: "then colour, design dropped", model: "zarvotovri2", design: "brillane", color: "rose",
          probes: ["zarvotovri2_brillane_rose", "zarvotovri2"], want: "zarvotovri2" },
        { label: "then the model", model: "zarvoxx", design: "", color: "blue",
          probes: ["zarvoxx_blue", "zarvoxx", "generic"], want: "generic" },
        { label: "empty model", model: "", design: "", color: "red",
          probes: ["generic"], want: "generic" },
        { label: "path characters dropped", model: "../../Zarvo N410", design: "", color: "",
          probes: ["zarvon410"], want: "zarvon410" },
        { label: "markup dropped", model: "<img src=x onerror=alert(1)>", design: "", color: "../w",
          probes: ["imgsrcxonerroralert1_w", "imgsrcxonerroralert1", "generic"], want: "generic" }
    ], function (row, t) {
        Host.reset();
        t.async();
        App.Common.getImage(row.model, row.design, row.color, t.wrap(function (name) {
            t.eq(name, row.want, "picture");
            t.eq(probes(), row.probes, "probes");
            probes().forEach(function (name) {
                t.ok(/^[a-z0-9_]+$/.test(name), "clean name " + name);
            });
            t.done();
        }));
    });

    PT.table("setTC", [
        { label: "connected device", model: "zarvon410", id: "2882400001", firmware: "<b>1.2.3</b>",
          check: function (t) {
              t.eq($("#settings_tcStatus .i18n").text(), "Zarvo N410 connected", "status");
              t.eq($(".tcVerInfo").text(), "<b>1.2.3</b>", "firmware as text");
              t.ok($("#devImg").css("background-image").indexOf("img/zarvon410.png") >= 0, "picture");
              t.eq($("#devImg").css("opacity"), "1", "opacity");
              t.waitFor(function () {
                  return $("#connect_usb_tc").hasClass("connect_usb_tc_plugged");
              }, function () {
                  t.eq($("#connect_usb_comp").css("left"), "244px", "plug position");
                  t.eq($("#connect_usb_comp").attr("src"), "../img/usb2_plugged.png", "computer plug");
                  t.eq($("#connect_usb_tc").attr("src"), "../img/usb1_plugged.png", "device plug");
                  t.done();
              });
          } },
        { label: "no device", model: "", id: "", firmware: "9",
          check: function (t) {
              t.eq($("#settings_tcStatus .i18n").text(), "Connect your device", "status");
              t.eq($(".tcVerInfo").text(), "", "no firmware");
              t.ok($("#connect_usb_tc").hasClass("connect_usb_tc_unplugged"), "unplugged");
              // The plug keeps moving between 200 and 240 px: out and back.
              t.waitFor(function () {
                  return parseFloat($("#connect_usb_comp").css("left")) > 220;
              }, function () {
                  t.waitFor(function () {
                      return parseFloat($("#connect_usb_comp").css("left")) < 220;
                  }, function () {
                      t.ok(App.Common.plugMoving(), "still moving");
                      t.done();
                  });
              });
          } },
        { label: "no device, then its fragment replaced", model: "", id: "", firmware: "",
          check: function (t) {
              t.ok(App.Common.plugMoving(), "moving");
              var old = $("#connect_usb_comp");
              old.replaceWith(old.clone().css("left", "200px"));
              // The replaced plug's loop ends at its next step; the new one
              // stays where it is.
              t.waitFor(function () {
                  return !App.Common.plugMoving();
              }, function () {
                  t.eq($("#connect_usb_comp").css("left"), "200px", "new plug still");
                  t.done();
              });
          } },
        { label: "a device after none stops the plug", model: "zarvon410", id: "2882400001",
          firmware: "1", before: "",
          check: function (t) {
              t.waitFor(function () {
                  return $("#settings_tcStatus .i18n").text() === "Zarvo N410 connected";
              }, function () {
                  t.ok(!App.Common.plugMoving(), "stopped");
                  t.done();
              });
          } }
    ], function (row, t) {
        Host.reset();
        t.async(20000);
        if (row.before !== undefined) {
            App.syncMain.i18n = App.Common.createLocObject(Host.translations());
            App.Common.setSessionVariable("tcdeviceid", "");
            App.Common.setTCreceived(row.before);
            t.ok(App.Common.plugMoving(), "moving before");
        }
        App.Common.setSessionVariable("tcdeviceid", row.id);
        App.Common.setSessionVariable("tcfirmware", row.firmware);
        App.Common.setSessionVariable("tcfullmodel", "Zarvo N410");
        App.Common.setSessionVariable("tccolor", "");
        App.Common.setSessionVariable("tcdesign", "");
        App.syncMain.i18n = App.Common.createLocObject(Host.translations());
        App.Common.setTC(row.model);
        t.waitFor(function () {
            return $("#settings_tcStatus").text() !== "";
        }, function () {
            row.check(t);
        });
    });

    PT.table("unsetTC", [{ label: "dimmed picture" }], function (row, t) {
        Host.reset();
        App.Common.unsetTC("zarvon410");
        t.eq($("#settings_tcStatus .i18n").text(), "Connect your device", "status");
        t.waitFor(function () {
            return $("#devImg").css("background-image").indexOf("zarvon410.png") >= 0;
        }, function () {
            t.eq($("#devImg").css("opacity"), "0.5", "opacity");
            t.done();
        });
    });

    PT.table("getCfAddress", [
        { file: "good.json", ok: true, url: "https://cdn.ravo.test/" },
        { file: "missing.json", ok: false },
        { file: "array.json", ok: false },
        { file: "nourl.json", ok: false }
    ], function (row, t) {
        Host.reset();
        t.async();
        App.Common.setSessionVariable("cfurl", "https://stale.test/");
        App.syncMain.jsonRSVerInfo = "../ver/" + row.file;
        var calls = [];
        App.Common.getCfAddress(this, t.wrap(function (url, status) {
            calls.push(["success", url, status]);
            finish();
        }), t.wrap(function () {
            calls.push(["fail"]);
            finish();
        }));
        t.eq(App.Common.getSessionVariable("cfurl"), "", "emptied first");
        function finish() {
            if (row.ok)
                t.eq(calls, [["success", row.url, "success"]], "calls");
            else
                t.eq(calls, [["fail"]], "calls");
            t.eq(App.Common.getSessionVariable("cfurl"), row.ok ? row.url : "", "cfurl");
            t.done();
        }
    });

    PT.table("findSyncResource", [{ label: "model and firmware path" }], function (row, t) {
        Host.reset();
        App.Common.setSessionVariable("tcmodel", "ZarvoTovri2");
        App.Common.setSessionVariable("tcfirmware", "2.1.0");
        var cont = function () {};
        App.Common.findSyncResource("synclogic.json", cont);
        t.eq(Host.calls.findResource.length, 1, "calls");
        var call = Host.calls.findResource[0];
        t.eq(call[0], ["sync", "zarvotovri2", "2.1.0"], "path");
        t.eq(call[1], "synclogic.json", "name");
        t.ok(call[2] === cont, "continuation");
    });
}());
