#include "tests/e2e/harness/e2e_run.h"

#include <QDir>
#include <QFile>
#include <QJsonValue>
#include <QProcess>
#include <QRegularExpression>
#include <QTextStream>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <thread>

namespace RavoSync::E2e {

using zarvo::test::child_program;

namespace {

// How often the watchers look again.
constexpr std::chrono::milliseconds pollInterval{25};

QString fileText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

EndToEndRun::EndToEndRun(const QString& scenario)
    : m_scenario(scenario)
{
    if (!m_sandbox.ready()) {
        m_error = QStringLiteral("no private folders");
        return;
    }
    // A display another run's server is just leaving (its socket still
    // bound while its lock is gone) can be handed out and refuse clients:
    // a fresh server then takes another try.
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_error.clear();
        if (startDisplay() && startTrayHost())
            break;
        stopDisplay();
    }
    if (!m_error.isEmpty())
        return;
    // This run's fixtures take the place of the sync fixtures' phase scripts.
    m_web = std::make_unique<Test::FakeWebService>(
        QList<Test::FakeWebService::Mount>{},
        QStringList{fixturesDir(), Test::FakeWebService::syncFixturesDir()});
    if (!m_web->started()) {
        m_error = QStringLiteral("the fake web service did not start");
        return;
    }
    setRoutes({});
    m_sandbox.useProxy(m_web->port());
    m_sandbox.setSetting(QStringLiteral("delaynew"), QStringLiteral("100"));
    m_sandbox.setSetting(QStringLiteral("openwebaftersync"), QStringLiteral("true"));

    // The desktop opener: Qt without a desktop runs xdg-open from PATH.
    const QString bin = m_sandbox.path(QStringLiteral("bin"));
    QDir().mkpath(bin);
    QFile stub(bin + QStringLiteral("/xdg-open"));
    if (!stub.open(QIODevice::WriteOnly)) {
        m_error = QStringLiteral("cannot write the xdg-open stub");
        return;
    }
    stub.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$*\" >> '%1'\n")
                   .arg(m_sandbox.path(QStringLiteral("opened.txt")))
                   .toUtf8());
    stub.close();
    stub.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    m_emulator = std::make_unique<child_program>(
        RAVO_E2E_EMULATOR,
        std::vector<std::string>{"--hid-dir", m_sandbox.path(QStringLiteral("hid")).toStdString()},
        std::vector<std::string>{}, m_sandbox.path(QStringLiteral("emulator.err")).toStdString());
    if (emulator("list").rfind("ok", 0) != 0)
        m_error = QStringLiteral("the emulator does not answer");
}

EndToEndRun::~EndToEndRun()
{
    if (m_program)
        stopProgram();
    keepTraces();
    if (m_emulator) {
        emulator("quit");
        m_emulator->wait_exit();
    }
    if (m_web)
        m_web->stop();
    stopDisplay();
}

void EndToEndRun::stopDisplay()
{
    if (m_trayer) {
        m_trayer->terminate();
        m_trayer->wait_exit();
        m_trayer.reset();
    }
    if (m_xvfb) {
        m_xvfb->terminate();
        m_xvfb->wait_exit();
        m_xvfb.reset();
    }
}

QString EndToEndRun::fixturesDir()
{
    return QStringLiteral(RAVO_E2E_FIXTURES);
}

void EndToEndRun::keepTraces() const
{
    // What a failed run leaves to look at, beside its pictures.
    const QString base = QStringLiteral(RAVO_E2E_ARTIFACTS "/") + m_scenario;
    QDir().mkpath(QStringLiteral(RAVO_E2E_ARTIFACTS));
    const auto keep = [](const QString& from, const QString& to) {
        QFile::remove(to);
        QFile::copy(from, to);
    };
    QFile log(base + QStringLiteral(".log"));
    if (log.open(QIODevice::WriteOnly | QIODevice::Truncate))
        log.write(m_sandbox.logLines().join(QLatin1Char('\n')).toUtf8());
    keep(m_sandbox.path(QStringLiteral("program.err")), base + QStringLiteral("-program.err"));
    // A display or tray that did not come up says why only here.
    keep(m_sandbox.path(QStringLiteral("xvfb.err")), base + QStringLiteral("-xvfb.err"));
    keep(m_sandbox.path(QStringLiteral("trayer.err")), base + QStringLiteral("-trayer.err"));
    if (m_web)
        keep(m_web->stateDir() + QStringLiteral("/requests.jsonl"),
             base + QStringLiteral("-requests.jsonl"));
}

