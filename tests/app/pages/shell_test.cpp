// The sync controller's tables (run.js) in the host page of the main page,
// with the fake content server answering the phase scripts.
#include "tests/app/support/page_script_test.h"
#include "tests/app/support/web_wait.h"
#include "tests/connectlib/support/process_events.h"

#include "app/sync_state/sync_state.h"

#include <QJsonArray>
#include <QJsonObject>

namespace RavoSync::Test {
namespace {

QJsonObject script(const QString& name, int status, const QString& body = QString())
{
    QJsonObject rule{{"method", "GET"},
                     {"host", "content.ravo.test"},
                     {"path", QStringLiteral("/contentserver/sync/%1.js").arg(name)},
                     {"status", status}};
    if (status == 200) {
        rule.insert(QStringLiteral("headers"),
                    QJsonObject{{"Content-Type", "application/javascript"}});
        rule.insert(QStringLiteral("body"), body);
    }
    return rule;
}

// A translation file that is no JSON object.
QJsonObject garbage(const QString& language)
{
    return QJsonObject{
        {"method", "GET"},
        {"host", "content.ravo.test"},
        {"path", QStringLiteral("/contentserver/garbage/translations_%1.json").arg(language)},
        {"status", 200},
        {"headers", QJsonObject{{"Content-Type", "application/json"}}},
        {"body", "{ not json"}};
}

// Translation files the content server fails to serve ("tr<status>/").
QJsonObject serverError(int status)
{
    return QJsonObject{
        {"method", "GET"},
        {"host", "content.ravo.test"},
        {"path", QStringLiteral("/contentserver/tr%1/translations_*.json").arg(status)},
        {"status", status},
        {"headers", QJsonObject{{"Content-Type", "text/plain"}}},
        {"body", "internal error"}};
}

class ShellScripts : public PageScriptTest {};

TEST_F(ShellScripts, Tables)
{
    m_web->setRoutes(QJsonArray{
        script(QStringLiteral("sports"), 200,
               QStringLiteral("function Sports() { this.runSyncPhase = function () {}; }\n"
                              "function Tests() { this.runSyncPhase = function () {}; }\n")),
        script(QStringLiteral("maps"), 404),
        script(QStringLiteral("agps"), 200, QStringLiteral("var notAPhase = 1;\n")),
        garbage(QStringLiteral("de")), garbage(QStringLiteral("en")), serverError(500),
        serverError(503)});
    runSuite(QStringLiteral("shell_host.html"), QStringLiteral("shell_run.js"));
}

// What rsVersionCheckDone asks of the program for each device state.
struct DeviceState {
    const char* label;
    const char* status;
    const char* userDir;
    int state; // the sync state set, or -1 for none
    bool startsSync;
};

class VersionCheckDone : public ShellScripts, public ::testing::WithParamInterface<DeviceState> {};

TEST_P(VersionCheckDone, SetsTheStateAndStartsOnlyAReadyDevice)
{
    using ConnectGlobals::SyncState;
    ASSERT_TRUE(loadHostPage(QStringLiteral("shell_host.html")));
    const DeviceState& row = GetParam();
    js(QStringLiteral("Host.reset(); window.Authenticate = function () { this.runSyncPhase = "
                      "function () {}; };"
                      "App.Common.setSessionVariable('tcdeviceid', '4001');"
                      "App.Common.setSessionVariable('tcmodel', 'zarvotovri');"
                      "App.Common.setSessionVariable('tcstatus', '%1');"
                      "App.Common.setSessionVariable('currentuserdir', '%2');")
           .arg(QLatin1String(row.status), QLatin1String(row.userDir)));
    m_stub->clearCalls();
    js(QStringLiteral("smain.rsVersionCheckDone();"));
    QList<int> states;
    int starts = 0;
    for (const StubSynchroniser::Call& call : m_stub->calls()) {
        if (call.name == QLatin1String("syncProcessStateChanged"))
            states.append(call.arguments.value(1).toInt());
        if (call.name == QLatin1String("startSync"))
            ++starts;
    }
    EXPECT_EQ(states, row.state < 0 ? QList<int>{} : QList<int>{row.state});
    EXPECT_EQ(starts, row.startsSync ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, VersionCheckDone,
    ::testing::Values(DeviceState{"ready", "OK", "U/1", ConnectGlobals::SyncState::SyncOn, true},
                      DeviceState{"busy", "GENERAL_ERROR, TC_BUSY", "U/1",
                                  ConnectGlobals::SyncState::TCBusy, false},
                      DeviceState{"system_busy", "SYSTEM_BUSY", "U/1",
                                  ConnectGlobals::SyncState::SystemBusy, false},
                      DeviceState{"no_user_folder", "OK", "", ConnectGlobals::SyncState::TCBusy,
                                  false},
                      DeviceState{"token_failed", "GET_CHALLENGE_TOKEN_FAILED", "U/1", -1, false}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(ShellScripts, CorruptedDevicePromptResetsTheDeviceOnce)
{
    ASSERT_TRUE(loadHostPage(QStringLiteral("shell_host.html")));
    js(QStringLiteral("Host.reset();"
                      "App.Common.setSessionVariable('tcdeviceid', '4001');"
                      "App.Common.setSessionVariable('tcstatus', 'TC_NOT_FOUND');"
                      "App.Common.setSessionVariable('currentuserdir', 'U/1');"
                      "smain.rsVersionCheckDone();"));
    m_stub->clearCalls();
    js(QStringLiteral("$('#button_yes').trigger('click'); $('#button_yes').trigger('click');"));
    EXPECT_EQ(m_stub->callNames().count(QStringLiteral("doReset")), 1);
    ASSERT_FALSE(m_stub->calls().isEmpty());
    EXPECT_EQ(m_stub->calls().front().arguments, (QVariantList{true, true}));
}

// The offline dialog: the built-in main page shows the progress page with
// the bridge's text and buttons, and Sync again asks the program.
TEST_F(ShellScripts, OfflineDialogShowsTheBridgesErrorAndButtons)
{
    m_bridge->SLOT_startByLoading(
        QStringLiteral("qrc:/resources/ui/index.html"), QStringLiteral("ui/progress.html"),
        QStringList{QStringLiteral("error_nonetworkconnection")},
        QStringLiteral("errorDlgValues.buttons.syncagain=1;errorDlgValues.buttons.close=1;"),
        QStringLiteral("App.syncMain.errorCase();"));
    ASSERT_TRUE(waitForJs(frame(), QStringLiteral("typeof App !== 'undefined' && App.syncMain && "
                                                  "App.syncMain.errorShown === true && "
                                                  "$('#button_syncagain').css('display') !== "
                                                  "'none'")));
    EXPECT_EQ(js(QStringLiteral("$('#index_header').text()")).toString(),
              QStringLiteral("Something went wrong"));
    EXPECT_EQ(js(QStringLiteral("$('#pageInstrText').text()")).toString(),
              QStringLiteral("No internet connection. Check your connection and try again."));
    EXPECT_EQ(js(QStringLiteral("$('#buttons .button').filter(function () { return "
                                "$(this).css('display') !== 'none'; }).map(function () { "
                                "return this.id; }).get().join(',')"))
                  .toString(),
              QStringLiteral("button_syncagain,button_close"));
    EXPECT_EQ(js(QStringLiteral("$('#button_syncagain .buttonText').text()")).toString(),
              QStringLiteral("Sync again"));
    // The picture column shows the generic device, not nothing.
    EXPECT_TRUE(waitForJs(frame(), QStringLiteral("$('.devImg').css('background-image')"
                                                  ".indexOf('generic.png') >= 0")))
        << js(QStringLiteral("$('.devImg').css('background-image')")).toString().toStdString();
    m_stub->clearCalls();
    js(QStringLiteral("$('#button_syncagain').trigger('click');"));
    EXPECT_TRUE(ConnectLib::Test::processUntil(
        [&] { return m_stub->callNames().contains(QStringLiteral("resync")); }, 10000));
    EXPECT_EQ(m_stub->callNames().count(QStringLiteral("resync")), 1);
}

} // namespace
} // namespace RavoSync::Test
