// The controller's device events and sync windows: the appearance filter,
// idle devices, disappearance, process states, which window serves which
// device, closing windows, settings, reannouncing, network devices and the
// order of shutdown.
#include "tests/app/controller/controller_fixture.h"

#include "app/bridge/jsobject.h"
#include "app/synchronizer/connection_table.h"
#include "app/synchronizer/data_synchronizer.h"
#include "app/tray/tray_icon.h"
#include "app/windows/viewer.h"
#include "app/windows/web_view.h"
#include "connectlib/logging/logger.h"
#include "connectlib/provider/connection_provider.h"
#include "tests/connectlib/support/process_events.h"
#include "tests/support/param_name.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QPointer>
#include <QSignalSpy>
#include <QTimer>
#include <QWebFrame>
#include <QWebPage>

#include <algorithm>

namespace RavoSync::Test {

// A provider whose signals end before the connection table's third row.
class ProviderWithoutResults : public QObject {
    Q_OBJECT
signals:
    void SIGNAL_TCAppeared(ConnectLib::TCData data);
    void SIGNAL_TCIdling(ConnectLib::TCData data);
    void SIGNAL_TCDisappeared(ConnectLib::TCData data);
    void SIGNAL_Announce_Dorvane();
};

namespace {

using ConnectGlobals::SyncState;
using ConnectLib::Test::processUntil;

ConnectLib::TCData device(quint64 id, const QString& model = QStringLiteral("Zarvo V800"),
                          const QString& type = QStringLiteral("HID"))
{
    return ConnectLib::TCData(id, QStringLiteral("watch"), model, true, type, QString(), QString(),
                              QString(), QString(), QString(), ConnectLib::OK);
}

// A controller past its first use, so no window opens by itself.
class DeviceWindows : public ControllerTest {
protected:
    void SetUp() override
    {
        ControllerTest::SetUp();
        setSetting("secondtimeuse", QStringLiteral("1"));
    }

    ConnectClientMain& controller()
    {
        if (!m_controller)
            makeController();
        return *m_controller;
    }
    void appear(const ConnectLib::TCData& record)
    {
        controller();
        emit m_provider->SIGNAL_TCAppeared(record);
    }
    void idle(const ConnectLib::TCData& record) { emit m_provider->SIGNAL_TCIdling(record); }
    void disappear(quint64 id) { emit m_provider->SIGNAL_TCDisappeared(device(id)); }

    // The devices whose user the provider was asked for, in order.
    QList<quint64> userRequests() const
    {
        QList<quint64> ids;
        for (const auto& call : m_provider->calls()) {
            if (call.name == QLatin1String("getCurrentUserData"))
                ids.append(call.arguments.first().value<ConnectLib::TCData>().deviceId());
        }
        return ids;
    }

