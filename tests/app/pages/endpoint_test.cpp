// The endpoints' tables in the host page that loads jQuery, endpoint.js and
// common.js as the page shell does, with the real bridge, the stub
// synchroniser playing the device ("StubDevice") and the fake web service.
#include "connectlib/common/common.h"
#include "tests/app/support/page_script_test.h"
#include "tests/app/support/stub_device_script.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>

namespace RavoSync::Test {
namespace {

const QString content = QStringLiteral("content.ravo.test");
const QString other = QStringLiteral("api.other.test");
const QString origin = QStringLiteral("https://content.ravo.test");

QJsonObject rule(const QString& host, const QString& path, int status,
                 const QString& body = QString(),
                 const QString& type = QStringLiteral("application/json"),
                 const QString& method = QStringLiteral("GET"))
{
    QJsonObject answer{{"method", method}, {"host", host}, {"path", path}, {"status", status}};
    if (!body.isNull()) {
        answer.insert(QStringLiteral("body"), body);
        answer.insert(QStringLiteral("headers"), QJsonObject{{"Content-Type", type}});
    }
    return answer;
}

// Answers another origin may read, credentials included.
QJsonObject shared(QJsonObject answer)
{
    QJsonObject headers = answer.value(QStringLiteral("headers")).toObject();
    headers.insert(QStringLiteral("Access-Control-Allow-Origin"), origin);
    headers.insert(QStringLiteral("Access-Control-Allow-Credentials"), QStringLiteral("true"));
    headers.insert(QStringLiteral("Access-Control-Allow-Headers"),
                   QStringLiteral("accept, accept-language, authorization, content-encoding, "
                                  "content-type"));
    headers.insert(QStringLiteral("Access-Control-Allow-Methods"), QStringLiteral("GET, POST"));
    answer.insert(QStringLiteral("headers"), headers);
    return answer;
}

QJsonArray routes()
{
    const QString v2 = QStringLiteral("/v2/");
    const QString kind = QStringLiteral("/contentserver/test/kind/");
    QJsonObject slow = rule(content, v2 + "slow", 200, QStringLiteral("{\"which\":\"slow\"}"));
    slow.insert(QStringLiteral("delayMs"), 300);
    QJsonObject slower =
        rule(content, v2 + "slower", 200, QStringLiteral("{\"which\":\"slower\"}"));
    slower.insert(QStringLiteral("delayMs"), 1500);
    QJsonObject cut = rule(content, v2 + "s0", 200, QStringLiteral("{\"never\":\"whole\"}"));
    cut.insert(QStringLiteral("cutAfter"), 2);
    QJsonObject cookie = rule(content, v2 + "cookie", 200, QStringLiteral("{}"));
    cookie.insert(QStringLiteral("setCookie"),
                  QJsonArray{QStringLiteral("rsid=abc123; Path=/v2; Secure")});
    QJsonObject package = rule(content, QStringLiteral("/contentserver/test/package.zip"), 200);
    package.insert(QStringLiteral("bodyBase64"), QStringLiteral("UEsDBHppcA=="));
    package.insert(QStringLiteral("headers"), QJsonObject{{"Content-Type", "application/zip"}});

    return QJsonArray{
        slow,
        slower,
        cut,
        cookie,
        package,
        rule(content, v2 + "data", 200, QStringLiteral("{\"which\":\"data\"}")),
        rule(content, v2 + "s401", 401, QStringLiteral("{}")),
        rule(content, v2 + "s502", 502, QStringLiteral("{}")),
        rule(content, v2 + "s500", 500, QStringLiteral("{}")),
        rule(content, v2 + "posted", 200, QStringLiteral("{\"stored\":true}"),
             QStringLiteral("application/json"), QStringLiteral("POST")),
        rule(content, v2 + "put", 200, QStringLiteral("{\"stored\":true}"),
             QStringLiteral("application/json"), QStringLiteral("PUT")),
        rule(content, v2 + "hdr*", 200, QStringLiteral("{}")),
        rule(content, kind + "*.bin", 200, QStringLiteral("AAA"),
             QStringLiteral("application/x-test")),
        rule(content, kind + "h.json", 200, QStringLiteral("{\"a\":1}")),
        rule(content, kind + "i.html", 200, QStringLiteral("<p>i</p>"),
             QStringLiteral("text/html")),
        rule(content, kind + "j.xml", 200, QStringLiteral("<j/>"),
             QStringLiteral("application/xml")),
        rule(content, kind + "k.txt", 200, QStringLiteral("k"), QStringLiteral("text/plain")),
        rule(content, QStringLiteral("/contentserver/sync/m1/two.json"), 200,
             QStringLiteral("{\"found\":\"two\"}")),
        rule(content, QStringLiteral("/contentserver/*two.json"), 404, QStringLiteral("{}")),
        rule(content, QStringLiteral("/contentserver/*none.json"), 404, QStringLiteral("{}")),
        rule(content, QStringLiteral("/contentserver/*bad.json"), 502, QStringLiteral("{}")),
        rule(content, QStringLiteral("/contentserver/ext/x.bin"), 200, QStringLiteral("x1"),
             QStringLiteral("application/x-test")),
        rule(content, QStringLiteral("/contentserver/ext/*"), 404, QStringLiteral("{}")),
        shared(rule(other, QStringLiteral("/*"), 204, QString(), QString(),
                    QStringLiteral("OPTIONS"))),
        shared(rule(other, QStringLiteral("/hdr*"), 200, QStringLiteral("{}"))),
    };
}

class EndpointScripts : public PageScriptTest {
protected:
    void SetUp() override
    {
        PageScriptTest::SetUp();
        if (HasFatalFailure())
            return;
        exposeStubDevice();
        m_web->setRoutes(routes());
    }

