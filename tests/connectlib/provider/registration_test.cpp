// Device registration and removal through the real device library core.
#include "tests/connectlib/provider/provider_fixture.h"

#include "connectlib/common/common.h"
#include "connectlib/worker/session_guard.h"
#include "devicelib/core/posting.h"
#include "devicelib/errors/errors.h"
#include "tests/support/fake_links.h"
#include "tests/support/model_links.h"

#include <QElapsedTimer>
#include <QSignalSpy>

#include <ctime>

namespace ConnectLib::Test {
namespace {

using zarvo::test::connection_action;
using zarvo::test::connection_op;
using zarvo::test::fake_connection;

double processCpuSeconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

class Registration : public ProviderTest {
protected:
    void SetUp() override
    {
        ProviderTest::SetUp();
        createProvider();
    }

    // A scripted connection whose first reads fail as given.
    fake_connection* failingConnection(const std::vector<connection_action>& reads)
    {
        auto* connection = new fake_connection();
        connection->set_transport("HID");
        for (const connection_action& read : reads)
            connection->script(connection_op::read, read);
        return connection;
    }
};

TEST_F(Registration, ANewDeviceWaitsDelaynewAKnownOneDoesNot)
{
    Common::setSettingsValue(QStringLiteral("delaynew"), QStringLiteral("4000"));
    zarvo::test::test_device known;
    zarvo::test::test_device fresh;
    Common::setSettingsValue(QString::number(known.id()), QStringLiteral("0;2024-01-01"));

    QElapsedTimer elapsed;
    elapsed.start();
    publishModel(known.id());
    waitAppeared(known.id());
    EXPECT_LT(elapsed.elapsed(), 4000) << "a known device is read at once";

    elapsed.restart();
    publishModel(fresh.id());
    waitAppeared(fresh.id());
    EXPECT_GE(elapsed.elapsed(), 4000);
}

struct PartialCase {
    const char* name;
    std::vector<connection_action> reads;
    CPStateFlag state;
    // How each logged error line starts.
    QStringList logged;
};

TEST_F(Registration, FourFailedReadsRegisterThePartialRecordAfterFourPauses)
{
    const std::vector<PartialCase> cases = {
        {"bad data",
         {connection_action::throws(zarvo::bad_data()),
          connection_action::throws(zarvo::bad_data()),
          connection_action::throws(zarvo::bad_data()),
          connection_action::throws(zarvo::bad_data())},
         TC_NOT_FOUND,
         {"Bad data exception thrown. Message: Bad data.",
          "Bad data exception thrown. Message: Bad data.",
          "Bad data exception thrown. Message: Bad data.",
          "Bad data exception thrown. Message: Bad data."}},
        {"one try again",
         {connection_action::throws(zarvo::bad_data()),
          connection_action::throws(zarvo::try_again()),
          connection_action::throws(zarvo::no_such_file_or_directory("/DEVICE.BPB")),
          connection_action::throws(std::runtime_error("odd"))},
         TRY_OPERATION_AGAIN,
         {"Bad data exception thrown. Message: ", "Try again exception thrown. Message: ",
          "No such file or directory exception thrown. Message: ",
          "Std exception thrown. Message: odd"}},
    };
    for (const PartialCase& c : cases) {
        SCOPED_TRACE(c.name);
        m_log.clear();
        zarvo::test::test_device device;
        const double cpuBefore = processCpuSeconds();
        QElapsedTimer elapsed;
        elapsed.start();
        publish(device.id(), failingConnection(c.reads));
        const TCData record = waitAppeared(device.id());
        EXPECT_GE(elapsed.elapsed(), 4000);
        // The pauses sleep: a busy wait would burn about a second per pause.
        EXPECT_LT(processCpuSeconds() - cpuBefore, 1.0);
        EXPECT_EQ(record.tcState(), c.state);
        EXPECT_EQ(record.type(), QStringLiteral("HID"));
        EXPECT_EQ(record.name(), QString());
        EXPECT_TRUE(record.isLinkValid());
        EXPECT_EQ(record.model(), QString());
        EXPECT_EQ(record.firmware(), QString());
        EXPECT_EQ(record.bootloader(), QString());
        EXPECT_EQ(record.platform(), QString());
        EXPECT_EQ(record.color(), QString());
        EXPECT_EQ(record.design(), QString());
        const QStringList errors = m_log.errors();
        ASSERT_EQ(errors.size(), c.logged.size()) << errors.join("\n").toStdString();
        for (int i = 0; i < errors.size(); ++i)
            EXPECT_TRUE(errors[i].startsWith(c.logged[i])) << errors[i].toStdString();
    }
}

TEST_F(Registration, ADroppingErrorRegistersNothingUntilANewSession)
{
    struct DropCase {
        const char* name;
        connection_action read;
        QString logText;
    };
    const std::vector<DropCase> cases = {
        {"wait for idling", connection_action::throws(zarvo::wait_for_idling()),
         "Wait for idling exception thrown. Message: "},
        {"device busy", connection_action::throws(zarvo::device_busy()),
         "Device busy exception thrown. Message: "},
        {"system busy", connection_action::throws(zarvo::system_busy()),
         "System busy exception thrown. Message: "},
        {"session expired", connection_action::throws(zarvo::session_expired()),
         "Session expired exception thrown. Message: "},
        {"link lost", connection_action::throws(zarvo::link_lost()),
         "Link lost exception thrown. Message: "},
    };
    for (const DropCase& c : cases) {
        SCOPED_TRACE(c.name);
        m_log.clear();
        zarvo::test::test_device device;
        fake_connection* connection = failingConnection({c.read});
        publish(device.id(), connection);
        ASSERT_TRUE(processUntil([&] { return !m_log.errors().empty(); }));
        EXPECT_EQ(m_log.errors().size(), 1);
        EXPECT_TRUE(m_log.errors().value(0).startsWith(c.logText))
            << m_log.errors().value(0).toStdString();
        zarvo::core::post_device_idle(device.id());
        zarvo::core::post_battery_status_change(device.id(), 40);
        settle();
        EXPECT_TRUE(m_events.events().empty());
        // No further attempt: the one read was all.
        int reads = 0;
        for (const auto& call : connection->calls())
            reads += call.op == connection_op::read;
        EXPECT_EQ(reads, 1);

        // A new session of the device registers it.
        withdraw(device.id(), connection);
        settle();
        publishModel(device.id());
        waitAppeared(device.id());
        m_events.clear();
    }
}

TEST_F(Registration, DeviceIdZeroIsIgnored)
{
    publish(0, new fake_connection());
    settle(500);
    EXPECT_TRUE(m_events.events().empty());
}

TEST_F(Registration, OnlyTheLastConnectionsLossRemovesTheDevice)
{
    zarvo::test::test_device device;
    const auto model = publishModel(device.id());
    zarvo::core::connection* first = connectionOf(device.id());
    waitAppeared(device.id());
    auto* second = new zarvo::test::usb_like_connection(
        device.id(), std::make_shared<zarvo::test::model_backend>(model));
    publish(device.id(), second);
    settle();
    EXPECT_EQ(m_events.of("appeared").size(), 1u);

    withdraw(device.id(), first);
    settle();
    EXPECT_TRUE(m_events.of("disappeared").empty());
    QSignalSpy battery(provider(), SIGNAL(SIGNAL_batteryStatusReceived(ConnectLib::TCData, int,
                                                                       ConnectLib::CPStateFlags)));
    provider()->SLOT_readBatteryStatus(m_events.of("appeared").front().data);
    ASSERT_TRUE(processUntil([&] { return battery.size() == 1; }));
    EXPECT_EQ(qvariant_cast<CPStateFlags>(battery.front().last()), CPStateFlags(OK));

    withdraw(device.id(), second);
    ASSERT_TRUE(waitDisappeared(device.id()));
    m_log.clear();
    QSignalSpy again(provider(), SIGNAL(SIGNAL_batteryStatusReceived(ConnectLib::TCData, int,
                                                                     ConnectLib::CPStateFlags)));
    provider()->SLOT_readBatteryStatus(m_events.of("appeared").front().data);
    ASSERT_EQ(again.size(), 1);
    EXPECT_EQ(qvariant_cast<CPStateFlags>(again.front().last()), CPStateFlags(0xA));
}

TEST_F(Registration, AnUndefinedVersionNumberIsWrittenAsAllOnes)
{
    zarvo::test::test_device device;
    zarvo::emulator::device_profile profile = profileFor(device.id());
    profile.firmware = {3, 2, 0xFFFFFFFFu, ""};
    publishModel(device.id(), profile);
    EXPECT_EQ(waitAppeared(device.id()).firmware(), QStringLiteral("3.2.4294967295"));
}

TEST_F(Registration, DeviceEventsDuringAnOperationComeAfterIt)
{
    zarvo::test::test_device device;
    const auto model = publishModel(device.id());
    const TCData record = waitAppeared(device.id());
    const HeldRequest held = holdUserRequest(*model, record);
    const auto& stall = held.stall;
    QSignalSpy& user = *held.result;
    zarvo::core::post_device_idle(device.id());
    zarvo::core::post_battery_status_change(device.id(), 42);
    settle(500);
    EXPECT_TRUE(m_events.of("idling").empty());
    EXPECT_TRUE(m_events.of("battery").empty());

    stall->release();
    ASSERT_TRUE(processUntil([&] {
        return user.size() == 1 && !m_events.of("idling").empty() &&
               !m_events.of("battery").empty();
    }));
    EXPECT_EQ(m_events.of("battery").front().charge, 42);
    EXPECT_EQ(m_events.of("idling").front().data.model(), QStringLiteral("Ravo Pace 2"));
    EXPECT_TRUE(m_events.allOnOwnThread());
}

TEST_F(Registration, RemovalWaitsForTheRunningOperationAndAnnouncesLast)
{
    zarvo::test::test_device device;
    const auto model = publishModel(device.id());
    const TCData record = waitAppeared(device.id());
    const HeldRequest held = holdUserRequest(*model, record);
    const auto& stall = held.stall;
    QSignalSpy& user = *held.result;
    withdraw(device.id(), connectionOf(device.id()));
    settle(500);
    EXPECT_TRUE(m_events.of("disappeared").empty()) << "the session's guard is still in use";

    stall->release();
    ASSERT_TRUE(waitDisappeared(device.id()));
    const auto events = m_events.events();
    EXPECT_EQ(events.back().kind, "disappeared");
    EXPECT_EQ(events.back().data.model(), QStringLiteral("Ravo Pace 2"));
    ASSERT_TRUE(processUntil([&] { return user.size() == 1; }));
    // The device is gone from the table at once.
    m_log.clear();
    provider()->SLOT_readBatteryStatus(record);
    EXPECT_EQ(m_log.lines().filter("Training computer not found").size(), 1);
}

} // namespace
} // namespace ConnectLib::Test
