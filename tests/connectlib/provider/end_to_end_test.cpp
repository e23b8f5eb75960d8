// The provider as the program uses it, over the real USB HID driver: the HID
// emulator program, run as a child, plugs and unplugs a device in the test's
// ZARVO_HID_DIR.
#include "tests/connectlib/provider/provider_fixture.h"

#include "tests/support/usb_test_device.h"
#include "tests/support/child_program.h"

#include <QSignalSpy>

namespace ConnectLib::Test {
namespace {

class EndToEnd : public ProviderTest {
protected:
    void SetUp() override
    {
        ProviderTest::SetUp();
        m_program = std::make_unique<zarvo::test::child_program>(
            ZARVO_HID_EMULATOR_PATH,
            std::vector<std::string>{"--hid-dir", (m_dir / "hid").string()});
    }

    void TearDown() override
    {
        ProviderTest::TearDown();
        m_program.reset();
    }

    std::unique_ptr<zarvo::test::child_program> m_program;
};

TEST_F(EndToEnd, APluggedDeviceAppearsServesFilesAndDisappearsWhenUnplugged)
{
    zarvo::test::usb_test_device device;
    ASSERT_EQ(m_program->command("plug " + device.serial()), "ok");
    createProvider();

    const TCData record = waitAppeared(device.id());
    const zarvo::emulator::device_profile profile = zarvo::emulator::device_profile::usb_device();
    EXPECT_EQ(record.type(), QStringLiteral("HID"));
    EXPECT_EQ(record.name(), QString());
    EXPECT_EQ(record.model(), QString::fromStdString(profile.model_name));
    EXPECT_EQ(record.firmware(), QStringLiteral("%1.%2.%3")
                                     .arg(profile.firmware.major)
                                     .arg(profile.firmware.minor)
                                     .arg(profile.firmware.patch));
    EXPECT_EQ(record.tcState(), OK);

    QByteArray content;
    for (int i = 0; i < 3000; ++i)
        content.append(char(i * 7 % 256));
    QSignalSpy wrote(provider(), SIGNAL(SIGNAL_fileWrote(ConnectLib::TCData, qlonglong,
                                                         ConnectLib::CPStateFlags)));
    QSignalSpy read(provider(), SIGNAL(SIGNAL_fileRead(ConnectLib::TCData, QByteArray,
                                                       ConnectLib::CPStateFlags)));
    provider()->SLOT_writeFile(record, QStringLiteral("/U/0/E2E.BIN"), content);
    provider()->SLOT_readFile(record, QStringLiteral("/U/0/E2E.BIN"));
    ASSERT_TRUE(processUntil([&] { return wrote.size() == 1 && read.size() == 1; }));
    EXPECT_EQ(qvariant_cast<CPStateFlags>(wrote.front().last()), CPStateFlags(OK));
    EXPECT_EQ(wrote.front().at(1).toLongLong(), content.size());
    EXPECT_EQ(qvariant_cast<CPStateFlags>(read.front().last()), CPStateFlags(OK));
    EXPECT_EQ(read.front().at(1).toByteArray(), content);

    ASSERT_EQ(m_program->command("unplug " + device.serial()), "ok");
    ASSERT_TRUE(waitDisappeared(device.id()));

    QSignalSpy missing(provider(), SIGNAL(SIGNAL_fileRead(ConnectLib::TCData, QByteArray,
                                                          ConnectLib::CPStateFlags)));
    provider()->SLOT_readFile(record, QStringLiteral("/U/0/E2E.BIN"));
    ASSERT_EQ(missing.size(), 1);
    EXPECT_TRUE(qvariant_cast<CPStateFlags>(missing.front().last()).testFlag(TC_NOT_FOUND));
}

} // namespace
} // namespace ConnectLib::Test