    void TearDown() override
    {
        if (!m_offlineDir.isEmpty())
            QDir(QCoreApplication::applicationDirPath() + QLatin1Char('/') + m_offlineDir)
                .removeRecursively();
        PageScriptTest::TearDown();
    }

    // A file beside the program that the offline store's reads find.
    void makeOfflineFile()
    {
        m_offlineDir =
            QStringLiteral("endpoint_offline_%1").arg(QCoreApplication::applicationPid());
        const QString dir =
            QCoreApplication::applicationDirPath() + QLatin1Char('/') + m_offlineDir;
        ASSERT_TRUE(QDir().mkpath(dir));
        QFile file(dir + QStringLiteral("/f.json"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("{\"offline\":1}");
        m_bridge->SLOT_saveVariable(QStringLiteral("test_offline_dir"), m_offlineDir);
    }

    QList<FakeRequest> requestsTo(const QString& host, const QString& pathStart) const
    {
        QList<FakeRequest> found;
        for (const FakeRequest& request : m_web->requests()) {
            if (request.host == host && request.path.startsWith(pathStart) &&
                request.method != QLatin1String("OPTIONS"))
                found.append(request);
        }
        return found;
    }

    QString m_offlineDir;
};

TEST_F(EndpointScripts, LocalOperations)
{
    runSuite(QStringLiteral("endpoint_host.html"), QStringLiteral("endpoint_local.js"));
}

TEST_F(EndpointScripts, RemoteOperations)
{
    makeOfflineFile();
    m_bridge->SLOT_saveAppSetting(QStringLiteral("language"), QStringLiteral("fi"));
    runSuite(QStringLiteral("endpoint_host.html"), QStringLiteral("endpoint_remote.js"));

    // The search drops one path part per miss and stops at the first hit.
    QStringList searched;
    for (const FakeRequest& request : requestsTo(content, QStringLiteral("/contentserver/"))) {
        if (request.path.endsWith(QLatin1String("two.json")) ||
            request.path.endsWith(QLatin1String("none.json")))
            searched.append(request.path);
    }
    EXPECT_EQ(searched, (QStringList{QStringLiteral("/contentserver/sync/m1/1.2.3/two.json"),
                                     QStringLiteral("/contentserver/sync/m1/two.json"),
                                     QStringLiteral("/contentserver/sync/m1/1.2.3/none.json"),
                                     QStringLiteral("/contentserver/sync/m1/none.json"),
                                     QStringLiteral("/contentserver/sync/none.json"),
                                     QStringLiteral("/contentserver/none.json")}));

    // The external search went through the bridge's raw-data read.
    QStringList external;
    for (const FakeRequest& request : requestsTo(content, QStringLiteral("/contentserver/ext/")))
        external.append(request.path);
    EXPECT_EQ(external, (QStringList{QStringLiteral("/contentserver/ext/a/x.bin"),
                                     QStringLiteral("/contentserver/ext/x.bin"),
                                     QStringLiteral("/contentserver/ext/a/y.bin"),
                                     QStringLiteral("/contentserver/ext/y.bin")}));

    // A refused method sends nothing.
    EXPECT_TRUE(requestsTo(content, QStringLiteral("/v2/thing")).isEmpty());

    // Headers: the credentials only to our services over https.
    QList<FakeRequest> ours;
    for (const FakeRequest& request : requestsTo(content, QStringLiteral("/v2/hdr"))) {
        if (request.scheme == QLatin1String("https"))
            ours.append(request);
    }
    ASSERT_EQ(ours.size(), 2);
    for (const FakeRequest& request : ours) {
        SCOPED_TRACE(request.path.toStdString());
        EXPECT_EQ(request.header(QStringLiteral("accept")), QStringLiteral("application/json"));
        EXPECT_EQ(request.header(QStringLiteral("accept-language")), QStringLiteral("fi"));
        EXPECT_TRUE(request.hasHeader(QStringLiteral("content-encoding")));
        EXPECT_EQ(request.header(QStringLiteral("content-encoding")), QString());
        EXPECT_EQ(request.header(QStringLiteral("authorization")), QStringLiteral("Basic S0VZ"));
    }
    EXPECT_EQ(ours.last().path, QStringLiteral("/v2/hdr2"));
    EXPECT_TRUE(
        ours.last().header(QStringLiteral("cookie")).contains(QLatin1String("rsid=abc123")));

    const QList<FakeRequest> others = requestsTo(other, QStringLiteral("/hdr3"));
    ASSERT_EQ(others.size(), 1);
    EXPECT_FALSE(others.first().hasHeader(QStringLiteral("authorization")));

    // Plain http from the https page never leaves the engine; its request
    // settings are checked in the table.
    EXPECT_TRUE(requestsTo(content, QStringLiteral("/v2/hdr4")).isEmpty());
}

} // namespace
} // namespace RavoSync::Test
