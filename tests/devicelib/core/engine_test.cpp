// The engine: ordering, nesting, the life of its thread, failures and exit.
#include "devicelib/core/driver_registry.h"
#include "devicelib/core/engine.h"
#include "devicelib/core/interface.h"
#include "devicelib/core/thread_group.h"
#include "devicelib/errors/errors.h"
#include "tests/support/engine_messages.h"
#include "tests/support/fake_driver.h"
#include "tests/support/latch.h"
#include "tests/support/recording_logger.h"

#include <boost/thread/thread.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using zarvo::core::engine;
using zarvo::test::call_message;
using zarvo::test::call_query;
using zarvo::test::engine_blocker;
using zarvo::test::latch;

using state = engine::thread_state;

void post(std::function<void()> f)
{
    engine::instance().post(std::make_unique<call_message>(std::move(f)));
}

// Sends an empty query: everything queued before it has run once it returns.
void flush()
{
    call_query q([] {});
    engine::instance().send(q);
    q.wait();
}

bool engine_thread_ended()
{
    return zarvo::test::wait_engine_idle();
}

const auto* const idle_at_end =
    ::testing::AddGlobalTestEnvironment(new zarvo::test::engine_idle_at_end);

TEST(Engine, MessagesFromSeveralThreadsRunOneAtATimeInOrderPerPoster)
{
    constexpr int posters = 8;
    constexpr int per_poster = 300;
    std::mutex mutex;
    std::vector<std::pair<int, int>> executed;
    std::set<std::thread::id> threads;
    std::atomic<int> running{0};
    std::atomic<bool> overlap{false};

    // Held so that every message is queued while one engine thread runs.
    latch entered, release;
    engine::instance().post(std::make_unique<engine_blocker>(entered, release));
    ASSERT_TRUE(entered.wait());

    std::vector<std::thread> workers;
    for (int p = 0; p < posters; ++p) {
        workers.emplace_back([&, p] {
            for (int i = 0; i < per_poster; ++i) {
                post([&, p, i] {
                    if (running++ > 0)
                        overlap = true;
                    {
                        std::lock_guard<std::mutex> lock(mutex);
                        executed.emplace_back(p, i);
                        threads.insert(std::this_thread::get_id());
                    }
                    --running;
                });
            }
        });
    }
    for (auto& w : workers)
        w.join();
    release.open();
    flush();

    EXPECT_FALSE(overlap);
    EXPECT_EQ(threads.size(), 1u);
    ASSERT_EQ(executed.size(), std::size_t(posters * per_poster));
    std::vector<int> next(posters, 0);
    for (auto [p, i] : executed)
        ASSERT_EQ(i, next[p]++) << "poster " << p;
}

TEST(Engine, NestedPostRunsAfterQueuedMessagesAndNestedQueryRunsAtOnce)
{
    std::vector<std::string> order;
    latch entered, release, last;
    engine::instance().post(std::make_unique<engine_blocker>(entered, release));
    ASSERT_TRUE(entered.wait());

    post([&] {
        order.push_back("first");
        post([&] {
            order.push_back("posted from first");
            last.open();
        });
        call_query nested([&] { order.push_back("query from first"); });
        engine::instance().send(nested);
        order.push_back("send returned");
        nested.wait(); // complete already: returns at once
        order.push_back("wait returned");
    });
    post([&] { order.push_back("second"); });
    release.open();
    ASSERT_TRUE(last.wait());

    EXPECT_EQ(order, (std::vector<std::string>{"first", "query from first", "send returned",
                                               "wait returned", "second", "posted from first"}));
}

TEST(Engine, ThreadStartsOnFirstPostAndEndsWhenTheQueueDrains)
{
    EXPECT_EQ(engine::instance().state(), state::none);
    latch ran;
    std::atomic<bool> on_engine{false};
    post([&] {
        on_engine = engine::on_engine_thread();
        ran.open();
    });
    ASSERT_TRUE(ran.wait());
    EXPECT_TRUE(on_engine);
    EXPECT_FALSE(engine::on_engine_thread());
    ASSERT_TRUE(engine_thread_ended());

    // An ended thread is replaced by the next post and by the next send.
    latch again;
    post([&] { again.open(); });
    ASSERT_TRUE(again.wait());
    ASSERT_TRUE(engine_thread_ended());
    bool answered = false;
    call_query q([&] { answered = true; });
    engine::instance().send(q);
    EXPECT_TRUE(answered);
}

