// The power driver's default source, logind over the system bus, with a bus
// daemon and a fake logind of the test's own.
#include "devicelib/core/engine.h"
#include "tests/devicelib/pwr_mgt/power_fixture.h"
#include "tests/support/fake_logind.h"
#include "tests/support/private_bus.h"
#include "tests/support/temp_dir.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace zarvo::test {
namespace {

using namespace std::chrono_literals;
using clock = std::chrono::steady_clock;

class logind_source : public power_fixture {
protected:
    void SetUp() override
    {
        power_fixture::SetUp();
        zarvo::platform::install_power_source(nullptr); // the default: logind
    }

    // First: it names the bus before anything in the process connects.
    private_bus bus;
    fake_logind logind{bus.address()};
};

TEST_F(logind_source, start_takes_exactly_one_delay_lock)
{
    start();
    ASSERT_EQ(logind.inhibit_calls(), 1);
    const inhibit_call call = logind.calls()[0];
    EXPECT_EQ(call.what, "sleep");
    EXPECT_EQ(call.mode, "delay");
    EXPECT_EQ(call.who, program_invocation_short_name);
    EXPECT_FALSE(call.why.empty());
    EXPECT_EQ(logind.locks_held(), 1);
}

TEST_F(logind_source, a_sleep_suspends_every_driver_before_the_lock_goes_and_a_wake_up_resumes_them)
{
    usb().plug(device(0));
    start();
    ASSERT_TRUE(listener().wait_for(callback::established, device(0)));
    std::atomic<int> locks_at_suspend{-1}, calls_at_resume{-1};
    probe_driver::on_suspend([&] { locks_at_suspend = logind.locks_held(); });
    probe_driver::on_resume([&] { calls_at_resume = logind.inhibit_calls(); });

    logind.prepare_for_sleep(true);
    ASSERT_TRUE(logind.wait_releases(1));
    // The lock was still held while the drivers were suspended.
    EXPECT_EQ(locks_at_suspend, 1);
    EXPECT_EQ(probe().suspends.size(), 1u);
    EXPECT_EQ(usb_stops(), 1);
    ASSERT_TRUE(listener().wait_for(callback::disconnected, device(0)));

    const auto began = clock::now();
    logind.prepare_for_sleep(false);
    ASSERT_TRUE(eventually([&] { return probe().resumes.size() == 1; }));
    // A new lock was taken before the drivers were resumed, after the delay.
    EXPECT_EQ(calls_at_resume, 2);
    EXPECT_GE(probe().resumes[0] - began, short_resume_delay);
    EXPECT_EQ(logind.locks_held(), 1);
    ASSERT_TRUE(listener().wait_for(callback::established, device(0), 2));
}

TEST_F(logind_source,
       without_a_listener_the_lock_is_let_go_and_taken_again_and_nothing_is_suspended)
{
    zarvo::pwr_mgt::driver d;
    d.set_resume_delay(1h); // a resume that did act would outlast the test
    d.start();
    ASSERT_EQ(logind.inhibit_calls(), 1);
    // The engine thread the fixture's snapshot woke ends on its own; until
    // then a suspend would still reach the drivers.
    ASSERT_TRUE(wait_engine_idle());

    logind.prepare_for_sleep(true);
    ASSERT_TRUE(logind.wait_releases(1));
    logind.prepare_for_sleep(false);
    ASSERT_TRUE(logind.wait_calls(2));
    d.stop();

    EXPECT_TRUE(probe().suspends.empty());
    EXPECT_TRUE(probe().resumes.empty());
    // The first lock went with the sleep, the second with the stop.
    EXPECT_TRUE(logind.wait_releases(2));
    EXPECT_EQ(logind.locks_held(), 0);
}

TEST_F(logind_source, with_the_lock_refused_a_sleep_suspends_nothing)
{
    logind.set_refuse(true);
    start();
    ASSERT_EQ(logind.inhibit_calls(), 1);
    EXPECT_EQ(logind.locks_held(), 0);
    EXPECT_EQ(traced("Cannot delay sleep"), 1u);

    logind.prepare_for_sleep(true);
    ASSERT_TRUE(eventually([&] { return traced("Cannot keep the system awake") == 1; }));
    EXPECT_TRUE(probe().suspends.empty());
    EXPECT_EQ(usb_stops(), 0);
    EXPECT_TRUE(listener().running());
}

TEST_F(logind_source, a_sleep_notice_from_another_program_is_ignored)
{
    start();
    ASSERT_EQ(logind.inhibit_calls(), 1);
    // Once to everyone and once to the driver's connection directly.
    send_forged_prepare_for_sleep(bus.address(), logind.calls()[0].caller, true);
    ASSERT_TRUE(eventually([&] { return traced("Ignored a sleep notice") >= 1; }));

    EXPECT_TRUE(probe().suspends.empty());
    EXPECT_EQ(usb_stops(), 0);
    EXPECT_EQ(logind.locks_held(), 1);
    // logind's own notice still counts.
    logind.prepare_for_sleep(true);
    ASSERT_TRUE(logind.wait_releases(1));
    EXPECT_EQ(probe().suspends.size(), 1u);
    logind.prepare_for_sleep(false);
    ASSERT_TRUE(eventually([&] { return probe().resumes.size() == 1; }));
}

TEST_F(logind_source,
       when_the_bus_dies_during_a_sleep_the_drivers_are_resumed_and_the_last_stop_returns)
{
    start();
    logind.prepare_for_sleep(true);
    ASSERT_TRUE(logind.wait_releases(1));
    ASSERT_EQ(probe().suspends.size(), 1u);

    bus.kill();
    ASSERT_TRUE(eventually([&] { return probe().resumes.size() == 1; }));
    EXPECT_GE(traced("system sleep is no longer followed"), 1u);
    listener().stop();
    EXPECT_FALSE(listener().running());
}

TEST_F(logind_source, when_logind_goes_away_during_a_sleep_the_drivers_are_resumed)
{
    start();
    logind.prepare_for_sleep(true);
    ASSERT_TRUE(logind.wait_releases(1));
    ASSERT_EQ(probe().suspends.size(), 1u);

    logind.release_name();
    ASSERT_TRUE(eventually([&] { return probe().resumes.size() == 1; }));
    // Back again: a new lock is taken from it, and its notices count.
    logind.own_name();
    ASSERT_TRUE(logind.wait_calls(2));
    logind.prepare_for_sleep(true);
    ASSERT_TRUE(eventually([&] { return probe().suspends.size() == 2; }));
    logind.prepare_for_sleep(false);
    ASSERT_TRUE(eventually([&] { return probe().resumes.size() == 2; }));
    listener().stop();
}

TEST_F(logind_source, a_sleep_while_the_last_listener_stops_lets_the_stop_finish_and_the_lock_go)
{
    start();
    latch release;
    std::thread stopper = stop_held_in_probe(release);
    logind.prepare_for_sleep(true);
    release.open();
    stopper.join();

    EXPECT_FALSE(listener().running());
    EXPECT_TRUE(probe().suspends.empty());
    ASSERT_TRUE(logind.wait_releases(1));
    EXPECT_EQ(logind.locks_held(), 0);
}

// No bus at all, as in CI and containers.
class no_system_bus : public power_fixture {
protected:
    void SetUp() override
    {
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + (dir / "missing").string()).c_str(), 1);
        power_fixture::SetUp();
        zarvo::platform::install_power_source(nullptr);
    }

    temp_dir dir;
};