bool EndToEndRun::startDisplay()
{
    // -displayfd picks a free display and writes its number to standard
    // output once the server accepts clients.
    m_xvfb = std::make_unique<child_program>(
        RAVO_E2E_XVFB,
        std::vector<std::string>{"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten",
                                 "tcp", "-br"},
        std::vector<std::string>{}, m_sandbox.path(QStringLiteral("xvfb.err")).toStdString());
    const QString number = QString::fromStdString(m_xvfb->read_line(30000)).trimmed();
    bool isNumber = false;
    number.toInt(&isNumber);
    if (!isNumber) {
        m_error = QStringLiteral("Xvfb did not start: ") +
                  fileText(m_sandbox.path(QStringLiteral("xvfb.err")));
        return false;
    }
    m_display = QLatin1Char(':') + number;
    return true;
}

bool EndToEndRun::startTrayHost()
{
    m_trayer = std::make_unique<child_program>(
        RAVO_E2E_TRAYER,
        std::vector<std::string>{"--edge", "top", "--align", "right", "--widthtype", "request",
                                 "--height", "32", "--transparent", "false", "--tint", "0x404040",
                                 "--SetDockType", "true"},
        std::vector<std::string>{"DISPLAY=" + m_display.toStdString()},
        m_sandbox.path(QStringLiteral("trayer.err")).toStdString());
    // The tray's panel window shows once it owns the tray selection.
    if (!waitUntil([&] { return hasTopLevel(QStringLiteral("panel")); }, 30000)) {
        m_error = QStringLiteral("trayer did not start: ") +
                  fileText(m_sandbox.path(QStringLiteral("trayer.err")));
        return false;
    }
    return true;
}

bool EndToEndRun::hasTopLevel(const QString& name) const
{
    int exitCode = -1;
    const QString tree = runTool(QStringLiteral("xwininfo"),
                                 {QStringLiteral("-root"), QStringLiteral("-children")}, &exitCode);
    return exitCode == 0 && tree.contains(QLatin1Char('"') + name + QLatin1Char('"'));
}

QString EndToEndRun::runTool(const QString& program, const QStringList& arguments,
                             int* exitCode) const
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_display);
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        *exitCode = -1;
        return QString();
    }
    *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAllStandardOutput()) +
           QString::fromUtf8(process.readAllStandardError());
}

void EndToEndRun::setRoutes(const QJsonArray& first)
{
    QJsonArray routes = first;
    for (const QJsonValue& rule : Test::FakeWebService::webServiceRoutes())
        routes.append(rule);
    m_web->setRoutes(routes);
}

std::string EndToEndRun::emulator(const std::string& command)
{
    return m_emulator ? m_emulator->command(command) : std::string();
}

pid_t EndToEndRun::emulatorPid() const
{
    return m_emulator ? m_emulator->pid() : -1;
}

std::vector<std::string> EndToEndRun::programEnvironment() const
{
    std::vector<std::string> environment = m_sandbox.environment(m_web->caFile());
    const char* path = std::getenv("PATH");
    environment.insert(environment.end(),
                       {"DISPLAY=" + m_display.toStdString(), "QT_QPA_PLATFORM=xcb", "TZ=EET-2",
                        // No bus: the power driver stays idle and the tray icon is embedded
                        // in the tray host rather than announced over a session bus.
                        "DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent",
                        "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent",
                        "PATH=" + m_sandbox.path(QStringLiteral("bin")).toStdString() + ":" +
                            (path ? path : "/usr/bin:/bin")});
    return environment;
}

bool EndToEndRun::startProgram()
{
    if (!ready() || m_program)
        return false;
    m_program = std::make_unique<child_program>(
        RAVO_E2E_PROGRAM, std::vector<std::string>{}, programEnvironment(),
        m_sandbox.path(QStringLiteral("program.err")).toStdString());
    return m_program->pid() > 0;
}

