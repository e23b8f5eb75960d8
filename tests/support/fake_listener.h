#pragma once

#include "devicelib/core/listener.h"
#include "tests/support/latch.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace zarvo::test {

enum class callback { established, disconnected, idling, battery_status, sync_required };
const char* to_string(callback c);

struct callback_record {
    callback kind;
    std::uint64_t device = 0;
    zarvo::session* session = nullptr;
    std::thread::id thread;
    std::chrono::steady_clock::time_point at;
    int level = 0; // battery_status
};

// A listener that records every callback (at its start) and runs a test's
// hook inside it: block on a latch, sleep, use the session, throw, or call
// start, stop or running.
class fake_listener : public zarvo::listener {
public:
    using hook = std::function<void(zarvo::session&)>;

    // Runs for every later callback of that kind.
    void on(callback kind, hook h);

    std::vector<callback_record> records() const;
    std::vector<callback_record> records(callback kind, std::uint64_t device) const;
    int count(callback kind, std::uint64_t device) const;
    // Callbacks of a kind that have returned.
    int returned(callback kind, std::uint64_t device) const;
    // Waits until count(kind, device) >= n; fails the test after the limit.
    bool wait_for(callback kind, std::uint64_t device, int n = 1,
                  std::chrono::milliseconds limit = latch::default_limit) const;
    // Waits until returned(kind, device) >= n; fails the test after the limit.
    bool wait_returned(callback kind, std::uint64_t device, int n = 1,
                       std::chrono::milliseconds limit = latch::default_limit) const;
    // The session passed with the latest callback for the device.
    zarvo::session* session_of(std::uint64_t device) const;

    void established(zarvo::session& s) override;
    void rerouted(zarvo::session& s) override;
    void disconnected(zarvo::session& s) override;
    void idling(zarvo::session& s) override;
    void battery_status(zarvo::session& s, int level) override;
    void sync_required(zarvo::session& s) override;

private:
    void called(callback kind, zarvo::session& s, int level = 0);

    mutable std::mutex mutex_;
    mutable std::condition_variable cond_;
    std::vector<callback_record> records_;
    std::map<std::pair<callback, std::uint64_t>, int> returned_;
    std::map<callback, hook> hooks_;
};

} // namespace zarvo::test
