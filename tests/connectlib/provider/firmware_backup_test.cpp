// Firmware update, update install, folder copy, backup and restore as the
// program asks for them through the provider: each request of a registered
// device gives one forwarded result; end to end over the USB driver and an
// emulated device the files reach the device and come back.
#include "tests/connectlib/provider/provider_fixture.h"

#include "connectlib/common/common.h"
#include "tests/connectlib/support/ktlib_test_support.h"
#include "tests/connectlib/worker/zip_archive.h"
#include "tests/support/usb_test_device.h"
#include "tools/emulator/usb_hub.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>

#include <map>
#include <memory>

namespace ConnectLib::Test {
namespace {

CPStateFlags flagsIn(const QVariantList& arguments)
{
    return qvariant_cast<CPStateFlags>(arguments.last());
}

// One spy per result signal of the five requests.
struct FiveResults {
    explicit FiveResults(ConnectionProvider* p)
        : updated(p, SIGNAL(SIGNAL_firmwareUpdated(ConnectLib::TCData, ConnectLib::CPStateFlags)))
        , installed(p, SIGNAL(SIGNAL_ZFTP_installUpdateComplete(ConnectLib::TCData,
                                                                ConnectLib::CPStateFlags)))
        , copied(p, SIGNAL(SIGNAL_firmwareDataCopied(ConnectLib::TCData, ConnectLib::CPStateFlags)))
        , backedUp(p,
                   SIGNAL(SIGNAL_backupDone(ConnectLib::TCData, QString, ConnectLib::CPStateFlags)))
        , restored(p, SIGNAL(SIGNAL_backupRevertDone(ConnectLib::TCData, ConnectLib::CPStateFlags)))
        , progress(p, SIGNAL(SIGNAL_fwUpdateProgress(int, int, ConnectLib::CPStateFlags)))
    {
    }
    int total() const
    {
        return updated.size() + installed.size() + copied.size() + backedUp.size() +
               restored.size();
    }

    QSignalSpy updated;
    QSignalSpy installed;
    QSignalSpy copied;
    QSignalSpy backedUp;
    QSignalSpy restored;
    QSignalSpy progress;
};

class FirmwareAndBackup : public ProviderTest {
protected:
    void SetUp() override
    {
        ProviderTest::SetUp();
        createProvider();
        m_downloads = Common::getTempFilesDataPath() + QStringLiteral("/downloads");
        ASSERT_TRUE(QDir().mkpath(m_downloads));
    }

    QString m_downloads;
};

TEST_F(FirmwareAndBackup, EachRequestOfARegisteredDeviceGivesOneForwardedResult)
{
    zarvo::test::test_device device;
    const auto model = publishModel(device.id());
    model->make_directory("/SYS");
    const TCData record = waitAppeared(device.id());
    const QString file = m_downloads + QStringLiteral("/fw.zip");
    ASSERT_TRUE(writeArchive(file, {{"SYSUPDAT.IMG", "image"}, {"SYS/LANG/DE.TXT", "de"}}));
    const QString update = m_downloads + QStringLiteral("/update.zip");
    ASSERT_TRUE(writeFile(update, "update"));

    FiveResults results(provider());
    provider()->SLOT_updateFW(record, file, false);
    provider()->SLOT_copyFirmwareData(record, QStringLiteral("/SYS"));
    provider()->SLOT_ZFTP_installUpdate(record, update, false);
    provider()->SLOT_doBackup(record, QStringLiteral("/DEVICE.BPB"), QString(), QString());
    ASSERT_TRUE(processUntil([&] { return results.total() == 4; }));
    ASSERT_EQ(results.backedUp.size(), 1);
    const QString backupDir = results.backedUp.front().at(1).toString();
    provider()->SLOT_revertBackup(record, backupDir);
    ASSERT_TRUE(processUntil([&] { return results.total() == 5; }));
    processFor(100);
    EXPECT_EQ(results.total(), 5);

    for (QSignalSpy* spy : {&results.updated, &results.installed, &results.copied,
                            &results.backedUp, &results.restored}) {
        ASSERT_EQ(spy->size(), 1);
        EXPECT_EQ(qvariant_cast<TCData>(spy->front().first()).deviceId(), device.id());
        EXPECT_EQ(flagsIn(spy->front()), CPStateFlags(OK));
    }
    EXPECT_EQ(results.progress.size(), 1);
    EXPECT_EQ(model->file("/SYSUPDAT.IMG"), std::string("image"));
    EXPECT_EQ(model->file("/SYS/LANG/DE.TXT"), std::string("de"));
    EXPECT_EQ(model->file("/update.zip"), std::string("update"));
    EXPECT_EQ(backupDir,
              Common::getBackupDataPath() + QLatin1Char('/') + record.deviceIdAsHexString());
    EXPECT_FALSE(QFileInfo::exists(backupDir));
}

class UsbFirmwareAndBackup : public FirmwareAndBackup {
protected:
    void SetUp() override
    {
        FirmwareAndBackup::SetUp();
        m_hub = std::make_unique<zarvo::emulator::usb_hub>(m_dir / "hid");
    }
    void TearDown() override
    {
        ProviderTest::TearDown();
        m_hub.reset();
    }

