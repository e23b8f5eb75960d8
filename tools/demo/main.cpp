// The demonstration run behind "scripts/run --demo": a whole sync on a
// machine with no device and no web service. It starts the fake web service
// with the end-to-end fixtures and the web service's routes, the emulator
// program with one device that holds a few exercises, and RavoSync on the
// user's display with folders, settings, proxy and trusted CA of its own.
// Everything it started is stopped by its pid and its folders removed once
// the program ends (its tray's Close, Ctrl-C, SIGTERM to this driver).
//
//   ravosync_demo [--exit-after-sync] [program arguments]
//
// --exit-after-sync ends the program once the device's sync has completed,
// for scripted runs; the exit code is 0 only when it did.
#include "tests/e2e/sync_routes.h"
#include "tests/support/child_program.h"
#include "tests/support/program_run/fake_web_service.h"
#include "tests/support/program_run/program_sandbox.h"
#include "tests/support/usb_test_device.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using RavoSync::Test::FakeWebService;
using RavoSync::Test::ProgramSandbox;
using zarvo::test::child_program;
using zarvo::test::usb_test_device;

volatile std::sig_atomic_t endSignal = 0;

void noteEndSignal(int signal)
{
    endSignal = signal;
}

// The device's exercises, "/U/0/<day>/E/<time>/BASE.BPB", below root.
bool writeExercises(const QString& root)
{
    const char* const folders[] = {"20260112/E/071500", "20260113/E/181000", "20260114/E/064000"};
    int index = 0;
    for (const char* folder : folders) {
        const QString path = root + QStringLiteral("/U/0/") + QLatin1String(folder);
        QFile file(path + QStringLiteral("/BASE.BPB"));
        if (!QDir().mkpath(path) || !file.open(QIODevice::WriteOnly))
            return false;
        QByteArray bytes;
        for (int i = 0; i < 4000 + 3000 * index; ++i)
            bytes.append(char((i * 7 + index * 31) % 251));
        file.write(bytes);
        ++index;
    }
    return true;
}

// The program's environment: this process's with the sandbox's entries in
// place of its own.
std::vector<std::string> programEnvironment(const ProgramSandbox& sandbox, const QString& caFile)
{
    std::vector<std::string> own = sandbox.environment(caFile);
    // Whatever the user's session sets for these would lead outside the
    // private home.
    const QString home = sandbox.path(QStringLiteral("home"));
    own.push_back("XDG_DATA_HOME=" + (home + QStringLiteral("/.local/share")).toStdString());
    own.push_back("XDG_STATE_HOME=" + (home + QStringLiteral("/.local/state")).toStdString());
    own.push_back("XDG_CACHE_HOME=" + (home + QStringLiteral("/.cache")).toStdString());
    std::vector<std::string> entries;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text(*entry);
        const std::string name = text.substr(0, text.find('=') + 1);
        bool replaced = false;
        for (const std::string& mine : own)
            replaced = replaced || mine.compare(0, name.size(), name) == 0;
        if (!replaced)
            entries.push_back(text);
    }
    entries.insert(entries.end(), own.begin(), own.end());
    return entries;
}

// Starts the program with this process's terminal; it ends with this
// driver and takes Ctrl-C as the user's own start would.
pid_t startProgram(const std::vector<std::string>& arguments,
                   const std::vector<std::string>& environment)
{
    std::vector<std::string> entries = environment;
    std::vector<char*> envp;
    for (std::string& entry : entries)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> words{RAVO_DEMO_PROGRAM};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(127);
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGPIPE, SIG_DFL);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    return pid;
}

