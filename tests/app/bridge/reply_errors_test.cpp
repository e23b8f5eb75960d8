// The offline error dialog's decision, the error names and the reply log
// lines, as tables.
#include "app/bridge/reply_errors.h"
#include "app/bridge/reply_log.h"
#include "tests/support/param_name.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

using ConnectGlobals::ReplyErrorDecision;

const QString contentUrl = QStringLiteral("https://content.ravo.test/contentserver");
const char* const page = "https://content.ravo.test/contentserver/ui/index.html";
const char* const close = "errorDlgValues.buttons.syncagain=1;errorDlgValues.buttons.close=1;";
const char* const settings =
    "errorDlgValues.buttons.syncagain=1;errorDlgValues.buttons.networksettings=1;";

struct DecisionCase {
    int status;
    int error;
    const char* address;
    const char* textId;  // nullptr: quiet
    const char* buttons; // with textId
    const char* logLine; // "" when none
};

void PrintTo(const DecisionCase& c, std::ostream* os)
{
    *os << "status " << c.status << " error " << c.error << " " << c.address;
}

class ReplyErrorTable : public ::testing::TestWithParam<DecisionCase> {};

TEST_P(ReplyErrorTable, Decision)
{
    const DecisionCase& c = GetParam();
    const ReplyErrorDecision decision = ConnectGlobals::showReplyError(
        c.status, c.error, QString::fromLatin1(c.address), contentUrl);
    EXPECT_EQ(decision.logLine, QString::fromLatin1(c.logLine));
    if (!c.textId) {
        EXPECT_TRUE(decision.quiet);
        return;
    }
    EXPECT_FALSE(decision.quiet);
    EXPECT_EQ(decision.textId, QString::fromLatin1(c.textId));
    EXPECT_EQ(decision.buttons, QString::fromLatin1(c.buttons));
    EXPECT_EQ(decision.script, QStringLiteral("App.syncMain.errorCase();"));
}

const char* const noNetwork = "error_nonetworkconnection";
const char* const unlistedTwo = "No error defined for this code. req error: 2";

INSTANTIATE_TEST_SUITE_P(
    Exemptions, ReplyErrorTable,
    ::testing::Values(
        // Only content-server addresses open the dialog.
        DecisionCase{404, 203, "qrc:/resources/ui/index.html", nullptr, nullptr, ""},
        DecisionCase{500, 401, "https://content.ravo.test/v2/users", nullptr, nullptr, ""},
        DecisionCase{0, 3, "https://www.ravo.test/", nullptr, nullptr, ""},
        DecisionCase{302, 0, page, nullptr, nullptr, ""},
        DecisionCase{304, 0, page, nullptr, nullptr, ""},
        DecisionCase{200, 0, page, nullptr, nullptr, ""},
        DecisionCase{300, 0, page, nullptr, nullptr, ""},
        DecisionCase{0, 0, page, nullptr, nullptr, ""},
        DecisionCase{404, 203, "https://content.ravo.test/contentserver/img/a.png", nullptr,
                     nullptr, ""},
        DecisionCase{404, 203, "https://content.ravo.test/contentserver/img/a.jpg", nullptr,
                     nullptr, ""},
        DecisionCase{404, 203, "https://content.ravo.test/contentserver/img/a.gif", nullptr,
                     nullptr, ""},
        DecisionCase{404, 203, "https://content.ravo.test/contentserver/data.json", nullptr,
                     nullptr, ""},
        DecisionCase{404, 203, "https://content.ravo.test/contentserver/tr/translation_en", nullptr,
                     nullptr, ""},
        DecisionCase{0, 3, "https://content.ravo.test/contentserver/tr/translation_en", nullptr,
                     nullptr, ""},
        DecisionCase{503, 403, "https://content.ravo.test/contentserver/login/sso/x", nullptr,
                     nullptr, ""},
        DecisionCase{504, 499, "https://content.ravo.test/contentserver/login/sso/x", nullptr,
                     nullptr, ""},
        DecisionCase{0, 5, "https://content.ravo.test/contentserver/login/sso/x", nullptr, nullptr,
                     ""},
        // Not exempt: another status on the single sign-on path.
        DecisionCase{500, 401, "https://content.ravo.test/contentserver/login/sso/x",
                     "error_message_400", close, ""},
        // A lost connection on a picture is quiet, after the log line.
        DecisionCase{0, 2, "https://content.ravo.test/contentserver/img/a.png", nullptr, nullptr,
                     unlistedTwo}),
    zarvo::test::printed_name());

