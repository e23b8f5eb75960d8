// The device commands against the device model, and what a local worker
// answers instead.
#include "devicelib/proto/zftp_request.pb.h"
#include "tests/connectlib/support/ktlib_test_support.h"
#include "tests/connectlib/worker/device_fixture.h"

#include <gtest/gtest.h>

namespace ConnectLib {
namespace {

using Test::allOnes;
using Test::ask;
using Test::LogLines;
using Test::WorkerThread;
using zarvo::emulator::match;

template <typename Date, typename Time>
std::vector<unsigned> clockFields(const Date& date, const Time& time)
{
    return {date.year(),   date.month(),   date.day(),   time.hour(),
            time.minute(), time.seconds(), time.millis()};
}

class DeviceCommands : public Test::DeviceFixture {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
        model = &publishModel();
    }

    // Runs a request that has no result signal to its end.
    template <typename Request>
    void runSilent(Request request)
    {
        TCWorker* w = worker();
        thread().post([w, request] { request(w); });
        thread().run([] {});
    }

    zarvo::emulator::device_model* model = nullptr;
    const TCData d = record();
};

TEST_F(DeviceCommands, RecordIsTheWorkersOwn)
{
    EXPECT_EQ(
        ask(thread(), &TCWorker::SIGNAL_TCDataReceived, [](TCWorker* w) { w->SLOT_getTCData(); }),
        std::make_tuple(d, CPStateFlags(OK)));
    EXPECT_EQ(worker()->tcData().model(), QStringLiteral("Ravo Pace 2"));
}

TEST_F(DeviceCommands, SyncAndResetReachTheDeviceWithTheirParameters)
{
    runSilent([](TCWorker* w) { w->SLOT_startSync(); });
    EXPECT_TRUE(model->syncing());
    runSilent([](TCWorker* w) { w->SLOT_stopSync(false); });
    EXPECT_FALSE(model->syncing());
    ASSERT_TRUE(model->last_stop_sync());
    EXPECT_FALSE(model->last_stop_sync()->completed);

    runSilent([](TCWorker* w) { w->SLOT_stopSync(true); });
    EXPECT_TRUE(model->last_stop_sync()->completed);

    log.clear();
    const TCData request = record();
    runSilent([request](TCWorker* w) { w->SLOT_reset(request, true, false); });
    ASSERT_TRUE(model->last_reset());
    EXPECT_TRUE(model->last_reset()->sleep);
    EXPECT_FALSE(model->last_reset()->factory_defaults);
    EXPECT_EQ(log.lines(),
              QStringList{"Do factory reset for deviceid: " + request.deviceIdAsHexString()});
}

TEST_F(DeviceCommands, ClocksAreSetAsGivenAndReadBack)
{
    const QDateTime system(QDate(2024, 1, 1), QTime(9, 5, 3, 7));
    const QDateTime local(QDate(2024, 1, 1), QTime(11, 5, 3, 7));
    log.clear();
    EXPECT_EQ(ask(thread(), &TCWorker::SIGNAL_tcTimesSet,
                  [=](TCWorker* w) { w->SLOT_setTCTimes(d, system, true, local, 120); }),
              std::make_tuple(d, CPStateFlags(OK)));
    EXPECT_EQ(log.lines(),
              (QStringList{"Set system datetime to: 1.1.2024 9:5:3.7, trusted: 1",
                           "Set local datetime to: 1.1.2024 11:5:3.7, timezone: 120"}));

    EXPECT_EQ(
        ask(thread(), &TCWorker::SIGNAL_tcTimesGet, [=](TCWorker* w) { w->SLOT_getTCTimes(d); }),
        std::make_tuple(d, system, local, CPStateFlags(OK)));
}

TEST_F(DeviceCommands, AFailedLocalClockLeavesTheSystemClockSet)
{
    const QDateTime first(QDate(2023, 12, 31), QTime(23, 59, 58, 999));
    EXPECT_EQ(
        std::get<1>(ask(thread(), &TCWorker::SIGNAL_tcTimesSet,
                        [=](TCWorker* w) { w->SLOT_setTCTimes(d, first, false, first, -60); })),
        CPStateFlags(OK));
    const std::string localBefore = model->local_clock();

    const QDateTime second(QDate(2025, 6, 7), QTime(8, 9, 10, 11));
    model->script_answer(match::query(protocol::SET_LOCAL_TIME), 202, 1);
    EXPECT_EQ(
        std::get<1>(ask(thread(), &TCWorker::SIGNAL_tcTimesSet,
                        [=](TCWorker* w) { w->SLOT_setTCTimes(d, second, false, second, 0); })),
        CPStateFlags(TC_BUSY));
    EXPECT_EQ(model->local_clock(), localBefore);
    const auto [record, system, local, flags] =
        ask(thread(), &TCWorker::SIGNAL_tcTimesGet, [=](TCWorker* w) { w->SLOT_getTCTimes(d); });
    EXPECT_EQ(system, second);
    EXPECT_EQ(local, first);
    EXPECT_EQ(flags, OK);
}

TEST_F(DeviceCommands, BatteryAndTimestamp)
{
    model->set_battery_level(55);
    log.clear();
    EXPECT_EQ(ask(thread(), &TCWorker::SIGNAL_batteryStatusReceived,
                  [=](TCWorker* w) { w->SLOT_readBatteryStatus(d); }),
              std::make_tuple(d, 55, CPStateFlags(OK)));
    EXPECT_EQ(log.lines(),
              QStringList{"Get battery status for deviceid: " + d.deviceIdAsHexString()});

    model->script_answer(match::query(protocol::GET_BATTERY_STATUS), 202, 1);
    EXPECT_EQ(ask(thread(), &TCWorker::SIGNAL_batteryStatusReceived,
                  [=](TCWorker* w) { w->SLOT_readBatteryStatus(d); }),
              std::make_tuple(d, -1, CPStateFlags(TC_BUSY)));

    // The device library has no timestamp to give.
    EXPECT_EQ(ask(thread(), &TCWorker::SIGNAL_timestampReceived,
                  [=](TCWorker* w) { w->SLOT_getTimestamp(d); }),
              std::make_tuple(d, QDateTime(), CPStateFlags(OK)));
}

TEST_F(DeviceCommands, CurrentUserWithAndWithoutMasterId)
{
    const auto user = [&] {
        return ask(thread(), &TCWorker::SIGNAL_currentUserDataReceived,
                   [=](TCWorker* w) { w->SLOT_getCurrentUserData(d); });
    };
    log.clear();
    EXPECT_EQ(user(), std::make_tuple(d, QStringLiteral("/U/0"), 0u,
                                      qulonglong(model->profile().master_id), CPStateFlags(OK)));
    EXPECT_EQ(log.lines(),
              QStringList{"Get current user data for deviceid: " + d.deviceIdAsHexString()});

    // A user file without master id.
    model->put_file("/U/0/USERID.BPB", std::string());
    log.clear();
    EXPECT_EQ(user(), std::make_tuple(d, QStringLiteral("/U/0"), 0u, 0ull, CPStateFlags(OK)));
    EXPECT_TRUE(log.lines().contains("No master ID set. continue..."));

    // No user database: nothing is known.
    ASSERT_TRUE(model->remove_entry("/U/UDB.BPB"));
    EXPECT_EQ(user(), std::make_tuple(d, QString(), 0u, 0ull,
                                      CPStateFlags(GET_CURRENT_USER_DATA_FAILED | GENERAL_ERROR)));
}

TEST_F(DeviceCommands, ChallengeTokenFromTheNonceBytes)
{
    const auto token = [&](uint user, const QByteArray& nonce) {
        return ask(thread(), &TCWorker::SIGNAL_challengeTokenReceived,
                   [=](TCWorker* w) { w->SLOT_generateChallengeToken(d, user, nonce); });
    };
    const auto expected = [](std::uint32_t user, const QByteArray& bytes) {
        return QString::fromLatin1(
            QByteArray::fromStdString(
                zarvo::emulator::device_model::challenge_token(user, bytes.toStdString()))
                .toHex());
    };

    const QByteArray hexNonce("00112233445566778899AaBbCcDdEeFf");
    const auto [r1, text, flags] = token(0, hexNonce);
    EXPECT_EQ(flags, OK);
    EXPECT_FALSE(text.isEmpty());
    EXPECT_EQ(text, expected(0, QByteArray::fromHex(hexNonce)));
    EXPECT_EQ(text, text.toLower());

    // Pairs that are not hexadecimal become zero bytes.
    EXPECT_EQ(token(0, QByteArray(32, 'z')),
              std::make_tuple(d, expected(0, QByteArray(16, '\0')), CPStateFlags(OK)));

    model->clear_transcript();
    for (const int length : {0, 31, 33}) {
        log.clear();
        EXPECT_EQ(
            token(0, QByteArray(length, 'a')),
            std::make_tuple(d, QString(), CPStateFlags(GET_CHALLENGE_TOKEN_FAILED | GENERAL_ERROR)))
            << length;
        EXPECT_EQ(log.lines(), QStringList{"Nonse too short!"});
    }
    EXPECT_TRUE(model->transcript().empty()) << "a bad nonce reached the device";
}

TEST_F(DeviceCommands, DebugBridgeMode)
{
    EXPECT_EQ(ask(thread(), &TCWorker::SIGNAL_ADBenableCompleted,
                  [=](TCWorker* w) { w->SLOT_ADB_enable(d, true); }),
              std::make_tuple(d, true, CPStateFlags(OK)));
    EXPECT_TRUE(model->adb_enabled());
    EXPECT_EQ(ask(thread(), &TCWorker::SIGNAL_ADBenableCompleted,
                  [=](TCWorker* w) { w->SLOT_ADB_enable(d, false); }),
              std::make_tuple(d, false, CPStateFlags(OK)));
    EXPECT_FALSE(model->adb_enabled());
}

TEST_F(DeviceCommands, FreeSpaceAndCleanUp)
{
    const auto free = [](const zarvo::emulator::device_model::disk_usage& u) {
        return qulonglong(u.free_fragments) * u.fragment_size;
    };
    EXPECT_EQ(ask(thread(), &TCWorker::SIGNAL_freeSpaceReceived,
                  [=](TCWorker* w) { w->SLOT_getFreeSpace(d); }),
              std::make_tuple(d, free(model->disk()), CPStateFlags(OK)));
    EXPECT_EQ(worker()->readFragmentSize(), model->profile().fragment_size);

    model->set_reclaimable_fragments(100);
    const qulonglong before = free(model->disk());
    const auto [r, after, flags] = ask(thread(), &TCWorker::SIGNAL_cleanupDone,
                                       [=](TCWorker* w) { w->SLOT_cleanupDisk(d, 8192); });
    EXPECT_EQ(flags, OK);
    EXPECT_EQ(model->last_cleanup_request(), 8192u);
    EXPECT_EQ(after, free(model->disk()));
    EXPECT_GT(after, before);

    // A failure shows only in the value.
    model->script_answer(match::query(protocol::CLEANUP_DISK_SPACE), 202, 1);
    EXPECT_EQ(ask(thread(), &TCWorker::SIGNAL_cleanupDone,
                  [=](TCWorker* w) { w->SLOT_cleanupDisk(d, 1); }),
              std::make_tuple(d, allOnes, CPStateFlags(OK)));
}

TEST(LocalWorkerCommands, AnswerWithoutADevice)
{
    LogLines log;
    WorkerThread thread(new TCWorker(TCData(), nullptr, nullptr, nullptr, "/local/root"));
    const TCData d(TCData::localDeviceId, "/local/root", "LocalTC", true, "Local", "", "", "", "",
                   "", TC_NOT_FOUND);

    const auto [record, flags] =
        ask(thread, &TCWorker::SIGNAL_TCDataReceived, [](TCWorker* w) { w->SLOT_getTCData(); });
    EXPECT_EQ(flags, OK);
    EXPECT_EQ(record.deviceId(), 0xFFFFFFFEu);
    EXPECT_EQ(record.name(), QStringLiteral("/local/root"));
    EXPECT_EQ(record.model(), QStringLiteral("LocalTC"));
    EXPECT_TRUE(record.isLinkValid());
    EXPECT_EQ(record.type(), QStringLiteral("Local"));
    EXPECT_EQ(record.firmware(), QString());
    EXPECT_EQ(record.tcState(), TC_NOT_FOUND);

    const QDateTime now = QDateTime::currentDateTime();
    EXPECT_EQ(ask(thread, &TCWorker::SIGNAL_tcTimesSet,
                  [=](TCWorker* w) { w->SLOT_setTCTimes(d, now, true, now, 0); }),
              std::make_tuple(d, CPStateFlags()));
    EXPECT_EQ(
        ask(thread, &TCWorker::SIGNAL_tcTimesGet, [=](TCWorker* w) { w->SLOT_getTCTimes(d); }),
        std::make_tuple(d, QDateTime(), QDateTime(), CPStateFlags()));
    log.clear();
    EXPECT_EQ(ask(thread, &TCWorker::SIGNAL_batteryStatusReceived,
                  [=](TCWorker* w) { w->SLOT_readBatteryStatus(d); }),
              std::make_tuple(d, -1, CPStateFlags()));
    EXPECT_EQ(log.lines(), QStringList{"Get battery status for deviceid: FFFFFFFE"});
    EXPECT_EQ(ask(thread, &TCWorker::SIGNAL_timestampReceived,
                  [=](TCWorker* w) { w->SLOT_getTimestamp(d); }),
              std::make_tuple(d, QDateTime(), CPStateFlags(OK)));
    EXPECT_EQ(ask(thread, &TCWorker::SIGNAL_currentUserDataReceived,
                  [=](TCWorker* w) { w->SLOT_getCurrentUserData(d); }),
              std::make_tuple(d, QStringLiteral("/U/0"), 0u, 0ull, CPStateFlags(OK)));
    EXPECT_EQ(ask(thread, &TCWorker::SIGNAL_challengeTokenReceived,
                  [=](TCWorker* w) { w->SLOT_generateChallengeToken(d, 0, "short"); }),
              std::make_tuple(d, QString(), CPStateFlags(OK)));
    // No device to switch: the request's initial failure stands.
    EXPECT_EQ(ask(thread, &TCWorker::SIGNAL_ADBenableCompleted,
                  [=](TCWorker* w) { w->SLOT_ADB_enable(d, true); }),
              std::make_tuple(d, true, CPStateFlags(FW_UPDATE_FAILED | GENERAL_ERROR)));
    EXPECT_EQ(ask(thread, &TCWorker::SIGNAL_freeSpaceReceived,
                  [=](TCWorker* w) { w->SLOT_getFreeSpace(d); }),
              std::make_tuple(d, allOnes, CPStateFlags(OK)));
    EXPECT_EQ(ask(thread, &TCWorker::SIGNAL_cleanupDone,
                  [=](TCWorker* w) { w->SLOT_cleanupDisk(d, 10); }),
              std::make_tuple(d, allOnes, CPStateFlags(OK)));

    log.clear();
    TCWorker* w = thread.worker();
    thread.post([w] { w->SLOT_startSync(); });
    thread.post([w] { w->SLOT_stopSync(true); });
    thread.post([w, d] { w->SLOT_reset(d, false, true); });
    thread.run([] {});
    EXPECT_EQ(log.lines(), QStringList{"Do factory reset for deviceid: FFFFFFFE"});
}

} // namespace
} // namespace ConnectLib
