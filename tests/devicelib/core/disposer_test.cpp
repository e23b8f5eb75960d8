// The disposer joins interrupted threads off the engine thread.
#include "devicelib/core/disposer.h"
#include "devicelib/core/interface.h"
#include "devicelib/core/thread_group.h"
#include "tests/support/latch.h"
#include "tests/support/recording_logger.h"

#include <boost/thread/thread.hpp>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using zarvo::core::disposer;
using zarvo::core::thread_group;
using zarvo::test::latch;

// A thread that sleeps until it is interrupted, then marks itself ended.
boost::thread* sleeper(std::atomic<int>& ended)
{
    return new boost::thread([&ended] {
        try {
            boost::this_thread::sleep_for(boost::chrono::hours(1));
        } catch (const boost::thread_interrupted&) {
        }
        ++ended;
    });
}

TEST(Disposer, StopFinishesEveryQueuedGroupEachCompletionAfterItsJoins)
{
    disposer d;
    // The first group holds the disposer thread so that the others queue up.
    latch release;
    auto first = std::make_unique<thread_group>();
    first->add(new boost::thread([&release] { release.wait(); }));
    std::vector<int> completed;
    std::mutex mutex;
    d.dispose(std::move(first), [&] {
        std::lock_guard<std::mutex> lock(mutex);
        completed.push_back(0);
    });

    constexpr int groups = 4;
    constexpr int threads_per_group = 3;
    std::vector<std::atomic<int>> ended(groups);
    std::vector<int> ended_at_completion(groups, -1);
    for (int g = 0; g < groups; ++g) {
        auto group = std::make_unique<thread_group>();
        for (int t = 0; t < threads_per_group; ++t)
            group->add(sleeper(ended[g]));
        group->interrupt_all();
        d.dispose(std::move(group), [&, g] {
            std::lock_guard<std::mutex> lock(mutex);
            ended_at_completion[g] = ended[g];
            completed.push_back(g + 1);
        });
    }
    d.dispose(std::make_unique<thread_group>(), {}); // an empty completion is skipped

    std::thread stopper([&] { d.stop(); });
    release.open();
    stopper.join();

    EXPECT_EQ(completed, (std::vector<int>{0, 1, 2, 3, 4}));
    for (int g = 0; g < groups; ++g)
        EXPECT_EQ(ended_at_completion[g], threads_per_group) << "group " << g;
    EXPECT_TRUE(d.idle());
}

TEST(Disposer, LaterDisposalStartsANewThread)
{
    disposer d;
    for (int round = 0; round < 3; ++round) {
        latch done;
        std::thread::id where;
        d.dispose(std::make_unique<thread_group>(), [&] {
            where = std::this_thread::get_id();
            done.open();
        });
        ASSERT_TRUE(done.wait());
        EXPECT_NE(where, std::this_thread::get_id());
        d.stop();
        EXPECT_TRUE(d.idle());
    }
    d.stop(); // stopping a stopped disposer is harmless
}

TEST(Disposer, EndNoticeRunsOnceTheThreadHasFinished)
{
    latch ended;
    disposer d([&] { ended.open(); });
    std::atomic<int> joined{0};
    auto group = std::make_unique<thread_group>();
    group->add(sleeper(joined));
    group->interrupt_all();
    d.dispose(std::move(group), {});
    d.request_stop();
    ASSERT_TRUE(ended.wait());
    EXPECT_EQ(joined, 1);
    EXPECT_TRUE(d.finished());
    d.reap();
    EXPECT_TRUE(d.idle());
}

class DisposerFailures : public zarvo::test::trace_fixture {};

TEST_F(DisposerFailures, ThrowingCompletionIsTracedAndTheNextEntryRuns)
{
    disposer d;
    latch next;
    d.dispose(std::make_unique<thread_group>(), [] { throw std::runtime_error("completion"); });
    d.dispose(std::make_unique<thread_group>(), [&] { next.open(); });
    ASSERT_TRUE(next.wait());
    d.stop();
    const auto messages = log.messages();
    EXPECT_NE(std::find(messages.begin(), messages.end(),
                        "zarvo::core::disposer::run: Failed to dispose of threads: completion"),
              messages.end());
}

TEST(InterruptThreads, EmptiesTheSetAndDisposesOfItsThreads)
{
    std::atomic<int> ended{0};
    zarvo::core::thread_set threads{{sleeper(ended), 1}, {sleeper(ended), 2}, {sleeper(ended), 3}};
    latch done;
    int ended_at_completion = -1;
    zarvo::core::interrupt_threads(threads, [&] {
        ended_at_completion = ended;
        done.open();
    });
    EXPECT_TRUE(threads.empty());
    ASSERT_TRUE(done.wait());
    EXPECT_EQ(ended_at_completion, 3);
}

} // namespace
