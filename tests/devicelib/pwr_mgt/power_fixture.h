#pragma once

// Include from one source of a test program. Registers, beside the fake
// USB-like and network-like drivers, the real power driver (with a short
// resume delay) and a probe driver that records when the core suspends,
// resumes and stops it. The fixture installs the power source a test chose
// and removes it again.

#include "devicelib/core/driver_registry.h"
#include "devicelib/platform/power_source.h"
#include "devicelib/pwr_mgt/power_driver.h"
#include "tests/devicelib/core/fake_drivers_registered.h"
#include "tests/devicelib/core/listener_fixture.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace zarvo::test {

// Records the core's calls; a test's hooks run inside them.
class probe_driver : public zarvo::core::driver {
public:
    using clock = std::chrono::steady_clock;
    struct records {
        std::vector<clock::time_point> suspends, resumes;
        int stops = 0;
    };

    static records seen()
    {
        std::lock_guard<std::mutex> lock(mutex());
        return state();
    }
    static void reset()
    {
        std::lock_guard<std::mutex> lock(mutex());
        state() = {};
        hooks() = {};
    }
    static void on_suspend(std::function<void()> f)
    {
        locked([&] { hooks().suspend = f; });
    }
    static void on_resume(std::function<void()> f)
    {
        locked([&] { hooks().resume = f; });
    }
    static void on_stop(std::function<void()> f)
    {
        locked([&] { hooks().stop = f; });
    }

    void start() override {}
    void suspend() override { note(&records::suspends, &hook_set::suspend); }
    void resume() override { note(&records::resumes, &hook_set::resume); }
    void stop() override
    {
        std::function<void()> hook;
        locked([&] { hook = hooks().stop; });
        if (hook)
            hook();
        locked([] { ++state().stops; });
    }

private:
    struct hook_set {
        std::function<void()> suspend, resume, stop;
    };
    static std::mutex& mutex()
    {
        static std::mutex m;
        return m;
    }
    static records& state()
    {
        static records r;
        return r;
    }
    static hook_set& hooks()
    {
        static hook_set h;
        return h;
    }
    template <typename F>
    static void locked(F f)
    {
        std::lock_guard<std::mutex> lock(mutex());
        f();
    }
    void note(std::vector<clock::time_point> records::*list, std::function<void()> hook_set::*hook)
    {
        std::function<void()> h;
        locked([&] { h = hooks().*hook; });
        if (h)
            h();
        locked([&] { (state().*list).push_back(clock::now()); });
    }
};

// The power driver the engine made; its resume delay is the short one.
inline std::atomic<zarvo::pwr_mgt::driver*> engine_power_driver{nullptr};
constexpr std::chrono::milliseconds short_resume_delay{50};

inline zarvo::core::driver* create_quick_power_driver()
{
    auto* d = new zarvo::pwr_mgt::driver;
    d->set_resume_delay(short_resume_delay);
    engine_power_driver = d;
    return d;
}

class power_fixture : public listener_fixture {
protected:
    void SetUp() override
    {
        listener_fixture::SetUp();
        probe_driver::reset();
        usb_stops_ = usb().stops();
        usb_starts_ = usb().starts();
        net_stops_ = net().stops();
        // The engine and its drivers exist from here on.
        take_snapshot();
        power().set_resume_delay(short_resume_delay);
    }
    void TearDown() override
    {
        // The hooks may name the test's latches.
        probe_driver::reset();
        listener_fixture::TearDown();
        zarvo::platform::install_power_source(nullptr);
    }

    static zarvo::pwr_mgt::driver& power() { return *engine_power_driver.load(); }
    static probe_driver::records probe() { return probe_driver::seen(); }
    // The fake drivers' counts since the test began (they are the
    // process's).
    int usb_stops() const { return usb().stops() - usb_stops_; }
    int usb_starts() const { return usb().starts() - usb_starts_; }
    int net_stops() const { return net().stops() - net_stops_; }
    // Stops the last listener on a thread of its own and returns once the
    // engine, stopping the drivers, is held in the probe driver's stop until
    // release opens. Join the thread after opening it. entered outlives the
    // hook: the fixture's reset drops it.
    std::thread stop_held_in_probe(latch& release)
    {
        probe_driver::on_stop([this, &release] {
            stop_entered_.open();
            release.wait();
        });
        std::thread stopper([this] { listener().stop(); });
        stop_entered_.wait();
        return stopper;
    }
    // Lines traced with this text.
    std::size_t traced(const std::string& line) const
    {
        std::size_t n = 0;
        for (const auto& m : log.messages())
            n += m.find(line) != std::string::npos;
        return n;
    }

private:
    latch stop_entered_;
    int usb_stops_ = 0, usb_starts_ = 0, net_stops_ = 0;
};

} // namespace zarvo::test

namespace {

const zarvo::core::driver_registration power_registration{&zarvo::test::create_quick_power_driver};
const zarvo::core::driver_registration probe_registration{
    &zarvo::test::create_device_driver<zarvo::test::probe_driver>};

} // namespace
