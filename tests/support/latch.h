#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace zarvo::test {

// A one-shot gate for tests. wait() has a generous limit: a missing open()
// fails the test instead of hanging it until the ctest timeout.
class latch {
public:
    static constexpr std::chrono::seconds default_limit{20};

    void open();
    bool is_open() const;
    // True once open; after the limit it records a test failure and returns
    // false.
    bool wait(std::chrono::milliseconds limit = default_limit) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable cond_;
    bool open_ = false;
};

// Polls until done() holds, failing the test after the limit. For states
// that announce themselves by no event, such as a thread that has ended.
template <typename Predicate>
bool eventually(Predicate done, std::chrono::milliseconds limit = latch::default_limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "condition not reached within " << limit.count() << " ms";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace zarvo::test
