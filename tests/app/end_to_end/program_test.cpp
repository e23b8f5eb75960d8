// The program as a user runs it: the real RavoSync with its own folders,
// the USB emulator program plugging a device, the fake web service serving
// the pages, a second start, an unplug and SIGTERM.
#include "tests/app/support/fake_web.h"
#include "tests/connectlib/support/process_events.h"
#include "tests/support/child_program.h"
#include "tests/support/program_run/program_sandbox.h"
#include "tests/support/usb_test_device.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

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

    std::unique_ptr<child_program> startProgram(const char* errorFile,
                                                const QString& program = RAVOSYNC_PROGRAM)
    {
        std::vector<std::string> environment = m_sandbox.environment(m_web->caFile());
        environment.push_back("QT_QPA_PLATFORM=offscreen");
        return std::make_unique<child_program>(program.toStdString(), std::vector<std::string>{},
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

// A display number no X server serves on this machine.
std::string unservedDisplay()
{
    for (int number = 4242;; ++number) {
        if (!QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)) &&
            !QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)))
            return ":" + std::to_string(number);
    }
}

// Without a display the program says that it needs a graphical session and
// ends, where Qt would abort with a hint to reinstall.
TEST_F(ProgramEndToEnd, WithoutADisplayItSaysItNeedsAGraphicalSession)
{
    struct Row {
        const char* name;
        std::string display;
        const char* reason;
    };
    const Row rows[] = {
        {"no display named", "", "no display is named (DISPLAY and WAYLAND_DISPLAY are not set)"},
        {"a display nobody serves", unservedDisplay(), "\" cannot be opened"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> environment = m_sandbox.environment(QString());
        for (const char* unset : {"QT_QPA_PLATFORM=", "WAYLAND_DISPLAY=", "XDG_SESSION_TYPE="})
            environment.push_back(unset);
        environment.push_back("DISPLAY=" + row.display);
        child_program program(RAVOSYNC_PROGRAM, {}, environment,
                              path("nodisplay.err").toStdString());
        EXPECT_EQ(program.wait_exit(), 1);
        QFile errors(path("nodisplay.err"));
        ASSERT_TRUE(errors.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(errors.readAll());
        EXPECT_TRUE(text.startsWith(QStringLiteral("RavoSync needs a graphical session: ")))
            << text.toStdString();
        EXPECT_TRUE(text.contains(QLatin1String(row.reason))) << text.toStdString();
        EXPECT_FALSE(text.contains(QLatin1String("Reinstalling"))) << text.toStdString();
    }
}

// A hosts.conf beside the program whose content address is unusable: the
// window shows the built-in offline page, and the log says why.
struct HostsFile {
    const char* label;
    const char* text;
    const char* address; // as the log line quotes it
};

class UnusableHostsFile : public ProgramEndToEnd,
                          public ::testing::WithParamInterface<HostsFile> {};

TEST_P(UnusableHostsFile, EndsOnTheOfflinePage)
{
    m_web = std::make_unique<FakeWeb>(FakeWeb::Trust::TestCa, QList<FakeWeb::Mount>{},
                                      QStringList{QStringLiteral(END_TO_END_CONTENT)});
    ASSERT_TRUE(m_web->started());
    m_sandbox.useProxy(m_web->port());
    // The program reads hosts.conf from its own folder: a copy of it runs.
    const QString program = path("bin/RavoSync");
    ASSERT_TRUE(QDir().mkpath(path("bin")));
    ASSERT_TRUE(QFile::copy(QStringLiteral(RAVOSYNC_PROGRAM), program));
    QFile hosts(path("bin/hosts.conf"));
    ASSERT_TRUE(hosts.open(QIODevice::WriteOnly));
    hosts.write(GetParam().text);
    hosts.close();

    m_program = startProgram("hosts.err", program);
    ASSERT_TRUE(waitForLog(QStringLiteral("Invalid content address \"") +
                           QString::fromUtf8(GetParam().address) + QStringLiteral("\"")));
    EXPECT_TRUE(waitForLog(QStringLiteral("Show offline error dialog.")));
    // The offline page runs the error case with the dialog's text.
    EXPECT_TRUE(waitForLog(QStringLiteral("ErrorCase: shows i18n.error_nonetworkconnection")));
    for (const FakeRequest& request : m_web->requests())
        EXPECT_NE(request.path, QStringLiteral("/contentserver/ui/index.html"));
    m_program->terminate();
    EXPECT_EQ(m_program->wait_exit(), 0);

    // Standard error holds none of the log's lines (the log file keeps
    // them), nothing of the program's own book-keeping and no complaint
    // about reading a reply.
    QFile errors(path("hosts.err"));
    ASSERT_TRUE(errors.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(errors.readAll());
    for (const char* logged : {"Invalid content address", "Show offline error dialog."})
        EXPECT_FALSE(text.contains(QLatin1String(logged))) << logged;
    for (const char* stray : {"Creating logger", "Deleting logger", "About to stop listener",
                              "Listener stopped", "QIODevice::"})
        EXPECT_FALSE(text.contains(QLatin1String(stray))) << stray;
    EXPECT_FALSE(text.contains(QRegularExpression(QStringLiteral("^\\s*\"?deleted\"?\\s*$"),
                                                  QRegularExpression::MultilineOption)));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UnusableHostsFile,
    ::testing::Values(HostsFile{"empty_file", "", ""},
                      HostsFile{"empty_address", "contenturl=\nremoteurl=https://www.ravo.test/\n",
                                ""},
                      HostsFile{"garbage", "\x01\x7f garbage\ncontenturl=%%zz::\n", "%%zz::"}),
    [](const auto& info) { return std::string(info.param.label); });

} // namespace
