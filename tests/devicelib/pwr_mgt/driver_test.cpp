// The power driver with the test's power source, the real core, the fake
// USB-like and network-like drivers and a probe driver.
#include "devicelib/core/engine.h"
#include "devicelib/errors/errors.h"
#include "tests/devicelib/pwr_mgt/power_fixture.h"
#include "tests/support/test_power_source.h"

#include <atomic>
#include <future>
#include <sstream>
#include <thread>

namespace zarvo::test {
namespace {

using namespace std::chrono_literals;
using clock = std::chrono::steady_clock;

class power_driver : public power_fixture {
protected:
    void SetUp() override
    {
        power_fixture::SetUp();
        zarvo::platform::install_power_source(source);
    }

    std::shared_ptr<test_power_source> source = std::make_shared<test_power_source>();
};

TEST_F(power_driver, suspend_then_resume_with_a_listener_attached)
{
    usb_like_driver::set_plug_in_delay(60000);
    usb().plug(device(0));
    net().plug(device(1));
    start();
    for (std::size_t i : {0, 1})
        ASSERT_TRUE(listener().wait_for(callback::established, device(i)));

    auto suspended = source->deliver(zarvo::platform::power_suspend);
    ASSERT_EQ(outcome(suspended), notice_outcome::handled);
    // Every driver's suspend ran before the notice returned, and only then
    // was the system let go.
    EXPECT_EQ(probe().suspends.size(), 1u);
    EXPECT_EQ(usb_stops(), 1);
    EXPECT_EQ(net_stops(), 0);
    EXPECT_EQ(source->guards_taken(), 1);
    ASSERT_EQ(source->releases().size(), 1u);
    EXPECT_GE(source->releases()[0], probe().suspends[0]);
    ASSERT_TRUE(listener().wait_for(callback::disconnected, device(0)));

    const auto began = clock::now();
    auto resumed = source->deliver(zarvo::platform::power_resume_automatic);
    ASSERT_EQ(outcome(resumed), notice_outcome::handled);
    ASSERT_EQ(probe().resumes.size(), 1u);
    EXPECT_GE(probe().resumes[0] - began, short_resume_delay);
    EXPECT_EQ(usb_starts(), 2);
    // Published again by the driver's start, with delay 0 although the
    // plug-in delay is a minute.
    ASSERT_TRUE(listener().wait_for(callback::established, device(0), 2));

    EXPECT_EQ(listener().count(callback::established, device(1)), 1);
    EXPECT_EQ(listener().count(callback::disconnected, device(1)), 0);
    EXPECT_EQ(traced("zarvo::pwr_mgt::driver::suspend: Drivers are being suspended."), 1u);
    EXPECT_EQ(traced("zarvo::pwr_mgt::driver::resume: Drivers are being resumed."), 1u);
}

TEST_F(power_driver, without_a_listener_a_suspend_returns_at_once_and_the_resume_does_nothing)
{
    // The test's own driver: no listener, so the core's engine does not run.
    zarvo::pwr_mgt::driver d;
    // A resume that did act would wait far beyond the test's limit.
    d.set_resume_delay(1h);
    d.start();
    ASSERT_TRUE(source->is_open());
    // The engine thread the fixture's snapshot woke ends on its own; until
    // then a suspend would still reach the drivers.
    ASSERT_TRUE(wait_engine_idle());

    auto suspended = source->deliver(zarvo::platform::power_suspend);
    EXPECT_EQ(outcome(suspended), notice_outcome::handled);
    // The system was kept awake and let go again.
    EXPECT_EQ(source->guards_taken(), 1);
    EXPECT_EQ(source->releases().size(), 1u);
    auto resumed = source->deliver(zarvo::platform::power_resume_automatic);
    EXPECT_EQ(outcome(resumed), notice_outcome::handled);
    d.stop();

    EXPECT_FALSE(source->is_open());
    EXPECT_TRUE(probe().suspends.empty());
    EXPECT_TRUE(probe().resumes.empty());
    EXPECT_EQ(usb_stops(), 0);
    // The gate was left open.
    start();
    EXPECT_TRUE(listener().running());
}

struct other_notice {
    unsigned code;
    notice_outcome expected;
};

TEST_F(power_driver, a_query_is_granted_and_other_notices_are_refused_with_nothing_done)
{
    start();
    const other_notice rows[] = {
        {zarvo::platform::power_query_suspend, notice_outcome::handled},
        {1, notice_outcome::refused},
        {5, notice_outcome::refused},
        {7, notice_outcome::refused},
        {10, notice_outcome::refused},
        {0x8013, notice_outcome::refused},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE("code " + std::to_string(row.code));
        auto f = source->deliver(row.code);
        EXPECT_EQ(outcome(f), row.expected);
    }
    EXPECT_EQ(source->guards_taken(), 0);
    EXPECT_TRUE(probe().suspends.empty());
    EXPECT_TRUE(probe().resumes.empty());
    EXPECT_EQ(usb_stops(), 0);
    // The gate is open: a second listener starts.
    listener(1).start();
    EXPECT_TRUE(listener(1).running());
}

TEST_F(power_driver,
       a_failing_keep_awake_leaves_the_drivers_running_and_the_next_resume_does_nothing)
{
    usb().plug(device(0));
    start();
    ASSERT_TRUE(listener().wait_for(callback::established, device(0)));
    source->set_keep_awake_fails(true);
    power().set_resume_delay(1h);

    auto suspended = source->deliver(zarvo::platform::power_suspend);
    EXPECT_EQ(outcome(suspended), notice_outcome::handled);
    auto resumed = source->deliver(zarvo::platform::power_resume_automatic);
    EXPECT_EQ(outcome(resumed), notice_outcome::handled);

    EXPECT_TRUE(probe().suspends.empty());
    EXPECT_TRUE(probe().resumes.empty());
    EXPECT_EQ(usb_stops(), 0);
    EXPECT_EQ(listener().count(callback::disconnected, device(0)), 0);
    EXPECT_EQ(traced("Cannot keep the system awake"), 1u);
    listener(1).start();
    EXPECT_TRUE(listener(1).running());
}

TEST_F(power_driver, a_listener_start_or_stop_asked_while_suspended_waits_until_the_resume)
{
    start();
    auto suspended = source->deliver(zarvo::platform::power_suspend);
    ASSERT_EQ(outcome(suspended), notice_outcome::handled);
    ASSERT_EQ(probe().suspends.size(), 1u);

    // What each call had seen of the resume when it returned.
    std::atomic<int> resumes_at_start{-1}, resumes_at_stop{-1};
    std::thread starter([&] {
        listener(1).start();
        listener(1).running();
        resumes_at_start = static_cast<int>(probe().resumes.size());
    });
    std::thread stopper([&] {
        listener(0).stop();
        resumes_at_stop = static_cast<int>(probe().resumes.size());
    });
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(resumes_at_start, -1);
    EXPECT_EQ(resumes_at_stop, -1);

    auto resumed = source->deliver(zarvo::platform::power_resume_automatic);
    starter.join();
    stopper.join();
    EXPECT_EQ(outcome(resumed), notice_outcome::handled);
    EXPECT_EQ(resumes_at_start, 1);
    EXPECT_EQ(resumes_at_stop, 1);
}

TEST_F(power_driver, a_suspend_while_a_driver_stop_of_the_last_listener_blocks_lets_both_finish)
{
    start();
    latch release;
    std::thread stopper = stop_held_in_probe(release);
    // The power driver may be stopped already or still to come: the engine
    // visits its drivers in pointer order.
    auto notice = source->deliver(zarvo::platform::power_suspend);
    release.open();
    stopper.join();

    const auto result = outcome(notice);
    EXPECT_TRUE(result == notice_outcome::handled || result == notice_outcome::dropped);
    EXPECT_TRUE(probe().suspends.empty());
    EXPECT_EQ(source->releases().size(), static_cast<std::size_t>(source->guards_taken()));
    EXPECT_FALSE(listener().running());
    EXPECT_FALSE(source->is_open());
}

TEST_F(power_driver, a_suspend_sent_right_after_the_last_listener_stop_began_lets_both_finish)
{
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        probe_driver::reset();
        start();
        std::thread stopper([&] { listener().stop(); });
        auto notice = source->deliver(zarvo::platform::power_suspend);
        const auto result = outcome(notice);
        ASSERT_NE(result, notice_outcome::pending);
        if (!probe().suspends.empty()) {
            // The notice came first and was accepted: the stop waits for the
            // resume, as every stop during a suspension does.
            auto resumed = source->deliver(zarvo::platform::power_resume_automatic);
            EXPECT_EQ(outcome(resumed), notice_outcome::handled);
        }
        stopper.join();
        EXPECT_FALSE(listener().running());
        EXPECT_EQ(source->releases().size(), static_cast<std::size_t>(source->guards_taken()));
    }
}

TEST_F(power_driver, a_started_driver_destroyed_without_stop_returns_cleanly)
{
    auto d = std::make_unique<zarvo::pwr_mgt::driver>();
    d->start();
    auto granted = source->deliver(zarvo::platform::power_query_suspend);
    ASSERT_EQ(outcome(granted), notice_outcome::handled);
    d.reset();
    EXPECT_FALSE(source->is_open());
    auto late = source->deliver(zarvo::platform::power_query_suspend);
    EXPECT_EQ(outcome(late), notice_outcome::dropped);
}

TEST_F(power_driver, the_source_is_chosen_again_at_every_start)
{
    zarvo::platform::install_power_source(zarvo::platform::make_no_power_source());
    start();
    EXPECT_FALSE(source->is_open());
    listener().stop();

    zarvo::platform::install_power_source(source);
    start();
    EXPECT_TRUE(source->is_open());
}

struct transfer_across_sleep {
    const char* name;
    // The test lets the stalled read finish; else the driver cancels it.
    bool released_by_test;
    std::chrono::milliseconds operation_wait;
};

class transfer_across_sleep_rows : public power_driver,
                                   public ::testing::WithParamInterface<transfer_across_sleep> {};

TEST_P(transfer_across_sleep_rows, the_sleep_lock_is_held_until_the_running_transfer_ended)
{
    const transfer_across_sleep row = GetParam();
    power().set_operation_wait(row.operation_wait);
    start();
    fake_device d;
    auto backend = std::make_shared<scripted_backend>();
    d.backend = backend;
    usb().plug(device(), d);
    ASSERT_TRUE(listener().wait_for(callback::established, device()));
    zarvo::session* s = listener().session_of(device());

    latch release;
    exchange_answer stalled;
    stalled.payload = "content";
    stalled.stall = &release;
    backend->answer(stalled);
    std::ostringstream content;
    std::atomic<bool> cancelled{false};
    std::thread reader([&] {
        try {
            s->read("/A.BPB", content);
        } catch (const zarvo::operation_canceled&) {
            cancelled = true;
        } catch (...) {
        }
    });
    // The session may go only once the reader is out of it; shared, as the
    // callback may outlive a test that failed early.
    auto reader_done = std::make_shared<latch>();
    listener().on(callback::disconnected, [reader_done](zarvo::session&) { reader_done->wait(); });
    // Ends the transfer on every path, so that a failed assertion does not
    // leave the reader running.
    struct ender {
        latch& release;
        std::thread& reader;
        latch& done;
        void finish()
        {
            release.open();
            if (reader.joinable())
                reader.join();
            done.open();
        }
        ~ender() { finish(); }
    } end_reader{release, reader, *reader_done};
    ASSERT_TRUE(eventually([&] { return backend->requests().size() == 1; }));

    auto suspended = source->deliver(zarvo::platform::power_suspend);
    EXPECT_TRUE(eventually([&] { return traced("Waiting for 1 device operation") == 1; }));
    // The drivers are suspended, the transfer still runs: the system stays
    // awake.
    EXPECT_EQ(usb_stops(), 1);
    EXPECT_TRUE(source->releases().empty());
    clock::time_point released_at{};
    if (row.released_by_test) {
        released_at = clock::now();
        release.open();
    }
    EXPECT_EQ(outcome(suspended), notice_outcome::handled);
    ASSERT_EQ(source->releases().size(), 1u);
    EXPECT_GE(source->releases()[0], released_at);
    end_reader.finish();
    EXPECT_EQ(cancelled, !row.released_by_test);
    EXPECT_EQ(content.str(), row.released_by_test ? "content" : "");
    EXPECT_TRUE(listener().wait_returned(callback::disconnected, device()));
    EXPECT_EQ(traced("still running"), 0u);
    auto resumed = source->deliver(zarvo::platform::power_resume_automatic);
    EXPECT_EQ(outcome(resumed), notice_outcome::handled);
}

INSTANTIATE_TEST_SUITE_P(
    rows, transfer_across_sleep_rows,
    ::testing::Values(transfer_across_sleep{"returns", true,
                                            zarvo::pwr_mgt::driver::default_operation_wait},
                      transfer_across_sleep{"is_cancelled", false, 20ms}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace zarvo::test
