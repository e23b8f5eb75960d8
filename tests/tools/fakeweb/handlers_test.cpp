// The fake web service's handlers and content templates, as the program's
// network stack meets them: over TLS through the fake's proxy.
#include "tests/app/support/fake_web.h"
#include "tests/connectlib/support/process_events.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace RavoSync::Test {
namespace {

struct Answer {
    int status = 0;
    QByteArray body;
    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
};

class FakeWebHandlers : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_content.isValid());
        m_web = std::make_unique<FakeWeb>(FakeWeb::Trust::TestCa, QList<FakeWeb::Mount>{},
                                          QStringList{m_content.path()});
        ASSERT_TRUE(m_web->started());
        m_web->setRoutes(FakeWeb::webServiceRoutes());
    }

    Answer send(const QByteArray& method, const QString& address, const QByteArray& body = {})
    {
        QNetworkRequest request{QUrl(address)};
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        QNetworkReply* reply = m_manager.sendCustomRequest(request, method, body);
        EXPECT_TRUE(ConnectLib::Test::processUntil([reply] { return reply->isFinished(); }));
        Answer answer;
        // A reply that did not arrive whole counts as never answered.
        answer.status = reply->error() != QNetworkReply::NoError &&
                                reply->error() < QNetworkReply::ContentAccessDenied
                            ? 0
                            : reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        answer.body = reply->readAll();
        reply->deleteLater();
        return answer;
    }

    static QString web(const QString& path)
    {
        return QStringLiteral("https://content.ravo.test/v2/") + path;
    }

    void writeContent(const QString& name, const QByteArray& data)
    {
        const QString path = m_content.filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(data);
    }

    QTemporaryDir m_content;
    std::unique_ptr<FakeWeb> m_web;
    QNetworkAccessManager m_manager;
};

QByteArray credentials(const char* user, const char* password)
{
    return QJsonDocument(QJsonObject{{"username", user}, {"password", password}})
        .toJson(QJsonDocument::Compact);
}

