// How a window takes its device and starts its pages, which window takes a
// device a page asked for, and the window services the controller uses.
#include "tests/app/synchronizer/synchronizer_fixture.h"
#include "tests/connectlib/support/process_events.h"

#include "app/windows/viewer.h"
#include "connectlib/common/common.h"

#include <QPointer>

namespace RavoSync::Test {
namespace {

using ConnectLib::Common;
using ConnectLib::TCData;

constexpr quint64 deviceX = 0x5A5A01;
constexpr quint64 deviceY = 0x5A5A02;

const QStringList deviceVariables = {
    QStringLiteral("tcmodel"),      QStringLiteral("tcfullmodel"), QStringLiteral("tcdeviceid"),
    QStringLiteral("tcbootloader"), QStringLiteral("tcfirmware"),  QStringLiteral("tctype"),
    QStringLiteral("tccolor"),      QStringLiteral("tcdesign"),    QStringLiteral("tcstatus")};

QUrl syncPageAddress()
{
    return QUrl(Common::getSettingsValue(QStringLiteral("contenturl")) +
                QStringLiteral("/ui/index.html"));
}

// Whether taking a device asks for its user (and so loads the pages) is
// the window's own affair: what its pages run now, never a stored state,
// which a program that ended mid-run may have left behind.
struct StartCase {
    const char* name;
    const char* stored; // null: nothing stored
    int pageState;      // reported by the window's pages, -1 none
    bool asksForUser;
};

class StartState : public SynchronizerTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartState, DecidesWhetherTheUserIsAskedFor)
{
    const quint64 id = deviceX;
    Common::setSettingsValue(QString::number(id), GetParam().stored
                                                      ? QString::fromLatin1(GetParam().stored)
                                                      : QString());
    if (GetParam().pageState >= 0)
        bridge()->SLOT_changeSyncState(GetParam().pageState);
    m_provider.addDevice(id);
    m_sync->SLOT_startSyncProcess(deviceRecord(id));
    EXPECT_EQ(m_sync->deviceId(), GetParam().asksForUser ? id : 0u);
    EXPECT_EQ(m_provider.callNames(), GetParam().asksForUser
                                          ? QStringList{QStringLiteral("getCurrentUserData")}
                                          : QStringList());
    EXPECT_TRUE(frame()->requestedUrl().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, StartState,
    ::testing::Values(StartCase{"StoredSyncOnLeftBehind", "4;2024-01-01T00:00:00Z", -1, true},
                      StartCase{"StoredFirmwareUpdateLeftBehind", "8", -1, true},
                      StartCase{"SyncDone", "5;2024-01-01T00:00:00Z", -1, true},
                      StartCase{"NothingStored", nullptr, -1, true},
                      StartCase{"NotANumber", "x;2024-01-01T00:00:00Z", -1, true},
                      StartCase{"PagesSyncing", nullptr, 4, false},
                      StartCase{"PagesUpdatingFirmware", nullptr, 8, false},
                      StartCase{"PagesDone", nullptr, 5, true}),
    [](const ::testing::TestParamInfo<StartCase>& info) { return std::string(info.param.name); });

class SyncStart : public SynchronizerTest {};

TEST_F(SyncStart, TheDeviceAwaitedAfterAResetContinuesItsPage)
{
    loadStubPage({QStringLiteral("SIGNAL_continueWithDevice")});
    const QUrl stub = frame()->url();
    const TCData record = deviceRecord(deviceX);
    bridge()->SLOT_dontAutosyncDevice(record.deviceIdAsHexString());
    m_provider.addDevice(deviceX);
    m_sync->SLOT_startSyncProcess(record);
    EXPECT_TRUE(m_provider.calls().isEmpty());
    EXPECT_EQ(pageCalls(QStringLiteral("SIGNAL_continueWithDevice")),
              QStringLiteral("[[\"005A5A01\",\"%1\"]]")
                  .arg(Common::stringFromStateFlags(ConnectLib::OK)));
    EXPECT_EQ(bridge()->SLOT_getVariable(QStringLiteral("tcdeviceid")), QStringLiteral("005A5A01"));
    EXPECT_EQ(frame()->url(), stub);
}

TEST_F(SyncStart, AFailedUserQueryStillPublishesAndLoads)
{
    // Not registered: the provider answers inside the request, with failure.
    m_sync->SLOT_startSyncProcess(deviceRecord(deviceX, QStringLiteral("Zarvo V 650")));
    EXPECT_TRUE(
        m_log.contains(QStringLiteral("Could not get userdata from device. Please try "
                                      "again by unpluggin and plugging the Zarvo Device.")));
    const QStringList expected = {QStringLiteral("ZarvoV650"),
                                  QStringLiteral("Zarvo V 650"),
                                  QStringLiteral("005A5A01"),
                                  QStringLiteral("1.2.3"),
                                  QStringLiteral("4.5.6"),
                                  QStringLiteral("HID"),
                                  QStringLiteral("Red"),
                                  QStringLiteral("Sport"),
                                  Common::stringFromStateFlags(ConnectLib::OK)};
    for (int i = 0; i < deviceVariables.size(); ++i)
        EXPECT_EQ(bridge()->SLOT_getVariable(deviceVariables[i]), expected[i]) << i;
    EXPECT_EQ(bridge()->SLOT_getVariable(QStringLiteral("currentuserdir")), QString());
    EXPECT_EQ(bridge()->SLOT_getVariable(QStringLiteral("currentuserid")), QStringLiteral("0"));
    EXPECT_EQ(bridge()->SLOT_getVariable(QStringLiteral("currentmasterid")), QStringLiteral("0"));
    EXPECT_EQ(frame()->requestedUrl(), syncPageAddress());
    EXPECT_FALSE(bridge()->SLOT_isOfflineDialog());
    EXPECT_FALSE(bridge()->SLOT_isDeviceListDialog());
}

TEST_F(SyncStart, AUserAnswerPublishesTheUserAndTheDevice)
{
    takeDevice(deviceX);
    emit m_provider.SIGNAL_currentUserDataReceived(deviceRecord(deviceX), QStringLiteral("/U/3"),
                                                   3u, 18446744073709551615ull, ConnectLib::OK);
    EXPECT_TRUE(m_log.contains(QStringLiteral("Userdata get ok.")));
    EXPECT_EQ(bridge()->SLOT_getVariable(QStringLiteral("currentuserdir")), QStringLiteral("/U/3"));
    EXPECT_EQ(bridge()->SLOT_getVariable(QStringLiteral("currentuserid")), QStringLiteral("3"));
    EXPECT_EQ(bridge()->SLOT_getVariable(QStringLiteral("currentmasterid")),
              QStringLiteral("18446744073709551615"));
    EXPECT_TRUE(m_log.contains(QStringLiteral("Device appeared: ")));
    EXPECT_EQ(frame()->requestedUrl(), syncPageAddress());
}

TEST_F(SyncStart, ANetworkDeviceIsAnnouncedOnlyWhenNoDeviceIsAwaited)
{
    bridge()->SLOT_dontAutosyncDevice(QStringLiteral("005A5A01"));
    m_sync->SLOT_Announce_Dorvane();
    EXPECT_EQ(bridge()->SLOT_getVariable(QStringLiteral("tcfullmodel")), QString());
    EXPECT_FALSE(bridge()->SLOT_isDorvaneConnected());
    EXPECT_TRUE(frame()->requestedUrl().isEmpty());

    bridge()->SLOT_dontAutosyncDevice(QString());
    m_sync->SLOT_Announce_Dorvane();
    EXPECT_EQ(bridge()->SLOT_getVariable(QStringLiteral("tcfullmodel")),
              QStringLiteral("Zarvo N410"));
    EXPECT_TRUE(bridge()->SLOT_isDorvaneConnected());
    EXPECT_EQ(frame()->requestedUrl(), syncPageAddress());
}

TEST_F(SyncStart, TheOfflineDialogLoadsTheBuiltInShellWithItsContent)
{
    m_sync->SLOT_showOfflineDialog(QStringLiteral("ui/devicelist.html"), {QStringLiteral("a")},
                                   QStringLiteral("ok"), QStringLiteral("go();"));
    EXPECT_EQ(frame()->requestedUrl(), QUrl(QStringLiteral("qrc:/resources/ui/index.html")));
    EXPECT_TRUE(bridge()->SLOT_isOfflineDialog());
    EXPECT_EQ(bridge()->SLOT_offlineFileName(), QStringLiteral("ui/devicelist.html"));
    EXPECT_EQ(bridge()->SLOT_contentTextIds(), QStringList{QStringLiteral("a")});
    EXPECT_EQ(bridge()->SLOT_dialogButtons(), QStringLiteral("ok"));
    EXPECT_EQ(bridge()->SLOT_executeScript(), QStringLiteral("go();"));
}

TEST_F(SyncStart, ShowingTheWindowNeedsAPageWithText)
{
    EXPECT_FALSE(m_sync->showDialogIfLoaded());
    loadStubPage({});
    bridge()->webView()->hide();
    EXPECT_TRUE(m_sync->showDialogIfLoaded());
    EXPECT_TRUE(bridge()->webView()->isVisible());
    EXPECT_EQ(m_sync->viewer()->mainView(), bridge()->webView());
    // Window first, then the bridge and its view: nothing left dangling.
    QPointer<ConnectLayout::WebView> view = bridge()->webView();
    m_sync.reset();
    EXPECT_TRUE(view.isNull());
}

class AskingWindows : public SynchronizerTest {
protected:
    void SetUp() override
    {
        SynchronizerTest::SetUp();
        m_second = makeSynchronizer();
        ASSERT_TRUE(m_second);
        m_provider.addDevice(deviceY);
        m_second->SLOT_startSyncProcess(deviceRecord(deviceY));
        emit m_provider.SIGNAL_currentUserDataReceived(
            deviceRecord(deviceY), QStringLiteral("/U/0"), 0u, 1u, ConnectLib::OK);
        // No test reaches the content server: the second window's load ends
        // in the offline error page, which must come before its address is
        // kept.
        ASSERT_TRUE(ConnectLib::Test::processUntil(
            [this] { return m_second->bridge()->SLOT_isOfflineDialog(); }));
        m_secondUrl = frameOf(m_second.get())->requestedUrl();
        loadStubPage({});
        m_provider.clearCalls();
    }
    void TearDown() override
    {
        m_second.reset();
        SynchronizerTest::TearDown();
    }
    void expectSecondUntouched()
    {
        EXPECT_EQ(m_second->deviceId(), deviceY);
        EXPECT_EQ(m_second->bridge()->SLOT_getVariable(QStringLiteral("tcdeviceid")),
                  QStringLiteral("005A5A02"));
        EXPECT_EQ(frameOf(m_second.get())->requestedUrl(), m_secondUrl);
    }

