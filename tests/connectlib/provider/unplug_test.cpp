// Unplugging a USB device at every report boundary of a file read and write
// that span many reports, as the program asks for them through the provider:
// the worker's answer carries failure flags (never OK), the provider
// announces the departure, nothing leaks, and the device plugged again
// serves files at once.
#include "tests/connectlib/provider/provider_fixture.h"

#include "tests/support/process_resources.h"
#include "tests/support/unplug_points.h"
#include "tests/support/usb_test_device.h"
#include "tools/emulator/usb_hub.h"

#include <QSignalSpy>

#include <map>
#include <memory>
#include <optional>

namespace ConnectLib::Test {
namespace {

using zarvo::emulator::usb_front_end;
using point = usb_front_end::point;
using zarvo::test::transfer;

const QString dataPath = QStringLiteral("/U/0/DATA.BIN");
const QString copyPath = QStringLiteral("/U/0/COPY.BIN");

class ProviderUnplug : public ProviderTest {
protected:
    void SetUp() override
    {
        ProviderTest::SetUp();
        m_hub = std::make_unique<zarvo::emulator::usb_hub>(m_dir / "hid");
        // About twenty reports each way.
        for (int i = 0; i < 1300; ++i)
            m_content.append(char(i * 13 + 1));
        m_model->put_file(dataPath.toStdString(),
                          std::string(m_content.constData(), std::size_t(m_content.size())));
    }

    void TearDown() override
    {
        ProviderTest::TearDown();
        m_hub.reset();
    }

    // Plugs the device and waits until the provider has registered it.
    TCData plug()
    {
        m_events.clear();
        m_hub->plug({m_device.serial()}, *m_model);
        return waitAppeared(m_device.id());
    }

    usb_front_end& frontEnd() { return m_hub->device(m_device.serial()).front_end(); }

    // The transfer's answer: its flags, and whether the bytes came right.
    CPStateFlags runTransfer(const TCData& record, transfer kind, bool* sameBytes = nullptr)
    {
        if (kind == transfer::read) {
            QSignalSpy read(provider(), SIGNAL(SIGNAL_fileRead(ConnectLib::TCData, QByteArray,
                                                               ConnectLib::CPStateFlags)));
            provider()->SLOT_readFile(record, dataPath);
            if (!processUntil([&] { return read.size() == 1; }, 40000))
                return CPStateFlags();
            if (sameBytes)
                *sameBytes = read.front().at(1).toByteArray() == m_content;
            return qvariant_cast<CPStateFlags>(read.front().last());
        }
        QSignalSpy wrote(provider(), SIGNAL(SIGNAL_fileWrote(ConnectLib::TCData, qlonglong,
                                                             ConnectLib::CPStateFlags)));
        provider()->SLOT_writeFile(record, copyPath, m_content);
        if (!processUntil([&] { return wrote.size() == 1; }, 40000))
            return CPStateFlags();
        if (sameBytes)
            *sameBytes = wrote.front().at(1).toLongLong() == m_content.size();
        return qvariant_cast<CPStateFlags>(wrote.front().last());
    }

    // Counts the points of each kind a transfer passes on a device left alone.
    std::map<point, unsigned> pointsOf(const TCData& record, transfer kind)
    {
        auto seen = std::make_shared<std::map<point, unsigned>>();
        frontEnd().set_point_hook([seen](point p, unsigned) { ++(*seen)[p]; });
        bool same = false;
        EXPECT_EQ(runTransfer(record, kind, &same), CPStateFlags(OK));
        EXPECT_TRUE(same);
        frontEnd().set_point_hook({});
        return *seen;
    }

    // The device goes when the point has passed `after` times from now.
    void arm(point where, unsigned after)
    {
        auto remaining = std::make_shared<unsigned>(after);
        const std::string serial = m_device.serial();
        zarvo::emulator::usb_hub* hub = m_hub.get();
        frontEnd().set_point_hook([hub, remaining, serial, where](point p, unsigned) {
            if (p == where && (*remaining)-- == 0)
                hub->unplug(serial);
        });
    }

