// The mended lifecycle: re-registration, ownerless guards, cancel against
// removal, attach events, and closing the provider at awkward moments.
#include "tests/connectlib/provider/provider_fixture.h"

#include "connectlib/common/common.h"
#include "connectlib/provider/connection_provider_p.h"
#include "connectlib/provider/lz2_listener.h"
#include "connectlib/worker/session_guard.h"
#include "devicelib/core/posting.h"
#include "devicelib/errors/errors.h"
#include "devicelib/usb/vendor_id.h"
#include "tests/support/foreign_session.h"
#include "tests/support/latch.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace ConnectLib::Test {
namespace {

// A session the test drives the adapter with by hand: it serves the device
// information file of the emulator's USB model, or fails as told.
class HandSession : public zarvo::test::foreign_session {
public:
    explicit HandSession(quint64 id)
        : m_id(id)
    {
    }

    std::uint64_t device_id() override { return m_id; }
    int connection_count() override { return m_connections; }
    void read(const std::string& path, std::ostream& out) override
    {
        if (m_busy)
            throw zarvo::device_busy();
        if (m_oddFailures > 0) {
            --m_oddFailures;
            // Derived from nothing the registration knows by name.
            throw 42;
        }
        if (const zarvo::test::latch* hold = m_hold.load()) {
            m_readReached.open();
            hold->wait();
        }
        out << zarvo::emulator::device_model().file(path).value_or(std::string());
    }
    void cancel() override { ++m_cancels; }

    void dropConnections() { m_connections = 0; }
    void failBusy() { m_busy = true; }
    // The next reads throw something that is no exception class at all.
    void failOddly(int times) { m_oddFailures = times; }
    // Reads wait for hold to open; readReached opens when one waits.
    void holdReads(const zarvo::test::latch* hold) { m_hold = hold; }
    const zarvo::test::latch& readReached() const { return m_readReached; }
    int cancels() const { return m_cancels; }

private:
    quint64 m_id;
    std::atomic<int> m_connections{1};
    std::atomic<bool> m_busy{false};
    std::atomic<int> m_oddFailures{0};
    std::atomic<const zarvo::test::latch*> m_hold{nullptr};
    zarvo::test::latch m_readReached;
    std::atomic<int> m_cancels{0};
};

// Runs f on a thread of its own, as the device library calls its listeners.
void onLibraryThread(const std::function<void()>& f)
{
    std::thread(f).join();
}

int threadCount()
{
    int count = 0;
    for ([[maybe_unused]] const auto& task : std::filesystem::directory_iterator("/proc/self/task"))
        ++count;
    return count;
}

class Lifecycle : public ProviderTest {
protected:
    void SetUp() override
    {
        ProviderTest::SetUp();
        // The race checker starts a helper thread of its own with the
        // process's first thread: make that happen before counting.
        std::thread([] {}).join();
        m_threadsBefore = threadCount();
        createProvider();
    }

    LZ2Listener* adapter() { return ConnectionProviderAccess::of(provider())->listener(); }

    // A device the settings know, so it is read at once.
    static void known(quint64 id)
    {
        Common::setSettingsValue(QString::number(id), QStringLiteral("0;2024-01-01"));
    }

    // Closing returns with every library and worker thread gone, emits no
    // disappearance and leaves nothing that logs.
    void closeAndCheck()
    {
        destroyProvider();
        // A joined thread may take a moment more to leave the process.
        EXPECT_TRUE(zarvo::test::eventually([&] { return threadCount() == m_threadsBefore; },
                                            std::chrono::milliseconds(2000)));
        const int lines = m_log.lines().size();
        processFor(300);
        EXPECT_TRUE(m_events.of("disappeared").empty());
        EXPECT_EQ(m_log.lines().size(), lines) << m_log.lines().join("\n").toStdString();
    }

