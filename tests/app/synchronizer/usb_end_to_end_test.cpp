// A sync window over the real connection provider and an emulated USB
// device in a folder of the test's own: the device appears, the window
// takes it, its page reads and writes device files through JSObject, and
// the unplugged device leaves the page.
#include "tests/connectlib/worker/emulator_model.h"

#include "tests/app/synchronizer/synchronizer_fixture.h"

#include "connectlib/common/common.h"
#include "connectlib/provider/connection_provider.h"
#include "tests/support/usb_test_device.h"
#include "tests/support/temp_dir.h"

#include <QFile>
#include <QSignalSpy>

#include <cstdlib>
#include <filesystem>

namespace RavoSync::Test {
namespace {

using ConnectLib::Common;
using ConnectLib::TCData;
using ConnectLib::Test::processUntil;

QByteArray bytesOf(const std::string& text)
{
    return QByteArray(text.data(), int(text.size()));
}

class UsbSyncWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The USB driver watches this folder instead of udev; set before the
        // provider starts the device library.
        std::filesystem::create_directories(m_dir / "hid");
        ::setenv("ZARVO_HID_DIR", (m_dir / "hid").c_str(), 1);
        std::filesystem::create_directories(m_dir / "offline");
        Common::setSettingsValue(QStringLiteral("delaynew"), QStringLiteral("0"));
        m_provider = std::make_unique<ConnectLib::ConnectionProvider>(
            nullptr, QString::fromStdString((m_dir / "offline").string()));
        m_sync = std::make_unique<DataSynchronizer>(m_provider.get(), nullptr);
        ASSERT_TRUE(
            ConnectGlobals::connectSynchronizer(m_provider.get(), m_sync.get(), &m_controller));
        m_hub = std::make_unique<zarvo::emulator::usb_hub>(m_dir / "hid");
    }
    void TearDown() override
    {
        m_sync.reset();
        m_provider.reset();
        m_hub.reset();
        ::unsetenv("ZARVO_HID_DIR");
    }
    QWebFrame* frame() const { return m_sync->bridge()->webView()->page()->mainFrame(); }
    QString variable(const char* name)
    {
        return m_sync->bridge()->SLOT_getVariable(QString::fromLatin1(name));
    }

    zarvo::test::temp_dir m_dir;
    zarvo::test::usb_test_device m_device;
    zarvo::emulator::device_model m_model{[this] {
        zarvo::emulator::device_profile profile = zarvo::emulator::device_profile::usb_device();
        profile.id = m_device.id();
        return profile;
    }()};
    ConnectLib::Test::LogLines m_log;
    StubController m_controller;
    std::unique_ptr<ConnectLib::ConnectionProvider> m_provider;
    std::unique_ptr<DataSynchronizer> m_sync;
    std::unique_ptr<zarvo::emulator::usb_hub> m_hub;
};

