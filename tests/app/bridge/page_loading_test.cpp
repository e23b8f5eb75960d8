// Loading pages: dialog kinds, addresses, the proxy line, the page timer and
// the waiting animation.
#include "tests/app/bridge/bridge_fixture.h"

#include "app/animation/kantrel_movie.h"
#include "app/windows/viewer.h"
#include "connectlib/common/common.h"
#include "tests/support/param_name.h"

#include <QLabel>
#include <QTimer>

namespace {

using ConnectGlobals::SyncState;
using RavoSync::Test::BridgeTest;
using RavoSync::Test::stubPage;
using RavoSync::Test::waitForJs;

struct LoadCase {
    const char* page;
    const char* deviceId;
    SyncState::DialogState state;
    bool online;
};

void PrintTo(const LoadCase& c, std::ostream* os)
{
    *os << c.page << " device '" << c.deviceId << "'";
}

class PageLoading : public BridgeTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(PageLoading, DialogKindAddressAndProxyLine)
{
    const QString page = QString::fromLatin1(GetParam().page);
    m_bridge->SLOT_saveVariable(QStringLiteral("tcdeviceid"),
                                QString::fromLatin1(GetParam().deviceId));
    m_bridge->SLOT_startByLoading(page);

    EXPECT_EQ(m_bridge->SLOT_isOfflineDialog(), GetParam().state == SyncState::OfflineDialog);
    EXPECT_EQ(m_bridge->SLOT_isDeviceListDialog(), GetParam().state == SyncState::DeviceListDialog);
    EXPECT_TRUE(m_bridge->pageTimerRunning());
    if (GetParam().online) {
        const QString address = ConnectLib::Common::getSettingsValue(QStringLiteral("contenturl")) +
                                QStringLiteral("/ui/index.html");
        EXPECT_EQ(frame()->requestedUrl(), QUrl(address));
        EXPECT_TRUE(m_log.contains(QStringLiteral("With proxy: ")));
        EXPECT_TRUE(m_log.contains(QStringLiteral(":0/ui/index.html")));
        EXPECT_TRUE(m_log.contains(QStringLiteral("Start loading dialog...")));
    } else {
        // The page's relative script ran.
        ASSERT_TRUE(waitForJs(frame(), QStringLiteral("typeof Stub !== 'undefined' && "
                                                      "Stub.scriptLoaded === true")));
        EXPECT_EQ(m_bridge->webView()->url(), QUrl(page));
        EXPECT_FALSE(m_log.contains(QStringLiteral("With proxy: ")));
    }
    // The window is shown before the page arrives.
    EXPECT_EQ(m_stub->viewer()->mainView(), m_bridge->webView());
}

INSTANTIATE_TEST_SUITE_P(
    Table, PageLoading,
    ::testing::Values(LoadCase{"ui/index.html", "ABCD1234", SyncState::SyncDialog, true},
                      LoadCase{"ui/index.html", "", SyncState::DeviceListDialog, true},
                      LoadCase{"qrc:/resources/test/ui/index.html", "ABCD1234",
                               SyncState::OfflineDialog, false}),
    zarvo::test::printed_name());

class PageLoad : public BridgeTest {};

TEST_F(PageLoad, WithoutAViewOnlyTheErrorIsLogged)
{
    delete m_bridge->webView();
    m_log.clear();
    m_bridge->SLOT_startByLoading(stubPage);
    EXPECT_EQ(m_log.errors(), QStringList{QStringLiteral("WebView was null")});
    EXPECT_FALSE(m_bridge->pageTimerRunning());
}

TEST_F(PageLoad, TheLastLoadGivesTheOfflineDialogData)
{
    m_bridge->SLOT_startByLoading(stubPage, QStringLiteral("ui/progress.html"),
                                  QStringList{QStringLiteral("error_message_408")},
                                  QStringLiteral("buttons();"), QStringLiteral("extra();"));
    EXPECT_EQ(m_bridge->SLOT_offlineFileName(), QStringLiteral("ui/progress.html"));
    EXPECT_EQ(m_bridge->SLOT_contentTextIds(), QStringList{QStringLiteral("error_message_408")});
    EXPECT_EQ(m_bridge->SLOT_dialogButtons(), QStringLiteral("buttons();"));
    EXPECT_EQ(m_bridge->SLOT_executeScript(), QStringLiteral("extra();"));
    m_bridge->SLOT_startByLoading(stubPage, QStringLiteral("other.html"));
    EXPECT_EQ(m_bridge->SLOT_offlineFileName(), QStringLiteral("other.html"));
    EXPECT_TRUE(m_bridge->SLOT_contentTextIds().isEmpty());
    EXPECT_TRUE(m_bridge->SLOT_dialogButtons().isEmpty());
    EXPECT_TRUE(m_bridge->SLOT_executeScript().isEmpty());
}

TEST_F(PageLoad, PageTimerStopSlotsStopIt)
{
    for (const char* script : {"JSObject.SLOT_stopReqTimer();", "JSObject.SLOT_stopWebReqTimer(7);",
                               "JSObject.SLOT_webTimerEvent();"}) {
        loadStubPage();
        ASSERT_TRUE(m_bridge->pageTimerRunning());
        js(QString::fromLatin1(script));
        EXPECT_FALSE(m_bridge->pageTimerRunning()) << script;
    }
}

class WaitingAnimation : public BridgeTest {
protected:
    KantrelMovie* movie() { return m_bridge->webView()->findChild<KantrelMovie*>(); }
    bool animating() { return movie() && movie()->timer() && movie()->timer()->isActive(); }
};

TEST_F(WaitingAnimation, OnlyTheFirstIndexLoadIntoTheEmptyViewStartsIt)
{
    m_bridge->SLOT_startByLoading(stubPage);
    ASSERT_TRUE(animating());
    ConnectLayout::WebView* view = m_bridge->webView();
    const QList<QLabel*> labels =
        view->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_GE(labels.size(), 2);
    bool logo = false;
    bool waiting = false;
    for (QLabel* label : labels) {
        logo = logo || label->size() == QSize(view->width(), int(view->height() / 1.8));
        waiting = waiting || label->size() == QSize(view->width(), 80);
    }
    EXPECT_TRUE(logo);
    EXPECT_TRUE(waiting);

    ASSERT_TRUE(waitForJs(frame(), QStringLiteral("typeof Stub !== 'undefined'")));
    m_bridge->SLOT_stopWaitingAnim();
    EXPECT_FALSE(animating());
    for (QLabel* label : labels)
        EXPECT_TRUE(label->isHidden());

    m_bridge->SLOT_startByLoading(stubPage);
    EXPECT_FALSE(animating());
    for (QLabel* label : labels)
        EXPECT_TRUE(label->isHidden());
}

TEST_F(WaitingAnimation, OtherPagesDoNotStartIt)
{
    m_bridge->SLOT_startByLoading(QStringLiteral("qrc:/fixtures/main.html"));
    EXPECT_FALSE(animating());
}

} // namespace
