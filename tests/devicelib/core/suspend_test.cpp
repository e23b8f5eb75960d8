// System suspend and resume through the power-like fake driver.
#include "devicelib/core/driver_registry.h"
#include "devicelib/core/engine.h"
#include "tests/devicelib/core/fake_drivers_registered.h"
#include "tests/devicelib/core/listener_fixture.h"

#include <atomic>
#include <future>
#include <thread>

namespace {

using namespace std::chrono_literals;
using zarvo::test::callback;
using zarvo::test::latch;
using zarvo::test::power_like_driver;

const zarvo::core::driver_registration power_registration{
    &zarvo::test::create_device_driver<power_like_driver>};

zarvo::core::gate& interface_gate()
{
    return zarvo::core::engine::instance().interface_gate();
}

bool ready(std::future<bool>& f, std::chrono::milliseconds limit = latch::default_limit)
{
    return f.valid() && f.wait_for(limit) == std::future_status::ready;
}

class Suspend : public zarvo::test::listener_fixture {
protected:
    void SetUp() override
    {
        listener_fixture::SetUp();
        power_like_driver::set_resume_pause(20ms);
    }
};

TEST_F(Suspend, UsbDevicesComeBackAfterTheResumeAndNetworkDevicesSeeNothing)
{
    // Present when the drivers start: published with delay 0.
    zarvo::test::usb_like_driver::set_plug_in_delay(60000);
    usb().plug(device(0));
    net().plug(device(1));
    start();
    for (std::size_t i : {0, 1})
        ASSERT_TRUE(listener().wait_for(callback::established, device(i), 1, 10s));

    auto suspended = power_like_driver::request_suspend();
    ASSERT_TRUE(ready(suspended));
    EXPECT_TRUE(suspended.get());
    ASSERT_TRUE(listener().wait_for(callback::disconnected, device(0)));

    auto resumed = power_like_driver::request_resume();
    ASSERT_TRUE(ready(resumed));
    EXPECT_TRUE(resumed.get());
    // Published again by the driver's start, with delay 0 although the
    // plug-in delay is a minute.
    ASSERT_TRUE(listener().wait_for(callback::established, device(0), 2, 10s));

    EXPECT_EQ(listener().count(callback::established, device(1)), 1);
    EXPECT_EQ(listener().count(callback::disconnected, device(1)), 0);
    std::size_t traced = 0;
    for (const auto& m : log.messages())
        traced += m.find("Drivers are being suspended.") != std::string::npos ||
                  m.find("Drivers are being resumed.") != std::string::npos;
    EXPECT_EQ(traced, 2u);
}

TEST_F(Suspend, AStopDuringTheSuspensionWaitsUntilTheResume)
{
    start();
    auto suspended = power_like_driver::request_suspend();
    ASSERT_TRUE(ready(suspended));
    ASSERT_TRUE(suspended.get());

    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        listener().stop();
        stopped = true;
    });
    ASSERT_TRUE(zarvo::test::eventually([] { return interface_gate().passages_waiting() == 1; }));
    EXPECT_FALSE(stopped);
    EXPECT_TRUE(listener().running()); // queries pass the closed gate

    auto resumed = power_like_driver::request_resume();
    stopper.join();
    EXPECT_TRUE(stopped);
    // The last stop stopped the power driver, after the resume had finished.
    ASSERT_TRUE(ready(resumed));
    EXPECT_TRUE(resumed.get());
}

TEST_F(Suspend, WithoutAnEngineThreadNothingIsSuspendedAndTheResumeIsSkipped)
{
    zarvo::test::power_protocol power;
    EXPECT_FALSE(power.suspend());
    EXPECT_FALSE(power.resume(0ms));
    // The gate was left open.
    start();
    EXPECT_TRUE(listener().running());
}

TEST_F(Suspend, ASuspendWhileTheLastListenerStopsGivesUpAndBothFinish)
{
    start();
    ASSERT_EQ(power_like_driver::starts(), 1);

    // Hold the engine, so that the stop's detachment waits in the queue while
    // the stopper holds the gate.
    latch entered, release;
    zarvo::core::engine::instance().post(
        std::make_unique<zarvo::test::engine_blocker>(entered, release));
    ASSERT_TRUE(entered.wait());
    std::thread stopper([&] { listener().stop(); });
    ASSERT_TRUE(zarvo::test::eventually([] { return interface_gate().is_busy(); }));
    auto suspended = power_like_driver::request_suspend();
    // The notice waits at the gate until the stop's detachment marks it.
    ASSERT_TRUE(zarvo::test::eventually([] { return interface_gate().closes_waiting() == 1; }));
    release.open();

    ASSERT_TRUE(ready(suspended));
    EXPECT_FALSE(suspended.get());
    stopper.join();
    EXPECT_FALSE(listener().running());
    EXPECT_EQ(usb().stops(), 1);
}

} // namespace