int EndToEndRun::startAgain()
{
    if (!ready())
        return -1;
    child_program again(RAVO_E2E_PROGRAM, std::vector<std::string>{}, programEnvironment(),
                        m_sandbox.path(QStringLiteral("again.err")).toStdString());
    return again.pid() > 0 ? again.wait_exit() : -1;
}

pid_t EndToEndRun::programPid() const
{
    return m_program ? m_program->pid() : -1;
}

int EndToEndRun::stopProgram()
{
    if (!m_program)
        return -1;
    m_programPeak = peakKiB(m_program->pid());
    m_program->terminate();
    const int code = m_program->wait_exit();
    m_program.reset();
    return code;
}

long EndToEndRun::programPeakKiB() const
{
    return m_program ? peakKiB(m_program->pid()) : m_programPeak;
}

long EndToEndRun::emulatorPeakKiB() const
{
    return m_emulator ? peakKiB(m_emulator->pid()) : 0;
}

long EndToEndRun::peakKiB(pid_t pid)
{
    const QString status = fileText(QStringLiteral("/proc/%1/status").arg(pid));
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("VmHWM:\\s+(\\d+) kB")).match(status);
    return match.hasMatch() ? match.captured(1).toLong() : 0;
}

bool EndToEndRun::waitUntil(const std::function<bool()>& done, int limitMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(pollInterval);
    }
}

bool EndToEndRun::waitForLog(const QString& text, int limitMs)
{
    return waitUntil([&] { return m_sandbox.logHas(text); }, limitMs);
}

bool EndToEndRun::waitForLogAfter(const QString& after, const QString& text, int limitMs)
{
    return waitUntil(
        [&] {
            bool seen = false;
            for (const QString& line : m_sandbox.logLines()) {
                if (seen && line.contains(text))
                    return true;
                seen = seen || line.contains(after);
            }
            return false;
        },
        limitMs);
}

bool EndToEndRun::waitForSetting(const QString& key,
                                 const std::function<bool(const QString&)>& holds, int limitMs)
{
    return waitUntil([&] { return holds(m_sandbox.setting(key).toString()); }, limitMs);
}

bool EndToEndRun::waitForRequest(const std::function<bool(const FakeRequest&)>& match, int limitMs,
                                 FakeRequest* found)
{
    return waitUntil(
        [&] {
            for (const FakeRequest& request : m_web->requests()) {
                if (match(request)) {
                    if (found)
                        *found = request;
                    return true;
                }
            }
            return false;
        },
        limitMs);
}

