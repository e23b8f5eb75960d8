// The real core, the registered HID driver, a listener and emulated devices
// in this process, through the shared library as a client loads it.
#include "devicelib/core/session.h"
#include "devicelib/core/session_lock.h"
#include "devicelib/errors/errors.h"
#include "tests/support/usb_test_device.h"
#include "tests/support/fake_listener.h"
#include "tests/support/temp_dir.h"
#include "tools/emulator/device_model.h"
#include "tools/emulator/usb_hub.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <sstream>

namespace zarvo::test {
namespace {

namespace fs = std::filesystem;
using emulator::unplug_order;

class usb_end_to_end : public ::testing::Test {
protected:
    usb_end_to_end()
        : dir(root / "Hid")
        , hub((fs::create_directory(dir), dir))
    {
        // Only while no listener is started.
        ::setenv("ZARVO_HID_DIR", dir.c_str(), 1);
        // As clients do: a session is used only between established and
        // disconnected, and disconnected waits for the operation in hand.
        listener.on(callback::disconnected,
                    [this](zarvo::session&) { std::lock_guard<std::mutex> wait(in_use); });
    }

    void TearDown() override
    {
        if (started_) {
            listener.stop();
            // Every session told established has been told disconnected.
            EXPECT_EQ(listener.count(callback::disconnected, device.id()),
                      listener.count(callback::established, device.id()));
        }
        ::unsetenv("ZARVO_HID_DIR");
    }

    void start()
    {
        listener.start();
        started_ = true;
    }

    void plug() { hub.plug({device.serial()}, model); }

    int count(callback kind) const { return listener.count(kind, device.id()); }

    temp_dir root;
    const fs::path dir;
    emulator::device_model model;
    emulator::usb_hub hub;
    usb_test_device device;
    fake_listener listener;
    // Held while the test thread uses a session.
    std::mutex in_use;

private:
    bool started_ = false;
};

TEST_F(usb_end_to_end, a_device_is_read_and_unplugged_mid_transfer_in_every_order)
{
    std::string large(256 * 1024, '\0');
    for (std::size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>(i * 7);
    model.put_file("/LARGE.BIN", large);

    plug();
    start();
    ASSERT_TRUE(listener.wait_for(callback::established, device.id()));
    zarvo::session* s = listener.session_of(device.id());
    ASSERT_NE(s, nullptr);
    {
        std::lock_guard<std::mutex> using_it(in_use);
        EXPECT_EQ(s->device_id(), device.id());
        zarvo::session_lock lock(*s, 0);
        std::ostringstream content;
        s->read("/DEVICE.BPB", content);
        EXPECT_EQ(content.str(), model.file("/DEVICE.BPB").value());
        EXPECT_EQ(s->info().model(), model.profile().model_name);
    }

    const unplug_order orders[] = {unplug_order::file_then_connections,
                                   unplug_order::connections_then_file,
                                   unplug_order::connections_only};
    int round = 1;
    for (const auto order : orders) {
        SCOPED_TRACE("round " + std::to_string(round));
        hub.unplug_after_response_reports(device.serial(), 20, order);
        {
            std::lock_guard<std::mutex> using_it(in_use);
            s = listener.session_of(device.id());
            ASSERT_NE(s, nullptr);
            std::ostringstream content;
            EXPECT_THROW(s->read("/LARGE.BIN", content), zarvo::link_lost);
        }
        ASSERT_TRUE(listener.wait_for(callback::disconnected, device.id(), round));

        // Plugged again: a new session. The earlier one was told
        // disconnected exactly once.
        plug();
        ASSERT_TRUE(listener.wait_for(callback::established, device.id(), round + 1));
        EXPECT_EQ(count(callback::disconnected), round);
        ++round;
    }

    // The last plug reads through to the end.
    std::lock_guard<std::mutex> using_it(in_use);
    s = listener.session_of(device.id());
    std::ostringstream content;
    s->read("/LARGE.BIN", content);
    EXPECT_EQ(content.str(), large);
}

TEST_F(usb_end_to_end, a_device_that_hangs_up_with_its_file_in_place_is_disconnected_at_once)
{
    plug();
    start();
    ASSERT_TRUE(listener.wait_for(callback::established, device.id()));
    // No exchange follows: the hang-up alone withdraws the session.
    hub.unplug(device.serial(), unplug_order::connections_only);
    ASSERT_TRUE(listener.wait_for(callback::disconnected, device.id()));
    bool file_left = false;
    for (const auto& entry : fs::directory_iterator(dir))
        file_left = file_left || entry.path().extension() == ".hid";
    EXPECT_TRUE(file_left);
    EXPECT_EQ(count(callback::disconnected), 1);
}

} // namespace
} // namespace zarvo::test
