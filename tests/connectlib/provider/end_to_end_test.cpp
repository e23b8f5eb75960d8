// The provider as the program uses it, over the real USB HID driver: the HID
// emulator program, run as a child, plugs and unplugs a device in the test's
// ZARVO_HID_DIR.
#include "tests/connectlib/provider/provider_fixture.h"

#include "connectlib/common/common.h"
#include "tests/connectlib/worker/zip_archive.h"
#include "tests/support/child_program.h"
#include "tests/support/usb_test_device.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>

#include <map>

namespace ConnectLib::Test {
namespace {

class ProviderEndToEnd : public ProviderTest {
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

    // The device's n-th appearance (1 for the first), once it came.
    TCData waitAppearance(quint64 id, std::size_t n)
    {
        if (!processUntil([&] { return m_events.of(QStringLiteral("appeared"), id).size() >= n; },
                          30000))
            return TCData();
        return m_events.of(QStringLiteral("appeared"), id).at(n - 1).data;
    }
    bool waitDisappearances(quint64 id, std::size_t n)
    {
        return processUntil(
            [&] { return m_events.of(QStringLiteral("disappeared"), id).size() >= n; }, 30000);
    }
    std::string ask(const std::string& line) { return m_program->command(line); }

    std::unique_ptr<zarvo::test::child_program> m_program;
};

std::string pattern(int size, int seed)
{
    std::string out(std::size_t(size), '\0');
    for (int i = 0; i < size; ++i)
        out[std::size_t(i)] = char((i * 13 + seed) % 256);
    return out;
}

QByteArray bytesOf(const std::string& text)
{
    return QByteArray(text.data(), int(text.size()));
}

std::string base64Of(const std::string& text)
{
    return bytesOf(text).toBase64().toStdString();
}

TEST_F(ProviderEndToEnd, APluggedDeviceAppearsServesFilesAndDisappearsWhenUnplugged)
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

// A firmware update as the pages ask for it: the archive lies in the firmware
// folder, the device takes the image, restarts and comes back with it.
TEST_F(ProviderEndToEnd, AnUpdatedDeviceRestartsAndComesBackWithTheNewFirmware)
{
    zarvo::test::usb_test_device device;
    ASSERT_EQ(ask("plug " + device.serial()), "ok");
    createProvider();
    const TCData record = waitAppeared(device.id());
    ASSERT_EQ(record.deviceId(), device.id());

    const std::string image = "9.8.7\n" + pattern(20000, 1);
    const QString archive = Common::getFWUpdateDataPath() + QStringLiteral("/firmware.zip");
    ASSERT_TRUE(QDir().mkpath(Common::getFWUpdateDataPath()));
    ASSERT_TRUE(writeArchive(archive, {{"BTUPDAT.BIN", bytesOf(pattern(3000, 2))},
                                       {"TCHUPDAT.BIN", bytesOf(pattern(4000, 3))},
                                       {"SYSUPDAT.IMG", bytesOf(image)},
                                       {"SYS/LANG/EN.TXT", "en"}}));
    QSignalSpy updated(
        provider(), SIGNAL(SIGNAL_firmwareUpdated(ConnectLib::TCData, ConnectLib::CPStateFlags)));
    provider()->SLOT_updateFW(record, archive, false);
    ASSERT_TRUE(processUntil([&] { return updated.size() == 1; }, 60000));
    EXPECT_EQ(qvariant_cast<CPStateFlags>(updated.front().last()), CPStateFlags(OK));
    EXPECT_FALSE(QFileInfo::exists(archive));

    ASSERT_TRUE(waitDisappearances(device.id(), 1));
    const TCData back = waitAppearance(device.id(), 2);
    EXPECT_EQ(back.deviceId(), device.id());
    EXPECT_EQ(back.firmware(), QStringLiteral("9.8.7"));
    EXPECT_EQ(ask("version " + device.serial()), "ok 9.8.7");
    const std::string root = ask("ls " + device.serial() + " /");
    for (const char* gone : {"SYSUPDAT.IMG", "BTUPDAT.BIN", "TCHUPDAT.BIN"})
        EXPECT_EQ(root.find(gone), std::string::npos) << root;

    // The returned device serves requests again.
    QSignalSpy read(provider(), SIGNAL(SIGNAL_fileRead(ConnectLib::TCData, QByteArray,
                                                       ConnectLib::CPStateFlags)));
    provider()->SLOT_readFile(back, QStringLiteral("/DEVICE.BPB"));
    ASSERT_TRUE(processUntil([&] { return read.size() == 1; }));
    EXPECT_EQ(qvariant_cast<CPStateFlags>(read.front().last()), CPStateFlags(OK));
}

// A backup, a factory reset that restarts the device with its factory
// content, and the restore onto the returned device.
TEST_F(ProviderEndToEnd, ABackupSurvivesAFactoryResetAndIsRestoredOntoTheReturnedDevice)
{
    zarvo::test::usb_test_device device;
    const std::map<std::string, std::string> files = {
        {"/U/0/S/PROFILE.BPB", pattern(5000, 4)},
        {"/U/0/20260101/ACT/SAMPLES.GZB", pattern(40000, 5)},
        {"/U/0/20260102/ACT/SAMPLES.GZB", pattern(30000, 6)},
    };
    const QString seed = QString::fromStdString((m_dir / "seed").string());
    for (const auto& [path, content] : files) {
        const QString local = seed + QString::fromStdString(path);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(local).path()));
        QFile file(local);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytesOf(content)), qint64(content.size()));
    }
    ASSERT_EQ(ask("plug " + device.serial()), "ok");
    ASSERT_EQ(ask("seed " + device.serial() + " " + seed.toStdString()), "ok");
    createProvider();
    const TCData record = waitAppeared(device.id());
    ASSERT_EQ(record.deviceId(), device.id());

    QSignalSpy backedUp(provider(), SIGNAL(SIGNAL_backupDone(ConnectLib::TCData, QString,
                                                             ConnectLib::CPStateFlags)));
    provider()->SLOT_doBackup(record, QStringLiteral("/U/[USER]/S,/U/[USER]/[YYYYMMDD]/ACT"),
                              QString(), QString());
    ASSERT_TRUE(processUntil([&] { return backedUp.size() == 1; }, 60000));
    EXPECT_EQ(qvariant_cast<CPStateFlags>(backedUp.front().last()), CPStateFlags(OK));
    const QString backupDir = backedUp.front().at(1).toString();
    EXPECT_EQ(backupDir,
              Common::getBackupDataPath() + QLatin1Char('/') + record.deviceIdAsHexString());
    for (const auto& [path, content] : files) {
        QFile file(backupDir + QString::fromStdString(path));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path;
        EXPECT_EQ(file.readAll(), bytesOf(content)) << path;
    }

    provider()->SLOT_doReset(record, false, true);
    ASSERT_TRUE(waitDisappearances(device.id(), 1));
    const TCData back = waitAppearance(device.id(), 2);
    ASSERT_EQ(back.deviceId(), device.id());
    for (const auto& entry : files)
        EXPECT_EQ(ask("cat " + device.serial() + " " + entry.first).rfind("error:", 0), 0u)
            << entry.first;

    QSignalSpy restored(
        provider(), SIGNAL(SIGNAL_backupRevertDone(ConnectLib::TCData, ConnectLib::CPStateFlags)));
    provider()->SLOT_revertBackup(back, backupDir);
    ASSERT_TRUE(processUntil([&] { return restored.size() == 1; }, 60000));
    EXPECT_EQ(qvariant_cast<CPStateFlags>(restored.front().last()), CPStateFlags(OK));
    for (const auto& [path, content] : files)
        EXPECT_EQ(ask("cat " + device.serial() + " " + path), "ok " + base64Of(content)) << path;
    EXPECT_FALSE(QFileInfo::exists(backupDir));
}

} // namespace
} // namespace ConnectLib::Test
