#include "app/platform/systemhooks.h"
#include "app/windows/web_view.h"
#include "tests/app/support/url_handlers.h"
#include "tests/app/support/web_wait.h"
#include "tests/connectlib/support/log_lines.h"
#include "tests/support/param_name.h"

#include <QWebFrame>
#include <gtest/gtest.h>

namespace {

using ConnectLayout::WebView;
using ConnectLib::Test::LogLines;
using RavoSync::Test::clearRecordedUrls;
using RavoSync::Test::evalJs;
using RavoSync::Test::loadAndWait;
using RavoSync::Test::recordedUrls;
using RavoSync::Test::waitForJs;

const QUrl mainPage(QStringLiteral("qrc:/fixtures/main.html"));

class Navigation : public ::testing::Test {
protected:
    void SetUp() override
    {
        clearRecordedUrls();
        ASSERT_TRUE(loadAndWait(&m_view, mainPage));
    }
    QWebFrame* frame() { return m_view.page()->mainFrame(); }
    // Still the main page, with its document intact.
    bool onMainPage()
    {
        return m_view.url() == mainPage &&
               evalJs(frame(), QStringLiteral("document.getElementById('clicked') !== null"))
                   .toBool();
    }

    WebView m_view;
    LogLines m_log;
};

TEST_F(Navigation, ScriptCannotSendTheMainFrameElsewhere)
{
    evalJs(frame(), QStringLiteral("window.location.href = 'https://elsewhere.example/x';"));
    ASSERT_TRUE(m_log.waitFor(
        QStringLiteral("Navigation refused to untrusted address: https://elsewhere.example/x")));
    EXPECT_TRUE(onMainPage());
}

TEST_F(Navigation, ScriptCannotLoadADataDocument)
{
    evalJs(frame(), QStringLiteral("window.location.href = 'data:text/html,<p>x</p>';"));
    ASSERT_TRUE(m_log.waitFor(QStringLiteral("Navigation refused to untrusted address: data:")));
    EXPECT_TRUE(onMainPage());
}

TEST_F(Navigation, LoadOfAnotherOriginIsRefused)
{
    m_view.load(QUrl(QStringLiteral("https://content.ravo.test:8443/ui/index.html")));
    ASSERT_TRUE(m_log.waitFor(QStringLiteral(
        "Navigation refused to untrusted address: https://content.ravo.test:8443/ui/index.html")));
    EXPECT_TRUE(onMainPage());
}

// The bridge's empty start document is set without an address: not a
// navigation, so never refused.
TEST_F(Navigation, DocumentsWithoutAnAddressAreNotRefused)
{
    m_view.setHtml(QStringLiteral("<p id=\"marker\">html</p>"));
    ASSERT_TRUE(waitForJs(frame(), QStringLiteral("document.getElementById('marker') !== null")));
    m_view.setContent(
        QByteArrayLiteral("<html><head></head><body><p id=\"content\"></p></body></html>"),
        QStringLiteral("text/html"));
    ASSERT_TRUE(waitForJs(frame(), QStringLiteral("document.getElementById('content') !== null")));
    EXPECT_FALSE(m_log.contains(QStringLiteral("Navigation refused")));
}

TEST_F(Navigation, TrustedLinkLoadsInTheView)
{
    evalJs(frame(), QStringLiteral("document.getElementById('trusted').click();"));
    ASSERT_TRUE(waitForJs(frame(), QStringLiteral("document.getElementById('target') !== null")));
    EXPECT_EQ(m_view.url(), QUrl(QStringLiteral("qrc:/fixtures/target.html")));
    EXPECT_TRUE(recordedUrls().isEmpty());
}

struct OutsideCase {
    const char* id;
    const char* opened; // nullptr: nothing opened, the link is dropped
};

void PrintTo(const OutsideCase& c, std::ostream* os)
{
    *os << c.id;
}

class OutsideLinks : public Navigation, public ::testing::WithParamInterface<OutsideCase> {};

TEST_P(OutsideLinks, GoToTheDesktopOrNowhereAndTheViewStays)
{
    evalJs(
        frame(),
        QStringLiteral("document.getElementById('%1').click();").arg(QLatin1String(GetParam().id)));
    if (GetParam().opened) {
        ASSERT_TRUE(ConnectLib::Test::processUntil([] { return !recordedUrls().isEmpty(); }));
        EXPECT_EQ(recordedUrls(), QList<QUrl>{QUrl(QString::fromLatin1(GetParam().opened))});
    } else {
        ASSERT_TRUE(m_log.waitFor(QStringLiteral("Link dropped: ")));
        EXPECT_TRUE(recordedUrls().isEmpty());
    }
    EXPECT_TRUE(onMainPage());
}

INSTANTIATE_TEST_SUITE_P(
    Table, OutsideLinks,
    ::testing::Values(OutsideCase{"elsewhere", "https://elsewhere.example/page"},
                      OutsideCase{"mail", "mailto:someone@example.org"},
                      OutsideCase{"file", nullptr}, OutsideCase{"script", nullptr}),
    zarvo::test::printed_name());

// Links leave through the program's desktop opener, which tests replace.
TEST_F(Navigation, OutsideLinksGoThroughTheDesktopOpener)
{
    QList<QUrl> opened;
    SystemHooks::setOpenUrl([&opened](const QUrl& url) {
        opened.append(url);
        return true;
    });
    evalJs(frame(), QStringLiteral("document.getElementById('elsewhere').click();"));
    const bool arrived = ConnectLib::Test::processUntil([&opened] { return !opened.isEmpty(); });
    SystemHooks::setOpenUrl(nullptr);
    ASSERT_TRUE(arrived);
    EXPECT_EQ(opened, QList<QUrl>{QUrl(QStringLiteral("https://elsewhere.example/page"))});
    EXPECT_TRUE(recordedUrls().isEmpty());
}

} // namespace