TEST(Engine, RestartsWithRandomPausesLoseNoMessage)
{
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> pause_us(0, 1500);
    std::atomic<int> executed{0};
    int posted = 0;
    for (int round = 0; round < 300; ++round) {
        if (round % 3 == 2) {
            call_query q([&] { ++executed; });
            engine::instance().send(q);
            q.wait();
        } else {
            post([&] { ++executed; });
        }
        ++posted;
        std::this_thread::sleep_for(std::chrono::microseconds(pause_us(random)));
    }
    flush();
    EXPECT_EQ(executed, posted);
}

// A group whose only thread runs until `release` opens; joining it keeps the
// disposer busy while the engine thread winds down.
std::unique_ptr<zarvo::core::thread_group> group_held_by(const latch& release)
{
    auto group = std::make_unique<zarvo::core::thread_group>();
    group->add(new boost::thread([&release] { release.wait(); }));
    return group;
}

// What a disposer completion does while the engine thread stops the disposer
// at its end: post a message, or send a query and wait for it (as a listener
// callback asking whether its listener runs).
class CompletionDuringWindDown : public ::testing::TestWithParam<bool> {};

TEST_P(CompletionDuringWindDown, IsExecuted)
{
    const bool send = GetParam();
    latch release_group, executed;
    post([&] {
        zarvo::core::dispose_threads(group_held_by(release_group), [&] {
            if (send) {
                call_query q([&] { executed.open(); });
                engine::instance().send(q);
                q.wait();
            } else {
                post([&] { executed.open(); });
            }
        });
    });
    ASSERT_TRUE(
        zarvo::test::eventually([] { return engine::instance().state() == state::ending; }));
    release_group.open();
    ASSERT_TRUE(executed.wait());
    ASSERT_TRUE(engine_thread_ended());
}

INSTANTIATE_TEST_SUITE_P(Engine, CompletionDuringWindDown, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Send" : "Post"; });

class EngineFailures : public zarvo::test::trace_fixture {};

TEST_F(EngineFailures, ThrowingMessageIsTracedAndTheNextOneRuns)
{
    post([] { throw zarvo::not_implemented("boom"); });
    post([] { throw 42; });
    latch next;
    post([&] { next.open(); });
    ASSERT_TRUE(next.wait());

    const auto messages = log.messages();
    const std::string failed = "zarvo::core::engine::run: Message failed: ";
    EXPECT_EQ(std::count_if(messages.begin(), messages.end(),
                            [&](const std::string& m) {
                                return m.rfind(failed, 0) == 0 &&
                                       m.find("boom") != std::string::npos;
                            }),
              1);
    EXPECT_NE(std::find(messages.begin(), messages.end(),
                        "zarvo::core::engine::run: Message failed with an unknown error."),
              messages.end());
}

TEST_F(EngineFailures, ThrowingQueryStillReturnsToItsSender)
{
    call_query q([] { throw std::runtime_error("query failed"); });
    engine::instance().send(q);
    q.wait();
    // And nested, from inside a message.
    latch done;
    post([&] {
        call_query nested([] { throw std::runtime_error("nested failed"); });
        engine::instance().send(nested);
        nested.wait();
        done.open();
    });
    EXPECT_TRUE(done.wait());
}

// One driver, so that the exit shows whether the engine was torn down.
const zarvo::core::driver_registration reg{&zarvo::test::create_fake_driver<0>};

// Exits with the engine thread held inside a message: the engine, its drivers
// included, must be left alone.
void exit_while_busy()
{
    zarvo::test::fake_driver_control::instance().on(0, zarvo::test::driver_op::destroy,
                                                    [] { std::_Exit(3); });
    // Never destroyed: the engine thread still waits on them during exit.
    static latch* entered = new latch;
    static latch* release = new latch;
    engine::instance().post(std::make_unique<engine_blocker>(*entered, *release));
    entered->wait();
    std::exit(0);
}

// Exits after the engine thread ended: the engine is torn down.
void exit_after_thread_ended()
{
    zarvo::test::fake_driver_control::instance().on(0, zarvo::test::driver_op::destroy,
                                                    [] { std::fputs("driver deleted\n", stderr); });
    flush();
    engine_thread_ended();
    std::exit(0);
}

TEST(EngineExit, ProcessExitsCleanlyWhileTheEngineThreadIsBusy)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(exit_while_busy(), ::testing::ExitedWithCode(0), "");
}

TEST(EngineExit, EngineIsTornDownAtExitOnceItsThreadHasEnded)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(exit_after_thread_ended(), ::testing::ExitedWithCode(0), "driver deleted");
}

} // namespace