QStringList EndToEndRun::openedUrls() const
{
    return fileText(m_sandbox.path(QStringLiteral("opened.txt")))
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString EndToEndRun::windowTree() const
{
    int exitCode = -1;
    return runTool(QStringLiteral("xwininfo"),
                   {QStringLiteral("-root"), QStringLiteral("-children")}, &exitCode);
}

QList<QRect> EndToEndRun::programWindows() const
{
    // "0x20000f "Zarvo RavoSync": ("RavoSync" "ZarvoRavoSync")  551x430+700+290  +700+290"
    const QString tree = windowTree();
    static const QRegularExpression line(
        QStringLiteral("^\\s*(0x[0-9a-f]+) \"[^\"]*\": \\(\"RavoSync\" \"[^\"]*\"\\)\\s+"
                       "(\\d+)x(\\d+)[+-]\\d+[+-]\\d+\\s+\\+(-?\\d+)\\+(-?\\d+)"));
    QList<QRect> windows;
    for (const QString& row : tree.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = line.match(row);
        if (!match.hasMatch())
            continue;
        const QRect area(match.captured(4).toInt(), match.captured(5).toInt(),
                         match.captured(2).toInt(), match.captured(3).toInt());
        // The tray icon's window lives inside the tray host; menus and
        // tool tips are small.
        if (area.width() < 200 || area.height() < 200)
            continue;
        int viewCode = -1;
        const QString about = runTool(QStringLiteral("xwininfo"),
                                      {QStringLiteral("-id"), match.captured(1)}, &viewCode);
        if (viewCode == 0 && about.contains(QLatin1String("Map State: IsViewable")))
            windows.append(area);
    }
    return windows;
}

QRect EndToEndRun::syncWindowArea() const
{
    QRect best;
    for (const QRect& area : programWindows()) {
        if (area.width() * area.height() > best.width() * best.height())
            best = area;
    }
    return best;
}

QRect EndToEndRun::trayIconArea() const
{
    // The icon's window is the program's small window inside the tray host:
    // "0x1a00005 (has no name): ("RavoSync" "RavoSync")  26x26+0+0  +1254+0".
    int exitCode = -1;
    const QString tree = runTool(QStringLiteral("xwininfo"),
                                 {QStringLiteral("-root"), QStringLiteral("-tree")}, &exitCode);
    static const QRegularExpression line(
        QStringLiteral("^\\s*0x[0-9a-f]+ (?:\"[^\"]*\":|\\(has no name\\):) \\(\"RavoSync\" "
                       "\"[^\"]*\"\\)\\s+(\\d+)x(\\d+)[+-]\\d+[+-]\\d+\\s+\\+(-?\\d+)\\+(-?\\d+)"));
    QRect icon;
    for (const QString& row : tree.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = line.match(row);
        if (!match.hasMatch())
            continue;
        const QRect area(match.captured(3).toInt(), match.captured(4).toInt(),
                         match.captured(1).toInt(), match.captured(2).toInt());
        if (area.width() > 1 && area.width() < 64 && area.height() > 1 && area.height() < 64 &&
            area.width() * area.height() > icon.width() * icon.height())
            icon = area;
    }
    return icon;
}

// The main page's layout (resources/ui/css/styles.css): a 49-pixel header,
// then the content area, a 40-pixel footer, 430 pixels in all.
QRect EndToEndRun::headerArea(const QRect& window)
{
    return QRect(window.x(), window.y(), window.width(), qMin(window.height(), 49));
}

QRect EndToEndRun::contentArea(const QRect& window)
{
    const int height = qMin(window.height(), 430) - 49 - 40;
    return QRect(window.x(), window.y() + 49, window.width(), qMax(height, 0));
}

QString EndToEndRun::screenshot(const QString& moment, bool checkWindow, const QString& trayColours)
{
    m_lastError.clear();
    QDir().mkpath(QStringLiteral(RAVO_E2E_ARTIFACTS));
    const QString file = QStringLiteral(RAVO_E2E_ARTIFACTS "/%1-%2.png").arg(m_scenario, moment);
    QStringList arguments{file};
    if (checkWindow) {
        const QRect window = syncWindowArea();
        if (window.isEmpty()) {
            m_lastError = QStringLiteral("no sync window on the screen:\n") + windowTree();
            return QString();
        }
        for (const QRect& area : {headerArea(window), contentArea(window)}) {
            arguments << QString::number(area.x()) << QString::number(area.y())
                      << QString::number(area.width()) << QString::number(area.height());
        }
        if (!trayColours.isEmpty()) {
            const QRect icon = trayIconArea();
            if (icon.isEmpty()) {
                m_lastError = QStringLiteral("no tray icon on the screen:\n") + windowTree();
                return QString();
            }
            arguments << QStringLiteral("--colour") << trayColours << QString::number(icon.x())
                      << QString::number(icon.y()) << QString::number(icon.width())
                      << QString::number(icon.height());
        }
    }
    int exitCode = -1;
    const QString output = runTool(QStringLiteral(RAVO_E2E_SCREENSHOT), arguments, &exitCode);
    std::cout << output.toStdString() << std::flush;
    if (exitCode != 0) {
        m_lastError = output.trimmed();
        return QString();
    }
    return file;
}

QStringList EndToEndRun::faultLines() const
{
    QStringList faults;
    for (const QString& line : m_sandbox.logLines()) {
        if (line.contains(QLatin1String("crash"), Qt::CaseInsensitive) ||
            line.contains(QLatin1String("Could not make all")))
            faults.append(line);
    }
    return faults;
}

QList<FakeRequest> EndToEndRun::plainRequests() const
{
    QList<FakeRequest> plain;
    for (const FakeRequest& request : m_web->requests()) {
        if (request.scheme != QLatin1String("https"))
            plain.append(request);
    }
    return plain;
}

} // namespace RavoSync::E2e