    // Waits until the window's page has text, so it is shown again rather
    // than made anew.
    static void waitLoaded(DataSynchronizer* window)
    {
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(processUntil([window] {
            const QWebPage* page = window->bridge()->webView()->page();
            return !page->mainFrame()->toPlainText().isEmpty();
        }));
    }
    // Waits until the window's page has ended in its error case (the test
    // hosts serve no pages), so no later state of its own crosses the
    // states a test reports for it.
    static void waitSettled(DataSynchronizer* window)
    {
        waitLoaded(window);
        ASSERT_TRUE(processUntil([window] {
            return window->bridge()
                ->webView()
                ->page()
                ->mainFrame()
                ->evaluateJavaScript(QStringLiteral("!!(window.App && App.syncMain && "
                                                    "App.syncMain.errorShown === true)"))
                .toBool();
        }));
    }
    // Lets deferred deletions run.
    static void settle()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ConnectLib::Test::processFor(20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    SyncState::SyncProcessState trayState() { return controller().trayIcon()->currentState(); }
};

struct AppearanceCase {
    const char* type;
    const char* model;
    bool entered;    // device table and its own window
    bool deviceLess; // the device-less window opens
};

void PrintTo(const AppearanceCase& c, std::ostream* os)
{
    *os << c.type << " '" << c.model << "'";
}

class Appearance : public DeviceWindows, public ::testing::WithParamInterface<AppearanceCase> {};

TEST_P(Appearance, FiltersByTypeAndModel)
{
    const AppearanceCase& c = GetParam();
    appear(device(0x2a, QLatin1String(c.model), QLatin1String(c.type)));
    EXPECT_TRUE(m_log.contains(QStringLiteral("Device appeared. DeviceId: ")));
    if (c.entered) {
        EXPECT_EQ(controller().deviceKeys(), QList<quint64>{0x2a});
        EXPECT_EQ(controller().windowKeys(), QList<quint64>{0x2a});
        EXPECT_TRUE(setting("42").startsWith(QStringLiteral("2;")));
        EXPECT_EQ(trayState(), SyncState::TCFound);
    } else {
        EXPECT_TRUE(controller().deviceKeys().isEmpty());
        EXPECT_EQ(controller().windowKeys(), c.deviceLess ? QList<quint64>{0} : QList<quint64>());
        EXPECT_TRUE(setting("42").isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Appearance,
                         ::testing::Values(AppearanceCase{"HID", "Zarvo V800", true, false},
                                           AppearanceCase{"TCP", "Zarvo N410", true, false},
                                           AppearanceCase{"UMS", "Zarvo M400", true, false},
                                           AppearanceCase{"HID", "Zarvo PRO", false, false},
                                           AppearanceCase{"USB", "zARVO pRo", false, false},
                                           AppearanceCase{"HID", "", false, false},
                                           AppearanceCase{"Local", "Zarvo V800", false, true},
                                           AppearanceCase{"BLE", "Zarvo V800", false, true}),
                         zarvo::test::printed_name());

TEST_F(DeviceWindows, TheFirstDeviceTakesOverTheDeviceLessWindow)
{
    controller().SLOT_synchronize();
    DataSynchronizer* deviceLess = controller().window(0);
    waitLoaded(deviceLess);
    appear(device(0x10));
    EXPECT_EQ(controller().windowKeys(), QList<quint64>{0x10});
    EXPECT_EQ(controller().window(0x10), deviceLess);
    EXPECT_EQ(controller().synchronizers().size(), 1);
}

struct IdleCase {
    const char* stored;
    bool opens;
};

class Idling : public DeviceWindows, public ::testing::WithParamInterface<IdleCase> {};

TEST_P(Idling, OpensAWindowOnlyAfterABusyState)
{
    setSetting("77", QLatin1String(GetParam().stored));
    controller();
    idle(device(77));
    EXPECT_TRUE(m_log.contains(QStringLiteral("Device idling. DeviceId: ")));
    EXPECT_EQ(controller().windowKeys(), GetParam().opens ? QList<quint64>{77} : QList<quint64>());
}

INSTANTIATE_TEST_SUITE_P(Table, Idling,
                         ::testing::Values(IdleCase{"12;2026-01-01T00:00:00Z", true},
                                           IdleCase{"11;x", true}, IdleCase{"13", true},
                                           IdleCase{"4;2026-01-01T00:00:00Z", false},
                                           IdleCase{"", false}, IdleCase{"x;12", false}),
                         [](const auto& info) {
                             return zarvo::test::param_name(std::string("stored_") +
                                                            info.param.stored);
                         });

TEST_F(DeviceWindows, ADisappearanceMovesTheWindowToTheDeviceLessKey)
{
    appear(device(1));
    appear(device(2));
    DataSynchronizer* first = controller().window(1);
    disappear(1);
    EXPECT_EQ(trayState(), SyncState::TCFound);
    EXPECT_EQ(controller().window(0), first);
    EXPECT_EQ(controller().deviceKeys(), QList<quint64>{2});
    disappear(2);
    EXPECT_EQ(trayState(), SyncState::Idle);
    EXPECT_TRUE(controller().deviceKeys().isEmpty());
    // Windows stay open.
    EXPECT_EQ(controller().synchronizers().size(), 2);
}

// A device restarting after a firmware update or a factory reset that its
// window's page waits for (excluded from the automatic sync) comes back to
// that window, which goes on with it: no second window, no current-user
// request and no page load. Once the page lets it go, a return loads the
// page again.
TEST_F(DeviceWindows, AnAwaitedDeviceComesBackToItsWindowWithoutAPageLoad)
{
    const ConnectLib::TCData record = device(0x10);
    appear(record);
    DataSynchronizer* window = controller().window(0x10);
    waitLoaded(window);
    JsObject* bridge = window->bridge();
    bridge->SLOT_dontAutosyncDevice(record.deviceIdAsHexString());
    // As the page stores it while the device restarts for its update.
    setSetting("16", QStringLiteral("8;2026-01-01T00:00:00Z"));
    m_provider->clearCalls();
    QSignalSpy continued(bridge, SIGNAL(SIGNAL_continueWithDevice(QString, QString)));
    QSignalSpy loads(bridge->webView()->page()->mainFrame(), SIGNAL(loadStarted()));

    disappear(0x10);
    EXPECT_EQ(controller().window(0), window);
    appear(record);
    EXPECT_EQ(controller().windowKeys(), QList<quint64>{0x10});
    EXPECT_EQ(controller().window(0x10), window);
    EXPECT_EQ(controller().synchronizers().size(), 1);
    ASSERT_EQ(continued.size(), 1);
    EXPECT_EQ(continued.front().at(0).toString(), record.deviceIdAsHexString());
    EXPECT_EQ(continued.front().at(1).toString(), QStringLiteral("OK"));
    EXPECT_EQ(bridge->SLOT_getVariable(QStringLiteral("tcdeviceid")), record.deviceIdAsHexString());
    EXPECT_FALSE(m_provider->callNames().contains(QStringLiteral("getCurrentUserData")));
    settle();
    EXPECT_EQ(loads.size(), 0);

    // Let go, the device's next return starts its sync as an arrival does.
    bridge->SLOT_dontAutosyncDevice(QString());
    disappear(0x10);
    appear(record);
    EXPECT_EQ(continued.size(), 1);
    EXPECT_TRUE(m_provider->callNames().contains(QStringLiteral("getCurrentUserData")));
}

TEST_F(DeviceWindows, DirectStateCallsStoreNothingForIdZeroOrIdle)
{
    controller().SLOT_setProcessState(0, SyncState::SyncError);
    controller().SLOT_setProcessState(5, SyncState::Idle);
    EXPECT_TRUE(setting("0").isEmpty());
    EXPECT_TRUE(setting("5").isEmpty());
    controller().SLOT_setProcessState(5, SyncState::SyncDone);
    EXPECT_TRUE(setting("5").startsWith(QStringLiteral("5;")));
    // Direct calls leave the last pair alone.
    EXPECT_EQ(controller().lastDeviceId(), 0u);
}

TEST_F(DeviceWindows, ASynchronisersStateIsStoredUnderItsDeviceAndBecomesTheLast)
{
    appear(device(0x1234));
    DataSynchronizer* window = controller().window(0x1234);
    ASSERT_NE(window, nullptr);
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
    // The argument is not used: the window's device is.
    emit window->SIGNAL_syncProcessStateChanged(99, SyncState::SyncError);
    const QStringList stored = setting("4660").split(QLatin1Char(';'));
    ASSERT_EQ(stored.size(), 2);
    EXPECT_EQ(stored.at(0), QStringLiteral("6"));
    const QDateTime at = QDateTime::fromString(stored.at(1), Qt::ISODate);
    EXPECT_EQ(at.timeSpec(), Qt::UTC);
    EXPECT_GE(at, before);
    EXPECT_TRUE(setting("99").isEmpty());
    EXPECT_EQ(controller().lastDeviceId(), 0x1234u);
    EXPECT_EQ(controller().lastSyncState(), SyncState::SyncError);
    EXPECT_EQ(trayState(), SyncState::SyncError);

    // Idle while a device is attached keeps the tray at "found".
    emit window->SIGNAL_syncProcessStateChanged(0, SyncState::Idle);
    EXPECT_EQ(trayState(), SyncState::TCFound);
}

TEST_F(DeviceWindows, TheLastStateFallsBackToTheDeviceLessWindowAfterAnError)
{
    appear(device(3));
    DataSynchronizer* window = controller().window(3);
    waitLoaded(window);
    QSignalSpy shown(window->bridge()->requests(), &BridgeRequests::SIGNAL_showDialog);
    emit window->SIGNAL_syncProcessStateChanged(3, SyncState::SyncError);
    disappear(3);
    controller().SLOT_showLastSyncState(SyncState::Idle);
    EXPECT_EQ(shown.count(), 1);

    // Not after another state.
    emit window->SIGNAL_syncProcessStateChanged(3, SyncState::SyncDone);
    controller().SLOT_showLastSyncState(SyncState::Idle);
    EXPECT_EQ(shown.count(), 1);
}

TEST_F(DeviceWindows, APageQuittingClosesItsWindowWithoutACrash)
{
    appear(device(8));
    QPointer<DataSynchronizer> window = controller().window(8);
    waitLoaded(window);
    window->bridge()->webView()->page()->mainFrame()->evaluateJavaScript(
        QStringLiteral("JSObject.SLOT_quit();"));
    EXPECT_TRUE(controller().windowKeys().isEmpty());
    EXPECT_TRUE(controller().synchronizers().isEmpty());
    settle();
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(trayState(), SyncState::TCFound);
}

TEST_F(DeviceWindows, ClosingAWindowMovedToTheDeviceLessKeyDeletesThatWindowOnly)
{
    appear(device(1));
    appear(device(2));
    QPointer<DataSynchronizer> moved = controller().window(1);
    QPointer<DataSynchronizer> other = controller().window(2);
    disappear(1);
    emit moved->SIGNAL_quit();
    settle();
    EXPECT_TRUE(moved.isNull());
    EXPECT_FALSE(other.isNull());
    EXPECT_EQ(controller().windowKeys(), QList<quint64>{2});
}

TEST_F(DeviceWindows, TheDeviceLessWindowThatTookADeviceClosesByPointer)
{
    controller().SLOT_synchronize();
    QPointer<DataSynchronizer> taken = controller().window(0);
    waitLoaded(taken);
    appear(device(5));
    ASSERT_EQ(controller().window(5), taken.data());
    emit taken->SIGNAL_quit();
    settle();
    EXPECT_TRUE(taken.isNull());
    EXPECT_TRUE(controller().windowKeys().isEmpty());
}

TEST_F(DeviceWindows, ADisplacedWindowCanStillBeClosed)
{
    appear(device(1));
    appear(device(2));
    QPointer<DataSynchronizer> displaced = controller().window(1);
    QPointer<DataSynchronizer> kept = controller().window(2);
    disappear(1);
    disappear(2); // takes key 0 from the first window
    EXPECT_EQ(controller().windowKeys(), QList<quint64>{0});
    EXPECT_EQ(controller().window(0), kept.data());
    EXPECT_EQ(controller().synchronizers().size(), 2);
    emit displaced->SIGNAL_quit();
    settle();
    EXPECT_TRUE(displaced.isNull());
    EXPECT_EQ(controller().window(0), kept.data());
    // A second quit of a window already gone changes nothing.
    controller().SLOT_deleteDataSync(nullptr);
    EXPECT_EQ(controller().synchronizers().size(), 1);
}

TEST_F(DeviceWindows, ADeviceWithItsOwnWindowUsesItWhileADeviceLessWindowIsOpen)
{
    appear(device(1));
    appear(device(2));
    DataSynchronizer* own = controller().window(1);
    DataSynchronizer* deviceLess = controller().window(2);
    waitLoaded(own);
    disappear(2);
    setSetting("1", QStringLiteral("12;2026-01-01T00:00:00Z"));
    idle(device(1));
    EXPECT_EQ(controller().window(1), own);
    EXPECT_EQ(controller().window(0), deviceLess);
    EXPECT_EQ(controller().synchronizers().size(), 2);
}

TEST_F(DeviceWindows, CloseAfterSyncQuitsOnAClose)
{
    setSetting("closeaftersync", QStringLiteral("true"));
    appear(device(1));
    appear(device(2));
    DataSynchronizer* window = controller().window(1);
    QEventLoop loop;
    QTimer::singleShot(0, window, [window] { emit window->SIGNAL_quit(); });
    QTimer::singleShot(20000, &loop, [&loop] { loop.exit(1); });
    EXPECT_EQ(loop.exec(), 0);
}

TEST_F(DeviceWindows, SettingsWithoutAWindowLoadTheDeviceListOffline)
{
    controller().SLOT_showSettings();
    DataSynchronizer* window = controller().window(0);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->bridge()->SLOT_offlineFileName(), QStringLiteral("ui/devicelist.html"));
    EXPECT_EQ(window->bridge()->SLOT_executeScript(),
              QStringLiteral("App.Common.showHideSettings(); showTabIndex(0);"));

    // With a window open, that window runs the script: no second window.
    controller().SLOT_showAboutDialog();
    EXPECT_EQ(controller().synchronizers().size(), 1);
}

TEST_F(DeviceWindows, AboutWithoutAWindowOpensTheThirdTab)
{
    controller().SLOT_showAboutDialog();
    DataSynchronizer* window = controller().window(0);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->bridge()->SLOT_executeScript(),
              QStringLiteral("App.Common.showHideSettings(); showTabIndex(2);"));
}

// The device list asks for the attached devices again (after another
// device left): a device another window serves is never handed over, so no
// device gets a second window and sync.
TEST_F(DeviceWindows, ReannouncingHandsOverOnlyADeviceNoOtherWindowServes)
{
    appear(device(0x31));
    appear(device(0x32));
    DataSynchronizer* leaving = controller().window(0x31);
    DataSynchronizer* other = controller().window(0x32);
    waitSettled(leaving);
    waitSettled(other);
    disappear(0x31);
    QSignalSpy shown(other->bridge()->requests(), &BridgeRequests::SIGNAL_showDialog);
    m_provider->clearCalls();

    emit leaving->SIGNAL_requestAvailableTCs();
    EXPECT_TRUE(userRequests().isEmpty());
    EXPECT_EQ(controller().window(0), leaving);
    EXPECT_EQ(controller().window(0x32), other);
    EXPECT_EQ(shown.count(), 1);

    // Its own device, asked for by its own window, is its to take.
    emit other->SIGNAL_requestAvailableTCs();
    EXPECT_EQ(userRequests(), QList<quint64>{0x32});

    // A device whose window was closed goes to the asking window, which
    // becomes its window. (The device-less window is busy while the device
    // arrives, so the device gets a window of its own first.)
    leaving->bridge()->SLOT_changeSyncState(SyncState::SyncOn);
    appear(device(0x33));
    ASSERT_NE(controller().window(0x33), leaving);
    emit controller().window(0x33)->SIGNAL_quit();
    settle();
    leaving->bridge()->SLOT_changeSyncState(SyncState::SyncError);
    m_provider->clearCalls();
    emit leaving->SIGNAL_requestAvailableTCs();
    EXPECT_EQ(userRequests(), QList<quint64>{0x33});
    EXPECT_EQ(controller().window(0x33), leaving);
    EXPECT_FALSE(controller().windowKeys().contains(0));

    // Not for a direct call.
    m_provider->clearCalls();
    controller().SLOT_reannounceTCs();
    EXPECT_TRUE(userRequests().isEmpty());
}

// What the pages of a loaded window may have under way; with two devices
// attached, the second start, the tray's Sync and its double click (all for
// the first device) and the device's own record only show that window then.
struct RunningCase {
    const char* name;
    int state;          // reported by the page, -1 none
    bool awaitsAnother; // the page waits for another device (reset, restore)
};

void PrintTo(const RunningCase& c, std::ostream* os)
{
    *os << c.name;
}

class RunningWindow : public DeviceWindows, public ::testing::WithParamInterface<RunningCase> {};

TEST_P(RunningWindow, IsOnlyShownNeverReloaded)
{
    appear(device(0x10));
    appear(device(0x11));
    DataSynchronizer* window = controller().window(0x10);
    waitSettled(window);
    JsObject* bridge = window->bridge();
    if (GetParam().state >= 0)
        bridge->SLOT_changeSyncState(GetParam().state);
    if (GetParam().awaitsAnother)
        bridge->SLOT_dontAutosyncDevice(QStringLiteral("0BADCAFE"));
    m_provider->clearCalls();
    QSignalSpy loads(bridge->webView()->page()->mainFrame(), SIGNAL(loadStarted()));
    QSignalSpy shown(bridge->requests(), &BridgeRequests::SIGNAL_showDialog);

    // A second start, the tray's Sync, its double click; the device's own
    // record again.
    controller().SLOT_singleAppMessage(QStringLiteral("wakeup"));
    controller().SLOT_synchronize();
    controller().trayIcon()->SLOT_iconActivated(QSystemTrayIcon::DoubleClick);
    window->SLOT_startSyncProcess(device(0x10));
    settle();
    EXPECT_EQ(loads.size(), 0);
    EXPECT_TRUE(userRequests().isEmpty());
    EXPECT_EQ(shown.size(), 3);
    EXPECT_EQ(controller().window(0x10), window);
    EXPECT_EQ(controller().synchronizers().size(), 2);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RunningWindow,
    ::testing::Values(RunningCase{"sync", SyncState::SyncOn, false},
                      RunningCase{"firmware update", SyncState::FwUpdateOnGoing, false},
                      RunningCase{"reset or restore", SyncState::SyncDone, true}),
    [](const ::testing::TestParamInfo<RunningCase>& info) {
        std::string name = info.param.name;
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

// Once the run has ended, the tray's Sync starts the pages again.
TEST_F(DeviceWindows, AWindowWhoseRunEndedIsLoadedAgain)
{
    appear(device(0x10));
    DataSynchronizer* window = controller().window(0x10);
    waitSettled(window);
    window->bridge()->SLOT_changeSyncState(SyncState::SyncOn);
    window->bridge()->SLOT_changeSyncState(SyncState::SyncDone);
    QSignalSpy loads(window->bridge()->webView()->page()->mainFrame(), SIGNAL(loadStarted()));
    controller().SLOT_synchronize();
    EXPECT_TRUE(processUntil([&loads] { return loads.size() > 0; }));
}

// A device arriving while the device-less window still runs what its
// departed device began gets a window of its own.
TEST_F(DeviceWindows, ABusyDeviceLessWindowIsNotTakenOver)
{
    appear(device(0x20));
    DataSynchronizer* busy = controller().window(0x20);
    waitSettled(busy);
    busy->bridge()->SLOT_changeSyncState(SyncState::SyncOn);
    disappear(0x20);
    appear(device(0x21));
    EXPECT_EQ(controller().window(0), busy);
    ASSERT_NE(controller().window(0x21), nullptr);
    EXPECT_NE(controller().window(0x21), busy);
}

// The pages' states reach the tray and the store even when they repeat
// what the window reported before it took its device: after an offline
// error, a plug and the same error again, the tray and the store show it.
TEST_F(DeviceWindows, AWindowTakingADeviceReportsItsNextStateAfresh)
{
    controller().SLOT_synchronize();
    DataSynchronizer* window = controller().window(0);
    waitSettled(window);
    window->bridge()->SLOT_changeSyncState(SyncState::SyncError);
    appear(device(0x40));
    ASSERT_EQ(controller().window(0x40), window);
    window->bridge()->SLOT_changeSyncState(SyncState::SyncError);
    EXPECT_EQ(trayState(), SyncState::SyncError);
    EXPECT_TRUE(setting("64").startsWith(QStringLiteral("6;")));
    EXPECT_EQ(controller().lastDeviceId(), 0x40u);
}

// A sync cut short by closing its window or ending the program is stored
// as failed, never as done.
struct InterruptCase {
    const char* name;
    bool shutdown; // the program ends; else the window closes
};

void PrintTo(const InterruptCase& c, std::ostream* os)
{
    *os << c.name;
}

class Interrupted : public DeviceWindows, public ::testing::WithParamInterface<InterruptCase> {};

TEST_P(Interrupted, IsStoredAsAnError)
{
    appear(device(0x50));
    DataSynchronizer* window = controller().window(0x50);
    waitSettled(window);
    window->bridge()->SLOT_changeSyncState(SyncState::SyncOn);
    ASSERT_TRUE(setting("80").startsWith(QStringLiteral("4;")));
    if (GetParam().shutdown) {
        m_controller.reset();
    } else {
        window->bridge()->SLOT_close();
        settle();
    }
    EXPECT_TRUE(setting("80").startsWith(QStringLiteral("6;"))) << setting("80").toStdString();
}

INSTANTIATE_TEST_SUITE_P(Table, Interrupted,
                         ::testing::Values(InterruptCase{"WindowClosed", false},
                                           InterruptCase{"ProgramEnds", true}),
                         [](const ::testing::TestParamInfo<InterruptCase>& info) {
                             return std::string(info.param.name);
                         });

// Closing the last device's window forgets the last pair, wherever the
// window stands in the table; the tray's last state then shows nothing.
struct LastPairCase {
    const char* name;
    bool unplugged; // the window went to the device-less key first
    SyncState::SyncProcessState tray;
};

void PrintTo(const LastPairCase& c, std::ostream* os)
{
    *os << c.name;
}

class LastPair : public DeviceWindows, public ::testing::WithParamInterface<LastPairCase> {};

TEST_P(LastPair, IsResetByClosingItsWindow)
{
    appear(device(0x60));
    DataSynchronizer* window = controller().window(0x60);
    emit window->SIGNAL_syncProcessStateChanged(0, SyncState::SyncError);
    ASSERT_EQ(controller().lastDeviceId(), 0x60u);
    if (GetParam().unplugged)
        disappear(0x60);
    emit window->SIGNAL_quit();
    EXPECT_EQ(controller().lastDeviceId(), 0u);
    EXPECT_EQ(controller().lastSyncState(), SyncState::Idle);
    EXPECT_EQ(trayState(), GetParam().tray);
}

INSTANTIATE_TEST_SUITE_P(Table, LastPair,
                         ::testing::Values(LastPairCase{"Attached", false, SyncState::TCFound},
                                           LastPairCase{"Unplugged", true, SyncState::Idle}),
                         [](const ::testing::TestParamInfo<LastPairCase>& info) {
                             return std::string(info.param.name);
                         });

// An unplug after a failure keeps the failure in the tray (the window
// still shows it, and the tray's click reaches it); after any other state
// the tray follows the attached devices.
struct UnplugCase {
    const char* name;
    SyncState::SyncProcessState last;
    SyncState::SyncProcessState tray;
};

void PrintTo(const UnplugCase& c, std::ostream* os)
{
    *os << c.name;
}

class Unplug : public DeviceWindows, public ::testing::WithParamInterface<UnplugCase> {};

TEST_P(Unplug, KeepsOnlyAFailureInTheTray)
{
    appear(device(0x70));
    DataSynchronizer* window = controller().window(0x70);
    emit window->SIGNAL_syncProcessStateChanged(0, GetParam().last);
    disappear(0x70);
    EXPECT_EQ(trayState(), GetParam().tray);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Unplug,
    ::testing::Values(UnplugCase{"AfterAnError", SyncState::SyncError, SyncState::SyncError},
                      UnplugCase{"AfterASync", SyncState::SyncDone, SyncState::Idle},
                      UnplugCase{"DuringASync", SyncState::SyncOn, SyncState::Idle}),
    [](const ::testing::TestParamInfo<UnplugCase>& info) { return std::string(info.param.name); });

TEST_F(DeviceWindows, ANetworkDeviceAnnouncementReachesOrOpensAWindow)
{
    controller();
    emit m_provider->SIGNAL_Announce_Dorvane();
    DataSynchronizer* opened = controller().window(0);
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(opened->bridge()->SLOT_getVariable(QStringLiteral("tcfullmodel")),
              QStringLiteral("Zarvo N410"));

    // A loaded device-less window takes it itself.
    waitLoaded(opened);
    emit m_provider->SIGNAL_Announce_Dorvane();
    EXPECT_EQ(controller().window(0), opened);
    EXPECT_EQ(controller().synchronizers().size(), 1);
}

TEST_F(DeviceWindows, ANetworkDeviceAnnouncementLeavesAnN410WindowAlone)
{
    appear(device(9, QStringLiteral("Zarvo N410"), QStringLiteral("TCP")));
    DataSynchronizer* window = controller().window(9);
    emit window->SIGNAL_syncProcessStateChanged(9, SyncState::SyncOn);
    emit m_provider->SIGNAL_Announce_Dorvane();
    EXPECT_EQ(controller().windowKeys(), QList<quint64>{9});
    EXPECT_EQ(controller().synchronizers().size(), 1);
}

TEST_F(DeviceWindows, AnInstallationFailureShowsTheErrorPageInTheLastDevicesWindow)
{
    appear(device(4));
    DataSynchronizer* window = controller().window(4);
    // The window's own page has settled: no test reaches the content server,
    // so its load ends in the offline error page.
    ASSERT_TRUE(processUntil([window] { return window->bridge()->SLOT_isOfflineDialog(); }));
    emit window->SIGNAL_syncProcessStateChanged(4, SyncState::SyncOn);
    controller().SLOT_processFinished(1, QProcess::CrashExit);
    EXPECT_EQ(window->bridge()->SLOT_offlineFileName(), QStringLiteral("ui/progress.html"));
    EXPECT_EQ(window->bridge()->SLOT_contentTextIds(),
              QStringList{QStringLiteral("updator_error_install")});
    EXPECT_EQ(window->bridge()->SLOT_dialogButtons(),
              QStringLiteral("errorDlgValues.buttons.close=1;"));
    EXPECT_EQ(window->bridge()->SLOT_executeScript(), QStringLiteral("smain.errorCase();"));
}

TEST_F(DeviceWindows, TheFirstStartOpensTheDeviceLessWindow)
{
    setSetting("secondtimeuse", QString());
    EXPECT_EQ(controller().windowKeys(), QList<quint64>{0});
}

TEST_F(DeviceWindows, EveryWindowGetsAllSixtyFourLinks)
{
    appear(device(6));
    DataSynchronizer* window = controller().window(6);
    QObject* const parties[] = {m_provider, window, &controller()};
    int made = 0;
    for (const ConnectGlobals::SynchronizerLink& link : ConnectGlobals::synchronizerLinks())
        made += QObject::disconnect(parties[link.sender], link.signal, parties[link.receiver],
                                    link.method)
                    ? 1
                    : 0;
    EXPECT_EQ(made, 64);
    EXPECT_FALSE(m_log.contains(QStringLiteral("Could not make all")));
}

TEST_F(DeviceWindows, AProviderMissingASignalGivesNoWindowAndKeepsTheObject)
{
    ConnectClientMain::setProviderFactory([](QObject* parent) -> QObject* {
        auto* provider = new ProviderWithoutResults;
        provider->setParent(parent);
        return provider;
    });
    controller().SLOT_synchronize();
    const QString line = QStringLiteral("Could not make all settings dialog connections.");
    EXPECT_EQ(m_log.errors().count(line), 1);
    EXPECT_FALSE(m_log.contains(QStringLiteral("Could not make all tray icon connections.")));
    EXPECT_TRUE(controller().windowKeys().isEmpty());
    ASSERT_EQ(controller().synchronizers().size(), 1);
    EXPECT_EQ(controller().synchronizers().first()->parent(), &controller());
}

TEST_F(DeviceWindows, TheRealProvidersGroupsLogNoFailure)
{
    ConnectClientMain::setProviderFactory(nullptr);
    const QByteArray hidDir =
        QFile::encodeName(QString::fromStdString((m_workingDirectory / "hid").string()));
    QDir().mkpath(QString::fromLocal8Bit(hidDir));
    qputenv("ZARVO_HID_DIR", hidDir);
    qputenv("ZARVO_DNSSD_LIBRARY", "none");
    controller();
    EXPECT_NE(qobject_cast<ConnectLib::ConnectionProvider*>(controller().provider()), nullptr);
    EXPECT_FALSE(m_log.contains(QStringLiteral("Could not make all tray icon connections.")));
    m_controller.reset();
    qunsetenv("ZARVO_HID_DIR");
    qunsetenv("ZARVO_DNSSD_LIBRARY");
}

TEST_F(DeviceWindows, ShutdownDeletesEveryWindowBeforeTheProviderAndClosesTheLogLast)
{
    appear(device(1));
    appear(device(2));
    appear(device(3));
    QPointer<DataSynchronizer> displaced = controller().window(1);
    QPointer<DataSynchronizer> closing = controller().window(3);
    disappear(1);
    disappear(2);                // displaces the first window
    emit closing->SIGNAL_quit(); // deletion pending
    const QString logFile = ConnectLib::Logger::instance()->getCurrentFile();
    QStringList order;
    for (DataSynchronizer* window : controller().synchronizers())
        QObject::connect(window, &QObject::destroyed, [&order] { order.append("window"); });
    QObject::connect(closing, &QObject::destroyed, [&order] { order.append("window"); });
    QObject::connect(m_provider, &QObject::destroyed, [&order] { order.append("provider"); });

    m_controller.reset();
    EXPECT_TRUE(displaced.isNull());
    EXPECT_TRUE(closing.isNull());
    EXPECT_EQ(order, (QStringList{"window", "window", "window", "provider"}));

    QFile log(logFile);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = log.readAll().trimmed().split('\n');
    // A footer follows this process's last line (other test processes may
    // share the file).
    const QByteArray own = "] [" + QByteArray::number(QCoreApplication::applicationPid()) + "] ";
    int lastOwn = -1;
    int footer = -1;
    for (int i = 0; i < lines.size(); ++i) {
        if (lines.at(i).contains(own))
            lastOwn = i;
        else if (lines.at(i).startsWith("Application closed at: "))
            footer = i;
    }
    ASSERT_GE(lastOwn, 0);
    EXPECT_GT(footer, lastOwn);
}

} // namespace
} // namespace RavoSync::Test

#include "device_windows_test.moc"
