// The power driver with the real USB driver over its directory back end and
// an emulated device: a sleep withdraws the device, the wake-up publishes it
// again at once.
#include "devicelib/core/posting.h"
#include "devicelib/usb/hid_driver.h"
#include "tests/devicelib/pwr_mgt/power_fixture.h"
#include "tests/support/usb_test_device.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_power_source.h"
#include "tools/emulator/device_model.h"
#include "tools/emulator/usb_hub.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <vector>

namespace zarvo::test {
namespace {

// Passes the USB driver's posts on to the core and notes each publication's
// delay.
class noting_poster : public zarvo::core::connection_poster {
public:
    void publish(std::uint64_t id, zarvo::core::connection* c, unsigned delay_ms) override
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            delays_.push_back(delay_ms);
        }
        zarvo::core::post_publish_connection(id, c, delay_ms);
    }
    void withdraw(std::uint64_t id, zarvo::core::connection* c) override
    {
        zarvo::core::post_withdraw_connection(id, c);
    }
    std::vector<unsigned> delays() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return delays_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<unsigned> delays_;
};

noting_poster poster;

zarvo::core::driver* create_noted_hid_driver()
{
    return new zarvo::usb::hid_driver(&poster);
}

const zarvo::core::driver_registration hid_registration{&create_noted_hid_driver};

namespace fs = std::filesystem;

class power_with_usb : public power_fixture {
protected:
    power_with_usb()
        : dir(root / "Hid")
        , hub((fs::create_directory(dir), dir))
    {
        // Only while no listener is started.
        ::setenv("ZARVO_HID_DIR", dir.c_str(), 1);
    }
    void SetUp() override
    {
        power_fixture::SetUp();
        zarvo::platform::install_power_source(source);
    }
    void TearDown() override
    {
        power_fixture::TearDown();
        ::unsetenv("ZARVO_HID_DIR");
    }

    temp_dir root;
    const fs::path dir;
    emulator::device_model model;
    emulator::usb_hub hub;
    usb_test_device usb_device;
    std::shared_ptr<test_power_source> source = std::make_shared<test_power_source>();
};

TEST_F(power_with_usb, a_sleep_withdraws_the_device_and_the_wake_up_publishes_it_at_once)
{
    hub.plug({usb_device.serial()}, model);
    start();
    const std::uint64_t id = usb_device.id();
    ASSERT_TRUE(listener().wait_for(callback::established, id));

    auto suspended = source->deliver(zarvo::platform::power_suspend);
    ASSERT_EQ(outcome(suspended), notice_outcome::handled);
    ASSERT_TRUE(listener().wait_for(callback::disconnected, id));

    auto resumed = source->deliver(zarvo::platform::power_resume_automatic);
    ASSERT_EQ(outcome(resumed), notice_outcome::handled);
    ASSERT_TRUE(listener().wait_for(callback::established, id, 2));
    // Present at each start: delay 0 both times, not the plug-in delay.
    EXPECT_EQ(poster.delays(), (std::vector<unsigned>{0, 0}));

    // Plugged in while running, a device waits the plug-in delay.
    usb_test_device other;
    hub.plug({other.serial()}, model);
    ASSERT_TRUE(eventually([] { return poster.delays().size() == 3; }));
    EXPECT_EQ(poster.delays().back(), zarvo::usb::hid_driver::plug_in_delay_ms);
}

} // namespace
} // namespace zarvo::test