INSTANTIATE_TEST_SUITE_P(
    NetworkErrors, ReplyErrorTable,
    ::testing::Values(DecisionCase{0, 1, page, noNetwork, close, ""},
                      DecisionCase{0, 3, page, noNetwork, close, ""},
                      DecisionCase{0, 4, page, noNetwork, close, ""},
                      DecisionCase{0, 7, page, noNetwork, close, ""},
                      DecisionCase{0, 99, page, noNetwork, close, ""},
                      DecisionCase{0, 205, page, noNetwork, close, ""},
                      DecisionCase{0, 299, page, noNetwork, close, ""},
                      DecisionCase{0, 302, page, noNetwork, close, ""},
                      DecisionCase{0, 399, page, noNetwork, close, ""},
                      DecisionCase{0, 5, page, "error_message_503", close, ""},
                      DecisionCase{0, 6, page, "error_message_sslhandshakefailed", close, ""},
                      DecisionCase{0, 204, page, "error_message_sslhandshakefailed", close, ""},
                      DecisionCase{0, 101, page, "error_message_305", settings, ""},
                      DecisionCase{0, 102, page, "error_message_305", settings, ""},
                      DecisionCase{0, 103, page, "error_message_305", settings, ""},
                      DecisionCase{0, 104, page, "error_message_305", settings, ""},
                      DecisionCase{0, 199, page, "error_message_305", settings, ""},
                      DecisionCase{0, 105, page, "error_message_407", settings, ""},
                      DecisionCase{0, 201, page, "error_message_401", close, ""},
                      DecisionCase{0, 202, page, "error_message_401", close, ""},
                      DecisionCase{0, 203, page, "error_message_400", close, ""},
                      DecisionCase{0, 301, page, "error_message_400", close, ""},
                      DecisionCase{0, 2, page, "error_message_408", close, unlistedTwo}),
    zarvo::test::printed_name());

INSTANTIATE_TEST_SUITE_P(
    HttpStatuses, ReplyErrorTable,
    ::testing::Values(DecisionCase{305, 299, page, "error_message_305", settings, ""},
                      DecisionCase{400, 302, page, "error_message_400", close, ""},
                      DecisionCase{404, 203, page, "error_message_400", close, ""},
                      DecisionCase{500, 401, page, "error_message_400", close, ""},
                      DecisionCase{401, 204, page, "error_message_401", close, ""},
                      DecisionCase{407, 105, page, "error_message_407", settings, ""},
                      DecisionCase{407, 0, page, "error_message_407", settings, ""},
                      DecisionCase{408, 299, page, "error_message_408", close, ""},
                      DecisionCase{502, 499, page, noNetwork, close, ""},
                      DecisionCase{503, 403, page, "error_message_503", close, ""},
                      DecisionCase{504, 499, page, "error_message_504", close, ""},
                      DecisionCase{
                          418, 299, page, "error_message_408", close,
                          "No error defined for this code. req error: UnknownContentError"}),
    zarvo::test::printed_name());

// A reply that failed in transfer counts as status 0 with its error, whatever
// its headers said: a cut-off 200 never passes as a success.
INSTANTIATE_TEST_SUITE_P(
    TransportErrorsAfterHeaders, ReplyErrorTable,
    ::testing::Values(DecisionCase{200, 2, page, "error_message_408", close, unlistedTwo},
                      DecisionCase{200, 5, page, "error_message_503", close, ""},
                      DecisionCase{200, 399, page, noNetwork, close, ""},
                      DecisionCase{302, 1, page, noNetwork, close, ""}),
    zarvo::test::printed_name());

struct StatusCase {
    int status;
    int error;
    int judged;
};

TEST(JudgedStatus, TransportErrorsCountAsZeroHttpMirrorsKeepTheirStatus)
{
    const StatusCase cases[] = {{200, 0, 200},   {200, 2, 0},     {200, 5, 0},     {206, 99, 0},
                                {200, 101, 0},   {200, 301, 0},   {200, 6, 0},     {404, 203, 404},
                                {401, 204, 401}, {500, 401, 500}, {503, 403, 503}, {418, 299, 418},
                                {400, 302, 400}, {407, 105, 407}, {200, 302, 0},   {0, 105, 0},
                                {0, 0, 0}};
    for (const StatusCase& c : cases) {
        EXPECT_EQ(ConnectGlobals::judgedStatus(c.status, c.error), c.judged)
            << c.status << " " << c.error;
    }
}

