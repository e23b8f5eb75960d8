// Table-driven tests of page scripts, run in the page by the GUI test
// harness (tests/app/support/page_script_test.h).
//
//   PT.table("combineUrl", [{ label: "scheme", parts: [...], want: "..." }, ...],
//            function (row, t) { t.eq(App.Common.combineUrl.apply(null, row.parts), row.want); });
//
// One case per row, run one after the other. A row is synchronous unless it
// calls t.async() (optionally with its own time-out in ms); it then ends
// with t.done(). t.wrap(fn) makes a callback whose exceptions fail the row,
// t.waitFor(predicate, then) calls then once predicate holds;
// t.allowUncaught(text) lets uncaught errors whose message holds text pass
// (counted in t.uncaughtAllowed) for a row that throws on purpose. PT.run()
// starts every table registered; PT.results then fills with
// { suite, row, passed, messages } and PT.finished becomes true.
var PT = (function () {
    "use strict";

    var tables = [];
    var api = { results: [], uncaught: [], finished: false, running: false, defaultTimeout: 10000 };
    // The running row's failure note: an error nobody caught (a callback of
    // the library, say) fails that row.
    var currentNote = null;
    // The running row's allowed uncaught errors: texts, and its t.
    var currentAllowed = null;

    window.addEventListener("error", function (event) {
        var text = "uncaught: " + event.message + " (" + event.filename + ":" + event.lineno + ")";
        if (currentAllowed) {
            for (var i = 0; i < currentAllowed.texts.length; ++i) {
                if (String(event.message).indexOf(currentAllowed.texts[i]) >= 0) {
                    ++currentAllowed.t.uncaughtAllowed;
                    return;
                }
            }
        }
        if (currentNote)
            currentNote(text);
        else
            api.uncaught.push(text);
    });

    function show(value) {
        if (value === undefined)
            return "undefined";
        if (typeof value === "function")
            return "function";
        try {
            return JSON.stringify(value);
        } catch (e) {
            return String(value);
        }
    }

    function equal(a, b) {
        if (a === b)
            return true;
        if (typeof a === "number" && typeof b === "number" && isNaN(a) && isNaN(b))
            return true;
        if (a === null || b === null || typeof a !== "object" || typeof b !== "object")
            return false;
        if (Array.isArray(a) !== Array.isArray(b))
            return false;
        var ka = Object.keys(a);
        var kb = Object.keys(b);
        if (ka.length !== kb.length)
            return false;
        for (var i = 0; i < ka.length; ++i) {
            if (!Object.prototype.hasOwnProperty.call(b, ka[i]) || !equal(a[ka[i]], b[ka[i]]))
                return false;
        }
        return true;
    }

    function rowLabel(row, index) {
        if (row && row.label !== undefined)
            return String(row.label);
        var text = show(row);
        return "#" + index + " " + (text.length > 80 ? text.substring(0, 77) + "..." : text);
    }

    api.table = function (name, rows, fn) {
        tables.push({ name: String(name), rows: rows, fn: fn });
    };

    function runRow(table, index, next) {
        var row = table.rows[index];
        var result = { suite: table.name, row: rowLabel(row, index), passed: true, messages: [] };
        var ended = false;
        var asynchronous = false;
        var timer = null;
        var pollers = [];

        function note(message) {
            if (ended) {
                // A late call must not pass unnoticed.
                result.passed = false;
                result.messages.push("after the row ended: " + message);
                return;
            }
            result.passed = false;
            result.messages.push(message);
        }

        function end() {
            if (ended)
                return;
            ended = true;
            currentNote = null;
            currentAllowed = null;
            if (timer !== null)
                window.clearTimeout(timer);
            for (var i = 0; i < pollers.length; ++i)
                window.clearInterval(pollers[i]);
            api.results.push(result);
            // A fresh stack for the next row.
            window.setTimeout(next, 0);
        }

        var t = {
            row: row,
            uncaughtAllowed: 0,
            allowUncaught: function (text) {
                if (!currentAllowed)
                    currentAllowed = { t: t, texts: [] };
                currentAllowed.texts.push(String(text));
            },
            eq: function (actual, expected, what) {
                if (!equal(actual, expected)) {
                    note((what ? what + ": " : "") + "expected " + show(expected) + ", got " +
                         show(actual));
                    return false;
                }
                return true;
            },
            ok: function (condition, what) {
                if (!condition) {
                    note(what ? String(what) : "condition not met");
                    return false;
                }
                return true;
            },
            fail: function (message) {
                note(String(message));
            },
            async: function (timeoutMs) {
                asynchronous = true;
                var ms = timeoutMs || api.defaultTimeout;
                if (timer !== null)
                    window.clearTimeout(timer);
                timer = window.setTimeout(function () {
                    note("timed out after " + ms + " ms");
                    end();
                }, ms);
            },
            done: function () {
                end();
            },
            wrap: function (fn) {
                return function () {
                    if (ended)
                        return undefined;
                    try {
                        return fn.apply(this, arguments);
                    } catch (e) {
                        note("threw: " + e + (e && e.line ? " (line " + e.line + ")" : ""));
                        end();
                        return undefined;
                    }
                };
            },
            waitFor: function (predicate, then) {
                if (!asynchronous)
                    t.async();
                var poller = window.setInterval(t.wrap(function () {
                    if (!predicate())
                        return;
                    window.clearInterval(poller);
                    then();
                }), 20);
                pollers.push(poller);
            }
        };

        currentNote = note;
        try {
            table.fn(row, t);
        } catch (e) {
            note("threw: " + e + (e && e.line ? " (line " + e.line + ")" : ""));
            end();
            return;
        }
        if (!asynchronous)
            end();
    }

    api.run = function () {
        if (api.running)
            return;
        api.running = true;
        var tableIndex = 0;
        var rowIndex = 0;
        function next() {
            while (tableIndex < tables.length && rowIndex >= tables[tableIndex].rows.length) {
                ++tableIndex;
                rowIndex = 0;
            }
            if (tableIndex >= tables.length) {
                api.finished = true;
                return;
            }
            var index = rowIndex++;
            runRow(tables[tableIndex], index, next);
        }
        next();
    };

    // The results as one text, for the harness.
    api.report = function () {
        return JSON.stringify({ finished: api.finished, tables: tables.length,
                                results: api.results, uncaught: api.uncaught });
    };

    return api;
}());
