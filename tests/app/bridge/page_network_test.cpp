// The page manager's replies: the offline dialog for content pages, pages
// with pictures and requests left to the engine, TLS trust and redirects.
#include "tests/app/bridge/web_fixture.h"
#include "tests/connectlib/support/ktlib_test_support.h"
#include "tests/support/param_name.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QWebElement>

namespace {

using RavoSync::Test::contentBase;
using RavoSync::Test::FakeRequest;
using RavoSync::Test::FakeWeb;
using RavoSync::Test::WebBridgeTest;

class PageNetwork : public WebBridgeTest {};

TEST_F(PageNetwork, AMissingContentPageOpensTheOfflineDialog)
{
    m_web->setRoutes({rule(QStringLiteral("/contentserver/test/missing.html"),
                           {{QStringLiteral("status"), 404},
                            {QStringLiteral("body"), QStringLiteral("no such page")}})});
    m_stub->clearCalls();
    m_bridge->SLOT_startByLoading(QStringLiteral("test/missing.html"));
    ASSERT_TRUE(ConnectLib::Test::processUntil([&] { return m_dialog->count() > 0; }));
    const QList<QVariant> dialog = m_dialog->first();
    EXPECT_EQ(dialog.at(0).toString(), QStringLiteral("ui/progress.html"));
    EXPECT_EQ(dialog.at(1).toStringList(), QStringList{QStringLiteral("error_message_400")});
    EXPECT_EQ(dialog.at(2).toString(),
              QStringLiteral("errorDlgValues.buttons.syncagain=1;errorDlgValues.buttons.close=1;"));
    EXPECT_EQ(dialog.at(3).toString(), QStringLiteral("App.syncMain.errorCase();"));
    EXPECT_EQ(m_bridge->SLOT_getVariable(QStringLiteral("replyurl")),
              contentBase + QStringLiteral("/test/missing.html"));
    EXPECT_TRUE(m_log.contains(
        QStringLiteral("Reply: /contentserver/test/missing.html, status: 404, reason: Not Found, "
                       "ContentNotFoundError")));
}

// A reply aborted before it answered is closed and has no body: the bridge
// looks at it without a complaint from Qt.
TEST_F(PageNetwork, AnAbortedReplyIsLookedAtQuietly)
{
    m_web->setRoutes({rule(QStringLiteral("/contentserver/test/hanging.html"),
                           {{QStringLiteral("hang"), true}})});
    ConnectLib::Test::MessageCapture messages;
    QNetworkAccessManager* manager = m_bridge->webView()->page()->networkAccessManager();
    QNetworkReply* reply =
        manager->get(QNetworkRequest(QUrl(contentBase + QStringLiteral("/test/hanging.html"))));
    ASSERT_TRUE(m_web->waitForRequest(
        [](const FakeRequest& request) { return request.path.endsWith("/test/hanging.html"); }));
    reply->abort();
    ASSERT_TRUE(ConnectLib::Test::processUntil([&] {
        return m_log.contains(QStringLiteral("Reply: /contentserver/test/hanging.html"));
    })) << m_log.lines().join(QLatin1Char('\n')).toStdString();
    for (const auto& message : messages.messages())
        EXPECT_FALSE(message.text.contains(QLatin1String("QIODevice")))
            << message.text.toStdString();
    reply->deleteLater();
}

TEST_F(PageNetwork, APageWithPicturesAndARequestRendersWhole)
{
    // replyurl names each reply as it completes, for the endpoints' filter.
    QStringList mismatches;
    QNetworkAccessManager* manager = m_bridge->webView()->page()->networkAccessManager();
    int replies = 0;
    QObject::connect(
        manager, &QNetworkAccessManager::finished, m_bridge.get(), [&](QNetworkReply* reply) {
            ++replies;
            const QString replyUrl = m_bridge->SLOT_getVariable(QStringLiteral("replyurl"));
            if (replyUrl != reply->url().toString())
                mismatches.append(reply->url().toString());
        });
    m_bridge->SLOT_startByLoading(QStringLiteral("test/pictures.html"));
    ASSERT_TRUE(RavoSync::Test::waitForJs(
        frame(), QStringLiteral("window.requestDone === true && document.images.length === 3 && "
                                "Array.prototype.every.call(document.images, function (i) {"
                                " return i.complete && i.naturalWidth > 0; })")));
    EXPECT_EQ(js(QStringLiteral("window.requestText")).toString(),
              QStringLiteral("{\"items\":[1,2,3],\"name\":\"pictures\"}\n"));
    EXPECT_GE(replies, 5);
    EXPECT_TRUE(mismatches.isEmpty()) << mismatches.join(QLatin1Char(' ')).toStdString();
    EXPECT_FALSE(m_log.contains(QStringLiteral("abort reply")));
    EXPECT_EQ(m_dialog->count(), 0);
    EXPECT_EQ(js(QStringLiteral("typeof JSObject")).toString(), QStringLiteral("object"));
}

// A page request cancelled while the bridge loads another page (the engine
// drops the old page's requests) opens no dialog over the new page; one the
// page cancels itself still counts as a failed content request.
TEST_F(PageNetwork, ARequestCancelledByTheNextPageLoadOpensNoDialog)
{
    struct Row {
        const char* name;
        bool loadAnotherPage;
        int dialogs;
    };
    const Row rows[] = {{"replaced by the next page", true, 0},
                        {"cancelled by the page", false, 1}};
    m_web->setRoutes(
        {rule(QStringLiteral("/contentserver/test/slow.js"), {{QStringLiteral("hang"), true}})});
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        m_dialog->clear();
        QSignalSpy finished(m_bridge->webView(), &QWebView::loadFinished);
        m_bridge->SLOT_startByLoading(QStringLiteral("test/plain.html"));
        ASSERT_TRUE(ConnectLib::Test::processUntil([&] { return finished.count() > 0; }));
        const int asked = m_web->requests().size();
        js(QStringLiteral("window.slow = new XMLHttpRequest();"
                          "window.slow.open('GET', '/contentserver/test/slow.js');"
                          "window.slow.send();"));
        ASSERT_TRUE(m_web->waitForRequest([&](const FakeRequest& request) {
            return request.path == QStringLiteral("/contentserver/test/slow.js") &&
                   m_web->requests().size() > asked;
        }));
        finished.clear();
        if (row.loadAnotherPage) {
            m_bridge->SLOT_startByLoading(QStringLiteral("test/plain.html"));
            ASSERT_TRUE(ConnectLib::Test::processUntil([&] { return finished.count() > 0; }));
        } else {
            js(QStringLiteral("window.slow.abort();"));
        }
        ASSERT_TRUE(ConnectLib::Test::processUntil([&] {
            return m_log.contains(QStringLiteral("Reply: /contentserver/test/slow.js, status: 0"));
        }));
        ConnectLib::Test::processFor(200);
        EXPECT_EQ(m_dialog->count(), row.dialogs);
        m_log.clear();
    }
}