TEST_F(FakeWebHandlers, LoginAnswersTheAcceptedUsersOnly)
{
    QJsonArray routes{FakeWeb::handlerRule(
        QStringLiteral("POST"), QStringLiteral("*/login/user/associateToApp"),
        QStringLiteral("login"),
        {{"users", QJsonObject{{"ann", "a1"}, {"bob", QJsonObject{{"password", "b2"}, {"id", 7}}}}},
         {"reply", QJsonObject{{"baseUrl", "https://sync.ravo.test/u"}}}})};
    m_web->setRoutes(routes);
    struct Row {
        const char* label;
        QByteArray body;
        int status;
        int id;
    };
    const Row rows[] = {
        {"accepted", credentials("ann", "a1"), 200, 1001},
        {"own reply members", credentials("bob", "b2"), 200, 7},
        {"wrong password", credentials("ann", "b2"), 401, 0},
        {"unknown user", credentials("eve", "a1"), 401, 0},
        {"no object", QByteArrayLiteral("[\"ann\"]"), 400, 0},
        {"password not a text", QByteArrayLiteral("{\"username\":\"ann\",\"password\":1}"), 400, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const Answer answer =
            send("POST", web(QStringLiteral("login/user/associateToApp")), row.body);
        EXPECT_EQ(answer.status, row.status);
        if (row.status != 200)
            continue;
        EXPECT_EQ(answer.json().value(QStringLiteral("id")).toInt(), row.id);
        EXPECT_EQ(answer.json().value(QStringLiteral("baseUrl")).toString(),
                  QStringLiteral("https://sync.ravo.test/u"));
        EXPECT_EQ(answer.json().value(QStringLiteral("trainingComputerDeviceId")).toInt(), 2001);
    }
}

TEST_F(FakeWebHandlers, TheLongPollAnswersItsScriptThenTheLogin)
{
    m_web->setRoutes(QJsonArray{FakeWeb::handlerRule(
        QStringLiteral("POST"), QStringLiteral("*/login/sso/associateToApp"), QStringLiteral("sso"),
        {{"pending", QJsonArray{504, 500, "drop", 504}}})});
    const QByteArray tokens = QByteArrayLiteral("{\"secretToken\":\"s\",\"publicToken\":\"p\"}");
    const QString address = web(QStringLiteral("login/sso/associateToApp"));
    // A poll without its tokens is refused and does not count.
    EXPECT_EQ(send("POST", address, QByteArrayLiteral("{\"publicToken\":\"p\"}")).status, 400);
    QList<int> statuses;
    for (int poll = 0; poll < 6; ++poll)
        statuses.append(send("POST", address, tokens).status);
    EXPECT_EQ(statuses, (QList<int>{504, 500, 0, 504, 200, 200}));

    // Writing the rules starts the script again.
    m_web->setRoutes(QJsonArray{FakeWeb::handlerRule(QStringLiteral("POST"),
                                                     QStringLiteral("*/login/sso/associateToApp"),
                                                     QStringLiteral("sso"), {{"pending", 1}})});
    EXPECT_EQ(send("POST", address, tokens).status, 504);
    const Answer login = send("POST", address, tokens);
    EXPECT_EQ(login.status, 200);
    EXPECT_EQ(login.json().value(QStringLiteral("baseUrl")).toString(),
              QStringLiteral("https://") + FakeWeb::syncHost + QStringLiteral("/v2/users/1001"));
}

TEST_F(FakeWebHandlers, TheClockAnswersInTheAskedZone)
{
    struct Row {
        const char* path;
        int status;
        const char* local;
    };
    const Row rows[] = {
        {"time/0?timeUnit=minute", 200, "2026-01-15T09:30:00+00:00"},
        {"time/90?timeUnit=minute", 200, "2026-01-15T11:00:00+01:30"},
        {"time/-600?timeUnit=minute", 200, "2026-01-14T23:30:00-10:00"},
        {"time/60?timeUnit=hour", 400, ""},
        {"time/60", 400, ""},
        {"time/east?timeUnit=minute", 400, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        const Answer answer = send("GET", web(QLatin1String(row.path)));
        EXPECT_EQ(answer.status, row.status);
        if (row.status != 200)
            continue;
        EXPECT_EQ(answer.json().value(QStringLiteral("utc")).toString(), FakeWeb::defaultUtc);
        EXPECT_EQ(answer.json().value(QStringLiteral("local")).toString(),
                  QLatin1String(row.local));
    }
}

TEST_F(FakeWebHandlers, RegistrationAnswersFromItsList)
{
    struct Row {
        QJsonValue registered;
        const char* device;
        bool answer;
    };
    const Row rows[] = {
        {QJsonValue(), "4001", true},
        {QJsonValue(false), "4001", false},
        {QJsonArray{"12", 4001}, "4001", true},
        {QJsonArray{"12"}, "4001", false},
    };
    for (const Row& row : rows) {
        QJsonObject fields;
        if (!row.registered.isUndefined() && !row.registered.isNull())
            fields.insert(QStringLiteral("registered"), row.registered);
        m_web->setRoutes(
            QJsonArray{FakeWeb::handlerRule(QStringLiteral("GET"), QStringLiteral("*/registration"),
                                            QStringLiteral("registration"), fields)});
        const Answer answer =
            send("GET", web(QStringLiteral("devices/%1/registration").arg(row.device)));
        EXPECT_EQ(answer.status, 200);
        EXPECT_EQ(answer.json().value(QStringLiteral("registered")).toBool(), row.answer)
            << QJsonDocument(QJsonArray{row.registered}).toJson().constData();
        EXPECT_EQ(answer.json().value(QStringLiteral("deviceId")).toString(),
                  QLatin1String(row.device));
    }
}

TEST_F(FakeWebHandlers, TheStoreKeepsGivesBackAndForgetsBodies)
{
    QByteArray data;
    for (int i = 0; i < 70000; ++i)
        data.append(char(i * 31 % 256));
    const QString address =
        QStringLiteral("https://") + FakeWeb::syncHost + QStringLiteral("/v2/u/1/x.bpb");
    EXPECT_EQ(send("GET", address).status, 404);
    const Answer stored = send("PUT", address, data);
    EXPECT_EQ(stored.status, 200);
    EXPECT_EQ(stored.json().value(QStringLiteral("length")).toInt(), data.size());
    EXPECT_EQ(m_web->storedBody(FakeWeb::syncHost, QStringLiteral("v2/u/1/x.bpb")), data);
    EXPECT_EQ(send("GET", address).body, data);
    EXPECT_EQ(send("POST", address, QByteArrayLiteral("new")).status, 201);
    EXPECT_EQ(send("GET", address).body, QByteArrayLiteral("new"));
    EXPECT_EQ(send("DELETE", address).status, 204);
    EXPECT_EQ(send("GET", address).status, 404);
}

TEST_F(FakeWebHandlers, AHeldAnswerWaitsForItsRelease)
{
    m_web->setRoutes({QJsonObject{{"path", "/v2/held"}, {"body", "late"}, {"holdUntil", "gate"}}});
    QNetworkReply* reply = m_manager.get(QNetworkRequest(QUrl(web(QStringLiteral("held")))));
    // The request is logged before its rule is served; the answer must
    // still be outstanding once the rest of the loop has run.
    ASSERT_TRUE(m_web->waitForRequest(
        [](const FakeRequest& request) { return request.path == QLatin1String("/v2/held"); }));
    EXPECT_EQ(send("GET", web(QStringLiteral("other"))).status, 404);
    EXPECT_FALSE(reply->isFinished());
    m_web->release(QStringLiteral("gate"));
    ASSERT_TRUE(ConnectLib::Test::processUntil([reply] { return reply->isFinished(); }));
    EXPECT_EQ(reply->readAll(), QByteArrayLiteral("late"));
    reply->deleteLater();
}

TEST_F(FakeWebHandlers, TemplatesMakeOnlyTheFilesTheFoldersLack)
{
    writeContent(QStringLiteral("sync/t.js.in"),
                 QByteArrayLiteral("function @NAME@() {} // @NAME@"));
    writeContent(QStringLiteral("sync/real.js"), QByteArrayLiteral("function Real() {}"));
    writeContent(
        QStringLiteral("fakeweb-templates.json"),
        QByteArrayLiteral("{\"sync/made.js\": {\"template\": \"sync/t.js.in\", \"values\": "
                          "{\"NAME\": \"Made\"}}, \"sync/real.js\": {\"template\": "
                          "\"sync/t.js.in\", \"values\": {\"NAME\": \"Other\"}}}"));
    const QString base = QStringLiteral("https://content.ravo.test/contentserver/sync/");
    EXPECT_EQ(send("GET", base + QStringLiteral("made.js")).body,
              QByteArrayLiteral("function Made() {} // Made"));
    EXPECT_EQ(send("GET", base + QStringLiteral("real.js")).body,
              QByteArrayLiteral("function Real() {}"));
    EXPECT_EQ(send("GET", base + QStringLiteral("none.js")).status, 404);
}

} // namespace
} // namespace RavoSync::Test
