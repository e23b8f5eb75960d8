#pragma once

#include "devicelib/core/driver.h"
#include "tests/support/exchange_backend.h"
#include "tests/support/fake_connection.h"

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace zarvo::test {

class fake_link;

// A device a test makes present for a fake driver: its back-end, and a probe
// that sees each of its connections withdrawn and destroyed.
struct fake_device {
    std::shared_ptr<exchange_backend> backend = std::make_shared<scripted_backend>();
    std::shared_ptr<connection_probe> probe = std::make_shared<connection_probe>();
};

// State shared by the connection-publishing fakes. The drivers themselves
// are created by the engine from their factories; tests reach them through
// these static helpers. Each test runs in its own process.
class fake_bus {
public:
    // Marks a device present; a started driver publishes it at once.
    void plug(std::uint64_t id, fake_device device = {});
    // The device goes away; a published connection is withdrawn.
    void unplug(std::uint64_t id);
    // Hands a device notification to the device's published connection;
    // false when none is published.
    bool notify(std::uint64_t id, int notification, const std::string& parameters = {});
    // Runs f with the device's published connection (null when none), while
    // the connection cannot be withdrawn.
    void with_connection(std::uint64_t id, const std::function<void(fake_link*)>& f);
    int starts() const;
    int stops() const;
    bool started() const;

    using maker = std::function<fake_link*(std::uint64_t, const fake_device&)>;
    // later_delay gives the delay of devices plugged in while started.
    fake_bus(maker make, std::function<unsigned()> later_delay, bool withdraw_from_own_thread);

    // For the drivers, on the engine thread: start publishes the present
    // devices with delay 0; stop withdraws every published connection.
    void start_publishing();
    void stop_publishing();

private:
    void withdraw(std::uint64_t id, fake_link* c);
    void publish(std::uint64_t id, const fake_device& device, unsigned delay);

    mutable std::mutex mutex_;
    maker make_;
    std::function<unsigned()> later_delay_;
    // A closing link is withdrawn from a thread of the fake's own.
    bool withdraw_from_own_thread_;
    std::map<std::uint64_t, fake_device> present_;
    std::map<std::uint64_t, fake_link*> published_;
    bool started_ = false;
    int starts_ = 0;
    int stops_ = 0;
};

// USB-like: default suspend and resume (stop and start). Start publishes the
// present devices with delay 0; devices plugged in later get the plug-in
// delay (500 ms unless set); stop withdraws everything.
class usb_like_driver : public zarvo::core::driver {
public:
    static fake_bus& bus();
    static void set_plug_in_delay(unsigned ms);

    void start() override;
    void stop() override;
};

// Network-like: publishes with delay 0; suspend and resume do nothing; a
// closing link is withdrawn from a thread of the fake's own (unplug).
class net_like_driver : public zarvo::core::driver {
public:
    static fake_bus& bus();

    void start() override;
    void suspend() override {}
    void resume() override {}
    void stop() override;
};

// The power-management protocol around post_suspend_drivers and
// post_resume_drivers, as the power driver runs it.
class power_protocol {
public:
    // Suspends the drivers through the core and waits until they are;
    // remembers and returns the result.
    bool suspend();
    // Only after a successful suspend: waits the pause, resumes the drivers
    // and waits until they are. Returns whether it resumed.
    bool resume(std::chrono::milliseconds pause);

private:
    boost::mutex mutex_;
    boost::condition_variable cond_;
    bool suspended_ = false;
};

// Power-like: start runs a thread of its own and returns once it runs; stop
// ends it and waits for it. Suspend and resume only trace. On a test's
// request its thread runs the power protocol.
class power_like_driver : public zarvo::core::driver {
public:
    ~power_like_driver() override;

    // The pause before a resume (2000 ms unless set).
    static void set_resume_pause(std::chrono::milliseconds pause);
    // Queue the protocol steps on the running driver's thread. The futures
    // are ready once the step has ended; an invalid future when the driver
    // does not run.
    static std::future<bool> request_suspend();
    static std::future<bool> request_resume();
    static int starts();

    void start() override;
    void suspend() override;
    void resume() override;
    void stop() override;

private:
    static std::future<bool> queue(std::function<bool(power_protocol&)> step);
    void run();

    std::mutex mutex_;
    std::condition_variable cond_;
    std::deque<std::packaged_task<bool()>> tasks_;
    bool running_ = false;
    bool quit_ = false;
    std::thread thread_;
    power_protocol protocol_;
};

template <typename Driver>
zarvo::core::driver* create_device_driver()
{
    return new Driver;
}

} // namespace zarvo::test