// A request of the replaced page whose failure is already on its way when
// the next page load cancels it (a picture the content server lacks, as
// the device list shows one for a device that then takes the window over):
// its error is set once, by the cancel.
TEST_F(PageNetwork, AFailureArrivingAfterTheNextPageLoadCancelledItIsNotSetAgain)
{
    m_web->setRoutes(
        {rule(QStringLiteral("/contentserver/test/missing.png"),
              {{QStringLiteral("status"), 404}, {QStringLiteral("body"), QString()}})});
    QSignalSpy finished(m_bridge->webView(), &QWebView::loadFinished);
    m_bridge->SLOT_startByLoading(QStringLiteral("test/plain.html"));
    ASSERT_TRUE(ConnectLib::Test::processUntil([&] { return finished.count() > 0; }));
    finished.clear();
    ConnectLib::Test::MessageCapture messages;
    js(QStringLiteral("window.missing = new XMLHttpRequest();"
                      "window.missing.open('GET', '/contentserver/test/missing.png');"
                      "window.missing.send();"));
    QNetworkAccessManager* manager = m_bridge->webView()->page()->networkAccessManager();
    QPointer<QNetworkReply> reply;
    for (QNetworkReply* child :
         manager->findChildren<QNetworkReply*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (child->isRunning() &&
            child->url().path() == QLatin1String("/contentserver/test/missing.png"))
            reply = child;
    }
    ASSERT_TRUE(reply);
    // The next page loads as the answer's headers are delivered: the rest of
    // the answer, the failure with it, is still queued for the reply.
    bool replaced = false;
    QObject::connect(reply, &QNetworkReply::metaDataChanged, m_bridge.get(), [&] {
        if (replaced)
            return;
        replaced = true;
        m_bridge->SLOT_startByLoading(QStringLiteral("test/plain.html"));
    });
    ASSERT_TRUE(ConnectLib::Test::processUntil([&] { return finished.count() > 0 && !reply; }));
    EXPECT_TRUE(replaced);
    // Calls queued for the reply before the cancel come before its deletion.
    for (const auto& message : messages.messages())
        EXPECT_FALSE(message.text.contains(QLatin1String("must only be called once")))
            << message.text.toStdString();
    EXPECT_EQ(m_dialog->count(), 0);
}