    TCData plug()
    {
        m_hub->plug({m_device.serial()}, *m_model);
        return waitAppeared(m_device.id());
    }

    zarvo::test::usb_test_device m_device;
    std::shared_ptr<zarvo::emulator::device_model> m_model =
        std::make_shared<zarvo::emulator::device_model>(profileFor(m_device.id()));
    std::unique_ptr<zarvo::emulator::usb_hub> m_hub;
};

std::string binary(int size, int seed)
{
    std::string out(std::size_t(size), '\0');
    for (int i = 0; i < size; ++i)
        out[std::size_t(i)] = char((i * 17 + seed) % 256);
    return out;
}

QByteArray bytesOf(const std::string& text)
{
    return QByteArray(text.data(), int(text.size()));
}

TEST_F(UsbFirmwareAndBackup, AnArchiveReachesTheDeviceAndItsSystemFolderIsReplaced)
{
    m_model->put_file("/SYS/LANG/EN.TXT", "old");
    m_model->put_file("/SYS/LANG/FR.TXT", "old");
    const TCData record = plug();
    const std::string image = binary(90000, 1);
    const std::string bluetooth = binary(2000, 2);
    const std::string touch = binary(3000, 3);
    const QString file = m_downloads + QStringLiteral("/firmware.zip");
    ASSERT_TRUE(writeArchive(file, {{"BTUPDAT.BIN", bytesOf(bluetooth)},
                                    {"TCHUPDAT.BIN", bytesOf(touch)},
                                    {"SYSUPDAT.IMG", bytesOf(image)},
                                    {"SYS/LANG/EN.TXT", "new"}}));

    FiveResults results(provider());
    provider()->SLOT_updateFW(record, file, true);
    ASSERT_TRUE(processUntil([&] { return results.updated.size() == 1; }, 60000));
    EXPECT_EQ(flagsIn(results.updated.front()), CPStateFlags(OK));
    EXPECT_EQ(m_model->file("/BTUPDAT.BIN"), bluetooth);
    EXPECT_EQ(m_model->file("/TCHUPDAT.BIN"), touch);
    EXPECT_EQ(m_model->file("/SYSUPDAT.IMG"), image);
    EXPECT_FALSE(m_model->is_directory("/SYS/LANG"));

    provider()->SLOT_copyFirmwareData(record, QStringLiteral("/SYS"));
    ASSERT_TRUE(processUntil([&] { return results.copied.size() == 1; }, 60000));
    EXPECT_EQ(flagsIn(results.copied.front()), CPStateFlags(OK));
    EXPECT_EQ(m_model->file("/SYS/LANG/EN.TXT"), std::string("new"));
    EXPECT_FALSE(m_model->file("/SYS/LANG/FR.TXT"));
}

TEST_F(UsbFirmwareAndBackup, ABackupRestoredAfterTheFolderWasRemovedGivesTheOriginalFiles)
{
    const std::map<std::string, std::string> files = {
        {"/U/0/S/PROFILE.BPB", binary(5000, 4)},
        {"/U/0/20240101/ACT/SAMPLES.GZB", binary(40000, 5)},
        {"/U/0/20240101/E/101010/00/BASE.BPB", binary(300, 6)},
    };
    for (const auto& [path, content] : files)
        m_model->put_file(path, content);
    const std::string userId = *m_model->file("/U/0/USERID.BPB");
    const TCData record = plug();

    FiveResults results(provider());
    provider()->SLOT_doBackup(record, QStringLiteral("/U/0"), QString(), QString());
    ASSERT_TRUE(processUntil([&] { return results.backedUp.size() == 1; }, 60000));
    EXPECT_EQ(flagsIn(results.backedUp.front()), CPStateFlags(OK));
    const QString backupDir = results.backedUp.front().at(1).toString();

    ASSERT_TRUE(m_model->remove_entry("/U/0"));
    provider()->SLOT_revertBackup(record, backupDir);
    ASSERT_TRUE(processUntil([&] { return results.restored.size() == 1; }, 60000));
    EXPECT_EQ(flagsIn(results.restored.front()), CPStateFlags(OK));
    for (const auto& [path, content] : files)
        EXPECT_EQ(m_model->file(path), content) << path;
    EXPECT_EQ(m_model->file("/U/0/USERID.BPB"), userId);
    EXPECT_FALSE(QFileInfo::exists(backupDir));
}

} // namespace
} // namespace ConnectLib::Test