TEST_F(UsbSyncWindow, TheWindowTakesTheDeviceAndItsPageReadsAndWritesFiles)
{
    QSignalSpy appeared(m_provider.get(), SIGNAL(SIGNAL_TCAppeared(ConnectLib::TCData)));
    m_hub->plug({m_device.serial()}, m_model);
    ASSERT_TRUE(processUntil([&] { return !appeared.isEmpty(); }, 60000));
    const TCData record = appeared.front().front().value<TCData>();
    ASSERT_EQ(record.deviceId(), m_device.id());

    m_sync->SLOT_startSyncProcess(record);
    ASSERT_TRUE(processUntil([&] { return !variable("currentuserdir").isEmpty(); }, 60000));
    EXPECT_EQ(variable("currentuserdir"), QStringLiteral("/U/0"));
    EXPECT_EQ(variable("tcdeviceid"), record.deviceIdAsHexString());
    EXPECT_EQ(variable("tctype"), QStringLiteral("HID"));
    EXPECT_EQ(frame()->requestedUrl(), QUrl(Common::getSettingsValue(QStringLiteral("contenturl")) +
                                            QStringLiteral("/ui/index.html")));
    EXPECT_FALSE(m_sync->bridge()->SLOT_isOfflineDialog());
    EXPECT_FALSE(m_sync->bridge()->SLOT_isDeviceListDialog());

    // The page reads a device file and writes one through JSObject.
    const std::optional<std::string> device = m_model.file("/DEVICE.BPB");
    ASSERT_TRUE(device);
    const QByteArray written("\x00\x01\x02\xfe\xff written", 13);
    JsObject* bridge = m_sync->bridge();
    bridge->SLOT_saveVariable(QStringLiteral("fixture_read_path"), QStringLiteral("/DEVICE.BPB"));
    bridge->SLOT_saveVariable(QStringLiteral("fixture_write_path"), QStringLiteral("/U/0/NEW.BPB"));
    bridge->SLOT_saveVariable(QStringLiteral("fixture_write_data"),
                              QString::fromLatin1(written.toBase64()));
    bridge->SLOT_startByLoading(QStringLiteral("qrc:/fixtures/device_page.html"));
    ASSERT_TRUE(processUntil([&] { return !variable("fixture_written").isEmpty(); }, 60000));
    EXPECT_EQ(variable("fixture_read_data"), QString::fromLatin1(bytesOf(*device).toBase64()));
    EXPECT_EQ(variable("fixture_written"), Common::stringFromStateFlags(ConnectLib::OK));
    EXPECT_EQ(variable("fixture_failed"), QString());
    EXPECT_EQ(m_model.file("/U/0/NEW.BPB"), written.toStdString());
    EXPECT_TRUE(m_log.contains(QStringLiteral(" fixture fixture_written OK")));

    m_hub->unplug(m_device.serial());
    ASSERT_TRUE(processUntil([&] { return !variable("fixture_disappeared").isEmpty(); }, 60000));
    EXPECT_EQ(variable("fixture_disappeared"), record.deviceIdAsHexString());
    EXPECT_EQ(variable("tcdeviceid"), QString());
    EXPECT_EQ(variable("currentuserdir"), QString());
}

TEST_F(UsbSyncWindow, OfflineFilesGoThroughTheProvidersOfflineWorker)
{
    m_sync->bridge()->SLOT_startByLoading(stubPage);
    ASSERT_TRUE(waitForJs(frame(), QStringLiteral("typeof Stub !== 'undefined' && "
                                                  "typeof JSObject !== 'undefined'")));
    evalJs(frame(),
           QStringLiteral("Stub.listen('SIGNAL_fileRead'); "
                          "Stub.listen('SIGNAL_fileWritten'); Stub.listen('SIGNAL_fail')"));

    evalJs(frame(), QStringLiteral("JSObject.SLOT_readOfflineFile('offline/help.txt', 'true')"));
    ASSERT_TRUE(waitForJs(frame(), QStringLiteral("Stub.calls['SIGNAL_fileRead'].length === 1")));
    EXPECT_EQ(evalJs(frame(), QStringLiteral("Stub.calls['SIGNAL_fileRead'][0][0]")).toString(),
              QStringLiteral("shipped beside the program"));

    // The device-less window's store folder is "0".
    const QByteArray map("map\x00bytes", 9);
    evalJs(frame(), QStringLiteral("JSObject.SLOT_writeOfflineFile('maps/a.map', '%1', 'true')")
                        .arg(QString::fromLatin1(map.toBase64())));
    ASSERT_TRUE(
        waitForJs(frame(), QStringLiteral("Stub.calls['SIGNAL_fileWritten'].length === 1")));
    QFile stored(Common::getTempFilesDataPath() + QStringLiteral("/resources/0/maps/a.map"));
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_EQ(stored.readAll(), map);
    EXPECT_EQ(evalJs(frame(), QStringLiteral("Stub.calls['SIGNAL_fail'].length")).toInt(), 0);
}

} // namespace
} // namespace RavoSync::Test
