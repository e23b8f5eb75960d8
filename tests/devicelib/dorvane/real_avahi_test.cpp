// The network driver with the installed DNS-SD library and a real Avahi
// daemon, in a private network namespace of its own (a veth pair with a
// unique local address: the daemon ignores loopback) and on a private system
// bus. The process enters the namespace before any library thread starts.
// Skipped, with the reason, where a namespace cannot be made or a program is
// missing.

#include "devicelib/dorvane/sd_driver.h"
#include "tests/devicelib/dorvane/net_device.h"
#include "tests/support/latch.h"
#include "tests/support/private_bus.h"
#include "tests/support/process_resources.h"
#include "tests/support/recording_logger.h"
#include "tests/support/recording_poster.h"
#include "tests/support/temp_dir.h"

#include <fcntl.h>
#include <net/if.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace zarvo::test {
namespace {

namespace fs = std::filesystem;

// A program whose standard output and error the test reads; ended by its
// pid when it goes.
class spawned {
public:
    explicit spawned(const std::vector<std::string>& argv)
    {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[1], 1);
            dup2(fds[1], 2);
            std::vector<char*> args;
            for (const auto& a : argv)
                args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execvp(args[0], args.data());
            _exit(127);
        }
        close(fds[1]);
        output_ = fds[0];
    }
    ~spawned()
    {
        end();
        if (output_ >= 0)
            close(output_);
    }
    spawned(const spawned&) = delete;
    spawned& operator=(const spawned&) = delete;

    // Reads until the output holds text; false after the limit or at its end.
    bool wait_for(const std::string& text, std::chrono::milliseconds limit = latch::default_limit)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (seen_.find(text) == std::string::npos) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || output_ < 0)
                return false;
            pollfd p{output_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
                continue;
            char buffer[512];
            ssize_t n = read(output_, buffer, sizeof buffer);
            if (n <= 0)
                return false;
            seen_.append(buffer, static_cast<std::size_t>(n));
        }
        return true;
    }
    const std::string& output() const { return seen_; }
    pid_t pid() const { return pid_; }
    // Waits for the program's end without reading its output (programs it
    // left behind may hold that open); the raw wait status.
    int wait_status()
    {
        int status = 0;
        while (pid_ > 0 && waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return status;
    }
    // Reads the output to its end and returns the exit status.
    int wait_exit()
    {
        while (output_ >= 0) {
            char buffer[512];
            ssize_t n = read(output_, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            seen_.append(buffer, static_cast<std::size_t>(n));
        }
        int status = 0;
        while (pid_ > 0 && waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void end()
    {
        if (pid_ <= 0)
            return;
        kill(pid_, SIGTERM);
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    int output_ = -1;
    std::string seen_;
};

// Removes a network namespace, with whatever still runs in it, once this
// process is gone, however it ended: a watcher in a session of its own reads
// a pipe only this process can write, whose end tells it the run is over. A
// run that ends normally removes the namespace itself and says "done".
class namespace_guard {
public:
    explicit namespace_guard(const std::string& ns)
    {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return;
        const char* const script =
            "read -r word; [ \"$word\" = done ] && exit 0; "
            "for p in $(ip netns pids \"$1\"); do kill -9 \"$p\"; done; ip netns del \"$1\"";
        pid_ = fork();
        if (pid_ == 0) {
            // Only calls a forked child of a threaded process may make.
            setsid();
            dup2(fds[0], 0);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execl("/bin/sh", "sh", "-c", script, "guard", ns.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[0]);
        if (pid_ < 0)
            close(fds[1]);
        else
            write_end_ = fds[1];
    }
    ~namespace_guard() { release(); }
    namespace_guard(const namespace_guard&) = delete;
    namespace_guard& operator=(const namespace_guard&) = delete;

    // The namespace is gone (or never was): the watcher ends without a word.
    void release()
    {
        if (write_end_ >= 0) {
            (void)!write(write_end_, "done\n", 5);
            close(write_end_);
            write_end_ = -1;
        }
        while (pid_ > 0 && waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    int write_end_ = -1;
};

// Runs a command to its end; its exit status, its output in output.
int run(const std::vector<std::string>& argv, std::string* output = nullptr)
{
    spawned child(argv);
    const int status = child.wait_exit();
    if (output != nullptr)
        *output = child.output();
    return status;
}

bool have_program(const std::string& name)
{
    for (const char* dir : {"/usr/sbin", "/usr/bin", "/sbin", "/bin"}) {
        if (access((std::string(dir) + "/" + name).c_str(), X_OK) == 0)
            return true;
    }
    return false;
}

// Set for a run of the fixture that is to die once set up.
const char* const die_after_set_up = "ZARVO_AVAHI_TEST_DIE_AFTER_SET_UP";

std::string avahi_conf()
{
    return "[server]\nuse-ipv4=no\nuse-ipv6=yes\nallow-interfaces=veth0\nenable-dbus=yes\n"
           "[wide-area]\nenable-wide-area=no\n[publish]\npublish-workstation=no\n";
}

class real_avahi : public trace_fixture {
protected:
    void SetUp() override
    {
        trace_fixture::SetUp();
        for (const char* program : {"ip", "unshare", "avahi-daemon", "avahi-publish"}) {
            if (!have_program(program))
                GTEST_SKIP() << "real-Avahi discovery test skipped: " << program << " is missing";
        }
        ns_ = "zarvo-avahi-" + std::to_string(getpid());
        // ip reports its failure; a namespace that exists afterwards is ours.
        std::string error;
        if (run({"ip", "netns", "add", ns_}, &error) != 0)
            GTEST_SKIP() << "real-Avahi discovery test skipped: cannot create a network "
                            "namespace (needs root): "
                         << error;
        made_ns_ = true;
        guard_ = std::make_unique<namespace_guard>(ns_);
        for (const std::vector<std::string>& step :
             {std::vector<std::string>{"ip", "link", "add", "veth0", "type", "veth", "peer", "name",
                                       "veth1"},
              {"ip", "link", "set", "lo", "up"},
              {"ip", "link", "set", "veth0", "up"},
              {"ip", "link", "set", "veth1", "up"},
              {"ip", "addr", "add", "fd00:5a::1/64", "dev", "veth0", "nodad"}}) {
            std::vector<std::string> in_ns{"ip", "netns", "exec", ns_};
            in_ns.insert(in_ns.end(), step.begin(), step.end());
            ASSERT_EQ(run(in_ns, &error), 0) << error;
        }
        std::ofstream(folder / "avahi.conf") << avahi_conf();
        // The library's start-up notes on stderr are of no use here.
        ::setenv("AVAHI_COMPAT_NOWARN", "1", 1);
        // The bus sets DBUS_SYSTEM_BUS_ADDRESS, which the daemon, the
        // publisher and the library read.
        bus = std::make_unique<private_bus>();

        // Into the namespace before the library starts a thread.
        int ns_fd = open(("/run/netns/" + ns_).c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(ns_fd, 0);
        ASSERT_EQ(setns(ns_fd, CLONE_NEWNET), 0) << std::strerror(errno);
        close(ns_fd);
        interface_ = if_nametoindex("veth0");
        ASSERT_NE(interface_, 0u);
        start_daemon();
        // A run that dies here, its daemon running (the bus is not this
        // test's concern and goes first).
        if (std::getenv(die_after_set_up) != nullptr) {
            bus.reset();
            raise(SIGKILL);
        }
    }
    void TearDown() override
    {
        publisher.reset();
        if (driver)
            driver->stop();
        driver.reset();
        poster.clear();
        daemon.reset();
        bus.reset();
        if (made_ns_)
            run({"ip", "netns", "del", ns_});
        guard_.reset();
        trace_fixture::TearDown();
    }

    void start_daemon()
    {
        // A /run/avahi-daemon of its own: the machine's daemon may use the real one.
        daemon = std::make_unique<spawned>(std::vector<std::string>{
            "unshare", "-m", "sh", "-c",
            "mkdir -p /run/avahi-daemon && mount -t tmpfs none /run/avahi-daemon && exec "
            "avahi-daemon -f '" +
                (folder / "avahi.conf").string() + "' --no-drop-root --no-chroot --no-rlimits"});
        ASSERT_TRUE(daemon->wait_for("Server startup complete")) << daemon->output();
    }
    void publish(const std::string& name, std::uint16_t port)
    {
        publisher = std::make_unique<spawned>(std::vector<std::string>{
            "avahi-publish", "-s", name, "_zarvo-ftp._tcp", std::to_string(port)});
        ASSERT_TRUE(publisher->wait_for("Established under name")) << publisher->output();
    }
    bool traced(const std::string& text, int times = 1) const
    {
        return eventually([&] {
            int seen = 0;
            for (const auto& m : log.messages())
                seen += m.find(text) != std::string::npos ? 1 : 0;
            return seen >= times;
        });
    }

    temp_dir folder;
    std::string ns_;
    bool made_ns_ = false;
    std::unique_ptr<namespace_guard> guard_;
    unsigned interface_ = 0;
    std::unique_ptr<private_bus> bus;
    std::unique_ptr<spawned> daemon;
    std::unique_ptr<spawned> publisher;
    std::unique_ptr<net_device> device;
    recording_poster poster;
    std::unique_ptr<dorvane::sd_driver> driver;
};

TEST_F(real_avahi, DiscoversResolvesConnectsAndFindsTheDeviceAgainAfterADaemonRestart)
{
    device = std::make_unique<net_device>("2.0.5", "::");
    const std::string name = "zarvo-" + std::to_string(getpid());
    publish(name, device->port());

    driver = std::make_unique<dorvane::sd_driver>(&poster);
    driver->set_library_name(std::string("libdns_sd.so.1"));
    driver->waits().retry_pause = std::chrono::milliseconds(200);
    driver->start();
    ASSERT_TRUE(poster.wait_posts(1));
    EXPECT_EQ(poster.posts(), (std::vector<post_record>{published(device->id(), 0)}));
    // Resolved as "<host>.local." and answered by the record query on veth0;
    // a unique local address is not tied to its interface.
    EXPECT_EQ(driver->links(),
              (std::vector<std::string>{"[fd00:5a::1]:" + std::to_string(device->port())}));
    EXPECT_TRUE(traced("server ipv6 address: fd00:5a::1"));
    std::ostringstream info;
    poster.connection(device->id())->read("/DEVICE.BPB", info);
    EXPECT_TRUE(info.str() == device->model.file("/DEVICE.BPB"));

    // The service goes away: the device stays.
    publisher.reset();
    ASSERT_TRUE(traced("[browse_reply] flags: ", 2));
    EXPECT_EQ(poster.posts().size(), 1u);

    // The device closes; then the daemon restarts and the device is
    // announced again.
    device->front.close_connections();
    ASSERT_TRUE(poster.wait_posts(2));
    EXPECT_EQ(poster.posts()[1], withdrawn(device->id()));
    daemon.reset();
    ASSERT_TRUE(traced("DNSServiceProcessResult returned"));
    start_daemon();
    publish(name, device->port());
    ASSERT_TRUE(poster.wait_posts(3));
    EXPECT_EQ(poster.posts()[2], published(device->id(), 0));
}

// Two devices, each on a unique local address of its own and announced with
// its own host name: both are published (a routable address has no scope
// id, so only the whole link tells them apart).
TEST_F(real_avahi, TwoDevicesOnTheirOwnUniqueLocalAddressesAreBothPublished)
{
    const std::vector<std::string> addresses{"fd00:5a::2", "fd00:5a::3"};
    std::vector<std::unique_ptr<net_device>> devices;
    std::vector<std::unique_ptr<spawned>> publishers;
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        std::string error;
        ASSERT_EQ(run({"ip", "addr", "add", addresses[i] + "/64", "dev", "veth0", "nodad"}, &error),
                  0)
            << error;
        devices.push_back(std::make_unique<net_device>("2.0.5", addresses[i]));
        const std::string host =
            "zarvo-" + std::to_string(getpid()) + "-" + std::to_string(i) + ".local";
        publishers.push_back(std::make_unique<spawned>(
            std::vector<std::string>{"avahi-publish", "-a", "-R", host, addresses[i]}));
        ASSERT_TRUE(publishers.back()->wait_for("Established under name"))
            << publishers.back()->output();
        publishers.push_back(std::make_unique<spawned>(std::vector<std::string>{
            "avahi-publish", "-s", "-H", host, "zarvo-device-" + std::to_string(i),
            "_zarvo-ftp._tcp", std::to_string(devices.back()->port())}));
        ASSERT_TRUE(publishers.back()->wait_for("Established under name"))
            << publishers.back()->output();
        expected.push_back("[" + addresses[i] + "]:" + std::to_string(devices.back()->port()));
    }

    driver = std::make_unique<dorvane::sd_driver>(&poster);
    driver->set_library_name(std::string("libdns_sd.so.1"));
    driver->waits().retry_pause = std::chrono::milliseconds(200);
    driver->start();
    ASSERT_TRUE(poster.wait_posts(2));
    auto links = driver->links();
    std::sort(links.begin(), links.end());
    EXPECT_EQ(links, expected);
    for (const auto& m : log.messages())
        EXPECT_EQ(m.find("Server allready registered "), std::string::npos) << m;
    driver->stop();
    driver.reset();
    poster.clear();
}

// A run of the fixture killed once its namespace and daemon are up leaves no
// namespace behind.
TEST(real_avahi_run, ANamespaceIsRemovedWhenTheRunDies)
{
    char self[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    spawned child({"env", std::string(die_after_set_up) + "=1", std::string(self, n),
                   "--gtest_filter=real_avahi.*"});
    const pid_t pid = child.pid();
    ASSERT_GT(pid, 0);
    const int status = child.wait_status();
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        GTEST_SKIP() << "the fixture's run was skipped (it needs root and its programs)";
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    const std::string path = "/run/netns/zarvo-avahi-" + std::to_string(pid);
    EXPECT_TRUE(eventually([&] { return access(path.c_str(), F_OK) != 0; })) << path;
}

// Without a daemon (the bus address names no socket) every browse fails and
// the driver retries after its pause: no attempt may leave a thread or a
// descriptor behind, as the suites that count them rely on.
TEST(installed_dnssd_library, AttemptsWithoutADaemonLeaveNothingBehind)
{
    if (access("/usr/lib/x86_64-linux-gnu/libdns_sd.so.1", F_OK) != 0 &&
        access("/usr/lib/libdns_sd.so.1", F_OK) != 0)
        GTEST_SKIP() << "the installed DNS-SD library is missing";
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent", 1);
    ::setenv("AVAHI_COMPAT_NOWARN", "1", 1);
    recording_logger log;
    zarvo::set_trace_logger(&log);
    recording_poster poster;
    dorvane::sd_driver driver(&poster);
    driver.set_library_name(std::string("libdns_sd.so.1"));
    driver.waits().retry_pause = std::chrono::milliseconds(10);
    // The library's first load and its lasting state are not an attempt's.
    driver.start();
    auto browse_failures = [&] {
        int n = 0;
        for (const auto& m : log.messages())
            n += m.find("browse err: ") != std::string::npos ? 1 : 0;
        return n;
    };
    ASSERT_TRUE(eventually([&] { return browse_failures() >= 1; }));
    driver.stop();
    const process_resources before;
    driver.start();
    const int seen = browse_failures();
    ASSERT_TRUE(eventually([&] { return browse_failures() >= seen + 20; }));
    driver.stop();
    EXPECT_EQ(process_resources().fds, before.fds);
    EXPECT_EQ(process_resources().threads, before.threads);
    EXPECT_TRUE(poster.posts().empty());
    zarvo::clear_trace_loggers();
}

// Standard error goes to a file while it lives.
class captured_stderr {
public:
    explicit captured_stderr(const fs::path& file)
        : file_(file)
    {
        std::fflush(stderr);
        saved_ = dup(2);
        const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        dup2(fd, 2);
        close(fd);
    }
    ~captured_stderr() { restore(); }
    captured_stderr(const captured_stderr&) = delete;
    captured_stderr& operator=(const captured_stderr&) = delete;

    std::string text()
    {
        restore();
        std::ifstream in(file_);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    void restore()
    {
        if (saved_ < 0)
            return;
        std::fflush(stderr);
        dup2(saved_, 2);
        close(saved_);
        saved_ = -1;
    }

    fs::path file_;
    int saved_ = -1;
};

// A start of discovery as the program makes it (the warning variable unset)
// prints nothing of the compatibility library's on standard error.
TEST(installed_dnssd_library, AStartPrintsNoWarning)
{
    if (access("/usr/lib/x86_64-linux-gnu/libdns_sd.so.1", F_OK) != 0 &&
        access("/usr/lib/libdns_sd.so.1", F_OK) != 0)
        GTEST_SKIP() << "the installed DNS-SD library is missing";
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent", 1);
    ::unsetenv("AVAHI_COMPAT_NOWARN");
    recording_logger log;
    zarvo::set_trace_logger(&log);
    temp_dir folder;
    std::string printed;
    {
        captured_stderr captured(folder / "stderr.txt");
        recording_poster poster;
        dorvane::sd_driver driver(&poster);
        driver.set_library_name(std::string("libdns_sd.so.1"));
        driver.waits().retry_pause = std::chrono::milliseconds(10);
        driver.start();
        // A connection was made and its browse tried (and failed, no daemon).
        EXPECT_TRUE(eventually([&] {
            for (const auto& m : log.messages()) {
                if (m.find("browse err: ") != std::string::npos)
                    return true;
            }
            return false;
        }));
        driver.stop();
        printed = captured.text();
    }
    zarvo::clear_trace_loggers();
    EXPECT_EQ(printed.find("WARNING"), std::string::npos) << printed;
}

} // namespace
} // namespace zarvo::test
