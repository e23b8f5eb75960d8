// The emulator program as a child process, driven through its standard input
// the way a person or a script drives it, with the real core and the
// registered HID driver in this process.
#include "devicelib/core/session.h"
#include "devicelib/core/session_lock.h"
#include "devicelib/errors/errors.h"
#include "tests/support/child_program.h"
#include "tests/support/fake_listener.h"
#include "tests/support/temp_dir.h"
#include "tests/support/usb_test_device.h"
#include "tools/emulator/device_model.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

namespace zarvo::test {
namespace {

namespace fs = std::filesystem;

// The model a serial gets: the USB profile under the serial's id.
emulator::device_model model_of(const usb_test_device& device)
{
    emulator::device_profile profile = emulator::device_profile::usb_device();
    profile.id = device.id();
    return emulator::device_model(profile);
}

void write_local(const fs::path& path, const std::string& content)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

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
            // The device information names the id the driver publishes.
            EXPECT_EQ(content.str(), model_of(device).file("/DEVICE.BPB").value());
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

// The questions and the seeding, without a host: each row a command and the
// whole answer line, in order.
TEST(hid_emulator_program, answers_questions_from_the_device_model)
{
    temp_dir root;
    const fs::path seed = root / "seed";
    write_local(seed / "U/0/20260101/E/120000/BASE.BPB", "foo");
    write_local(seed / "U/0/20260101/E/120000/ONE", "f");
    write_local(seed / "U/0/20260101/E/120000/TWO", "fo");
    write_local(seed / "U/0/20260101/E/120000/BIN", std::string("\0\xff", 2));
    write_local(seed / "U/0/20260101/E/120000/NONE", "");
    write_local(seed / "odd \"name\"\\", "x");
    fs::create_directories(seed / "U/0/20260102");
    const std::string day = "/U/0/20260101/E/120000/";

    struct row {
        std::string command;
        std::string answer;
    };
    const row rows[] = {
        // A serial is known once seeded or plugged.
        {"version 0000B001", "error: no such device: 0000B001"},
        {"seed 0000B001 " + (root / "missing").string(),
         "error: not a folder: " + (root / "missing").string()},
        {"version 0000B001", "error: no such device: 0000B001"},
        {"seed 0000B001 " + seed.string(), "ok"},
        {"version 0000B001", "ok 3.2.18-beta"},
        {"writes 0000B001", "ok []"},
        {"record 0000B001", "ok"},
        {"writes 0000B001", "ok []"},
        {"record", "error: usage: record SERIAL"},
        {"writes", "error: usage: writes SERIAL"},
        {"writes 0000B00A", "error: no such device: 0000B00A"},
        {"link 0000B001", "error: not plugged: 0000B001"},
        {"clock 0000B001", "ok 2026-01-01T12:00:00Z trusted 2026-01-01T12:00:00"},
        {"ls 0000B001 /", R"(ok ["DEVICE.BPB","U/","odd \"name\"\\"])"},
        {"ls 0000B001 /U/0", R"(ok ["20260101/","20260102/","USERID.BPB"])"},
        {"ls 0000B001 /U/0/20260102/", "ok []"},
        {"ls 0000B001 " + day, R"(ok ["BASE.BPB","BIN","NONE","ONE","TWO"])"},
        {"cat 0000B001 " + day + "BASE.BPB", "ok Zm9v"},
        {"cat 0000B001 " + day + "ONE", "ok Zg=="},
        {"cat 0000B001 " + day + "TWO", "ok Zm8="},
        {"cat 0000B001 " + day + "BIN", "ok AP8="},
        {"cat 0000B001 " + day + "NONE", "ok "},
        {"cat 0000B001 /U", "error: a folder: /U"},
        {"cat 0000B001 /NOPE", "error: no such file: /NOPE"},
        {"cat 0000B001 relative", "error: not a device path: relative"},
        {"ls 0000B001 /DEVICE.BPB", "error: not a folder: /DEVICE.BPB"},
        {"ls 0000B001 /NOPE", "error: no such folder: /NOPE"},
        {"cat 0000B001", "error: usage: cat SERIAL PATH"},
        {"unplug 0000B001 during relative", "error: not a device path: relative"},
        {"unplug 0000B001 during /X 2x", "error: REPORTS is a count of response reports"},
        {"unplug 0000B001 while /X", "error: usage: unplug SERIAL [during PATH [REPORTS]]"},
        {"unplug 0000B009 during /X", "error: no such device: 0000B009"},
        {"unplug 0000B001", "error: no such device: 0000B001"},
        {"seed a/b " + seed.string(), "error: a serial is 1 to 126 characters without '/'"},
    };
    child_program program(ZARVO_HID_EMULATOR_PATH, {"--hid-dir", root.path().string()});
    for (const auto& r : rows)
        EXPECT_EQ(program.command(r.command), r.answer) << r.command;
}

// The program and the real core with the registered driver, which publishes
// the devices the program plugs.
class hid_emulator_program_host : public ::testing::Test {
protected:
    hid_emulator_program_host()
        : dir((fs::create_directory(root / "Hid"), root / "Hid"))
    {
        // Only while no listener is started.
        ::setenv("ZARVO_HID_DIR", dir.c_str(), 1);
        // As clients do: disconnected waits for the operation in hand.
        listener.on(callback::disconnected,
                    [this](zarvo::session&) { std::lock_guard<std::mutex> wait(in_use); });
        listener.start();
    }

