#pragma once

#include "devicelib/core/driver.h"

#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace zarvo::test {

enum class driver_op { start, stop, suspend, resume, destroy };
const char* to_string(driver_op op);

struct driver_call {
    int slot;
    driver_op op;
    std::thread::id thread;
};

// The process-wide controller of every fake_driver; each test runs in its own
// process, so it is per test. A slot numbers one registered factory.
class fake_driver_control {
public:
    static fake_driver_control& instance();

    // Runs hook inside the operation, after it has been recorded: block on a
    // latch, throw an error, look at the calling thread. A destroy hook must
    // not throw.
    void on(int slot, driver_op op, std::function<void()> hook);
    template <typename Error>
    void throw_on(int slot, driver_op op, Error error)
    {
        on(slot, op, [error] { throw error; });
    }
    // Makes suspend and resume of the slot do nothing instead of stopping and
    // starting.
    void no_op_suspend(int slot);

    std::vector<driver_call> calls() const;
    // The operations of one slot, in order.
    std::vector<driver_op> ops(int slot) const;
    int created(int slot) const;
    // True once two operations ran at the same time.
    bool overlapped() const;

private:
    friend class fake_driver;

    void record(int slot, driver_op op);
    std::function<void()> hook(int slot, driver_op op) const;
    bool is_no_op_suspend(int slot) const;
    void enter();
    void leave();
    void created_one(int slot);

    mutable std::mutex mutex_;
    std::vector<driver_call> calls_;
    std::map<std::pair<int, driver_op>, std::function<void()>> hooks_;
    std::map<int, bool> no_op_suspend_;
    std::map<int, int> created_;
    int in_flight_ = 0;
    bool overlapped_ = false;
};

// A driver that records its calls with fake_driver_control.
class fake_driver : public zarvo::core::driver {
public:
    explicit fake_driver(int slot);
    ~fake_driver() override;

    void start() override;
    void suspend() override;
    void resume() override;
    void stop() override;

private:
    void call(driver_op op, const std::function<void()>& body = {});

    int slot_;
};

// A distinct factory per slot. Register it from the test's own source, so the
// linker keeps the registration:
//   static const zarvo::core::driver_registration reg{&create_fake_driver<0>};
template <int Slot>
zarvo::core::driver* create_fake_driver()
{
    return new fake_driver(Slot);
}

} // namespace zarvo::test