    std::unique_ptr<DataSynchronizer> m_second;
    QUrl m_secondUrl;
};

TEST_F(AskingWindows, OnlyTheAskingWindowTakesALaterAnswer)
{
    m_provider.addDevice(deviceX);
    evalJs(frame(), QStringLiteral("JSObject.SLOT_startSyncWithDevice('%1')").arg(deviceX));
    ASSERT_EQ(m_provider.callNames(), QStringList{QStringLiteral("getTCData")});
    EXPECT_EQ(m_provider.calls().front().arguments, QVariantList{qulonglong(deviceX)});

    emit m_provider.SIGNAL_TCDataReceived(deviceRecord(deviceX), ConnectLib::OK);
    EXPECT_EQ(m_sync->deviceId(), deviceX);
    expectSecondUntouched();
    EXPECT_TRUE(m_log.contains(QStringLiteral("Ignoring device data of 005A5A01: this window did "
                                              "not ask for it.")));
    emit m_provider.SIGNAL_currentUserDataReceived(deviceRecord(deviceX), QStringLiteral("/U/1"),
                                                   1u, 2u, ConnectLib::OK);
    EXPECT_EQ(bridge()->SLOT_getVariable(QStringLiteral("tcdeviceid")), QStringLiteral("005A5A01"));
    EXPECT_EQ(frame()->requestedUrl(), syncPageAddress());
    expectSecondUntouched();

    // The request was consumed: the same answer again is nobody's.
    emit m_provider.SIGNAL_TCDataReceived(deviceRecord(deviceX), ConnectLib::OK);
    EXPECT_EQ(m_provider.callNames().count(QStringLiteral("getCurrentUserData")), 1);
}

TEST_F(AskingWindows, OnlyTheAskingWindowTakesTheAnswerForAnUnknownDevice)
{
    evalJs(frame(), QStringLiteral("JSObject.SLOT_startSyncWithDevice('777')"));
    EXPECT_EQ(m_sync->deviceId(), 0u);
    EXPECT_EQ(bridge()->SLOT_getVariable(QStringLiteral("tcdeviceid")), QStringLiteral("00000000"));
    EXPECT_EQ(bridge()->SLOT_getVariable(QStringLiteral("currentuserdir")), QString());
    EXPECT_EQ(frame()->requestedUrl(), syncPageAddress());
    expectSecondUntouched();
}

} // namespace
} // namespace RavoSync::Test