TEST(NetworkErrorName, TheTwentyTwoNamesAndAnyOtherNumber)
{
    const std::pair<int, const char*> names[] = {
        {1, "ConnectionRefusedError"},
        {3, "HostNotFoundError"},
        {4, "TimeoutError"},
        {5, "OperationCanceledError"},
        {6, "SslHandshakeFailedError"},
        {7, "TemporaryNetworkFailureError"},
        {99, "UnknownNetworkError"},
        {101, "ProxyConnectionRefusedError"},
        {102, "ProxyConnectionClosedError"},
        {103, "ProxyNotFoundError"},
        {104, "ProxyTimeoutError"},
        {105, "ProxyAuthenticationRequiredError"},
        {199, "UnknownProxyError"},
        {201, "ContentAccessDenied"},
        {202, "ContentOperationNotPermittedError"},
        {203, "ContentNotFoundError"},
        {204, "AuthenticationRequiredError"},
        {205, "ContentReSendError"},
        {299, "UnknownContentError"},
        {301, "ProtocolUnknownError"},
        {302, "ProtocolInvalidOperationError"},
        {399, "ProtocolFailure"},
    };
    for (const auto& [code, name] : names)
        EXPECT_EQ(ConnectGlobals::networkErrorName(code), QString::fromLatin1(name)) << code;
    EXPECT_EQ(ConnectGlobals::networkErrorName(2), QStringLiteral("2"));
    EXPECT_EQ(ConnectGlobals::networkErrorName(0), QStringLiteral("0"));
}

TEST(ReplyLogLine, FormatRedirectAndQuietAddresses)
{
    const QUrl address(QStringLiteral("https://content.ravo.test/v2/users?x=1"));
    EXPECT_EQ(ConnectGlobals::replyLogLine(address, 404, QStringLiteral("Not Found"), 203, QUrl()),
              QStringLiteral("Reply: /v2/users, status: 404, reason: Not Found, "
                             "ContentNotFoundError"));
    EXPECT_EQ(ConnectGlobals::replyLogLine(address, 302, QStringLiteral("Found"), 0,
                                           QUrl(QStringLiteral("https://www.ravo.test/a"))),
              QStringLiteral("Reply: /v2/users, status: 302, reason: Found, 0, redirected to: "
                             "https://www.ravo.test/a"));
    EXPECT_EQ(ConnectGlobals::replyLogLine(address, 301, QStringLiteral("Moved"), 0,
                                           QUrl(QStringLiteral("https://www.ravo.test/a"))),
              QStringLiteral("Reply: /v2/users, status: 301, reason: Moved, 0"));
    EXPECT_TRUE(
        ConnectGlobals::replyLogLine(address, 200, QStringLiteral("OK"), 0, QUrl()).isEmpty());
    for (const char* quiet :
         {"qrc:/resources/ui/index.html", "https://content.ravo.test/a.png",
          "https://content.ravo.test/a.jpg", "https://content.ravo.test/a.gif",
          "https://content.ravo.test/a.json", "https://content.ravo.test/tr/translation_de"}) {
        EXPECT_TRUE(ConnectGlobals::replyLogLine(QUrl(QString::fromLatin1(quiet)), 404,
                                                 QStringLiteral("Not Found"), 203, QUrl())
                        .isEmpty())
            << quiet;
    }
}

TEST(ReplyContentLogLine, ControlCharactersRemovedAndCutTo150)
{
    const QString address = QStringLiteral("https://content.ravo.test/v2/users");
    QByteArray body("a\tb\r\nc");
    body.append('\0');
    body.append(QByteArray(200, 'x'));
    const QString expected =
        QStringLiteral("Content:\n abc") + QString(147, QLatin1Char('x')) + QStringLiteral("...");
    EXPECT_EQ(ConnectGlobals::replyContentLogLine(address, body, 404, false), expected);
    // Forced by an error below 300; nothing for a success or an empty text.
    EXPECT_EQ(ConnectGlobals::replyContentLogLine(address, "short", 0, true),
              QStringLiteral("Content:\n short..."));
    EXPECT_TRUE(ConnectGlobals::replyContentLogLine(address, "short", 200, false).isEmpty());
    EXPECT_TRUE(ConnectGlobals::replyContentLogLine(address, "\r\n\t", 500, false).isEmpty());
    EXPECT_TRUE(ConnectGlobals::replyContentLogLine(
                    QStringLiteral("https://content.ravo.test/a.json"), "short", 500, true)
                    .isEmpty());
}

} // namespace
