#include "devicelib/platform/event_loop.h"
#include "tests/support/latch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace zarvo::platform {
namespace {

using test::latch;

TEST(event_loop, runs_calls_on_its_thread_and_directly_when_on_it)
{
    event_loop loop;
    loop.run(-1, {});
    std::thread::id ran_on;
    bool nested = false;
    loop.invoke_sync([&] {
        ran_on = std::this_thread::get_id();
        // A call made on the thread itself cannot wait for the thread.
        loop.invoke_sync([&] { nested = true; });
    });
    EXPECT_NE(ran_on, std::this_thread::get_id());
    EXPECT_NE(ran_on, std::thread::id());
    EXPECT_TRUE(nested);
    // A call that throws costs only itself.
    loop.invoke_sync([] { throw std::runtime_error("lost"); });
    bool after = false;
    loop.invoke_sync([&] { after = true; });
    EXPECT_TRUE(after);
    loop.stop();
}

TEST(event_loop, a_call_made_before_the_thread_runs_is_carried_out_once_it_runs)
{
    event_loop loop;
    loop.open();
    std::atomic<bool> ran{false};
    std::thread caller([&] { loop.invoke_sync([&] { ran = true; }); });
    loop.run(-1, {});
    caller.join();
    EXPECT_TRUE(ran);
    loop.stop();
}

TEST(event_loop, returns_at_once_when_not_running_or_stopping)
{
    event_loop loop;
    bool ran = false;
    loop.invoke_sync([&] { ran = true; });
    EXPECT_FALSE(ran) << "never opened";

    loop.run(-1, {});
    loop.stop();
    loop.invoke_sync([&] { ran = true; });
    EXPECT_FALSE(ran) << "after stop";

    // Stop withdraws a waiting call while the thread is busy; the caller
    // returns before the thread is free again.
    loop.run(-1, {});
    latch busy, release;
    std::thread blocker([&] {
        loop.invoke_sync([&] {
            busy.open();
            release.wait();
        });
    });
    ASSERT_TRUE(busy.wait());
    latch returned;
    std::atomic<bool> withdrawn_ran{false};
    std::thread waiter([&] {
        loop.invoke_sync([&] { withdrawn_ran = true; });
        returned.open();
    });
    std::thread stopper([&] { loop.stop(); });
    EXPECT_TRUE(returned.wait());
    release.open();
    stopper.join();
    waiter.join();
    blocker.join();
    EXPECT_FALSE(withdrawn_ran);

    // The loop can run again after a stop.
    loop.run(-1, {});
    loop.invoke_sync([&] { ran = true; });
    EXPECT_TRUE(ran);
}

TEST(event_loop, hands_source_readiness_to_its_thread)
{
    event source;
    event_loop loop;
    latch seen;
    std::thread::id handled_on;
    loop.run(source.fd(), [&] {
        source.reset();
        handled_on = std::this_thread::get_id();
        seen.open();
    });
    source.set();
    ASSERT_TRUE(seen.wait());
    bool same = false;
    loop.invoke_sync([&] { same = handled_on == std::this_thread::get_id(); });
    EXPECT_TRUE(same);
    loop.stop();
}

} // namespace
} // namespace zarvo::platform
