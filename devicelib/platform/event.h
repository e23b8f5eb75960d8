#pragma once

#include <atomic>
#include <mutex>

namespace zarvo::platform {

// A manual-reset flag backed by an eventfd, so that a transfer can poll for
// it beside the device. Once set it stays set until reset. Tested without
// waiting through is_set(), which reads an atomic copy of the flag and costs
// no system call; waited for by polling fd() for POLLIN.
class event {
public:
    event();
    ~event();
    event(const event&) = delete;
    event& operator=(const event&) = delete;

    void set();
    void reset();
    bool is_set() const { return set_.load(std::memory_order_acquire); }
    int fd() const { return fd_; }

private:
    int fd_;
    std::atomic<bool> set_{false};
    // Keeps the flag and the descriptor's counter in agreement when a set
    // and a reset race.
    std::mutex change_;
};

} // namespace zarvo::platform
