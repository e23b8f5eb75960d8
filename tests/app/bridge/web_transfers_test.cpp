// Raw-data reads and writes through the fake web service: bodies, headers,
// credentials, cookies, the error dialog, time-outs and cut-off bodies.
#include "tests/app/bridge/web_fixture.h"

#include "app/bridge/download_rules.h"
#include "connectlib/common/common.h"
#include "tests/support/param_name.h"

#include <QCryptographicHash>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>

namespace {

using ConnectLib::Common;
using RavoSync::Test::BridgeTest;
using RavoSync::Test::contentBase;
using RavoSync::Test::FakeRequest;
using RavoSync::Test::FakeWeb;
using RavoSync::Test::serviceBase;
using RavoSync::Test::WebBridgeTest;

const char* const offlineButtons =
    "errorDlgValues.buttons.syncagain=1;errorDlgValues.buttons.close=1;";
const char* const settingsButtons =
    "errorDlgValues.buttons.syncagain=1;errorDlgValues.buttons.networksettings=1;";

QByteArray sampleBytes()
{
    QByteArray bytes = FakeWeb::deterministicBody(600);
    bytes.prepend(QByteArray("\x00\x0a\x0d\xff", 4));
    return bytes;
}

struct ReadCase {
    const char* name;
    const char* contentType;
    bool gzip;
    bool useLocalBuffer;
    bool base64; // the page gets Base64 (else the text)
};

void PrintTo(const ReadCase& c, std::ostream* os)
{
    *os << c.name;
}

class Reads : public WebBridgeTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(Reads, BodyReachesThePageOrTheLocalBuffer)
{
    const ReadCase& c = GetParam();
    const QByteArray body = c.base64 ? sampleBytes() : QByteArray("{\"name\":\"Zoë\",\"n\":1}");
    m_web->setRoutes(
        {rule(QStringLiteral("/v2/read"),
              {{QStringLiteral("bodyBase64"), QString::fromLatin1(body.toBase64())},
               {QStringLiteral("headers"),
                QJsonObject{{QStringLiteral("Content-Type"), QString::fromLatin1(c.contentType)}}},
               {QStringLiteral("encoding"), c.gzip ? QStringLiteral("gzip") : QString()}})});

    m_bridge->SLOT_readBinaryFromRemote(serviceBase + QStringLiteral("/read"),
                                        QStringLiteral("POST"), QStringLiteral("application/x-any"),
                                        c.useLocalBuffer, QStringLiteral("true"));
    ASSERT_TRUE(waitForCompletions(1));
    ASSERT_EQ(m_read->count(), 1);
    const QList<QVariant> arguments = m_read->first();
    EXPECT_EQ(arguments.at(1).toString(), QStringLiteral("200"));
    EXPECT_EQ(arguments.at(2).toString(), QString());
    if (c.useLocalBuffer) {
        EXPECT_EQ(arguments.at(0).toString(), QString());
        // The buffer's bytes go to the device unchanged.
        m_bridge->SLOT_writeToLocal(QStringLiteral("/U/0/X.BPB"), QString(), QStringLiteral("true"),
                                    true);
        ASSERT_FALSE(m_stub->calls().isEmpty());
        EXPECT_EQ(m_stub->calls().last().arguments.at(1).toByteArray(), body);
    } else if (c.base64) {
        EXPECT_EQ(QByteArray::fromBase64(arguments.at(0).toString().toLatin1()), body);
    } else {
        EXPECT_EQ(arguments.at(0).toString(), QString::fromUtf8(body));
    }
    // Reads are always GET, whatever the method argument says.
    FakeRequest request;
    ASSERT_TRUE(m_web->waitForRequest([](const FakeRequest& r) { return r.path == "/v2/read"; },
                                      20000, &request));
    EXPECT_EQ(request.method, QStringLiteral("GET"));
    EXPECT_EQ(request.header(QStringLiteral("Accept")), QStringLiteral("application/x-any"));
    EXPECT_EQ(m_bridge->SLOT_getVariable(QStringLiteral("replyurl")),
              serviceBase + QStringLiteral("/read"));
}

INSTANTIATE_TEST_SUITE_P(
    Table, Reads,
    ::testing::Values(ReadCase{"protobuf", "application/x-protobuf", false, false, true},
                      ReadCase{"json", "application/json", false, false, false},
                      ReadCase{"localBuffer", "application/x-protobuf", false, true, true},
                      ReadCase{"gzip", "application/x-zarvo-map", true, false, true}),
    zarvo::test::printed_name());

struct WriteCase {
    const char* method;
    const char* sent; // the method on the wire
    const char* contentEncoding;
};

class Writes : public WebBridgeTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(Writes, BodyArrivesByteExactWithTheHeaders)
{
    const WriteCase& c = GetParam();
    Common::setSettingsValue(QStringLiteral("language"), QStringLiteral("fi"));
    m_web->setRoutes({rule(
        QStringLiteral("/v2/write"),
        {{QStringLiteral("status"), 201},
         {QStringLiteral("headers"),
          QJsonObject{{QStringLiteral("Content-Type"), QStringLiteral("application/x-protobuf")},
                      {QStringLiteral("Location"), serviceBase + QStringLiteral("/items/7")}}},
         {QStringLiteral("bodyBase64"), QStringLiteral("AAEC")}})});
    const QByteArray body = FakeWeb::deterministicBody(70000) + sampleBytes();

