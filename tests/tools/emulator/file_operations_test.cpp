#include "tools/emulator/answers.h"
#include "tools/emulator/device_model.h"

#include "tests/support/hex.h"
#include "tests/tools/emulator/model_test_util.h"

#include "devicelib/proto/user_database.pb.h"
#include "devicelib/proto/user_id.pb.h"
#include "devicelib/proto/zftp_response.pb.h"

#include <gtest/gtest.h>

namespace zarvo::emulator {
namespace {

using namespace test;
using zarvo::test::from_hex;

// The seed plus a small tree: /A/f.txt ("hello"), /A/sub/g.
class file_operations : public ::testing::Test {
protected:
    file_operations()
    {
        model.put_file("/A/f.txt", "hello");
        model.put_file("/A/sub/g", "x");
    }

    device_model model;
};

struct operation_case {
    int command;
    const char* path;
    const char* payload;
    int answer;
};

std::ostream& operator<<(std::ostream& out, const operation_case& c)
{
    return out << "command " << c.command << " " << c.path;
}

TEST_F(file_operations, answer_codes)
{
    const operation_case cases[] = {
        {get, "/", "", answer::ok},
        {get, "/A/", "", answer::ok},
        {get, "/A", "", answer::not_permitted},
        {get, "/A/f.txt", "", answer::ok},
        {get, "/A/f.txt/", "", answer::file_exists},
        {get, "/missing", "", answer::no_such_entry},
        {get, "/missing/", "", answer::no_such_entry},
        {get, "/A/f.txt/x", "", answer::no_such_entry},
        {put, "/A/new/", "", answer::ok},
        {put, "/A/sub/", "", answer::directory_exists},
        {put, "/", "", answer::directory_exists},
        {put, "/A/f.txt/", "", answer::file_exists},
        {put, "/none/x/", "", answer::no_such_entry},
        {put, "/A/f.txt/x/", "", answer::no_such_entry},
        {put, "/A/f.txt", "new", answer::ok},
        {put, "/A/n.txt", "new", answer::ok},
        {put, "/none/n", "new", answer::no_such_entry},
        {put, "/A/f.txt/n", "new", answer::no_such_entry},
        {put, "/A/sub", "new", answer::not_permitted},
        {merge, "/A/f.txt", "more", answer::ok},
        {merge, "/A/new.bin", "more", answer::ok},
        {merge, "/none/x", "more", answer::no_such_entry},
        {merge, "/A/sub", "more", answer::not_permitted},
        {remove, "/A/f.txt", "", answer::ok},
        {remove, "/A", "", answer::ok},
        {remove, "/A/sub/", "", answer::ok},
        {remove, "/A/f.txt/", "", answer::file_exists},
        {remove, "/", "", answer::not_permitted},
        {remove, "/missing", "", answer::no_such_entry},
        {4, "/A/f.txt", "", answer::invalid_command},
        {-1, "/A/f.txt", "", answer::invalid_command},
    };
    for (const auto& c : cases) {
        device_model fresh;
        fresh.put_file("/A/f.txt", "hello");
        fresh.put_file("/A/sub/g", "x");
        EXPECT_EQ(fresh.file_operation(c.command, c.path, c.payload).answer, c.answer) << c;
    }
}

TEST_F(file_operations, bad_paths_are_invalid_parameters)
{
    const std::string paths[] = {"",
                                 "A/f.txt",
                                 "//",
                                 "/A//f.txt",
                                 "/./A",
                                 "/A/..",
                                 "/A/.",
                                 "/A/f.txt//",
                                 "/A/../A",
                                 "./A",
                                 std::string("/A\0b", 4)};
    for (const auto& path : paths)
        for (int c : {get, put, merge, remove})
            EXPECT_EQ(model.file_operation(c, path, "x").answer, answer::invalid_parameter)
                << c << " " << path;
    EXPECT_EQ(model.file("/A/f.txt"), "hello");
}

TEST_F(file_operations, effects)
{
    EXPECT_EQ(model.file_operation(get, "/A/f.txt", "").payload, "hello");

    model.file_operation(put, "/A/f.txt", "replaced");
    EXPECT_EQ(model.file("/A/f.txt"), "replaced");

    model.file_operation(merge, "/A/f.txt", "+more");
    EXPECT_EQ(model.file("/A/f.txt"), "replaced+more");
    model.file_operation(merge, "/A/created", "first");
    EXPECT_EQ(model.file("/A/created"), "first");

    model.file_operation(put, "/A/new/", "");
    EXPECT_TRUE(model.is_directory("/A/new"));

    // One request removes a directory with everything under it.
    ASSERT_EQ(model.file_operation(remove, "/A", "").answer, answer::ok);
    EXPECT_FALSE(model.is_directory("/A"));
    EXPECT_FALSE(model.file("/A/sub/g"));
    EXPECT_EQ(model.file_operation(get, "/A/", "").answer, answer::no_such_entry);
}

TEST_F(file_operations, listing_in_byte_order_with_directory_marks_and_no_times)
{
    model.make_directory("/L/10");
    model.make_directory("/L/2");
    model.put_file("/L/a", "1234");
    model.put_file("/L/Zed", "");
    model.put_file("/L/\xC3\xA9", "7");
    model.put_file("/L/2/deeper", "not listed");

    const auto r = model.file_operation(get, "/L/", "");
    ASSERT_EQ(r.answer, answer::ok);
    const auto listing = parsed<protocol::PbZFtpDirectory>(r.payload);
    ASSERT_EQ(listing.entries_size(), 5);
    const std::pair<std::string, std::uint64_t> expected[] = {
        {"10/", 0}, {"2/", 0}, {"Zed", 0}, {"a", 4}, {"\xC3\xA9", 1}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(listing.entries(i).name(), expected[i].first);
        EXPECT_EQ(listing.entries(i).size(), expected[i].second);
        EXPECT_FALSE(listing.entries(i).has_created() || listing.entries(i).has_modified() ||
                     listing.entries(i).has_touched());
    }

    const auto root = parsed<protocol::PbZFtpDirectory>(model.file_operation(get, "/", "").payload);
    ASSERT_EQ(root.entries_size(), 4);
    EXPECT_EQ(root.entries(0).name(), "A/");
    EXPECT_EQ(root.entries(1).name(), "DEVICE.BPB");
    EXPECT_EQ(root.entries(2).name(), "L/");
    EXPECT_EQ(root.entries(3).name(), "U/");
    // An empty directory lists as zero bytes.
    model.make_directory("/E");
    EXPECT_EQ(model.file_operation(get, "/E/", "").payload, "");
}

TEST_F(file_operations, merge_keeps_the_device_files_whole)
{
    data::PbUserDb user_one;
    user_one.set_current_user_index(1);
    data::PbUserIdentifier token_without_flag;
    token_without_flag.mutable_password_token()->set_token("pw");

    struct merge_case {
        const char* path;
        std::string payload;
        int answer;
    };
    const merge_case cases[] = {
        // User 1 has no directory yet.
        {"/U/UDB.BPB", bytes_of(user_one), answer::invalid_content},
        {"/U/UDB.BPB", from_hex("ff"), answer::invalid_content},
        {"/DEVICE.BPB", from_hex("07"), answer::invalid_content},
        // Merged into the stored version, a major number alone keeps it whole.
        {"/DEVICE.BPB", from_hex("0a 02 08 01"), answer::ok},
        {"/U/0/USERID.BPB", bytes_of(token_without_flag), answer::invalid_content},
        {"/U/0/USERID.BPB", from_hex("0a"), answer::invalid_content},
        {"/U/7/USERID.BPB", from_hex("08 01"), answer::no_such_entry},
        // Other files are not the device's to check.
        {"/A/f.txt", from_hex("ff"), answer::ok},
    };
    for (const auto& c : cases) {
        device_model fresh;
        fresh.put_file("/A/f.txt", "hello");
        const auto before = fresh.file(c.path);
        EXPECT_EQ(fresh.file_operation(merge, c.path, c.payload).answer, c.answer) << c.path;
        if (c.answer != answer::ok) {
            EXPECT_EQ(fresh.file(c.path), before) << c.path;
        }
    }

    // Once the user directory exists the same merge goes through and reads
    // back as the merged message.
    const std::string seeded = *model.file("/U/UDB.BPB");
    model.make_directory("/U/1");
    ASSERT_EQ(model.file_operation(merge, "/U/UDB.BPB", bytes_of(user_one)).answer, answer::ok);
    EXPECT_EQ(model.file("/U/UDB.BPB"), seeded + bytes_of(user_one));
    EXPECT_EQ(parsed<data::PbUserDb>(*model.file("/U/UDB.BPB")).current_user_index(), 1u);
}

TEST(file_system_space, fragments_and_disk_full)
{
    device_profile p = device_profile::usb_device();
    p.fragment_size = 100;
    p.total_fragments = 10;
    device_model model(p);
    // The three seed files are small: one fragment each.
    ASSERT_EQ(model.disk().free_fragments, 7u);
    ASSERT_EQ(model.disk().fragment_size, 100u);

    struct step {
        int command;
        const char* path;
        std::size_t bytes;
        int answer;
        std::uint64_t free_after;
    };
    const step steps[] = {
        {put, "/a", 1, answer::ok, 6},
        {put, "/a", 0, answer::ok, 7},   // an empty file takes nothing
        {put, "/b", 101, answer::ok, 5}, // rounded up to whole fragments
        {put, "/c", 600, answer::disk_full, 5},
        {merge, "/b", 600, answer::disk_full, 5},
        {merge, "/b", 99, answer::ok, 5}, // 200 bytes still fit two fragments
        {put, "/c", 500, answer::ok, 0},
        {put, "/d", 1, answer::disk_full, 0},
        {put, "/c", 100, answer::ok, 4}, // shrinking always fits
        {remove, "/c", 0, answer::ok, 5},
    };
    for (const auto& s : steps) {
        const auto before = model.file(s.path);
        EXPECT_EQ(model.file_operation(s.command, s.path, std::string(s.bytes, 'x')).answer,
                  s.answer)
            << s.path << " " << s.bytes;
        if (s.answer != answer::ok) {
            EXPECT_EQ(model.file(s.path), before) << s.path;
        }
        EXPECT_EQ(model.disk().free_fragments, s.free_after) << s.path << " " << s.bytes;
    }

    // Space a clean-up can free counts as used until then.
    model.set_reclaimable_fragments(4);
    EXPECT_EQ(model.disk().free_fragments, 1u);
    EXPECT_EQ(model.file_operation(put, "/e", std::string(200, 'x')).answer, answer::disk_full);
}

TEST(file_system_content, tests_add_replace_remove_and_inspect)
{
    device_model model;
    model.put_file("/x/y/z.bin", std::string("\0\xff garbage", 10));
    EXPECT_TRUE(model.is_directory("/x/y"));
    EXPECT_EQ(model.file("/x/y/z.bin"), std::string("\0\xff garbage", 10));
    model.put_file("/DEVICE.BPB", "garbage");
    EXPECT_EQ(model.file("/DEVICE.BPB"), "garbage");
    EXPECT_TRUE(model.remove_entry("/x"));
    EXPECT_FALSE(model.remove_entry("/x"));
    EXPECT_FALSE(model.file("/x/y/z.bin"));
    EXPECT_THROW(model.put_file("relative", ""), std::invalid_argument);
    EXPECT_THROW(model.put_file("/DEVICE.BPB/x", ""), std::invalid_argument);
    EXPECT_THROW(model.make_directory("/DEVICE.BPB"), std::invalid_argument);

    model.restore_seed();
    EXPECT_FALSE(model.is_directory("/x"));
    EXPECT_NE(model.file("/DEVICE.BPB"), "garbage");
}

} // namespace
} // namespace zarvo::emulator