    ~hid_emulator_program_host() override
    {
        program.close_input();
        EXPECT_EQ(program.wait_exit(), 0);
        listener.stop();
        ::unsetenv("ZARVO_HID_DIR");
        EXPECT_EQ(listener.count(callback::disconnected, device.id()),
                  listener.count(callback::established, device.id()));
    }

    std::string command(const std::string& words)
    {
        return program.command(words + " " + device.serial());
    }

    // Runs f with the session of the device's n-th arrival, locked.
    template <typename F>
    void with_session(int arrival, F f)
    {
        ASSERT_TRUE(listener.wait_for(callback::established, device.id(), arrival));
        std::lock_guard<std::mutex> using_it(in_use);
        zarvo::session* s = listener.session_of(device.id());
        ASSERT_NE(s, nullptr);
        zarvo::session_lock lock(*s, 0);
        f(*s);
    }

    static void write(zarvo::session& s, const std::string& path, const std::string& content)
    {
        std::istringstream in(content);
        s.write(path, in);
    }

    static std::string read(zarvo::session& s, const std::string& path)
    {
        std::ostringstream out;
        s.read(path, out);
        return out.str();
    }

    temp_dir root;
    const fs::path dir;
    usb_test_device device;
    fake_listener listener;
    // Held while the test thread uses a session.
    std::mutex in_use;
    child_program program{ZARVO_HID_EMULATOR_PATH, {"--hid-dir", dir.string()}};
};

TEST_F(hid_emulator_program_host, gives_the_clocks_the_host_set)
{
    ASSERT_EQ(command("plug"), "ok");
    with_session(1, [](zarvo::session& s) {
        s.system_time({{2026, 3, 1}, {10, 0, 0, 0}, false});
        s.user_time({{2026, 3, 1}, {12, 0, 0, 250}, 120});
    });
    EXPECT_EQ(command("clock"), "ok 2026-03-01T10:00:00Z untrusted 2026-03-01T12:00:00.250+02:00");
    with_session(1, [](zarvo::session& s) {
        s.system_time({{2026, 12, 31}, {23, 59, 59, 0}, true});
        s.user_time({{2026, 12, 31}, {18, 29, 59, 0}, -330});
    });
    EXPECT_EQ(command("clock"), "ok 2026-12-31T23:59:59Z trusted 2026-12-31T18:29:59-05:30");
    // The link's count of host messages and its time on them.
    const std::string link = command("link");
    unsigned long messages = 0;
    unsigned long micros = 0;
    ASSERT_EQ(std::sscanf(link.c_str(), "ok %lu %lu", &messages, &micros), 2) << link;
    EXPECT_GE(messages, 4u);
    EXPECT_GT(micros, 0u);
}

// A firmware install and a factory reset each restart the device: it answers,
// goes and comes back by itself with what it now is.
TEST_F(hid_emulator_program_host, restarts_after_a_firmware_install_and_a_factory_reset)
{
    write_local(root / "seed/U/0/20260101/E/120000/BASE.BPB", "exercise");
    ASSERT_EQ(program.command("seed " + device.serial() + " " + (root / "seed").string()), "ok");
    ASSERT_EQ(command("record"), "ok");
    ASSERT_EQ(command("plug"), "ok");
    with_session(1, [](zarvo::session& s) {
        // An image that names no version is refused and installs nothing.
        EXPECT_THROW(write(s, "/SYSUPDAT.IMG", "no version\n"), zarvo::invalid_content);
        write(s, "/BTUPDAT.BIN", "bt");
        write(s, "/TCHUPDAT.BIN", "touch");
        write(s, "/SYSUPDAT.IMG", "4.0.1\r\nimage");
    });
    // Answered, then gone and back.
    with_session(2, [](zarvo::session& s) {
        EXPECT_EQ(s.info().firmware().string(), "4.0.1");
        EXPECT_EQ(read(s, "/U/0/20260101/E/120000/BASE.BPB"), "exercise");
    });
    EXPECT_EQ(listener.count(callback::disconnected, device.id()), 1);
    EXPECT_EQ(command("version"), "ok 4.0.1");
    EXPECT_EQ(program.command("ls " + device.serial() + " /"), R"(ok ["DEVICE.BPB","U/"])");
    // What reached the device, in order, the refused image included.
    EXPECT_EQ(command("writes"), R"(ok ["put 203 bm8gdmVyc2lvbgo= /SYSUPDAT.IMG",)"
                                 R"("put 0 YnQ= /BTUPDAT.BIN","put 0 dG91Y2g= /TCHUPDAT.BIN",)"
                                 R"("put 0 NC4wLjENCmltYWdl /SYSUPDAT.IMG"])");

    with_session(2, [](zarvo::session& s) { s.reset(false, true); });
    with_session(3, [](zarvo::session& s) {
        // The factory content, with the firmware installed last.
        EXPECT_EQ(s.info().firmware().string(), "4.0.1");
        EXPECT_THROW(read(s, "/U/0/20260101/E/120000/BASE.BPB"), zarvo::no_such_file_or_directory);
    });
    EXPECT_EQ(program.command("ls " + device.serial() + " /U/0/"), R"(ok ["USERID.BPB"])");
    EXPECT_EQ(program.command("list"), "ok a2c5-0008-" + device.serial() + ".hid");
}

TEST_F(hid_emulator_program_host, unplugs_the_device_during_a_read)
{
    std::string large(4000, '\0');
    for (std::size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>(i * 7);
    write_local(root / "seed/LARGE.BIN", large);
    ASSERT_EQ(program.command("seed " + device.serial() + " " + (root / "seed").string()), "ok");
    ASSERT_EQ(command("plug"), "ok");
    ASSERT_EQ(program.command("unplug " + device.serial() + " during /LARGE.BIN 2"), "ok");
    with_session(1, [](zarvo::session& s) {
        // Other reads pass.
        EXPECT_EQ(s.info().firmware().string(), "3.2.18-beta");
        EXPECT_THROW(read(s, "/LARGE.BIN"), zarvo::link_lost);
    });
    ASSERT_TRUE(listener.wait_for(callback::disconnected, device.id()));
    EXPECT_EQ(program.command("list"), "ok");

    // Armed once: plugged again, the device reads through.
    ASSERT_EQ(command("plug"), "ok");
    with_session(2, [&](zarvo::session& s) { EXPECT_EQ(read(s, "/LARGE.BIN"), large); });
}

} // namespace
} // namespace zarvo::test