int exitCodeOf(int status)
{
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class DemoRun {
public:
    int run(const std::vector<std::string>& programArguments, bool exitAfterSync);

private:
    bool prepare();
    bool syncCompleted() const;

    ProgramSandbox m_sandbox;
    usb_test_device m_device;
    std::unique_ptr<FakeWebService> m_web;
    std::unique_ptr<child_program> m_emulator;
};

bool DemoRun::prepare()
{
    if (!m_sandbox.ready()) {
        std::cerr << "demo: cannot make the private folders" << std::endl;
        return false;
    }
    m_web = std::make_unique<FakeWebService>(
        QList<FakeWebService::Mount>{},
        QStringList{QStringLiteral(RAVO_DEMO_FIXTURES), FakeWebService::syncFixturesDir()});
    if (!m_web->started()) {
        std::cerr << "demo: the fake web service did not start" << std::endl;
        return false;
    }
    m_web->setRoutes(RavoSync::E2e::syncRunRoutes());
    m_sandbox.useProxy(m_web->port());
    // The diary after the sync would open the user's browser on an address
    // only the fake knows.
    m_sandbox.setSetting(QStringLiteral("openwebaftersync"), QStringLiteral("false"));

    m_emulator = std::make_unique<child_program>(
        RAVO_DEMO_EMULATOR,
        std::vector<std::string>{"--hid-dir", m_sandbox.path(QStringLiteral("hid")).toStdString()},
        std::vector<std::string>{}, m_sandbox.path(QStringLiteral("emulator.err")).toStdString());
    const QString seed = m_sandbox.path(QStringLiteral("seed"));
    if (!writeExercises(seed) ||
        m_emulator->command("seed " + m_device.serial() + " " + seed.toStdString()) != "ok" ||
        m_emulator->command("plug " + m_device.serial()) != "ok") {
        std::cerr << "demo: the emulator did not plug the device" << std::endl;
        return false;
    }
    std::cout << "Demonstration: emulated device " << m_device.serial()
              << " with 3 exercises, fake web service on port " << m_web->port()
              << ", private folders in " << m_sandbox.root().toStdString()
              << ". The program signs the test user in and syncs the device." << std::endl;
    return true;
}

bool DemoRun::syncCompleted() const
{
    // The program stores "5;<time>" under the device's decimal id when its
    // sync has completed.
    return m_sandbox.setting(QString::number(m_device.id())).toString().startsWith("5;");
}

int DemoRun::run(const std::vector<std::string>& programArguments, bool exitAfterSync)
{
    const auto started = std::chrono::steady_clock::now();
    if (!prepare())
        return 1;
    const pid_t program =
        startProgram(programArguments, programEnvironment(m_sandbox, m_web->caFile()));
    if (program < 0) {
        std::cerr << "demo: cannot start the program" << std::endl;
        return 1;
    }
    std::cout << "Started: program pid " << program << ", fake web service pid " << m_web->pid()
              << ", emulator pid " << m_emulator->pid() << std::endl;
    bool completed = false;
    bool asked = false;
    int status = 0;
    for (;;) {
        if (::waitpid(program, &status, WNOHANG) == program)
            break;
        if (endSignal != 0 && !asked) {
            // Ctrl-C reaches the program by itself, as it shares the terminal.
            ::kill(program, SIGTERM);
            asked = true;
        }
        if (!completed && syncCompleted()) {
            completed = true;
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
            std::printf("Sync completed, %.1f s after the start.\n", took.count());
            std::fflush(stdout);
            if (exitAfterSync && !asked) {
                ::kill(program, SIGTERM);
                asked = true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const int code = exitCodeOf(status);
    m_emulator->command("quit");
    m_emulator->wait_exit();
    m_web->stop();
    if (exitAfterSync && !completed) {
        std::cerr << "demo: the program ended (exit code " << code << ") before the sync completed"
                  << std::endl;
        return 1;
    }
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    bool exitAfterSync = false;
    std::vector<std::string> programArguments;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--exit-after-sync")
            exitAfterSync = true;
        else
            programArguments.push_back(argv[i]);
    }
    // Ctrl-C is for the program, which shares the terminal: this driver and
    // the fake web service ignore it (an ignored signal stays so across
    // exec; the emulator, which takes it through a signalfd, ends on it as
    // well). The rest is stopped once the program has ended. A helper that
    // ended on its own must not end this driver with SIGPIPE.
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction action = {};
    action.sa_handler = noteEndSignal;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
    DemoRun demo;
    return demo.run(programArguments, exitAfterSync);
}