    zarvo::test::usb_test_device m_device;
    std::shared_ptr<zarvo::emulator::device_model> m_model =
        std::make_shared<zarvo::emulator::device_model>(profileFor(m_device.id()));
    std::unique_ptr<zarvo::emulator::usb_hub> m_hub;
    QByteArray m_content;
};

TEST_F(ProviderUnplug, EveryReportBoundaryFailsTheRequestAnnouncesTheDepartureAndAReplugWorks)
{
    createProvider();
    TCData record = plug();
    ASSERT_EQ(record.deviceId(), m_device.id());
    // Both transfers work on a device left alone and show how many points
    // of each kind they pass.
    std::map<transfer, std::map<point, unsigned>> points;
    points[transfer::read] = pointsOf(record, transfer::read);
    points[transfer::write] = pointsOf(record, transfer::write);
    ASSERT_EQ(m_model->file(copyPath.toStdString()),
              std::string(m_content.constData(), std::size_t(m_content.size())));
    ASSERT_GE(points[transfer::read][point::before_response_report], 15u);
    ASSERT_GE(points[transfer::write][point::before_ack], 15u);
    // Threads started on first need exist after the first round; every later
    // round must leave the counts as they were.
    std::optional<zarvo::test::process_resources> settled;

    for (const zarvo::test::unplug_point& row : zarvo::test::unplug_points) {
        SCOPED_TRACE(row.name);
        arm(row.where, zarvo::test::passes_before(row.when, points[row.kind][row.where]));
        const CPStateFlags flags = runTransfer(record, row.kind);
        ASSERT_NE(flags, CPStateFlags()) << "no answer came";
        EXPECT_FALSE(flags.testFlag(OK)) << "flags " << int(flags);
        EXPECT_TRUE(flags.testFlag(TC_CONNECTION_LOST)) << "flags " << int(flags);
        EXPECT_FALSE(m_hub->is_plugged(m_device.serial())) << "the point was never reached";
        ASSERT_TRUE(waitDisappeared(m_device.id())) << "the departure was not announced";

        record = plug();
        ASSERT_EQ(record.deviceId(), m_device.id());
        bool same = false;
        EXPECT_EQ(runTransfer(record, transfer::read, &same), CPStateFlags(OK));
        EXPECT_TRUE(same) << "the device plugged again";

        // The old device's worker, connection and descriptor go as the new
        // ones come.
        zarvo::test::process_resources now;
        for (int i = 0; settled && i < 100 && !(now == *settled); ++i) {
            processFor(50);
            now = zarvo::test::process_resources();
        }
        if (!settled)
            settled = now;
        EXPECT_EQ(now.fds, settled->fds);
        EXPECT_EQ(now.threads, settled->threads);
    }
}

} // namespace
// A device plugged in again at once, before its departure has been dealt
// with, is announced again after that departure and serves requests.
TEST_F(ProviderUnplug, APlugRightAfterAnUnplugIsAnnouncedAgain)
{
    createProvider();
    ASSERT_EQ(plug().deviceId(), m_device.id());
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        m_events.clear();
        m_hub->unplug(m_device.serial());
        m_hub->plug({m_device.serial()}, *m_model);
        ASSERT_TRUE(waitDisappeared(m_device.id()));
        const TCData record = waitAppeared(m_device.id());
        ASSERT_EQ(record.deviceId(), m_device.id()) << "the device plugged again was not announced";
        settle();
        const auto events = m_events.of(QStringLiteral("appeared"), m_device.id());
        ASSERT_FALSE(m_events.events().empty());
        EXPECT_EQ(m_events.events().back().kind, QStringLiteral("appeared"));
        bool same = false;
        EXPECT_EQ(runTransfer(record, transfer::read, &same), CPStateFlags(OK));
        EXPECT_TRUE(same);
    }
}

} // namespace ConnectLib::Test