// The replaced page was itself still loading: its load ends failed while the
// next one runs, and its requests cancelled after that open no dialog either.
TEST_F(PageNetwork, APageReplacedWhileStillLoadingOpensNoDialog)
{
    QJsonArray hanging;
    for (const char* path : {"/contentserver/img/ravosync.png", "/contentserver/test/slow*"})
        hanging.append(rule(QString::fromLatin1(path), {{QStringLiteral("hang"), true}}));
    m_web->setRoutes(hanging);
    QSignalSpy finished(m_bridge->webView(), &QWebView::loadFinished);
    m_bridge->SLOT_startByLoading(QStringLiteral("test/pictures.html"));
    ASSERT_TRUE(m_web->waitForRequest([](const FakeRequest& request) {
        return request.path == QStringLiteral("/contentserver/img/ravosync.png");
    }));
    // Requests of the page's own, sent while its load still runs.
    js(QStringLiteral("window.slow = [1, 2, 3].map(function (n) {"
                      "  var x = new XMLHttpRequest();"
                      "  x.open('GET', '/contentserver/test/slow' + n + '.js'); x.send();"
                      "  return x; });"));
    ASSERT_TRUE(m_web->waitForRequest([](const FakeRequest& request) {
        return request.path == QStringLiteral("/contentserver/test/slow3.js");
    }));
    EXPECT_EQ(finished.count(), 0);
    m_bridge->SLOT_startByLoading(QStringLiteral("test/plain.html"));
    ASSERT_TRUE(ConnectLib::Test::processUntil(
        [&] { return finished.count() > 0 && finished.last().at(0).toBool(); }));
    ConnectLib::Test::processFor(300);
    EXPECT_TRUE(m_log.contains(QStringLiteral("Reply: /contentserver/test/slow3.js, status: 0")));
    EXPECT_EQ(m_dialog->count(), 0);
}

// While the bridge loads the next page, the page still shown (a device list
// still starting, say) asks for no device: the answer would hand the device
// to this window again and restart the load. The next page may ask.
TEST_F(PageNetwork, APageBeingReplacedStartsNoDeviceRequest)
{
    m_web->setRoutes({rule(QStringLiteral("/contentserver/test/hanging.html"),
                           {{QStringLiteral("hang"), true}})});
    const QString ask =
        QStringLiteral("JSObject.SLOT_reannounceTCs(); JSObject.SLOT_startSyncWithDevice('7');");
    QSignalSpy finished(m_bridge->webView(), &QWebView::loadFinished);
    m_bridge->SLOT_startByLoading(QStringLiteral("test/plain.html"));
    ASSERT_TRUE(ConnectLib::Test::processUntil([&] { return finished.count() > 0; }));
    m_stub->clearCalls();
    js(ask);
    EXPECT_EQ(m_stub->callNames(), (QStringList{QStringLiteral("requestAvailableTCs"),
                                                QStringLiteral("startSyncWithDevice")}));

    m_stub->clearCalls();
    m_bridge->SLOT_startByLoading(QStringLiteral("test/hanging.html"));
    ASSERT_TRUE(m_web->waitForRequest(
        [](const FakeRequest& request) { return request.path.endsWith("/test/hanging.html"); }));
    js(ask);
    EXPECT_TRUE(m_stub->callNames().isEmpty()) << m_stub->callNames().join(' ').toStdString();
    EXPECT_TRUE(m_log.contains(
        QStringLiteral("Attached devices not asked for: the page is being replaced or closed.")));
}

