// A stand-in for the page's "JSObject": every member of real (and of names,
// should the bridge object not list its members) passed through, the slots
// of overrides in their place (undefined: absent, as in a bridge of an
// older program). Signals stay the bridge's own.
function bridgeStandIn(real, names, overrides) {
    "use strict";
    var partial = {};
    var all = [];
    for (var key in real)
        all.push(key);
    all.concat(names || []).forEach(function (name) {
        var value;
        try {
            value = real[name];
        } catch (e) {
            return;
        }
        // Signals are callable too, but must stay themselves.
        if (typeof value === "function" && name.indexOf("SIGNAL_") !== 0) {
            partial[name] = function () {
                return real[name].apply(real, arguments);
            };
        } else if (value !== undefined) {
            partial[name] = value;
        }
    });
    Object.keys(overrides || {}).forEach(function (name) {
        if (overrides[name] === undefined)
            delete partial[name];
        else
            partial[name] = overrides[name];
    });
    return partial;
}
