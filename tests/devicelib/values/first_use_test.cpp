#include "devicelib/values/library_version.h"
#include "devicelib/values/version.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

// Each test is its own process, so this is the first use of the shared
// values and of the compiled pattern: 8 threads make it at the same moment.
TEST(VersionFirstUse, ConcurrentFirstUseIsConsistent)
{
    constexpr int threads = 8;
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::vector<std::string> seen(threads);
    std::vector<const zarvo::version*> shared(threads);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            ++ready;
            while (!go.load())
                std::this_thread::yield();
            shared[t] = &zarvo::version::uninitialized();
            seen[t] = zarvo::library_version().string() + ' ' + zarvo::version("1.2.3-x").string() +
                      ' ' + std::to_string(shared[t]->is_uninitialized());
        });
    }
    while (ready.load() < threads)
        std::this_thread::yield();
    go = true;
    for (std::thread& w : workers)
        w.join();
    for (int t = 0; t < threads; ++t) {
        EXPECT_EQ(seen[t], "5.2.2-r990 1.2.3-x 1") << t;
        EXPECT_EQ(shared[t], shared[0]) << t;
    }
}

} // namespace