TEST_F(no_system_bus, the_driver_starts_and_stops_idle_and_says_why)
{
    start();
    EXPECT_TRUE(listener().running());
    EXPECT_EQ(traced("No system bus"), 1u);
    listener().stop();
    EXPECT_FALSE(listener().running());
    start();
    EXPECT_EQ(traced("No system bus"), 2u);
}

// A system bus that takes the connection and never answers: every call of
// the set-up is bounded by the source's own time-out, not libdbus's default
// of 25 s, so the listener's start goes on without sleep following.
class wedged_system_bus : public power_fixture {
protected:
    void SetUp() override
    {
        const std::string path = (dir / "wedged").string();
        socket_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ASSERT_GE(socket_, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        ASSERT_LT(path.size(), sizeof(address.sun_path));
        path.copy(address.sun_path, path.size());
        ASSERT_EQ(::bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
        // Connections wait in the backlog, never accepted.
        ASSERT_EQ(::listen(socket_, 8), 0);
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + path).c_str(), 1);
        power_fixture::SetUp();
        zarvo::platform::install_power_source(nullptr);
    }
    void TearDown() override
    {
        power_fixture::TearDown();
        if (socket_ >= 0)
            ::close(socket_);
    }

    temp_dir dir;
    int socket_ = -1;
};

TEST_F(wedged_system_bus, the_listener_starts_within_the_sources_own_time_out)
{
    std::atomic<bool> started{false};
    std::thread starting([&] {
        start();
        started = true;
    });
    // Far above the source's time-out, far below libdbus's default.
    const bool in_time = eventually([&] { return started.load(); }, 15s);
    starting.join();
    EXPECT_TRUE(in_time);
    EXPECT_TRUE(listener().running());
    EXPECT_EQ(traced("No system bus"), 1u);
}

} // namespace
} // namespace zarvo::test
