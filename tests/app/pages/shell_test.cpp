// The sync controller's tables (run.js) in the host page of the main page,
// with the fake content server answering the phase scripts.
#include "tests/app/support/page_script_test.h"

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

} // namespace
} // namespace RavoSync::Test
