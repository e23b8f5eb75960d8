// Translation files: names, parsing, the fall-back to English and to the
// built-in texts.
(function () {
    "use strict";

    var german = JSON.stringify({ LANG_CODE: "de", button_ok: "OK", button_close: "Schließen" });
    var english = JSON.stringify({ LANG_CODE: "en", button_ok: "OK", button_close: "Close" });

    PT.table("createLangFileName", [
        { lang: "", base: "tr/translations.json", want: "tr/translations_en.json" },
        { lang: undefined, base: "tr/translations.json", want: "tr/translations_en.json" },
        { lang: "de", base: "tr/translations.json", want: "tr/translations_de.json" },
        { lang: "zh_CN", base: "tr/translations.json", want: "tr/translations_zh_CN.json" },
        { label: "only the first .json", lang: "fi", base: "tr/x.json.json", want: "tr/x_fi.json.json" }
    ], function (row, t) {
        t.eq(App.Common.createLangFileName(row.lang, row.base), row.want);
    });

    PT.table("createLocObject", [
        { label: "text", data: german, key: "button_close", want: "Schließen" },
        { label: "text with a byte-order mark", data: "\ufeff" + german, key: "button_close", want: "Schließen" },
        { label: "object used as it is", data: { button_ok: "Jo" }, key: "button_ok", want: "Jo" },
        { label: "invalid text gives the built-in texts", data: "{ not json", key: "error_header", want: "Something went wrong" },
        { label: "device name from the full model", data: english, model: "Zarvo Tovri 2", key: "DEVICENAME", want: "Zarvo Tovri 2" },
        { label: "special edition name", data: english, model: "Zarvo Tovri 2", design: "Brillane", color: "/White", key: "DEVICENAME", want: "Zarvo Tovri Vistel" },
        { label: "device name escaped", data: english, model: "A&B <x>", key: "DEVICENAME", want: "A&amp;B &lt;x&gt;" }
    ], function (row, t) {
        Host.reset();
        App.Common.setSessionVariable("tcfullmodel", row.model || "");
        App.Common.setSessionVariable("tcdesign", row.design || "");
        App.Common.setSessionVariable("tccolor", row.color || "");
        var i18n = App.Common.createLocObject(row.data);
        t.eq(i18n[row.key], row.want);
    });

    // Each row answers the content reads by file name: a text, or an
    // endpoint error (data, status).
    PT.table("loadTranslationFile", [
        { label: "German file", lang: "de", files: { "tr/translations_de.json": german },
          reads: ["tr/translations_de.json"], loaded: "de", errors: 0 },
        { label: "German file with a byte-order mark", lang: "de", files: { "tr/translations_de.json": "\ufeff" + german },
          reads: ["tr/translations_de.json"], loaded: "de", errors: 0 },
        { label: "invalid German falls back to English", lang: "de",
          files: { "tr/translations_de.json": "{ broken", "tr/translations_en.json": english },
          reads: ["tr/translations_de.json", "tr/translations_en.json"], loaded: "en", errors: 0,
          logged: "Could not parse translation file: tr/translations_de.json" },
        { label: "unparsable reply of the endpoint falls back", lang: "fi",
          files: { "tr/translations_fi.json": { error: "parsererror", status: 200 }, "tr/translations_en.json": english },
          reads: ["tr/translations_fi.json", "tr/translations_en.json"], loaded: "en", errors: 0 },
        { label: "English broken too: built-in texts and the failure", lang: "de",
          files: { "tr/translations_de.json": "{ broken", "tr/translations_en.json": "" },
          reads: ["tr/translations_de.json", "tr/translations_en.json"], loaded: null, errors: 1, builtIn: true },
        { label: "broken English is read once", lang: "",
          files: { "tr/translations_en.json": "[1, 2]" },
          reads: ["tr/translations_en.json"], loaded: null, errors: 1, builtIn: true },
        { label: "missing file is the endpoint's error", lang: "de",
          files: { "tr/translations_de.json": { error: "error", status: 404 } },
          reads: ["tr/translations_de.json"], loaded: null, errors: 1, text: "i18n.error_message_400" }
    ], function (row, t) {
        Host.reset();
        delete App.syncMain.i18n;
        Host.contentAnswer = function (call) {
            var answer = row.files[call.path];
            t.eq(call.contentType, "application/json", "content type");
            if (answer !== undefined && typeof answer === "object")
                call.error(answer.error, answer.status, { status: answer.status });
            else
                call.success(answer, "success", {});
        };
        var loaded = [];
        App.Common.loadTranslationFile(this, row.lang, "tr/translations.json", function (data) {
            loaded.push(App.Common.createLocObject(data).LANG_CODE);
        });
        t.eq(Host.calls.contentRead.map(function (call) { return call.path; }), row.reads, "reads");
        t.eq(Host.calls.offlineRead.length, 0, "offline reads");
        t.eq(loaded, row.loaded ? [row.loaded] : [], "handed to success");
        t.eq(Host.calls.errorCase.length, row.errors, "failure calls");
        if (row.builtIn) {
            t.eq(App.syncMain.i18n.error_header, "Something went wrong", "built-in header");
            t.eq(App.Common.getText(errorDlgValues.text_id), "Something went wrong. Sync again.", "error text");
            t.eq([errorDlgValues.buttons.syncagain, errorDlgValues.buttons.close], [1, 1], "buttons");
            t.eq(App.Common.getText("button_retry"), "Sync again", "retry label");
        }
        if (row.text)
            t.eq(errorDlgValues.text_id, row.text, "text_id");
        if (row.logged)
            t.eq(Host.logged(row.logged).length, 1, "log line");
    });

    // The built-in texts are the English file's.
    PT.table("built-in texts", [{ label: "match translations_en.json" }], function (row, t) {
        t.async();
        $.ajax({ url: "../tr/translations_en.json", dataType: "json" })
            .done(t.wrap(function (file) {
                var builtIn = App.Common.builtInTranslations();
                $.each(builtIn, function (key, text) {
                    t.eq(text, file[key], key);
                });
                t.done();
            }))
            .fail(t.wrap(function (xhr) {
                t.fail("English file not read: " + xhr.status);
                t.done();
            }));
    });
}());
