#pragma once

// One end-to-end run of the whole system on a private X display: Xvfb with a
// tray host, the fake web service and content server, the HID emulator
// program and the real RavoSync, each a child process, with watchers that
// wait on what they write (bounded waits, never fixed sleeps). Used by the
// scenario tests and the end-to-end benchmarks; it calls neither library.

#include "tests/support/child_program.h"
#include "tests/support/program_run/fake_web_service.h"
#include "tests/support/program_run/program_sandbox.h"

#include <QJsonArray>
#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>

namespace RavoSync::E2e {

using Test::FakeRequest;

class EndToEndRun {
public:
    // The fixed time zone of the program: EET without summer time, +120
    // minutes.
    static constexpr int zoneOffsetMinutes = 120;

    // Starts the display, the tray host, the fake and the emulator and
    // prepares the program's folders and settings. scenario names the
    // screenshots.
    explicit EndToEndRun(const QString& scenario);
    // Ends whatever still runs: the program, the emulator, the fake, the
    // tray host, the display; keeps the run's traces beside its pictures.
    ~EndToEndRun();
    EndToEndRun(const EndToEndRun&) = delete;
    EndToEndRun& operator=(const EndToEndRun&) = delete;

    // Whether every helper started; else why not.
    bool ready() const { return m_error.isEmpty(); }
    const QString& error() const { return m_error; }

    // This run's fixture folder of the content server (tools/fakeweb/content/e2e).
    static QString fixturesDir();

    Test::ProgramSandbox& sandbox() { return m_sandbox; }
    Test::FakeWebService& web() { return *m_web; }
    QString display() const { return m_display; }

    // The fake's rules: first, then the web service of the sync fixtures
    // (FakeWebService::webServiceRoutes), which every run starts with.
    void setRoutes(const QJsonArray& first);

    // One emulator command and its answer line ("" after its time-out).
    std::string emulator(const std::string& command);
    pid_t emulatorPid() const;

    // Starts RavoSync; false when it cannot.
    bool startProgram();
    // Starts RavoSync once more, as a user's second start does, and waits
    // for that process to end: its exit code (-1 when it could not start).
    int startAgain();
    bool programRunning() const { return m_program != nullptr; }
    pid_t programPid() const;
    // Notes the program's peak memory, sends SIGTERM and returns its exit
    // code (-1 when it did not end in time).
    int stopProgram();
    // VmHWM in KiB from the last stopProgram (or now, while running); 0 when
    // unknown.
    long programPeakKiB() const;
    long emulatorPeakKiB() const;
    static long peakKiB(pid_t pid);

    // Bounded waits: true once done() holds, false after limitMs.
    static bool waitUntil(const std::function<bool()>& done, int limitMs);
    bool waitForLog(const QString& text, int limitMs = 60000);
    // Waits for a log line with text after the first line with after.
    bool waitForLogAfter(const QString& after, const QString& text, int limitMs = 60000);
    bool waitForSetting(const QString& key, const std::function<bool(const QString&)>& holds,
                        int limitMs = 60000);
    bool waitForRequest(const std::function<bool(const FakeRequest&)>& match, int limitMs = 60000,
                        FakeRequest* found = nullptr);
    // The lines the stub xdg-open recorded, one per call.
    QStringList openedUrls() const;

    // The top-level windows as xwininfo lists them (for failure messages).
    QString windowTree() const;
    // The program's windows shown on the screen (top-level, mapped, at least
    // 200 pixels each way), in screen coordinates.
    QList<QRect> programWindows() const;
    // The sync window on the screen (the largest of those); empty when there
    // is none.
    QRect syncWindowArea() const;
    // The program's tray icon inside the tray host, in screen coordinates;
    // empty when there is none.
    QRect trayIconArea() const;
    // The header and the content area (between the main page's header and
    // footer) of a sync window at that place.
    static QRect headerArea(const QRect& window);
    static QRect contentArea(const QRect& window);
    // Grabs the screen to "<artifacts>/<scenario>-<moment>.png" and prints
    // its path; with checkWindow, a sync window whose header or content area
    // shows one colour only (the web engine drew nothing there), or none at
    // all, fails, and
    // with trayColours (comma-separated "rrggbb", "-rrggbb" for a colour that
    // must not show) so does a tray icon that lacks or shows them.
    // The picture's path, or "" with the reason in lastError().
    QString screenshot(const QString& moment, bool checkWindow = true,
                       const QString& trayColours = QString());
    const QString& lastError() const { return m_lastError; }

    // What no scenario may show: log lines reporting a crash or a failed
    // connection group, and requests that went out without TLS.
    QStringList faultLines() const;
    QList<FakeRequest> plainRequests() const;

private:
    // Copies the log, the program's standard error and the fake's request
    // log next to the screenshots.
    void keepTraces() const;
    // The program's environment: the sandbox's, this run's display and
    // zone, no buses, the stub desktop opener first on PATH.
    std::vector<std::string> programEnvironment() const;
    bool startDisplay();
    bool startTrayHost();
    // Ends the tray host and the display server, if they run.
    void stopDisplay();
    bool hasTopLevel(const QString& name) const;
    QString runTool(const QString& program, const QStringList& arguments, int* exitCode) const;

    QString m_scenario;
    QString m_error;
    QString m_lastError;
    QString m_display;
    Test::ProgramSandbox m_sandbox;
    std::unique_ptr<zarvo::test::child_program> m_xvfb;
    std::unique_ptr<zarvo::test::child_program> m_trayer;
    std::unique_ptr<Test::FakeWebService> m_web;
    std::unique_ptr<zarvo::test::child_program> m_emulator;
    std::unique_ptr<zarvo::test::child_program> m_program;
    long m_programPeak = 0;
};

} // namespace RavoSync::E2e
