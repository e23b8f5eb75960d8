#pragma once

// A power source driven by the test: it hands notices to the power driver on
// request, its keep-awake can be made to fail, and it records each release
// of a keep-awake guard. Install it with zarvo::platform::install_power_source
// before the first listener starts.

#include "devicelib/platform/event.h"
#include "devicelib/platform/power_source.h"

#include <chrono>
#include <deque>
#include <future>
#include <mutex>
#include <utility>
#include <vector>

namespace zarvo::test {

class test_power_source : public zarvo::platform::power_source {
public:
    // Hands code to the driver on its event thread. The future holds what
    // power_broadcast returned; it is broken when the notice was never handed
    // on (no driver runs, or it stopped first).
    std::future<bool> deliver(unsigned code);
    void set_keep_awake_fails(bool fails);

    // Guards handed out, and when each one was released.
    int guards_taken() const;
    std::vector<std::chrono::steady_clock::time_point> releases() const;
    // Whether a driver has the source open.
    bool is_open() const;

    int open(zarvo::platform::power_events& events) override;
    void dispatch() override;
    std::unique_ptr<zarvo::platform::awake_guard> keep_awake() override;
    void close() override;

private:
    mutable std::mutex mutex_;
    zarvo::platform::event ready_;
    zarvo::platform::power_events* events_ = nullptr;
    std::deque<std::pair<unsigned, std::promise<bool>>> notices_;
    bool keep_awake_fails_ = false;
    int guards_taken_ = 0;
    std::vector<std::chrono::steady_clock::time_point> releases_;
};

// What became of a delivered notice within the latch limit.
enum class notice_outcome { handled, refused, dropped, pending };
notice_outcome outcome(std::future<bool>& f);

} // namespace zarvo::test
