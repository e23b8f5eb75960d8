// The sync controller's tables (run.js) in the host page of the main page,
// with the fake content server answering the phase scripts.
#include "tests/app/support/page_script_test.h"
#include "tests/app/support/web_wait.h"
#include "tests/connectlib/support/process_events.h"

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

class ShellScripts : public PageScriptTest {};

TEST_F(ShellScripts, Tables)
{
    m_web->setRoutes(QJsonArray{
        script(QStringLiteral("sports"), 200,
               QStringLiteral("function Sports() { this.runSyncPhase = function () {}; }\n"
                              "function Tests() { this.runSyncPhase = function () {}; }\n")),
        script(QStringLiteral("maps"), 404),
        script(QStringLiteral("agps"), 200, QStringLiteral("var notAPhase = 1;\n"))});
    runSuite(QStringLiteral("shell_host.html"), QStringLiteral("shell_run.js"));
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
    m_stub->clearCalls();
    js(QStringLiteral("$('#button_syncagain').trigger('click');"));
    EXPECT_TRUE(ConnectLib::Test::processUntil(
        [&] { return m_stub->callNames().contains(QStringLiteral("resync")); }, 10000));
    EXPECT_EQ(m_stub->callNames().count(QStringLiteral("resync")), 1);
}

} // namespace
} // namespace RavoSync::Test