TEST_F(PageNetwork, AContentPageRedirectedElsewhereIsNotShown)
{
    m_web->setRoutes(
        {rule(QStringLiteral("/contentserver/test/away.html"),
              {{QStringLiteral("redirect"),
                QStringLiteral("https://www.other.test/contentserver/test/plain.html")}})});
    QSignalSpy finished(m_bridge->webView(), &QWebView::loadFinished);
    m_bridge->SLOT_startByLoading(QStringLiteral("test/away.html"));
    ASSERT_TRUE(ConnectLib::Test::processUntil([&] { return finished.count() > 0; }));
    ConnectLib::Test::processFor(200);
    EXPECT_NE(frame()->url().host(), QStringLiteral("www.other.test"));
    EXPECT_NE(frame()->findFirstElement(QStringLiteral("#text")).toPlainText(),
              QStringLiteral("served by the content server"));
    for (const FakeRequest& request : m_web->requests())
        EXPECT_NE(request.host, QStringLiteral("www.other.test"));
    EXPECT_TRUE(m_log.contains(QStringLiteral("redirected to: https://www.other.test/")));
}

TEST_F(PageNetwork, AnUntrustedHostFailsEvenWhenCfurlNamesIt)
{
    m_bridge->SLOT_saveVariable(QStringLiteral("cfurl"),
                                QStringLiteral("https://untrusted.ravo.test/cdn"));
    m_bridge->SLOT_readBinaryFromRemote(QStringLiteral("https://untrusted.ravo.test/cdn/a.bin"),
                                        QStringLiteral("GET"), QStringLiteral("*/*"));
    ASSERT_TRUE(waitForCompletions(1));
    EXPECT_EQ(m_read->count(), 0);
    ASSERT_EQ(m_fail->count(), 1);
    EXPECT_EQ(m_fail->first().at(1).toString(), QStringLiteral("0"));
    EXPECT_TRUE(m_log.contains(QStringLiteral("TLS error from untrusted.ravo.test: ")));
    for (const FakeRequest& request : m_web->requests())
        EXPECT_NE(request.host, QStringLiteral("untrusted.ravo.test"));
}

// A window closing with a content request in flight: the engine cancels the
// request as the view goes, and no offline dialog opens in the window being
// deleted.
enum class Closing { Close, Quit, Destroy };

class ClosingPageNetwork : public WebBridgeTest, public ::testing::WithParamInterface<Closing> {};

TEST_P(ClosingPageNetwork, ARequestInFlightOpensNoDialog)
{
    m_web->setRoutes(
        {rule(QStringLiteral("/contentserver/test/slow.js"), {{QStringLiteral("hang"), true}})});
    QSignalSpy finished(m_bridge->webView(), &QWebView::loadFinished);
    m_bridge->SLOT_startByLoading(QStringLiteral("test/plain.html"));
    ASSERT_TRUE(ConnectLib::Test::processUntil([&] { return finished.count() > 0; }));
    js(QStringLiteral("window.slow = new XMLHttpRequest();"
                      "window.slow.open('GET', '/contentserver/test/slow.js');"
                      "window.slow.send();"));
    ASSERT_TRUE(m_web->waitForRequest([](const FakeRequest& request) {
        return request.path == QStringLiteral("/contentserver/test/slow.js");
    }));
    // Counted past the bridge's own end.
    int dialogs = 0;
    QObject::connect(m_bridge->requests(), &BridgeRequests::SIGNAL_showOfflineDialog,
                     [&dialogs] { ++dialogs; });
    switch (GetParam()) {
    case Closing::Close:
        m_bridge->SLOT_close();
        break;
    case Closing::Quit:
        m_bridge->SLOT_quit();
        break;
    case Closing::Destroy:
        m_stub.reset();
        m_bridge.reset();
        break;
    }
    // The view goes when the event dispatch is back, as in the program.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(ConnectLib::Test::processUntil([&] {
        return m_log.contains(QStringLiteral("Reply: /contentserver/test/slow.js, status: 0"));
    }));
    ConnectLib::Test::processFor(200);
    EXPECT_EQ(dialogs, 0);
}

INSTANTIATE_TEST_SUITE_P(Table, ClosingPageNetwork,
                         ::testing::Values(Closing::Close, Closing::Quit, Closing::Destroy),
                         [](const auto& info) {
                             return std::string(info.param == Closing::Close  ? "Close"
                                                : info.param == Closing::Quit ? "Quit"
                                                                              : "Destroy");
                         });

// A page request that carries its own credentials (the application key in
// Authorization) and is redirected: the credentials reach only the origin
// the page asked, even when the other origin accepts the cross-origin check.
struct RedirectCase {
    const char* name;
    const char* target; // the redirect's Location
    bool sameOrigin;
};

void PrintTo(const RedirectCase& c, std::ostream* os)
{
    *os << c.name;
}

