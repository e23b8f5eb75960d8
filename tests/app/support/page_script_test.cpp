#include "tests/app/support/page_script_test.h"

#include "tests/app/support/web_wait.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QWebFrame>
#include <QWebPage>

#include <cstdio>

namespace RavoSync::Test {

namespace {

const QString pagesDir = QStringLiteral(RAVO_TEST_PAGES_DIR);

// A suite runs its rows one after the other; asynchronous rows have their
// own time-outs inside the runner, this only guards against a stuck page
// (and ends before ctest's time-out, so the failure names the suite).
constexpr int suiteTimeoutMs = 90000;

QString readSource(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path.toStdString();
        return QString();
    }
    return QString::fromUtf8(file.readAll());
}

// A script text literal of text.
QString scriptLiteral(const QString& text)
{
    QString json =
        QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact));
    json = json.mid(1, json.size() - 2);
    json.replace(QChar(0x2028), QStringLiteral("\\u2028"));
    json.replace(QChar(0x2029), QStringLiteral("\\u2029"));
    return json;
}

} // namespace

void PageScriptTest::SetUp()
{
    m_web = std::make_unique<FakeWeb>(
        FakeWeb::Trust::TestCa,
        QList<FakeWeb::Mount>{{QStringLiteral("/contentserver/test/"), pagesDir + "/www"}},
        m_firstContent);
    ASSERT_TRUE(m_web->started());
    m_bridge = std::make_unique<JsObject>(nullptr);
    m_stub = std::make_unique<StubSynchroniser>(m_bridge.get());
    ASSERT_TRUE(m_stub->wiredAll());
}

void PageScriptTest::TearDown()
{
    m_device.reset();
    m_stub.reset();
    m_bridge.reset();
    m_web.reset();
}

void PageScriptTest::exposeStubDevice()
{
    m_device = std::make_unique<StubDeviceScript>(m_bridge.get(), m_stub.get());
    exposeObject(QStringLiteral("StubDevice"), m_device.get());
}

QWebFrame* PageScriptTest::frame() const
{
    return m_bridge->webView()->page()->mainFrame();
}

void PageScriptTest::exposeObject(const QString& name, QObject* object)
{
    QWebFrame* mainFrame = frame();
    QObject::connect(
        mainFrame, &QWebFrame::javaScriptWindowObjectCleared, object,
        [mainFrame, name, object] { mainFrame->addToJavaScriptWindowObject(name, object); });
}

QVariant PageScriptTest::js(const QString& expression) const
{
    return evalJs(frame(), expression);
}

bool PageScriptTest::loadHostPage(const QString& hostPage)
{
    // Page loading joins the content address and the name, as for the
    // program's own pages.
    m_bridge->SLOT_startByLoading(QStringLiteral("test/") + hostPage);
    return waitForJs(frame(), QStringLiteral("typeof Host !== 'undefined' && Host.ready === true "
                                             "&& typeof JSObject !== 'undefined'"));
}

QString PageScriptTest::evaluateFile(const QString& relativePath) const
{
    const QString source = readSource(pagesDir + QLatin1Char('/') + relativePath);
    const QString script =
        QStringLiteral("(function (source) { try { (0, eval)(source); return ''; } "
                       "catch (e) { return String(e) + (e && e.line ? ' (line ' + e.line + ')' "
                       ": ''); } }(%1))")
            .arg(scriptLiteral(source));
    const QVariant result = js(script);
    if (!result.isValid())
        return QStringLiteral("the script did not run");
    return result.toString();
}

void PageScriptTest::runSuite(const QString& hostPage, const QString& suiteFile)
{
    ASSERT_TRUE(loadHostPage(hostPage)) << hostPage.toStdString();
    runLoadedSuite(suiteFile);
}

void PageScriptTest::runLoadedSuite(const QString& suiteFile)
{
    const QString runnerError = evaluateFile(QStringLiteral("runner.js"));
    ASSERT_TRUE(runnerError.isEmpty()) << "runner.js: " << runnerError.toStdString();
    const QString suiteError = evaluateFile(suiteFile);
    ASSERT_TRUE(suiteError.isEmpty())
        << suiteFile.toStdString() << ": " << suiteError.toStdString();
    js(QStringLiteral("PT.run()"));
    ASSERT_TRUE(waitForJs(frame(), QStringLiteral("PT.finished === true"), suiteTimeoutMs));

    const QJsonObject report =
        QJsonDocument::fromJson(js(QStringLiteral("PT.report()")).toString().toUtf8()).object();
    const QJsonArray results = report.value(QStringLiteral("results")).toArray();
    EXPECT_GT(results.size(), 0) << suiteFile.toStdString() << " ran no rows";
    int passed = 0;
    for (const QJsonValue& value : results) {
        const QJsonObject row = value.toObject();
        if (row.value(QStringLiteral("passed")).toBool()) {
            ++passed;
            continue;
        }
        QStringList messages;
        for (const QJsonValue& message : row.value(QStringLiteral("messages")).toArray())
            messages.append(message.toString());
        ADD_FAILURE() << row.value(QStringLiteral("suite")).toString().toStdString() << " / "
                      << row.value(QStringLiteral("row")).toString().toStdString() << ": "
                      << messages.join(QStringLiteral("; ")).toStdString();
    }
    for (const QJsonValue& error : report.value(QStringLiteral("uncaught")).toArray())
        ADD_FAILURE() << suiteFile.toStdString()
                      << ", between rows: " << error.toString().toStdString();
    RecordProperty("rows", static_cast<int>(results.size()));
    std::printf("%s: %d of %d rows passed\n", suiteFile.toUtf8().constData(), passed,
                static_cast<int>(results.size()));
}

} // namespace RavoSync::Test
