// What each file operation puts on the wire, the fixed answers, and the
// special results that end an operation with false.

#include "tests/devicelib/usb/connection_fixture.h"

#include "devicelib/errors/errors.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <sstream>

namespace zarvo::test {
namespace {

using model::command;

struct sent_row {
    const char* name;
    std::function<void(usb::hid_connection&)> call;
    command expected_command;
    std::string expected_path;
    std::string expected_payload;
};

TEST_F(hid_connection_test, each_operation_sends_its_command_path_and_payload)
{
    device_model.make_directory("/U/0");
    device_model.put_file("/GONE.BPB", "x");
    device_model.put_file(u8"/Ünï/Ďata.BPB", "y");
    device_model.put_file("/M.BPB", "");
    const std::vector<sent_row> rows{
        {"fetch root",
         [](auto& c) {
             std::set<entry> e;
             c.fetch("/", e);
         },
         command::get, "/", ""},
        {"fetch dir",
         [](auto& c) {
             std::set<entry> e;
             c.fetch("/U/0", e);
         },
         command::get, "/U/0/", ""},
        {"create", [](auto& c) { c.create("/NEW"); }, command::put, "/NEW/", ""},
        {"read",
         [](auto& c) {
             std::ostringstream o;
             c.read("/DEVICE.BPB", o);
         },
         command::get, "/DEVICE.BPB", ""},
        {"write",
         [](auto& c) {
             std::istringstream i("abc");
             c.write("/W.BPB", i);
         },
         command::put, "/W.BPB", "abc"},
        {"merge",
         [](auto& c) {
             std::istringstream i("\x08\x01");
             c.merge("/M.BPB", i);
         },
         command::merge, "/M.BPB", "\x08\x01"},
        {"remove", [](auto& c) { c.remove("/GONE.BPB"); }, command::remove, "/GONE.BPB", ""},
        {"UTF-8 path",
         [](auto& c) {
             std::ostringstream o;
             c.read(u8"/Ünï/Ďata.BPB", o);
         },
         command::get, u8"/Ünï/Ďata.BPB", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        device_model.clear_transcript();
        row.call(*link);
        const auto sent = file_operations();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].code, static_cast<int>(row.expected_command));
        EXPECT_EQ(sent[0].path, row.expected_path);
        EXPECT_EQ(sent[0].data, row.expected_payload);
        EXPECT_EQ(sent[0].answer, 0);
    }
    EXPECT_TRUE(device_model.is_directory("/NEW"));
    EXPECT_FALSE(device_model.file("/GONE.BPB"));
    EXPECT_TRUE(device.front_end().violations().empty());
}

TEST_F(hid_connection_test, fixed_answers)
{
    std::string name = "x";
    EXPECT_TRUE(link->transport(name));
    EXPECT_EQ(name, "HID");
    EXPECT_TRUE(link->family(name));
    EXPECT_EQ(name, "");
    EXPECT_EQ(link->readiness(), 0);
    link->withdrawn();
    try {
        link->placement();
        FAIL() << "placement answered";
    } catch (const zarvo::not_implemented& e) {
        EXPECT_STREQ(e.what(), "Device's placement is not known.");
    }
    EXPECT_TRUE(host_reports().empty());
}

// 105 to a listing, 104 to a directory creation and 103 to a removal end the
// operation with false; the listing leaves the caller's set as it was.
TEST_F(hid_connection_test, refusals_return_false)
{
    struct row {
        model::match when;
        int answer;
        std::function<bool(usb::hid_connection&, std::set<entry>&)> call;
    };
    const std::vector<row> rows{
        {model::match::file(command::get, "/F.BPB/"), 105,
         [](auto& c, auto& e) { return c.fetch("/F.BPB", e); }},
        {model::match::file(command::put, "/D/"), 104,
         [](auto& c, auto&) { return c.create("/D"); }},
        {model::match::file(command::remove, "/R.BPB"), 103,
         [](auto& c, auto&) { return c.remove("/R.BPB"); }},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.answer);
        device_model.script_answer(r.when, r.answer, 1);
        std::set<entry> entries{entry(entry::file, "KEPT", 3)};
        EXPECT_FALSE(r.call(*link, entries));
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries.begin()->name(), "KEPT");
    }
    // The same answers from the model itself.
    device_model.make_directory("/EXISTS");
    std::set<entry> entries;
    EXPECT_FALSE(link->fetch("/DEVICE.BPB", entries));
    EXPECT_TRUE(entries.empty());
    EXPECT_FALSE(link->create("/EXISTS"));
    EXPECT_FALSE(link->remove("/MISSING.BPB"));
}

} // namespace
} // namespace zarvo::test
