// The program as a user runs it: the real RavoSync with its own folders,
// the USB emulator program plugging a device, the fake web service serving
// the pages, a second start, an unplug and SIGTERM.
#include "tests/app/support/fake_web.h"
#include "tests/connectlib/support/process_events.h"
#include "tests/devicelib/usb/usb_test_device.h"
#include "tests/support/child_program.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include <unistd.h>

namespace {

using ConnectLib::Test::processUntil;
using RavoSync::Test::FakeRequest;
using RavoSync::Test::FakeWeb;
using zarvo::test::child_program;

class ProgramEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Short, so the socket paths below it fit.
        QByteArray pattern("/tmp/rse-XXXXXX");
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_root = QString::fromLocal8Bit(pattern);
        for (const char* folder : {"home", "config", "run", "tmp", "hid"})
            ASSERT_TRUE(QDir().mkpath(m_root + QLatin1Char('/') + QLatin1String(folder)));
        QFile::setPermissions(m_root + QStringLiteral("/run"), QFileDevice::ReadOwner |
                                                                   QFileDevice::WriteOwner |
                                                                   QFileDevice::ExeOwner);
    }
    void TearDown() override
    {
        m_program.reset();
        m_emulator.reset();
        m_web.reset();
        QDir(m_root).removeRecursively();
    }

    QString path(const char* folder) const { return m_root + QLatin1Char('/') + folder; }
    QString settingsFile() const
    {
        return path("config") + QStringLiteral("/Zarvo/ZarvoRavoSync.conf");
    }
    QString logFile() const
    {
        return path("tmp") + QStringLiteral("/ravosync-%1/zarvo/logs/rs_%2.log")
                                 .arg(::geteuid())
                                 .arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd")));
    }
    QStringList logLines() const
    {
        QFile file(logFile());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    }
    bool logHas(const QString& text) const
    {
        for (const QString& line : logLines()) {
            if (line.contains(text))
                return true;
        }
        return false;
    }
    bool waitForLog(const QString& text)
    {
        const bool found = processUntil([&] { return logHas(text); }, 60000);
        if (!found)
            ADD_FAILURE() << "no log line with: " << text.toStdString();
        return found;
    }
    int requestsFor(const QString& requestPath) const
    {
        int count = 0;
        for (const FakeRequest& request : m_web->requests())
            count += request.path == requestPath ? 1 : 0;
        return count;
    }

    std::unique_ptr<child_program> startProgram(const char* errorFile)
    {
        const std::vector<std::string> environment{
            "HOME=" + path("home").toStdString(),
            "XDG_CONFIG_HOME=" + path("config").toStdString(),
            "XDG_RUNTIME_DIR=" + path("run").toStdString(),
            "TMPDIR=" + path("tmp").toStdString(),
            "ZARVO_HID_DIR=" + path("hid").toStdString(),
            "ZARVO_DNSSD_LIBRARY=none",
            "QT_QPA_PLATFORM=offscreen",
            "SSL_CERT_FILE=" + m_web->caFile().toStdString()};
        return std::make_unique<child_program>(
            RAVOSYNC_PROGRAM, std::vector<std::string>{}, environment,
            (m_root + QLatin1Char('/') + QLatin1String(errorFile)).toStdString());
    }

    QString m_root;
    std::unique_ptr<FakeWeb> m_web;
    std::unique_ptr<child_program> m_emulator;
    std::unique_ptr<child_program> m_program;
};

TEST_F(ProgramEndToEnd, StartsServesADeviceWakesUpAndEndsOnSigterm)
{
    m_web = std::make_unique<FakeWeb>(FakeWeb::Trust::TestCa, QList<FakeWeb::Mount>{},
                                      QStringList{QStringLiteral(END_TO_END_CONTENT)});
    ASSERT_TRUE(m_web->started());
    {
        // The fake as manual proxy; the built-in addresses stay.
        QSettings settings(settingsFile(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("proxytype"), QStringLiteral("2"));
        settings.setValue(QStringLiteral("proxyname"), QStringLiteral("::1"));
        settings.setValue(QStringLiteral("proxyport"), QString::number(m_web->port()));
        settings.setValue(QStringLiteral("delaynew"), QStringLiteral("100"));
    }
    m_emulator = std::make_unique<child_program>(
        ZARVO_HID_EMULATOR_PATH, std::vector<std::string>{"--hid-dir", path("hid").toStdString()});

    // The first start opens the device-less window.
    const QString page = QStringLiteral("/contentserver/ui/index.html");
    m_program = startProgram("first.err");
    ASSERT_TRUE(m_web->waitForRequest(
        [&](const FakeRequest& request) { return request.path == page; }, 60000));

    // A device arrives.
    zarvo::test::usb_test_device device;
    ASSERT_EQ(m_emulator->command("plug " + device.serial()), "ok");
    const QString hexId =
        QStringLiteral("%1").arg(quint64(device.id()), 8, 16, QLatin1Char('0')).toUpper();
    ASSERT_TRUE(waitForLog(QStringLiteral("Device appeared. DeviceId: ") + hexId));
    ASSERT_TRUE(processUntil(
        [&] {
            QSettings settings(settingsFile(), QSettings::IniFormat);
            return settings.value(QString::number(device.id())).toString().startsWith("2;");
        },
        60000));
    ASSERT_TRUE(waitForLog(QStringLiteral("end-to-end page tcdeviceid: ") + hexId));

    // A second start wakes the first up and ends.
    const int loadsBefore = requestsFor(page);
    auto second = startProgram("second.err");
    EXPECT_EQ(second->wait_exit(), 0);
    EXPECT_TRUE(logHas(QStringLiteral("Application already running. Waking up...")));
    EXPECT_TRUE(processUntil([&] { return requestsFor(page) > loadsBefore; }, 60000));

    // Unplugging reaches the page.
    ASSERT_EQ(m_emulator->command("unplug " + device.serial()), "ok");
    EXPECT_TRUE(waitForLog(QStringLiteral("end-to-end page device gone: ") + hexId));

    // SIGTERM runs the ordinary shutdown.
    m_program->terminate();
    EXPECT_EQ(m_program->wait_exit(), 0);
    QStringList lines = logLines();
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
        lines.removeLast();
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines.at(lines.size() - 2).startsWith(QStringLiteral("Application closed at: ")))
        << lines.at(lines.size() - 2).toStdString();
}

} // namespace