    int m_threadsBefore = 0;
};

TEST_F(Lifecycle, ANewSessionOfARegisteredIdRetiresTheOldWorker)
{
    const int guardsBefore = SessionGuard::instances();
    const quint64 id = 0x5EED0001;
    known(id);
    HandSession older(id);
    HandSession newer(id);
    onLibraryThread([&] { adapter()->established(older); });
    ASSERT_TRUE(processUntil([&] { return m_events.of("appeared").size() == 1; }));

    // The order the device library keeps: the older session ends after the
    // newer one has registered, while the retired worker still exists (it
    // is deleted on this thread, which runs no events in between).
    onLibraryThread([&] { adapter()->established(newer); });
    EXPECT_EQ(SessionGuard::instances(), guardsBefore + 2);
    older.dropConnections();
    onLibraryThread([&] { adapter()->disconnected(older); });
    EXPECT_EQ(SessionGuard::instances(), guardsBefore + 2) << "the retired worker owns its guard";

    ASSERT_TRUE(processUntil([&] { return m_events.events().size() == 3; }));
    processFor(200);
    // The older session's end leaves the newer device registered.
    ASSERT_EQ(m_events.events().size(), 3u);
    EXPECT_EQ(m_events.events()[1].kind, "disappeared");
    EXPECT_EQ(m_events.events()[2].kind, "appeared");
    EXPECT_TRUE(processUntil([&] { return SessionGuard::instances() == guardsBefore + 1; }));

    // A removal names the session whose guard ended: another session's
    // guard removes nothing.
    {
        SessionGuard stranger(&older);
        stranger.nullify();
        ConnectionProviderAccess::of(provider())->SLOT_RemoveTC(id, &stranger);
    }
    processFor(100);
    EXPECT_EQ(m_events.events().size(), 3u);
    QSignalSpy data(provider(),
                    SIGNAL(SIGNAL_TCDataReceived(ConnectLib::TCData, ConnectLib::CPStateFlags)));
    provider()->SLOT_getTCData(id);
    ASSERT_TRUE(processUntil([&] { return data.size() == 1; }));
    EXPECT_EQ(qvariant_cast<CPStateFlags>(data.front().last()), CPStateFlags(OK));

    newer.dropConnections();
    onLibraryThread([&] { adapter()->disconnected(newer); });
    ASSERT_TRUE(processUntil([&] { return m_events.of("disappeared").size() == 2; }));
    // Both workers, their threads and their guards are gone.
    EXPECT_TRUE(processUntil([&] { return SessionGuard::instances() == guardsBefore; }));
}

TEST_F(Lifecycle, ARemovedDevicesWorkerIsDeletedWithoutWaitingForAnotherRegistration)
{
    const int guardsBefore = SessionGuard::instances();
    const quint64 gone = 0x5EED0006;
    const quint64 arriving = 0x5EED0007;
    known(gone);
    known(arriving);
    HandSession leaving(gone);
    onLibraryThread([&] { adapter()->established(leaving); });
    waitAppeared(gone);
    // The removal retires the worker; its deletion is queued to this thread.
    leaving.dropConnections();
    onLibraryThread([&] { adapter()->disconnected(leaving); });

    // Another device's registration holds the adapter's mutex meanwhile.
    zarvo::test::latch hold;
    HandSession next(arriving);
    next.holdReads(&hold);
    std::thread registering([&] { adapter()->established(next); });
    ASSERT_TRUE(next.readReached().wait());

    // This thread deletes the retired worker and its guard without waiting
    // for that registration. Should it wait, the registration is let go
    // after a while (failing the test) rather than hanging it.
    zarvo::test::latch deletedInTime;
    std::thread releaser([&] {
        deletedInTime.wait(std::chrono::seconds(10));
        hold.open();
    });
    QElapsedTimer elapsed;
    elapsed.start();
    processUntil([&] { return SessionGuard::instances() == guardsBefore + 1; });
    EXPECT_FALSE(hold.is_open()) << "the deletion waited " << elapsed.elapsed() << " ms";
    deletedInTime.open();
    releaser.join();
    registering.join();
    EXPECT_TRUE(waitDisappeared(gone));
    waitAppeared(arriving);

    next.dropConnections();
    onLibraryThread([&] { adapter()->disconnected(next); });
    EXPECT_TRUE(processUntil([&] { return SessionGuard::instances() == guardsBefore; }));
}

TEST_F(Lifecycle, AnExceptionOfNoKnownClassIsOneMoreFailedAttempt)
{
    const quint64 id = 0x5EED0008;
    known(id);
    HandSession odd(id);
    odd.failOddly(1);
    onLibraryThread([&] { adapter()->established(odd); });
    const TCData record = waitAppeared(id);
    EXPECT_EQ(record.tcState(), OK);
    EXPECT_EQ(record.model(), QStringLiteral("Ravo Pace 2"));
    EXPECT_EQ(m_log.errors(), QStringList{QStringLiteral("Unknown exception thrown.")});

    // Closing after it interrupts no thread that has gone.
    odd.dropConnections();
    onLibraryThread([&] { adapter()->disconnected(odd); });
    ASSERT_TRUE(waitDisappeared(id));
    m_events.clear();
    closeAndCheck();
}

TEST_F(Lifecycle, ADroppedRegistrationsGuardIsFreedWhenItsSessionEnds)
{
    const int guardsBefore = SessionGuard::instances();
    const quint64 id = 0x5EED0002;
    known(id);
    HandSession busy(id);
    busy.failBusy();
    onLibraryThread([&] { adapter()->established(busy); });
    EXPECT_EQ(SessionGuard::instances(), guardsBefore + 1) << "kept while the session lives";
    // A further connection does not register it again.
    onLibraryThread([&] { adapter()->established(busy); });
    EXPECT_EQ(m_log.errors().size(), 1);

    busy.dropConnections();
    onLibraryThread([&] { adapter()->disconnected(busy); });
    EXPECT_EQ(SessionGuard::instances(), guardsBefore);
    settle();
    EXPECT_TRUE(m_events.events().empty());
}

TEST_F(Lifecycle, CancelRacingIdleAndRemovalNeitherDeadlocksNorTouchesADeletedWorker)
{
    const quint64 id = 0x5EED0003;
    known(id);
    HandSession session(id);
    onLibraryThread([&] { adapter()->established(session); });
    const TCData record = waitAppeared(id);

    std::atomic<bool> stop{false};
    std::thread idler([&] {
        while (!stop) {
            adapter()->idling(session);
            adapter()->battery_status(session, 50);
        }
    });
    std::thread remover([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        session.dropConnections();
        adapter()->disconnected(session);
    });
    QElapsedTimer elapsed;
    elapsed.start();
    // Cancels go on through the removal and the worker's deletion, which
    // happens on this thread between them.
    while (elapsed.elapsed() < 400) {
        provider()->SLOT_cancel(record);
        QCoreApplication::processEvents();
    }
    remover.join();
    stop = true;
    idler.join();
    EXPECT_GT(session.cancels(), 0);
    ASSERT_TRUE(waitDisappeared(id));
    QSignalSpy cancelled(provider(),
                         SIGNAL(SIGNAL_cancelled(ConnectLib::TCData, ConnectLib::CPStateFlags)));
    provider()->SLOT_cancel(record);
    ASSERT_EQ(cancelled.size(), 1);
    EXPECT_EQ(qvariant_cast<CPStateFlags>(cancelled.front().last()), CPStateFlags(0x20008));
}

TEST_F(Lifecycle, ADorvaneOnUsbIsAnnouncedAndItsRemovalTold)
{
    const std::filesystem::path dir = m_dir / "hid";
    char name[64];
    std::snprintf(name, sizeof name, "%04x-0009-D0A1.hid", unsigned(zarvo::usb::device_vendor_id));
    const std::string path = (dir / name).string();
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_TRUE(processUntil([&] { return !m_events.of("announce").empty(); }));
    ::unlink(path.c_str());
    ::close(fd);
    ASSERT_TRUE(processUntil([&] { return !m_events.of("removed").empty(); }));
    EXPECT_TRUE(m_events.allOnOwnThread());
}

TEST_F(Lifecycle, AttachEventsNeverReachAClosedProvider)
{
    const std::filesystem::path dir = m_dir / "hid";
    char name[64];
    std::snprintf(name, sizeof name, "%04x-0009-D0A2.hid", unsigned(zarvo::usb::device_vendor_id));
    const std::string path = (dir / name).string();
    std::atomic<bool> stop{false};
    std::thread toggler([&] {
        while (!stop) {
            const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            path.copy(address.sun_path, sizeof address.sun_path - 1);
            ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            ::unlink(path.c_str());
            ::close(fd);
        }
    });
    for (int round = 0; round < 5; ++round) {
        // The provider hears the device come and go while it lives...
        const std::size_t heard = m_events.events().size();
        ASSERT_TRUE(processUntil([&] { return m_events.events().size() > heard; }));
        destroyProvider();
        // ...and nothing once it has gone, though the device keeps changing.
        const std::size_t atClose = m_events.events().size();
        processFor(20);
        EXPECT_EQ(m_events.events().size(), atClose) << "round " << round;
        createProvider();
    }
    stop = true;
    toggler.join();
    for (const auto& event : m_events.events())
        EXPECT_TRUE(event.kind == "announce" || event.kind == "removed")
            << event.kind.toStdString();
    EXPECT_TRUE(m_events.allOnOwnThread());
}

TEST_F(Lifecycle, ClosingDuringARegistrationEndsItWithoutAWorker)
{
    Common::setSettingsValue(QStringLiteral("delaynew"), QStringLiteral("20000"));
    zarvo::test::test_device device;
    publishModel(device.id());
    settle(500);
    QElapsedTimer elapsed;
    elapsed.start();
    closeAndCheck();
    EXPECT_LT(elapsed.elapsed(), 15000) << "the registration's wait ended early";
    EXPECT_TRUE(m_events.events().empty());
}

TEST_F(Lifecycle, ARegistrationEndingWhileTheProviderClosesAddsNoWorker)
{
    zarvo::test::test_device device;
    known(device.id());
    auto* connection = new zarvo::test::fake_connection();
    connection->set_transport("HID");
    zarvo::test::connection_action read = zarvo::test::connection_action::returns_bytes(
        zarvo::emulator::device_model().file("/DEVICE.BPB").value_or(std::string()));
    zarvo::test::latch reached;
    // The device's answer comes once closing has begun: closing interrupts
    // the registering thread, this one.
    read.before = [&reached] {
        reached.open();
        zarvo::test::eventually([] { return QThread::currentThread()->isInterruptionRequested(); });
    };
    connection->script(zarvo::test::connection_op::read, read);
    publish(device.id(), connection);
    ASSERT_TRUE(reached.wait());

    closeAndCheck();
    EXPECT_TRUE(m_events.events().empty());
}

TEST_F(Lifecycle, ClosingDuringALongOperationWaitsForIt)
{
    zarvo::test::test_device device;
    const auto model = publishModel(device.id());
    const TCData record = waitAppeared(device.id());
    const HeldRequest held = holdUserRequest(*model, record);
    const auto stall = held.stall;
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stall->release();
    });
    closeAndCheck();
    releaser.join();
}

TEST_F(Lifecycle, ClosingWithSeveralDevicesAndALocalOne)
{
    zarvo::test::test_device first;
    zarvo::test::test_device second;
    zarvo::test::test_device third;
    publishModel(first.id());
    publishModel(second.id());
    publishModel(third.id());
    waitAppeared(first.id());
    waitAppeared(second.id());
    waitAppeared(third.id());
    provider()->SLOT_createLocalTC(QDir(m_offlineRoot).filePath("local"));
    provider()->SLOT_readBatteryStatus(m_events.of("appeared", first.id()).front().data);
    closeAndCheck();
}

TEST_F(Lifecycle, ClosingJustAfterARemoval)
{
    zarvo::test::test_device device;
    publishModel(device.id());
    waitAppeared(device.id());
    withdraw(device.id(), connectionOf(device.id()));
    ASSERT_TRUE(waitDisappeared(device.id()));
    m_events.clear();
    closeAndCheck();
}

} // namespace
} // namespace ConnectLib::Test
