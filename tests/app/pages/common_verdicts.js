// The verdicts on device flags and web statuses: text key, buttons, result.
(function () {
    "use strict";

    function shownButtons() {
        var shown = [];
        $.each(errorDlgValues.buttons, function (name, value) {
            if (value === 1)
                shown.push(name);
        });
        return shown.sort();
    }

    var retry = ["close", "syncagain"];

    PT.table("parseLocalReply", [
        { label: "CANCELLED", flags: "CANCELLED", text: "i18n.error_message_libcancel", buttons: retry, want: false },
        { label: "cancel before not found", flags: "TC_NOT_FOUND, CANCELLED", text: "i18n.error_message_libcancel", buttons: retry, want: false },
        { label: "TC_NOT_FOUND", flags: "TC_NOT_FOUND", text: "i18n.error_message_libtcnotfound", buttons: retry, want: false },
        { label: "TC_CONNECT_FAILED", flags: "TC_CONNECT_FAILED", text: "i18n.error_message_libtcconnfail", buttons: retry, want: false },
        { label: "TC_CONNECTION_LOST", flags: "GENERAL_ERROR, TC_CONNECTION_LOST", text: "i18n.error_message_libtcconnlost", buttons: retry, want: false },
        { label: "OK with not found", flags: "OK, FILE_OR_DIR_NOT_FOUND", text: "i18n.error_message_libfileopfail", buttons: retry, want: false },
        { label: "FILE_OPERATION_FAILED", flags: "GENERAL_ERROR, FILE_OPERATION_FAILED", text: "i18n.error_message_libfileopfail", buttons: retry, want: false },
        { label: "file operation with directory exists", flags: "FILE_OPERATION_FAILED, DIRECTORY_EXISTS", text: "i18n.error_message_libfileopfail", buttons: retry, want: false },
        { label: "TC_BUSY during post-update run", flags: "TC_BUSY", post: true, text: "i18n.fwupdate_waitingrestart", buttons: retry, want: false },
        { label: "SYSTEM_BUSY during post-update run", flags: "SYSTEM_BUSY", post: true, text: "i18n.fwupdate_waitingrestart", buttons: retry, want: false },
        { label: "WAIT_FOR_IDLING during post-update run", flags: "WAIT_FOR_IDLING", post: true, text: "i18n.fwupdate_waitingrestart", buttons: retry, want: false },
        { label: "TC_BUSY", flags: "GENERAL_ERROR, TC_BUSY", text: "i18n.error_message_libtcconnbusy", buttons: retry, want: false },
        { label: "SYSTEM_BUSY", flags: "SYSTEM_BUSY", text: "i18n.error_message_libtcconnbusy", buttons: retry, want: false },
        { label: "WAIT_FOR_IDLING", flags: "WAIT_FOR_IDLING", text: "i18n.error_message_libtcconnbusy", buttons: retry, want: false },
        { label: "FACTORYRESET_FAILED", flags: "GENERAL_ERROR, FACTORYRESET_FAILED", text: "i18n.error_message_libfactoryresetfail", buttons: ["ok"], want: false },
        { label: "OK", flags: "OK", text: "", buttons: ["ok"], want: true },
        { label: "FILE_EXISTS alone", flags: "FILE_EXISTS", text: "", buttons: ["ok"], want: true },
        { label: "DIRECTORY_EXISTS alone", flags: "DIRECTORY_EXISTS", text: "", buttons: ["ok"], want: true },
        { label: "OK among others", flags: "OK, DISK_FULL", text: "", buttons: ["ok"], want: true },
        { label: "token failure names no OK", flags: "GET_CHALLENGE_TOKEN_FAILED", text: "i18n.error_message_libgeneralerror", buttons: retry, want: false },
        { label: "GENERAL_ERROR", flags: "GENERAL_ERROR, DISK_FULL", text: "i18n.error_message_libgeneralerror", buttons: retry, want: false },
        { label: "empty", flags: "", text: "i18n.error_message_libgeneralerror", buttons: retry, want: false },
        { label: "undefined", flags: undefined, text: "i18n.error_message_libgeneralerror", buttons: retry, want: false },
        { label: "second argument has no effect", flags: "GENERAL_ERROR", show: false, text: "i18n.error_message_libgeneralerror", buttons: retry, want: false }
    ], function (row, t) {
        Host.reset();
        errorDlgValues.buttons.later = 1;
        errorDlgValues.text_id = "stale";
        App.syncMain.postFWsyncOnGoing = !!row.post;
        var result = row.show === undefined ? App.Common.parseLocalReply(row.flags)
                                            : App.Common.parseLocalReply(row.flags, row.show);
        t.eq(result, row.want, "result");
        t.eq(errorDlgValues.text_id, row.text, "text_id");
        t.eq(shownButtons(), row.buttons.slice().sort(), "buttons");
    });

    PT.table("parseRemoteReply", [
        { code: 200, want: true, text: "", buttons: [] },
        { code: "201", want: true, text: "", buttons: [] },
        { code: 305, want: false, text: "i18n.error_message_305", buttons: ["networksettings", "syncagain"] },
        { code: 399, want: true, text: "", buttons: [] },
        { code: 400, want: false, text: "i18n.error_message_400", buttons: retry },
        { code: 401, want: false, text: "i18n.error_message_400", buttons: retry },
        { code: 403, want: false, text: "i18n.error_message_408", buttons: retry },
        { code: 404, want: false, text: "i18n.error_message_400", buttons: retry },
        { code: 405, want: false, text: "i18n.error_message_400", buttons: retry },
        { code: 407, want: false, text: "i18n.error_message_407", buttons: retry },
        { code: 408, want: false, text: "i18n.error_message_408", buttons: retry },
        { code: 0, want: false, text: "error_nonetworkconnection", buttons: retry },
        { code: "0", want: false, text: "error_nonetworkconnection", buttons: retry },
        { code: 500, want: false, text: "error_message_400", buttons: retry },
        { code: 501, want: false, text: "i18n.error_message_400", buttons: retry },
        { code: 502, want: false, text: "error_nonetworkconnection", buttons: retry },
        { code: 503, want: false, text: "error_message_503", buttons: retry },
        { code: 504, want: false, text: "error_message_504", buttons: retry },
        { code: 600, want: false, text: "i18n.progress_info_syncproblems", buttons: retry, logged: "No error defined for this code!?" },
        { code: "timeout", want: false, text: "error_message_504", buttons: retry },
        { code: "success", want: true, text: "", buttons: [] },
        { label: "error with a jqXHR of 404", code: "error", xhr: { status: 404, statusText: "Not Found" }, want: false, text: "i18n.error_message_400", buttons: retry, logged: "ParseRemoteReply, status: error, st: 404" },
        { label: "0 with a jqXHR of 503", code: 0, xhr: { status: 503, statusText: "Service Unavailable" }, want: false, text: "error_message_503", buttons: retry },
        { label: "error without a jqXHR", code: "error", want: false, text: "i18n.progress_info_syncproblems", buttons: retry }
    ], function (row, t) {
        Host.reset();
        errorDlgValues.buttons.ok = 1;
        var result = App.Common.parseRemoteReply(row.code, row.xhr);
        t.eq(result, row.want, "result");
        t.eq(errorDlgValues.text_id, row.text, "text_id");
        t.eq(shownButtons(), row.buttons.slice().sort(), "buttons");
        t.eq(Host.logged("ParseRemoteReply, status: " + row.code).length, 1, "status line");
        if (row.logged)
            t.eq(Host.logged(row.logged).length, 1, row.logged);
    });

    PT.table("parseSuccessRatio", [
        { status: "success", want: true },
        { status: "OK", want: true },
        { status: 204, want: true },
        { status: "FILE_OPERATION_FAILED", want: false },
        { status: 404, want: false }
    ], function (row, t) {
        Host.reset();
        t.eq(App.Common.parseSuccessRatio(row.status), row.want);
    });

    PT.table("hasFlag", [
        { flags: "OK", name: "OK", want: true },
        { flags: "GENERAL_ERROR, OK", name: "OK", want: true },
        { flags: "GET_CHALLENGE_TOKEN_FAILED", name: "OK", want: false },
        { flags: "TC_CONNECTION_LOST", name: "TC_CONNECT", want: false },
        { flags: "", name: "OK", want: false },
        { flags: null, name: "OK", want: false }
    ], function (row, t) {
        t.eq(App.Common.hasFlag(row.flags, row.name), row.want);
    });

    PT.table("ConnectClientLibCPFlagToSyncState", [
        { flags: "GENERAL_ERROR, TC_BUSY", want: "TCBusy" },
        { flags: "SYSTEM_BUSY", want: "SystemBusy" },
        { flags: "WAIT_FOR_IDLING", want: "WaitForIdling" },
        { flags: "OK", want: "SyncOn" },
        { flags: "NOT_TC_BUSY_AT_ALL", want: "SyncOn" }
    ], function (row, t) {
        var saved = syncStates;
        syncStates = { TCBusy: "TCBusy", SystemBusy: "SystemBusy", WaitForIdling: "WaitForIdling", SyncOn: "SyncOn" };
        try {
            t.eq(App.Common.ConnectClientLibCPFlagToSyncState(row.flags), row.want);
        } finally {
            syncStates = saved;
        }
    });
}());
