#include "tests/support/private_bus.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zarvo::test {
namespace {

namespace fs = std::filesystem;

#ifndef ZARVO_DBUS_DAEMON
#define ZARVO_DBUS_DAEMON "dbus-daemon"
#endif

// Everything allowed: the tests play both logind and other programs.
const char* const config =
    R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>custom</type>
  <listen>unix:path=@SOCKET@</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
  </policy>
</busconfig>
)";

std::string per_process_dir()
{
    const fs::path dir = fs::temp_directory_path() / ("zarvo-bus-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    return dir.string();
}

void reap(pid_t pid, int signal)
{
    ::kill(pid, signal);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

} // namespace

private_bus::private_bus()
    : dir_(per_process_dir())
    , address_("unix:path=" + dir_ + "/system_bus_socket")
{
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address_.c_str(), 1);
    launch();
}

private_bus::~private_bus()
{
    if (pid_ > 0)
        reap(pid_, SIGTERM);
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

void private_bus::kill()
{
    if (pid_ > 0)
        reap(pid_, SIGKILL);
    pid_ = -1;
}

void private_bus::restart()
{
    kill();
    launch();
}

void private_bus::launch()
{
    const std::string socket = dir_ + "/system_bus_socket";
    ::unlink(socket.c_str());
    const std::string config_path = dir_ + "/bus.conf";
    {
        std::string text = config;
        text.replace(text.find("@SOCKET@"), 8, socket);
        std::ofstream(config_path) << text;
    }

    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    // Its complaints (it cannot raise its descriptor limit without
    // privileges) go to a log beside the socket.
    const std::string log_path = dir_ + "/daemon.log";
    posix_spawn_file_actions_addopen(&actions, 2, log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0600);
    const std::string config_arg = "--config-file=" + config_path;
    std::vector<char*> argv{
        const_cast<char*>(ZARVO_DBUS_DAEMON),  const_cast<char*>("--nofork"),
        const_cast<char*>("--nopidfile"),      const_cast<char*>("--print-address"),
        const_cast<char*>(config_arg.c_str()), nullptr};
    pid_t pid = -1;
    const int failed = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (failed) {
        ::close(out[0]);
        throw std::runtime_error("cannot start " + std::string(ZARVO_DBUS_DAEMON));
    }
    pid_ = pid;

    // The daemon prints its address once it listens.
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        char buffer[256];
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        line.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    if (line.find('\n') == std::string::npos) {
        reap(pid_, SIGKILL);
        pid_ = -1;
        throw std::runtime_error("the bus daemon did not start");
    }
}

} // namespace zarvo::test