    m_bridge->SLOT_writeBinaryToRemote(
        serviceBase + QStringLiteral("/write"), QString::fromLatin1(c.method),
        QString::fromLatin1(body.toBase64()), QStringLiteral("application/x-protobuf"),
        QStringLiteral("application/json"), QString::fromLatin1(c.contentEncoding));
    ASSERT_TRUE(waitForCompletions(1));
    ASSERT_EQ(m_written->count(), 1);
    EXPECT_EQ(m_written->first().at(0).toString(), QStringLiteral("AAEC"));
    EXPECT_EQ(m_written->first().at(1).toString(), QStringLiteral("201"));
    EXPECT_EQ(m_bridge->SLOT_getVariable(QStringLiteral("Location")),
              serviceBase + QStringLiteral("/items/7"));

    FakeRequest request;
    ASSERT_TRUE(m_web->waitForRequest([](const FakeRequest& r) { return r.path == "/v2/write"; },
                                      20000, &request));
    EXPECT_EQ(request.method, QString::fromLatin1(c.sent));
    EXPECT_EQ(request.bodyLength, body.size());
    EXPECT_EQ(
        request.bodySha256,
        QString::fromLatin1(QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex()));
    EXPECT_EQ(request.header(QStringLiteral("Accept")), QStringLiteral("application/json"));
    EXPECT_EQ(request.header(QStringLiteral("Accept-Language")), QStringLiteral("fi"));
    EXPECT_EQ(request.header(QStringLiteral("Content-Type")),
              QStringLiteral("application/x-protobuf"));
    EXPECT_EQ(request.hasHeader(QStringLiteral("Content-Encoding")), *c.contentEncoding != '\0');
    EXPECT_EQ(request.header(QStringLiteral("Content-Encoding")),
              QString::fromLatin1(c.contentEncoding));
}

INSTANTIATE_TEST_SUITE_P(Table, Writes,
                         ::testing::Values(WriteCase{"PUT", "PUT", ""},
                                           WriteCase{"POST", "POST", "gzip"},
                                           WriteCase{"PATCH", "POST", ""}),
                         [](const auto& info) { return std::string(info.param.method); });

class Transfers : public WebBridgeTest {};

TEST_F(Transfers, LocationIsStoredFromAnErrorStatusToo)
{
    m_web->setRoutes(
        {rule(QStringLiteral("/v2/bad"),
              {{QStringLiteral("status"), 400},
               {QStringLiteral("headers"),
                QJsonObject{{QStringLiteral("Location"), serviceBase + QStringLiteral("/why")}}},
               {QStringLiteral("body"), QStringLiteral("bad request")}})});
    m_bridge->SLOT_writeBinary(serviceBase + QStringLiteral("/bad"), QStringLiteral("POST"),
                               QStringLiteral("AAEC"), QStringLiteral("application/x-protobuf"),
                               QStringLiteral("application/x-protobuf"));
    ASSERT_TRUE(waitForCompletions(1));
    ASSERT_EQ(m_fail->count(), 1);
    EXPECT_EQ(m_fail->first().at(1).toString(), QStringLiteral("400"));
    EXPECT_EQ(m_bridge->SLOT_getVariable(QStringLiteral("Location")),
              serviceBase + QStringLiteral("/why"));
    EXPECT_EQ(m_dialog->count(), 0);
    EXPECT_TRUE(m_log.contains(QStringLiteral("Reply: /v2/bad, status: 400, reason: Bad Request")));
    EXPECT_TRUE(m_log.contains(QStringLiteral("Content:\n bad request...")));
}

struct AuthorizationCase {
    const char* address;
    bool sent;
};

TEST_F(Transfers, AuthorizationGoesOnlyToOurHostsOverHttps)
{
    // Page variables name no service of ours.
    m_bridge->SLOT_saveVariable(QStringLiteral("syncUrl"),
                                QStringLiteral("https://sync.zarvo.test/api/"));
    m_bridge->SLOT_saveVariable(QStringLiteral("cfurl"), QStringLiteral("https://cdn.zarvo.test"));
    const AuthorizationCase cases[] = {
        {"https://content.ravo.test/contentserver/a.bin", true},
        {"https://content.ravo.test/v2/a", true},
        {"https://www.ravo.test/a", true},
        {"https://www.ravo.test:443/default-port", true},
        // Another port of a service host is another service.
        {"https://www.ravo.test:8443/other-port", false},
        {"https://sync.zarvo.test/a", false},
        {"https://cdn.zarvo.test/a", false},
        {"https://evil.other.test/a", false},
        // A host that merely contains one of ours.
        {"https://cdn.zarvo.test.other.test/a", false},
        {"http://content.ravo.test/v2/a", false},
        {"http://www.ravo.test/a", false},
    };
    const QString key = QStringLiteral("Basic ") +
                        m_bridge->SLOT_getVariable(QStringLiteral("login_api_encoded_key"));
    ASSERT_GT(key.size(), 6);
    int expected = 0;
    for (const AuthorizationCase& c : cases) {
        const QUrl url(QString::fromLatin1(c.address));
        m_log.clear();
        m_bridge->SLOT_readBinary(url.toString(), QStringLiteral("GET"), QStringLiteral("*/*"));
        ASSERT_TRUE(waitForCompletions(++expected)) << c.address;
        if (!c.sent) {
            EXPECT_TRUE(m_log.contains(QStringLiteral("Authorization not sent to: ") +
                                       url.scheme() + QStringLiteral("://") + url.host()))
                << c.address;
        }
        // A host without a certificate never gets a request through.
        if (url.host() == QLatin1String("cdn.zarvo.test.other.test"))
            continue;
        FakeRequest request;
        ASSERT_TRUE(m_web->waitForRequest(
            [&](const FakeRequest& r) {
                return r.host == url.host() && r.path == url.path() && r.scheme == url.scheme();
            },
            20000, &request))
            << c.address;
        EXPECT_EQ(request.hasHeader(QStringLiteral("Authorization")), c.sent) << c.address;
        if (c.sent) {
            EXPECT_EQ(request.header(QStringLiteral("Authorization")), key) << c.address;
        }
    }
}

TEST_F(Transfers, ACookieSetByAPageRequestTravelsWithALaterTransfer)
{
    m_web->setRoutes({rule(QStringLiteral("/contentserver/test/cookie.html"),
                           {{QStringLiteral("body"), QStringLiteral("<p>cookie</p>")},
                            {QStringLiteral("headers"), QJsonObject{{QStringLiteral("Content-Type"),
                                                                     QStringLiteral("text/html")}}},
                            {QStringLiteral("setCookie"),
                             QJsonArray{QStringLiteral("ravosession=s3cr3t; Path=/; Secure")}}})});
    QNetworkReply* page = m_bridge->webView()->page()->networkAccessManager()->get(
        QNetworkRequest(QUrl(contentBase + QStringLiteral("/test/cookie.html"))));
    ASSERT_TRUE(ConnectLib::Test::processUntil([&] { return page->isFinished(); }));

    m_bridge->SLOT_readBinary(serviceBase + QStringLiteral("/after"), QStringLiteral("GET"),
                              QStringLiteral("*/*"));
    FakeRequest request;
    ASSERT_TRUE(m_web->waitForRequest([](const FakeRequest& r) { return r.path == "/v2/after"; },
                                      20000, &request));
    EXPECT_EQ(request.header(QStringLiteral("Cookie")), QStringLiteral("ravosession=s3cr3t"));
    ASSERT_TRUE(waitForCompletions(1));
}

struct DialogCase {
    const char* name;
    const char* path;
    int status;
    const char* showErrorDialog;
    const char* textId; // nullptr: no dialog, SIGNAL_fail with the status
    const char* buttons;
};

void PrintTo(const DialogCase& c, std::ostream* os)
{
    *os << c.name;
}

class ReadErrors : public WebBridgeTest, public ::testing::WithParamInterface<DialogCase> {};

TEST_P(ReadErrors, DialogOrFailure)
{
    const DialogCase& c = GetParam();
    const QString path = QString::fromLatin1(c.path);
    m_web->setRoutes({rule(path, {{QStringLiteral("status"), c.status},
                                  {QStringLiteral("body"), QStringLiteral("failure text")}})});
    m_bridge->SLOT_readBinaryFromRemote(QStringLiteral("https://content.ravo.test") + path,
                                        QStringLiteral("GET"), QStringLiteral("*/*"), false,
                                        QString::fromLatin1(c.showErrorDialog));
    ASSERT_TRUE(waitForCompletions(1));
    ConnectLib::Test::processFor(50);
    EXPECT_EQ(m_read->count(), 0);
    if (c.textId) {
        ASSERT_EQ(m_dialog->count(), 1);
        EXPECT_EQ(m_fail->count(), 0);
        const QList<QVariant> dialog = m_dialog->first();
        EXPECT_EQ(dialog.at(0).toString(), QStringLiteral("ui/progress.html"));
        EXPECT_EQ(dialog.at(1).toStringList(), QStringList{QString::fromLatin1(c.textId)});
        EXPECT_EQ(dialog.at(2).toString(), QString::fromLatin1(c.buttons));
        EXPECT_EQ(dialog.at(3).toString(), QStringLiteral("App.syncMain.errorCase();"));
        EXPECT_TRUE(m_log.contains(QStringLiteral("Show offline error dialog.")));
    } else {
        EXPECT_EQ(m_dialog->count(), 0);
        ASSERT_EQ(m_fail->count(), 1);
        EXPECT_EQ(m_fail->first().at(1).toString(), QString::number(c.status));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadErrors,
    ::testing::Values(
        DialogCase{"serviceStatus500", "/v2/users/1", 500, "true", nullptr, nullptr},
        DialogCase{"content404", "/contentserver/fw/a.bin", 404, "true", "error_message_400",
                   offlineButtons},
        DialogCase{"content407", "/contentserver/fw/a.bin", 407, "true", "error_message_407",
                   settingsButtons},
        DialogCase{"content404NoDialog", "/contentserver/fw/a.bin", 404, "false", nullptr, nullptr},
        DialogCase{"contentJson", "/contentserver/data/a.json", 404, "true", nullptr, nullptr},
        DialogCase{"contentPng", "/contentserver/img/a.png", 404, "true", nullptr, nullptr},
        DialogCase{"translation", "/contentserver/tr/translation_de", 500, "true", nullptr,
                   nullptr}),
    zarvo::test::printed_name());

TEST_F(Transfers, AHangingReplyFailsOnceAfterItsOwnTimeOut)
{
    Common::setSettingsValue(QStringLiteral("nwreqtimer"), QStringLiteral("1"));
    m_web->setRoutes(
        {rule(QStringLiteral("/contentserver/hang.bin"), {{QStringLiteral("hang"), true}})});
    // The page timer and the pages' stop calls do not touch it.
    m_bridge->SLOT_readBinaryFromRemote(contentBase + QStringLiteral("/hang.bin"),
                                        QStringLiteral("GET"), QStringLiteral("*/*"));
    m_bridge->SLOT_stopReqTimer();
    m_bridge->SLOT_webTimerEvent();
    ASSERT_TRUE(waitForCompletions(1, 20000));
    ConnectLib::Test::processFor(1500);
    EXPECT_EQ(completions(), 1);
    ASSERT_EQ(m_fail->count(), 1);
    EXPECT_EQ(m_fail->first().at(1).toString(), QStringLiteral("0"));
    // Judged as a reply that never answered: no dialog, no abort afterwards.
    EXPECT_EQ(m_dialog->count(), 0);
    EXPECT_TRUE(m_log.contains(QStringLiteral("Request timed out: /contentserver/hang.bin")));
    EXPECT_FALSE(m_log.contains(QStringLiteral("abort reply")));
    Common::setSettingsValue(QStringLiteral("nwreqtimer"), QString());
}

TEST_F(Transfers, ABodyCutAfterItsHeadersNeverReadsAsData)
{
    m_web->setRoutes({rule(
        QStringLiteral("/v2/cut"),
        {{QStringLiteral("bodySize"), 50000},
         {QStringLiteral("cutAfter"), 1000},
         {QStringLiteral("headers"), QJsonObject{{QStringLiteral("Content-Type"),
                                                  QStringLiteral("application/x-protobuf")}}}})});
    m_bridge->SLOT_readBinary(serviceBase + QStringLiteral("/cut"), QStringLiteral("GET"),
                              QStringLiteral("*/*"));
    ASSERT_TRUE(waitForCompletions(1));
    EXPECT_EQ(m_read->count(), 0);
    ASSERT_EQ(m_fail->count(), 1);
    EXPECT_EQ(m_fail->first().at(1).toString(), QStringLiteral("0"));
}

TEST_F(Transfers, AWholeChunkedBodyWithoutLengthSucceeds)
{
    m_web->setRoutes({rule(
        QStringLiteral("/v2/chunked"),
        {{QStringLiteral("bodySize"), 30000},
         {QStringLiteral("chunked"), true},
         {QStringLiteral("trickle"), QJsonObject{{QStringLiteral("bytes"), 7000}}},
         {QStringLiteral("headers"), QJsonObject{{QStringLiteral("Content-Type"),
                                                  QStringLiteral("application/x-protobuf")}}}})});
    m_bridge->SLOT_readBinary(serviceBase + QStringLiteral("/chunked"), QStringLiteral("GET"),
                              QStringLiteral("*/*"));
    ASSERT_TRUE(waitForCompletions(1));
    ASSERT_EQ(m_read->count(), 1);
    EXPECT_EQ(QByteArray::fromBase64(m_read->first().at(0).toString().toLatin1()),
              FakeWeb::deterministicBody(30000));
}

TEST_F(Transfers, ARawReadLargerThanTheCapFails)
{
    ConnectGlobals::setWholeBodyLimit(100000);
    m_web->setRoutes({rule(QStringLiteral("/v2/big"), {{QStringLiteral("bodySize"), 300000}})});
    m_bridge->SLOT_readBinary(serviceBase + QStringLiteral("/big"), QStringLiteral("GET"),
                              QStringLiteral("*/*"));
    const bool completed = waitForCompletions(1);
    ConnectGlobals::setWholeBodyLimit(0);
    ASSERT_TRUE(completed);
    EXPECT_EQ(m_read->count(), 0);
    EXPECT_EQ(m_fail->count() + m_dialog->count(), 1);
    EXPECT_TRUE(m_log.contains(QStringLiteral("Download too large (")));
}

TEST_F(Transfers, OnlyWebAddressesAreTransferred)
{
    QTemporaryDir folder;
    QFile secret(folder.filePath(QStringLiteral("secret.txt")));
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
    secret.write("local secret");
    secret.close();
    // A local file named with a host is still a local file.
    const QString refused[] = {QUrl::fromLocalFile(secret.fileName()).toString(),
                               QStringLiteral("file://localhost") + secret.fileName(),
                               QStringLiteral("qrc:/resources/hosts.conf"),
                               QStringLiteral("ftp://www.ravo.test/a"), QStringLiteral("")};
    int expected = 0;
    for (const QString& address : refused) {
        m_log.clear();
        m_bridge->SLOT_readBinary(address, QStringLiteral("GET"), QStringLiteral("*/*"));
        m_bridge->SLOT_writeBinary(address, QStringLiteral("PUT"), QStringLiteral("AAEC"),
                                   QStringLiteral("text/plain"), QStringLiteral("*/*"));
        expected += 2;
        ASSERT_TRUE(waitForCompletions(expected)) << address.toStdString();
        EXPECT_TRUE(m_log.contains(QStringLiteral("Transfer refused, not a web address: ")))
            << address.toStdString();
    }
    EXPECT_EQ(m_fail->count(), expected);
    EXPECT_EQ(m_read->count(), 0);
    EXPECT_EQ(m_written->count(), 0);
    for (const QList<QVariant>& failure : *m_fail)
        EXPECT_EQ(failure.at(1).toString(), QStringLiteral("0"));
}

TEST_F(Transfers, ATransferOutlivesTheViewAndItsCookieStore)
{
    m_web->setRoutes(
        {rule(QStringLiteral("/v2/slow-cookie"),
              {{QStringLiteral("delayMs"), 500},
               {QStringLiteral("body"), QStringLiteral("late")},
               {QStringLiteral("setCookie"), QJsonArray{QStringLiteral("late=1; Path=/")}}})});
    m_bridge->SLOT_readBinary(serviceBase + QStringLiteral("/slow-cookie"), QStringLiteral("GET"),
                              QStringLiteral("*/*"));
    ASSERT_TRUE(m_web->waitForRequest(
        [](const FakeRequest& r) { return r.path == QLatin1String("/v2/slow-cookie"); }));
    // The window goes while the reply, which stores a cookie, is on its way.
    delete m_bridge->webView();
    ASSERT_TRUE(waitForCompletions(1));
    // Without a page nothing judges the reply a success.
    EXPECT_EQ(m_read->count(), 0);
    ASSERT_EQ(m_fail->count(), 1);
    EXPECT_EQ(m_fail->first().at(1).toString(), QStringLiteral("200"));
}

TEST_F(Transfers, SessionAndAccessibilitySlotsOnlyLog)
{
    m_bridge->SLOT_networkAccessibleChanged(0);
    m_bridge->SLOT_stateChanged(3);
    m_bridge->SLOT_error(2);
    EXPECT_TRUE(m_log.contains(QStringLiteral("networkAccessibleChanged: 0")));
    EXPECT_TRUE(m_log.contains(QStringLiteral("Session stateChanged: 3")));
    EXPECT_TRUE(m_log.contains(QStringLiteral("Session error: 2")));
}

class UnusableTimeOut : public WebBridgeTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(UnusableTimeOut, MeansTheDefaultWithALogLine)
{
    Common::setSettingsValue(QStringLiteral("nwreqtimer"), QString::fromLatin1(GetParam()));
    m_web->setRoutes({rule(QStringLiteral("/v2/slow"),
                           {{QStringLiteral("delayMs"), 300}, {QStringLiteral("body"), "late"}})});
    m_bridge->SLOT_readBinary(serviceBase + QStringLiteral("/slow"), QStringLiteral("GET"),
                              QStringLiteral("*/*"));
    ASSERT_TRUE(waitForCompletions(1));
    ASSERT_EQ(m_read->count(), 1);
    EXPECT_EQ(m_read->first().at(0).toString(), QStringLiteral("late"));
    EXPECT_TRUE(m_log.contains(QStringLiteral("nwreqtimer is not a positive number of seconds: '") +
                               QString::fromLatin1(GetParam()) + QStringLiteral("', using 60")));
    Common::setSettingsValue(QStringLiteral("nwreqtimer"), QString());
}

INSTANTIATE_TEST_SUITE_P(Values, UnusableTimeOut, ::testing::Values("0", "x", "-5"),
                         zarvo::test::printed_name{"value"});

// A time-out a page stored is kept within bounds: a reply that hangs never
// holds the sync (and the device it serves) for longer than five minutes.
struct TimeOutCase {
    const char* name;
    const char* nwreqtimer;
    int milliseconds;
    bool cut;
};

void PrintTo(const TimeOutCase& c, std::ostream* os)
{
    *os << c.name;
}

class BoundedTimeOut : public BridgeTest, public ::testing::WithParamInterface<TimeOutCase> {};

TEST_P(BoundedTimeOut, IsWhatTransfersAndDownloadsUse)
{
    const TimeOutCase& c = GetParam();
    m_bridge->SLOT_saveAppSetting(QStringLiteral("nwreqtimer"), QString::fromLatin1(c.nwreqtimer));
    EXPECT_EQ(ConnectGlobals::requestTimeoutMs(), c.milliseconds);
    EXPECT_EQ(m_log.contains(QStringLiteral("nwreqtimer above 300 seconds: '") +
                             QString::fromLatin1(c.nwreqtimer) + QStringLiteral("', using 300")),
              c.cut);
    Common::setSettingsValue(QStringLiteral("nwreqtimer"), QString());
}

INSTANTIATE_TEST_SUITE_P(
    Table, BoundedTimeOut,
    ::testing::Values(TimeOutCase{"One", "1", 1000, false},
                      TimeOutCase{"TheBound", "300", 300000, false},
                      TimeOutCase{"AboveTheBound", "301", 300000, true},
                      TimeOutCase{"Days", "2147483", 300000, true},
                      TimeOutCase{"Huge", "9223372036854775807", 300000, true}),
    [](const ::testing::TestParamInfo<TimeOutCase>& info) { return info.param.name; });

TEST_F(Transfers, TransfersInFlightTogetherKeepTheirOwnHandlersAndFlags)
{
    const QByteArray slowBytes = sampleBytes();
    m_web->setRoutes(
        {rule(QStringLiteral("/v2/slow-read"),
              {{QStringLiteral("delayMs"), 800},
               {QStringLiteral("bodyBase64"), QString::fromLatin1(slowBytes.toBase64())},
               {QStringLiteral("headers"),
                QJsonObject{
                    {QStringLiteral("Content-Type"), QStringLiteral("application/x-protobuf")}}}}),
         rule(QStringLiteral("/v2/slow-write"),
              {{QStringLiteral("delayMs"), 400},
               {QStringLiteral("status"), 201},
               {QStringLiteral("body"), QStringLiteral("written")}}),
         rule(QStringLiteral("/v2/fast-read"),
              {{QStringLiteral("body"), QStringLiteral("fast")}})});

    // A slow read into the local buffer, a slow write, then a fast read to
    // the page: the latest transfer's kind and flags must not take over.
    m_bridge->SLOT_readBinaryFromRemote(serviceBase + QStringLiteral("/slow-read"),
                                        QStringLiteral("GET"), QStringLiteral("*/*"), true,
                                        QStringLiteral("true"));
    m_bridge->SLOT_writeBinary(serviceBase + QStringLiteral("/slow-write"), QStringLiteral("PUT"),
                               QStringLiteral("AAEC"), QStringLiteral("application/x-protobuf"),
                               QStringLiteral("*/*"));
    m_bridge->SLOT_readBinaryFromRemote(serviceBase + QStringLiteral("/fast-read"),
                                        QStringLiteral("GET"), QStringLiteral("*/*"), false,
                                        QStringLiteral("false"));
    ASSERT_TRUE(waitForCompletions(3));
    ConnectLib::Test::processFor(50);
    EXPECT_EQ(m_fail->count(), 0);
    ASSERT_EQ(m_written->count(), 1);
    EXPECT_EQ(m_written->first().at(0).toString(), QStringLiteral("written"));
    ASSERT_EQ(m_read->count(), 2);
    // The fast read with its text, the slow one into the buffer (in
    // whichever order they arrive).
    QStringList readData{m_read->at(0).at(0).toString(), m_read->at(1).at(0).toString()};
    readData.sort();
    EXPECT_EQ(readData, (QStringList{QString(), QStringLiteral("fast")}));
    m_bridge->SLOT_writeToLocal(QStringLiteral("/U/0/X.BPB"), QString(), QStringLiteral("true"),
                                true);
    ASSERT_FALSE(m_stub->calls().isEmpty());
    EXPECT_EQ(m_stub->calls().last().arguments.at(1).toByteArray(), slowBytes);
}

} // namespace
