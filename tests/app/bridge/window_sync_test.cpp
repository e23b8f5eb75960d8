// Sync states, closing and quitting the window, and the end of the bridge.
#include "tests/app/bridge/bridge_fixture.h"

#include "connectlib/common/common.h"
#include "tests/connectlib/support/process_events.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>

namespace {

using ConnectGlobals::SyncState;
using ConnectLib::Common;
using ConnectLib::Test::processFor;
using ConnectLib::Test::processUntil;
using RavoSync::Test::BridgeTest;
using RavoSync::Test::StubSynchroniser;

class BridgeWindow : public BridgeTest {
protected:
    int count(const QString& name) { return m_stub->callNames().count(name); }
    // Runs deferred deletions too, which plain event processing outside an
    // event loop leaves alone.
    bool gone(const QPointer<ConnectLayout::WebView>& view)
    {
        return processUntil([&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return view.isNull();
        });
    }
};

TEST_F(BridgeWindow, ASyncStateIsReportedOnceAndClosingEndsIt)
{
    m_bridge->SLOT_changeSyncState(SyncState::SyncOn);
    m_bridge->SLOT_changeSyncState(SyncState::SyncOn);
    ASSERT_EQ(count(QStringLiteral("syncProcessStateChanged")), 1);
    EXPECT_EQ(m_stub->calls().last().arguments,
              (QVariantList{qulonglong(0), int(SyncState::SyncOn)}));

    m_stub->clearCalls();
    QPointer<ConnectLayout::WebView> view = m_bridge->webView();
    m_bridge->SLOT_close();
    ASSERT_GE(m_stub->calls().size(), 2);
    EXPECT_EQ(m_stub->calls()[0].name, QStringLiteral("syncProcessStateChanged"));
    EXPECT_EQ(m_stub->calls()[0].arguments,
              (QVariantList{qulonglong(0), int(SyncState::SyncDone)}));
    EXPECT_EQ(m_stub->calls()[1].name, QStringLiteral("stopSync"));
    EXPECT_EQ(m_stub->calls()[1].arguments, QVariantList{false});
    ASSERT_TRUE(gone(view));
    EXPECT_EQ(count(QStringLiteral("quit")), 1);
    EXPECT_EQ(m_bridge->webView(), nullptr);
}

TEST_F(BridgeWindow, TheFirstStatePassesAndUnknownOnesAreIgnored)
{
    m_bridge->SLOT_changeSyncState(SyncState::Idle);
    EXPECT_EQ(count(QStringLiteral("syncProcessStateChanged")), 1);
    m_bridge->SLOT_changeSyncState(14);
    m_bridge->SLOT_changeSyncState(-5);
    EXPECT_EQ(count(QStringLiteral("syncProcessStateChanged")), 1);
    EXPECT_TRUE(m_log.contains(QStringLiteral("Ignoring unknown sync state: 14")));
    EXPECT_TRUE(m_log.contains(QStringLiteral("Ignoring unknown sync state: -5")));
    m_bridge->SLOT_changeSyncState(SyncState::WaitForIdling);
    EXPECT_EQ(count(QStringLiteral("syncProcessStateChanged")), 2);
}

TEST_F(BridgeWindow, SyncIsReadyClosesOnlyWhenAskedTo)
{
    for (const bool close : {false, true}) {
        Common::setSettingsValue(QStringLiteral("closeaftersync"),
                                 close ? QStringLiteral("true") : QStringLiteral("false"));
        Common::setSettingsValue(QStringLiteral("secondtimeuse"), QStringLiteral("0"));
        m_stub.reset();
        m_bridge = std::make_unique<JsObject>(nullptr);
        m_stub = std::make_unique<StubSynchroniser>(m_bridge.get());
        QPointer<ConnectLayout::WebView> view = m_bridge->webView();

        m_bridge->SLOT_syncIsReady();
        EXPECT_EQ(Common::getSettingsValue(QStringLiteral("secondtimeuse")), QStringLiteral("1"));
        if (close) {
            EXPECT_TRUE(gone(view));
            EXPECT_EQ(count(QStringLiteral("quit")), 1);
        } else {
            processFor(50);
            EXPECT_FALSE(view.isNull());
            EXPECT_EQ(count(QStringLiteral("quit")), 0);
        }
    }
    Common::setSettingsValue(QStringLiteral("closeaftersync"), QStringLiteral("false"));
}

TEST_F(BridgeWindow, TheEnumerationsReachThePage)
{
    loadStubPage();
    js(QStringLiteral("JSObject.SLOT_initSyncStatesJson();"));
    EXPECT_TRUE(js(QStringLiteral("syncStates.SyncOn === '4' && syncStates.WaitForIdling === '13' "
                                  "&& syncStates.Idle === '0' && dialogTypes.QuickHelpDialog === "
                                  "'1' && dialogTypes.PromptDialog === '0'"))
                    .toBool());
}

TEST_F(BridgeWindow, KeyValuePairsInDeclarationOrder)
{
    EXPECT_EQ(JsObject::toJsKeyValue(QMetaEnum::fromType<SyncState::DialogType>()),
              QStringLiteral("'PromptDialog':'0','QuickHelpDialog':'1'"));
}

TEST_F(BridgeWindow, ClosingCanBeForbiddenAndAllowedAgain)
{
    QPointer<ConnectLayout::WebView> view = m_bridge->webView();
    view->show();
    m_bridge->SLOT_disableClose();
    EXPECT_FALSE(view->close());
    processFor(50);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(view.isNull());
    EXPECT_EQ(count(QStringLiteral("quit")), 0);

    m_bridge->SLOT_enableClose();
    EXPECT_TRUE(view->close());
    ASSERT_TRUE(gone(view));
    EXPECT_EQ(count(QStringLiteral("quit")), 1);
}

TEST_F(BridgeWindow, APageQuittingTakesTheWindowAway)
{
    loadStubPage();
    QPointer<ConnectLayout::WebView> view = m_bridge->webView();
    view->show();
    js(QStringLiteral("JSObject.SLOT_quit();"));
    EXPECT_TRUE(view.isNull() || view->isHidden());
    EXPECT_EQ(m_bridge->webView(), nullptr);
    ASSERT_TRUE(gone(view));
    EXPECT_EQ(count(QStringLiteral("quit")), 1);
}

// The view's end as a page may report it: the window goes with a quit,
// never left on screen without its bridge.
TEST_F(BridgeWindow, APageReportingTheViewsEndQuits)
{
    loadStubPage();
    QPointer<ConnectLayout::WebView> view = m_bridge->webView();
    view->show();
    js(QStringLiteral("JSObject.SLOT_webViewDestroyed();"));
    EXPECT_TRUE(view.isNull() || view->isHidden());
    ASSERT_TRUE(gone(view));
    EXPECT_EQ(count(QStringLiteral("quit")), 1);
}

// Whatever answers the quit with another quit, the window quits once.
TEST_F(BridgeWindow, AQuitAnsweredWithAQuitEndsOnce)
{
    loadStubPage();
    int answered = 0;
    QObject::connect(m_bridge->requests(), &BridgeRequests::SIGNAL_quit, m_bridge.get(), [&] {
        // Bounded, so that the unguarded quit ends too.
        if (++answered < 50)
            m_bridge->SLOT_quit();
    });
    js(QStringLiteral("JSObject.SLOT_quit();"));
    m_bridge->SLOT_close();
    EXPECT_EQ(answered, 1);
    EXPECT_EQ(count(QStringLiteral("quit")), 1);
}

TEST_F(BridgeWindow, DestroyingTheBridgeDeletesItsViewAndQuitsOnce)
{
    loadStubPage();
    m_bridge->SLOT_changeSyncState(SyncState::SyncOn);
    QPointer<ConnectLayout::WebView> view = m_bridge->webView();
    m_stub->clearCalls();
    m_bridge.reset();
    EXPECT_TRUE(view.isNull());
    EXPECT_EQ(count(QStringLiteral("quit")), 1);
    EXPECT_EQ(count(QStringLiteral("stopSync")), 1);
}

TEST_F(BridgeWindow, WindowSignalsReachTheViewer)
{
    m_bridge->SLOT_showDialog(true);
    EXPECT_EQ(m_stub->viewer()->mainView(), m_bridge->webView());
    m_bridge->SLOT_showQuickDialog(SyncState::QuickHelpDialog, QStringLiteral("help"), QString());
    EXPECT_NE(m_stub->viewer()->quickView(), nullptr);
}

// The stub answers inside the request call or once control is back in the
// event loop, as the tests of the device slots need.
TEST_F(BridgeWindow, TheStubAnswersInsideOrLater)
{
    const auto store = [](const QString& value) {
        return [value](JsObject* bridge, const QVariantList&) {
            bridge->SLOT_saveVariable(QStringLiteral("answer"), value);
        };
    };
    m_stub->answer(QStringLiteral("resync"), StubSynchroniser::When::Inside,
                   store(QStringLiteral("inside")));
    m_bridge->SLOT_resync();
    EXPECT_EQ(m_bridge->SLOT_getVariable(QStringLiteral("answer")), QStringLiteral("inside"));

    m_stub->answer(QStringLiteral("initConfigs"), StubSynchroniser::When::Later,
                   store(QStringLiteral("later")));
    m_bridge->SLOT_initConfigs();
    EXPECT_EQ(m_bridge->SLOT_getVariable(QStringLiteral("answer")), QStringLiteral("inside"));
    EXPECT_TRUE(processUntil([&] {
        return m_bridge->SLOT_getVariable(QStringLiteral("answer")) == QLatin1String("later");
    }));
    EXPECT_EQ(m_stub->callNames(),
              (QStringList{QStringLiteral("resync"), QStringLiteral("initConfigs")}));
}

} // namespace
