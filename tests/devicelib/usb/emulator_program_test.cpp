// The emulator program as a child process, driven through its standard input
// the way a person or a script drives it, with the real core and the
// registered HID driver in this process.
#include "devicelib/core/session.h"
#include "devicelib/core/session_lock.h"
#include "tests/devicelib/usb/usb_test_device.h"
#include "tests/support/child_program.h"
#include "tests/support/fake_listener.h"
#include "tests/support/temp_dir.h"
#include "tools/emulator/device_model.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace zarvo::test {
namespace {

namespace fs = std::filesystem;

TEST(hid_emulator_program, plugs_serves_unplugs_and_exits_when_its_input_closes)
{
    temp_dir root;
    const fs::path dir = root / "Hid";
    fs::create_directory(dir);
    usb_test_device device;
    ::setenv("ZARVO_HID_DIR", dir.c_str(), 1);
    fake_listener listener;
    listener.start();
    {
        child_program program(ZARVO_HID_EMULATOR_PATH, {"--hid-dir", dir.string()});
        EXPECT_EQ(program.command("plug " + device.serial()), "ok");
        EXPECT_NE(program.command("plug " + device.serial()).rfind("error", 0), std::string::npos)
            << "already plugged";
        EXPECT_NE(program.command("bogus").rfind("error", 0), std::string::npos);
        EXPECT_NE(program.command("list").find(device.serial() + ".hid"), std::string::npos);

        ASSERT_TRUE(listener.wait_for(callback::established, device.id()));
        zarvo::session* s = listener.session_of(device.id());
        ASSERT_NE(s, nullptr);
        {
            zarvo::session_lock lock(*s, 0);
            std::ostringstream content;
            s->read("/DEVICE.BPB", content);
            EXPECT_EQ(content.str(), emulator::device_model().file("/DEVICE.BPB").value());
        }

        EXPECT_EQ(program.command("unplug " + device.serial()), "ok");
        ASSERT_TRUE(listener.wait_for(callback::disconnected, device.id()));
        EXPECT_EQ(program.command("list"), "ok");

        EXPECT_EQ(program.command("plug " + device.serial()), "ok");
        program.close_input();
        EXPECT_EQ(program.wait_exit(), 0);
        // Leaving, it unplugged its devices and removed their files.
        EXPECT_TRUE(fs::is_empty(dir));
    }
    listener.stop();
    ::unsetenv("ZARVO_HID_DIR");
    EXPECT_EQ(listener.count(callback::disconnected, device.id()),
              listener.count(callback::established, device.id()));
}

TEST(hid_emulator_program, unplugs_everything_on_sigterm)
{
    temp_dir root;
    child_program program(ZARVO_HID_EMULATOR_PATH, {"--hid-dir", root.path().string()});
    EXPECT_EQ(program.command("plug 0000A001"), "ok");
    EXPECT_EQ(program.command("plug 0000A002 a2c5 0009"), "ok");
    EXPECT_EQ(program.command("list"), "ok a2c5-0008-0000A001.hid a2c5-0009-0000A002.hid");
    EXPECT_FALSE(fs::is_empty(root.path()));
    program.terminate();
    EXPECT_EQ(program.wait_exit(), 0);
    EXPECT_TRUE(fs::is_empty(root.path()));
}

} // namespace
} // namespace zarvo::test