class CredentialRedirects : public WebBridgeTest,
                            public ::testing::WithParamInterface<RedirectCase> {};

TEST_P(CredentialRedirects, KeepTheHeaderOnItsOrigin)
{
    const RedirectCase& c = GetParam();
    const QUrl target(QString::fromLatin1(c.target));
    const QJsonObject allow{
        {QStringLiteral("Access-Control-Allow-Origin"),
         QStringLiteral("https://content.ravo.test")},
        {QStringLiteral("Access-Control-Allow-Headers"), QStringLiteral("Authorization")},
        {QStringLiteral("Access-Control-Allow-Methods"), QStringLiteral("GET")}};
    QJsonObject moved =
        rule(QStringLiteral("/v2/moved"), {{QStringLiteral("redirect"), target.toString()},
                                           {QStringLiteral("status"), 307},
                                           {QStringLiteral("once"), true}});
    moved.insert(QStringLiteral("host"), QStringLiteral("content.ravo.test"));
    m_web->setRoutes(
        {moved,
         rule(QStringLiteral("/v2/landing"), {{QStringLiteral("method"), QStringLiteral("OPTIONS")},
                                              {QStringLiteral("headers"), allow}}),
         rule(QStringLiteral("/v2/landing"),
              {{QStringLiteral("headers"), allow},
               {QStringLiteral("body"), QStringLiteral("landed")}})});
    QSignalSpy finished(m_bridge->webView(), &QWebView::loadFinished);
    m_bridge->SLOT_startByLoading(QStringLiteral("test/plain.html"));
    ASSERT_TRUE(ConnectLib::Test::processUntil([&] { return finished.count() > 0; }));
    js(QStringLiteral("window.done = false; var x = new XMLHttpRequest();"
                      "x.onloadend = function () { window.status = x.status; window.done = true; };"
                      "x.open('GET', 'https://content.ravo.test/v2/moved');"
                      "x.setRequestHeader('Authorization', 'Basic YXBwOmtleQ==');"
                      "x.send();"));
    ASSERT_TRUE(RavoSync::Test::waitForJs(frame(), QStringLiteral("window.done === true")));
    ConnectLib::Test::processFor(100);

    bool landed = false;
    for (const FakeRequest& request : m_web->requests()) {
        if (request.path != QStringLiteral("/v2/landing") ||
            request.method != QStringLiteral("GET"))
            continue;
        landed = true;
        EXPECT_EQ(request.hasHeader(QStringLiteral("Authorization")), c.sameOrigin)
            << request.host.toStdString();
    }
    if (c.sameOrigin) {
        EXPECT_TRUE(landed);
        EXPECT_EQ(js(QStringLiteral("window.status")).toInt(), 200);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, CredentialRedirects,
    ::testing::Values(RedirectCase{"OtherHost", "https://www.other.test/v2/landing", false},
                      RedirectCase{"OtherPort", "https://content.ravo.test:4443/v2/landing", false},
                      RedirectCase{"PlainHttp", "http://content.ravo.test/v2/landing", false},
                      RedirectCase{"SameOrigin", "https://content.ravo.test/v2/landing", true}),
    [](const ::testing::TestParamInfo<RedirectCase>& info) { return info.param.name; });

class UntrustedPageNetwork : public WebBridgeTest {
protected:
    FakeWeb::Trust trust() const override { return FakeWeb::Trust::Untrusted; }
};

TEST_F(UntrustedPageNetwork, WithoutTheTestCaTheContentPageFailsWithALoggedTlsError)
{
    QSignalSpy finished(m_bridge->webView(), &QWebView::loadFinished);
    m_bridge->SLOT_startByLoading(QStringLiteral("test/plain.html"));
    ASSERT_TRUE(ConnectLib::Test::processUntil([&] { return finished.count() > 0; }));
    EXPECT_FALSE(finished.first().at(0).toBool());
    EXPECT_TRUE(m_log.contains(QStringLiteral("TLS error from content.ravo.test: ")));
    ASSERT_TRUE(ConnectLib::Test::processUntil([&] { return m_dialog->count() > 0; }));
    EXPECT_EQ(m_dialog->first().at(1).toStringList(),
              QStringList{QStringLiteral("error_message_sslhandshakefailed")});
    for (const FakeRequest& request : m_web->requests())
        EXPECT_NE(request.path, QStringLiteral("/contentserver/test/plain.html"));
}

} // namespace
