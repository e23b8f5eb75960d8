// The program as a user runs it: the real RavoSync with its own folders,
// the USB emulator program plugging a device, the fake web service serving
// the pages, a second start, an unplug and SIGTERM.
#include "tests/app/support/fake_web.h"
#include "tests/connectlib/support/process_events.h"
#include "tests/support/child_program.h"
#include "tests/support/program_run/program_sandbox.h"
#include "tests/support/usb_test_device.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using ConnectLib::Test::processUntil;
using RavoSync::Test::FakeRequest;
using RavoSync::Test::FakeWeb;
using RavoSync::Test::ProgramSandbox;
using zarvo::test::child_program;

class ProgramEndToEnd : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_sandbox.ready()); }
    void TearDown() override
    {
        m_program.reset();
        m_emulator.reset();
        m_web.reset();
    }

    QString path(const char* folder) const { return m_sandbox.path(QLatin1String(folder)); }
    QStringList logLines() const { return m_sandbox.logLines(); }
    bool logHas(const QString& text) const { return m_sandbox.logHas(text); }
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
        std::vector<std::string> environment = m_sandbox.environment(m_web->caFile());
        environment.push_back("QT_QPA_PLATFORM=offscreen");
        return std::make_unique<child_program>(RAVOSYNC_PROGRAM, std::vector<std::string>{},
                                               environment, path(errorFile).toStdString());
    }

    ProgramSandbox m_sandbox;
    std::unique_ptr<FakeWeb> m_web;
    std::unique_ptr<child_program> m_emulator;
    std::unique_ptr<child_program> m_program;
};

TEST_F(ProgramEndToEnd, StartsServesADeviceWakesUpAndEndsOnSigterm)
{
    m_web = std::make_unique<FakeWeb>(FakeWeb::Trust::TestCa, QList<FakeWeb::Mount>{},
                                      QStringList{QStringLiteral(END_TO_END_CONTENT)});
    ASSERT_TRUE(m_web->started());
    m_sandbox.useProxy(m_web->port());
    m_sandbox.setSetting(QStringLiteral("delaynew"), QStringLiteral("100"));
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
        [&] { return m_sandbox.setting(QString::number(device.id())).toString().startsWith("2;"); },
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
