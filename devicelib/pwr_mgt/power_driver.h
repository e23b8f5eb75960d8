#pragma once

// The power-management driver: makes the device drivers follow the
// computer's sleep. When the system is about to sleep it keeps the system
// awake until the core has suspended every driver and the device operations
// running then have returned or were cancelled; when the system woke up
// on its own it waits the resume delay and has the core resume them. It
// publishes no connection.
//
// Its notices come from a power source (devicelib/platform/power_source.h),
// chosen at every start, on an event thread of its own. The suspended flag
// is read and written on that thread only.

#include "devicelib/core/driver.h"
#include "devicelib/platform/event_loop.h"
#include "devicelib/platform/power_source.h"

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace zarvo::pwr_mgt {

class driver : public core::driver, private platform::power_events {
public:
    static constexpr std::chrono::milliseconds default_resume_delay{2000};
    static constexpr std::chrono::milliseconds default_operation_wait{3000};
    // After a cancel, how long the sleep still waits for the operations.
    static constexpr std::chrono::milliseconds cancel_grace{1000};

    driver();
    // Ends the event thread when it still runs; tells the core nothing (the
    // engine deletes its drivers at process exit without stopping them).
    ~driver() override;
    driver(const driver&) = delete;
    driver& operator=(const driver&) = delete;

    // Chooses the power source and returns once the event thread runs.
    void start() override;
    void suspend() override;
    void resume() override;
    // Ends the event thread, waits for it and lets the source go.
    void stop() override;

    // A power notice, on the event thread: 0 (query suspend), 4 (suspend)
    // and 18 (automatic resume) are handled and give true; others false.
    bool power_broadcast(unsigned code) override;

    // The pause before the drivers are resumed; tests lower it.
    void set_resume_delay(std::chrono::milliseconds delay) { resume_delay_ = delay; }
    std::chrono::milliseconds resume_delay() const { return resume_delay_; }
    // How long the sleep waits for the device operations running when it
    // was announced before it cancels them; tests lower it. With the grace
    // after a cancel it stays below logind's InhibitDelayMaxSec (5 s by
    // default), past which logind lets the system sleep anyway.
    void set_operation_wait(std::chrono::milliseconds wait) { operation_wait_ = wait; }

private:
    void suspend_drivers();
    // Waits for the device operations running now, cancelling them past the
    // operation wait.
    void settle_operations();
    void resume_drivers();

    std::shared_ptr<platform::power_source> source_;
    platform::event_loop loop_;
    bool suspended_ = false;
    // The core's suspend and resume protocol.
    boost::mutex mutex_;
    boost::condition_variable cond_;
    std::atomic<std::chrono::milliseconds> resume_delay_{default_resume_delay};
    std::atomic<std::chrono::milliseconds> operation_wait_{default_operation_wait};
    // Cuts the resume delay short when the driver is destroyed.
    std::mutex closing_mutex_;
    std::condition_variable closing_cond_;
    bool closing_ = false;
};

// The driver registry's factory.
core::driver* create_power_driver();

} // namespace zarvo::pwr_mgt
