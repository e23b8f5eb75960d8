// The frame every device operation runs in: one at a time in arrival order,
// the session guard and the device lock, a cancel that waits for the running
// operation, and each command's family for its failures.
#include "devicelib/core/session.h"
#include "devicelib/core/session_lock.h"
#include "devicelib/errors/errors.h"
#include "devicelib/proto/zftp_request.pb.h"
#include "tests/connectlib/support/ktlib_test_support.h"
#include "tests/connectlib/worker/device_fixture.h"
#include "tests/devicelib/core/lock_holder_process.h"
#include "tests/support/latch.h"

#include <QMetaMethod>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <thread>
#include <vector>
#include <mutex>

namespace ConnectLib {
namespace {

using Test::allOnes;
using Test::ask;
using Test::flagsOf;
using Test::SignalLog;
using Test::WorkerThread;
using zarvo::emulator::match;

class WorkerFrame : public Test::DeviceFixture {};

TEST_F(WorkerFrame, RequestsRunOneAtATimeInArrivalOrder)
{
    zarvo::emulator::device_model& model = publishModel();
    const auto stall = model.script_stall(match::query(protocol::GET_BATTERY_STATUS), 1);

    std::mutex mutex;
    QStringList order;
    const auto note = [&](const char* what) {
        std::lock_guard<std::mutex> lock(mutex);
        order.append(QString::fromLatin1(what));
    };
    TCWorker* w = worker();
    const QMetaObject::Connection connections[] = {
        QObject::connect(w, &TCWorker::SIGNAL_batteryStatusReceived,
                         [&](TCData, int, CPStateFlags f) { note(f == OK ? "battery" : "x"); }),
        QObject::connect(w, &TCWorker::SIGNAL_currentUserDataReceived,
                         [&](TCData, QString, uint, qulonglong, CPStateFlags f) {
                             note(f == OK ? "user" : "x");
                         }),
        QObject::connect(w, &TCWorker::SIGNAL_freeSpaceReceived,
                         [&](TCData, qulonglong, CPStateFlags) { note("free space"); }),
        QObject::connect(w, &TCWorker::SIGNAL_timestampReceived,
                         [&](TCData, QDateTime, CPStateFlags f) { note(f == OK ? "time" : "x"); }),
    };
    const TCData d = record();
    thread().post([w, d] { w->SLOT_readBatteryStatus(d); });
    ASSERT_TRUE(stall->wait_reached(1));
    thread().post([w, d] { w->SLOT_getCurrentUserData(d); });
    thread().post([w, d] { w->SLOT_getFreeSpace(d); });
    thread().post([w, d] { w->SLOT_getTimestamp(d); });
    thread().post([w, d] { w->SLOT_readBatteryStatus(d); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(model.transcript().empty()) << "a queued request reached the device";

    stall->release();
    ASSERT_TRUE(zarvo::test::eventually([&] {
        std::lock_guard<std::mutex> lock(mutex);
        return order.size() == 5;
    }));
    for (const auto& c : connections)
        QObject::disconnect(c);
    EXPECT_EQ(order, (QStringList{"battery", "user", "free space", "time", "battery"}));
}

TEST_F(WorkerFrame, CancelWaitsForTheRunningOperationAndAbortsTheNextTransfer)
{
    zarvo::emulator::device_model& model = publishModel();
    model.set_battery_level(64);
    const auto stall = model.script_stall(match::query(protocol::GET_BATTERY_STATUS), 1);
    const TCData d = record();

    SignalLog battery(worker(), &TCWorker::SIGNAL_batteryStatusReceived);
    TCWorker* w = worker();
    thread().post([w, d] { w->SLOT_readBatteryStatus(d); });
    ASSERT_TRUE(stall->wait_reached(1));

    std::atomic<bool> cancelled{false};
    std::thread canceller([&] {
        w->cancelOperation();
        cancelled = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(cancelled) << "the cancel returned while the operation held the guard";
    stall->release();
    canceller.join();

    // The running operation is not affected.
    EXPECT_EQ(battery.wait(1), std::make_tuple(d, 64, CPStateFlags(OK)));
    // The next transfer meets the pending request; its lock clears it.
    EXPECT_EQ(battery.count(), 1u);
    thread().post([w, d] { w->SLOT_readBatteryStatus(d); });
    EXPECT_EQ(battery.wait(2), std::make_tuple(d, -1, CPStateFlags(CANCELLED | GENERAL_ERROR)));
    thread().post([w, d] { w->SLOT_readBatteryStatus(d); });
    EXPECT_EQ(battery.wait(3), std::make_tuple(d, 64, CPStateFlags(OK)));
}

// Records every signal a worker sends.
class EverySignal {
public:
    explicit EverySignal(TCWorker* worker)
    {
        const QMetaObject* meta = worker->metaObject();
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            if (meta->method(i).methodType() == QMetaMethod::Signal)
                m_spies.push_back(std::make_unique<QSignalSpy>(worker, meta->method(i)));
        }
    }
    // The names of the signals sent so far.
    QStringList sent() const
    {
        QStringList names;
        for (const auto& spy : m_spies) {
            for (int i = 0; i < spy->size(); ++i)
                names << QString::fromLatin1(spy->signal());
        }
        return names;
    }
    bool watchesAny() const { return !m_spies.empty(); }

private:
    std::vector<std::unique_ptr<QSignalSpy>> m_spies;
};

TEST_F(WorkerFrame, ACancelOnAGoneDeviceOrALocalWorkerDoesNothing)
{
    zarvo::emulator::device_model& model = publishModel();
    withdraw();
    model.clear_transcript();
    EverySignal device(worker());
    ASSERT_TRUE(device.watchesAny());
    worker()->cancelOperation();
    // Anything the cancel had queued on the worker's thread has run by now.
    thread().run([] {});
    EXPECT_TRUE(model.transcript().empty()) << "the cancel reached the device";
    EXPECT_EQ(device.sent(), QStringList());

    WorkerThread local(new TCWorker(TCData(), nullptr, nullptr, nullptr, QString()));
    EverySignal localSignals(local.worker());
    local.worker()->cancelOperation();
    local.run([] {});
    EXPECT_EQ(localSignals.sent(), QStringList());
}

// One request per family, with the flags it gives for a device locked
// elsewhere and for a device that has gone.
struct FamilyRequest {
    const char* name;
    std::function<CPStateFlags(WorkerThread&, const TCData&)> run;
    CPStateFlags busy;
    CPStateFlags gone;
};

const FamilyRequest familyRequests[] = {
    {"battery",
     [](WorkerThread& t, const TCData& d) {
         return flagsOf(ask(t, &TCWorker::SIGNAL_batteryStatusReceived,
                            [d](TCWorker* w) { w->SLOT_readBatteryStatus(d); }));
     },
     SYSTEM_BUSY, TC_CONNECTION_LOST},
    {"clocks read",
     [](WorkerThread& t, const TCData& d) {
         return flagsOf(
             ask(t, &TCWorker::SIGNAL_tcTimesGet, [d](TCWorker* w) { w->SLOT_getTCTimes(d); }));
     },
     SYSTEM_BUSY, TC_CONNECTION_LOST},
    {"clocks set",
     [](WorkerThread& t, const TCData& d) {
         const QDateTime when(QDate(2024, 5, 6), QTime(7, 8, 9));
         return flagsOf(ask(t, &TCWorker::SIGNAL_tcTimesSet, [d, when](TCWorker* w) {
             w->SLOT_setTCTimes(d, when, true, when, 60);
         }));
     },
     SYSTEM_BUSY, TC_CONNECTION_LOST},
    {"timestamp",
     [](WorkerThread& t, const TCData& d) {
         return flagsOf(ask(t, &TCWorker::SIGNAL_timestampReceived,
                            [d](TCWorker* w) { w->SLOT_getTimestamp(d); }));
     },
     SYSTEM_BUSY | FILE_OPERATION_FAILED, GET_TIMESTAMP_FAILED | TC_CONNECTION_LOST},
    {"user",
     [](WorkerThread& t, const TCData& d) {
         return flagsOf(ask(t, &TCWorker::SIGNAL_currentUserDataReceived,
                            [d](TCWorker* w) { w->SLOT_getCurrentUserData(d); }));
     },
     SYSTEM_BUSY | GET_CURRENT_USER_DATA_FAILED, GET_CURRENT_USER_DATA_FAILED | GENERAL_ERROR},
    {"token",
     [](WorkerThread& t, const TCData& d) {
         return flagsOf(ask(t, &TCWorker::SIGNAL_challengeTokenReceived, [d](TCWorker* w) {
             w->SLOT_generateChallengeToken(d, 0, QByteArray(32, 'a'));
         }));
     },
     SYSTEM_BUSY | FILE_OPERATION_FAILED, GET_CHALLENGE_TOKEN_FAILED | GENERAL_ERROR},
    {"token with a bad nonce",
     [](WorkerThread& t, const TCData& d) {
         return flagsOf(ask(t, &TCWorker::SIGNAL_challengeTokenReceived, [d](TCWorker* w) {
             w->SLOT_generateChallengeToken(d, 0, QByteArray(31, 'a'));
         }));
     },
     SYSTEM_BUSY | FILE_OPERATION_FAILED, GET_CHALLENGE_TOKEN_FAILED | GENERAL_ERROR},
    {"debug bridge",
     [](WorkerThread& t, const TCData& d) {
         return flagsOf(ask(t, &TCWorker::SIGNAL_ADBenableCompleted,
                            [d](TCWorker* w) { w->SLOT_ADB_enable(d, true); }));
     },
     FW_UPDATE_FAILED | TC_BUSY, FW_UPDATE_FAILED | TC_CONNECTION_LOST},
};

// Requests that report only in the log, with the log's kind line.
void runLogOnly(WorkerThread& t, const TCData& d)
{
    TCWorker* w = t.worker();
    t.post([w] { w->SLOT_startSync(); });
    t.post([w] { w->SLOT_stopSync(true); });
    t.post([w, d] { w->SLOT_reset(d, false, true); });
    // Free space and clean-up fail only through the value.
    EXPECT_EQ(
        ask(t, &TCWorker::SIGNAL_freeSpaceReceived, [d](TCWorker* w) { w->SLOT_getFreeSpace(d); }),
        std::make_tuple(d, allOnes, CPStateFlags(OK)));
    EXPECT_EQ(
        ask(t, &TCWorker::SIGNAL_cleanupDone, [d](TCWorker* w) { w->SLOT_cleanupDisk(d, 4096); }),
        std::make_tuple(d, allOnes, CPStateFlags(OK)));
}

QStringList kindLines(const QStringList& errors)
{
    QStringList out;
    for (const QString& line : errors) {
        if (line.endsWith(QLatin1String(" exception thrown.")))
            out.append(line);
    }
    return out;
}

class FamiliesWhenUnavailable : public Test::DeviceFixture {
protected:
    void expectEveryFamily(bool busy, const QString& kind)
    {
        const TCData d = record();
        for (const FamilyRequest& request : familyRequests) {
            log.clear();
            EXPECT_EQ(request.run(thread(), d), busy ? request.busy : request.gone) << request.name;
            EXPECT_EQ(kindLines(log.errors()), QStringList{kind}) << request.name;
        }
        log.clear();
        runLogOnly(thread(), d);
        // Sync start, sync stop, reset, free space and clean-up.
        QStringList expected;
        for (int i = 0; i < 5; ++i)
            expected.append(kind);
        EXPECT_EQ(kindLines(log.errors()), expected);
    }
};

TEST_F(FamiliesWhenUnavailable, ADeviceLockedByAnotherThread)
{
    publishModel();
    zarvo::session* session = guard().getSessionPointer().raw();
    zarvo::test::latch held;
    zarvo::test::latch done;
    std::thread holder([&] {
        zarvo::session_lock lock(*session, 0);
        held.open();
        done.wait();
    });
    ASSERT_TRUE(held.wait());
    expectEveryFamily(true, QStringLiteral("System busy exception thrown."));
    done.open();
    holder.join();
}

TEST_F(FamiliesWhenUnavailable, ADeviceLockedByAnotherProgram)
{
    zarvo::emulator::device_model& model = publishModel();
    zarvo::test::lock_holder_process holder;
    ASSERT_EQ(holder.command("hold " + std::to_string(id())), "held");
    expectEveryFamily(true, QStringLiteral("System busy exception thrown."));
    EXPECT_TRUE(model.transcript().empty()) << "a locked device was asked";
    ASSERT_EQ(holder.command("release"), "released");
}

TEST_F(FamiliesWhenUnavailable, ADeviceThatHasGone)
{
    publishModel();
    withdraw();
    expectEveryFamily(false, QStringLiteral("Session expired exception thrown."));
}

// Errors a transfer raises reach each command's family.
TEST_F(WorkerFrame, TransferErrorsReachEachCommandsFamily)
{
    zarvo::test::fake_connection& connection = publishFake();
    using zarvo::test::connection_action;
    using zarvo::test::connection_op;
    const TCData d = record();

    connection.script(connection_op::query, connection_action::throws(zarvo::operation_canceled()));
    EXPECT_EQ(ask(thread(), &TCWorker::SIGNAL_batteryStatusReceived,
                  [d](TCWorker* w) { w->SLOT_readBatteryStatus(d); }),
              std::make_tuple(d, -1, CPStateFlags(CANCELLED | GENERAL_ERROR)));

    connection.script(connection_op::read, connection_action::throws(zarvo::try_again()));
    EXPECT_EQ(flagsOf(ask(thread(), &TCWorker::SIGNAL_currentUserDataReceived,
                          [d](TCWorker* w) { w->SLOT_getCurrentUserData(d); })),
              TRY_OPERATION_AGAIN | GET_CURRENT_USER_DATA_FAILED);

    connection.script(connection_op::query, connection_action::throws(zarvo::device_busy()));
    EXPECT_EQ(flagsOf(ask(
                  thread(), &TCWorker::SIGNAL_challengeTokenReceived,
                  [d](TCWorker* w) { w->SLOT_generateChallengeToken(d, 1, QByteArray(32, '0')); })),
              TC_BUSY | FILE_OPERATION_FAILED);

    // The debug bridge has no row for a device that asks to try again.
    connection.script(connection_op::query, connection_action::throws(zarvo::try_again()));
    EXPECT_EQ(ask(thread(), &TCWorker::SIGNAL_ADBenableCompleted,
                  [d](TCWorker* w) { w->SLOT_ADB_enable(d, false); }),
              std::make_tuple(d, false, CPStateFlags(FW_UPDATE_FAILED | GENERAL_ERROR)));

    connection.script(connection_op::query,
                      connection_action::throws(zarvo::invalid_parameter("time")));
    EXPECT_EQ(flagsOf(ask(thread(), &TCWorker::SIGNAL_tcTimesGet,
                          [d](TCWorker* w) { w->SLOT_getTCTimes(d); })),
              INVALID_PARAMETER | INVALID_CONTENT);

    connection.script(connection_op::disk_space,
                      connection_action::throws(zarvo::operation_timed_out()));
    log.clear();
    EXPECT_EQ(ask(thread(), &TCWorker::SIGNAL_freeSpaceReceived,
                  [d](TCWorker* w) { w->SLOT_getFreeSpace(d); }),
              std::make_tuple(d, allOnes, CPStateFlags(OK)));
    EXPECT_EQ(log.errors(),
              (QStringList{"Operation timed out exception thrown.", "Operation timed out."}));

    // Log-only: no signal, the lines only.
    connection.script(connection_op::notify, connection_action::throws(zarvo::link_lost()));
    connection.script(connection_op::notify, connection_action::throws(std::runtime_error("x")));
    log.clear();
    TCWorker* w = worker();
    thread().post([w] { w->SLOT_startSync(); });
    thread().post([w, d] { w->SLOT_reset(d, true, false); });
    thread().run([] {});
    EXPECT_EQ(log.errors(), (QStringList{"Link lost exception thrown.", "Link lost.",
                                         "Std exception thrown. Message: x"}));
}

} // namespace
} // namespace ConnectLib
