// Directory listings as the device sends them, well-formed or not.

#include "tests/devicelib/usb/connection_fixture.h"

#include "devicelib/errors/errors.h"
#include "devicelib/proto/zftp_response.pb.h"

#include <gtest/gtest.h>

#include <set>

namespace zarvo::test {
namespace {

using model::command;

std::string listing_of(const std::vector<std::pair<std::string, std::uint64_t>>& names)
{
    protocol::PbZFtpDirectory directory;
    for (const auto& [name, size] : names) {
        auto* e = directory.add_entries();
        e->set_name(name);
        e->set_size(size);
    }
    return serialized(directory);
}

const entry* find(const std::set<entry>& entries, const std::string& name)
{
    const auto it = entries.find(entry(entry::file, name));
    return it == entries.end() ? nullptr : &*it;
}

TEST_F(hid_connection_test, listing_gives_directories_and_files)
{
    device_model.make_directory("/DAILY");
    device_model.put_file("/A.BPB", std::string(120, 'a'));
    std::set<entry> entries;
    ASSERT_TRUE(link->fetch("/", entries));
    const entry* daily = find(entries, "DAILY");
    ASSERT_TRUE(daily);
    EXPECT_TRUE(daily->is_directory());
    const entry* file = find(entries, "A.BPB");
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->is_file());
    EXPECT_EQ(file->size(), 120u);
    EXPECT_EQ(file->modified(), 0);
    EXPECT_EQ(file->created(), 0);
    EXPECT_EQ(file->touched(), 0);
}

TEST_F(hid_connection_test, duplicated_names_appear_once)
{
    device_model.script_answer(model::match::file(command::get, "/X/"), 0, 1,
                               listing_of({{"A.BPB", 1}, {"A.BPB", 2}, {"A.BPB/", 0}}));
    std::set<entry> entries;
    ASSERT_TRUE(link->fetch("/X", entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries.begin()->size(), 1u);
}

// Names from the device later become host paths: the unsafe ones are
// skipped with a trace each, the rest of the listing stays.
TEST_F(hid_connection_test, malformed_names_are_skipped)
{
    const std::vector<std::string> bad{"",
                                       "/",
                                       ".",
                                       "..",
                                       "./",
                                       "../",
                                       "a/b",
                                       "a/b/",
                                       std::string("a\0b", 3),
                                       std::string("d\0/", 3)};
    std::vector<std::pair<std::string, std::uint64_t>> names{{"GOOD.BPB", 7}};
    for (const auto& name : bad)
        names.emplace_back(name, 1);
    names.emplace_back("DIR/", 0);
    device_model.script_answer(model::match::file(command::get, "/X/"), 0, 1, listing_of(names));

    std::set<entry> entries;
    ASSERT_TRUE(link->fetch("/X", entries));
    ASSERT_EQ(entries.size(), 2u);
    ASSERT_TRUE(find(entries, "GOOD.BPB"));
    EXPECT_EQ(find(entries, "GOOD.BPB")->size(), 7u);
    ASSERT_TRUE(find(entries, "DIR"));
    EXPECT_TRUE(find(entries, "DIR")->is_directory());
    EXPECT_EQ(trace_count("zarvo::core::insert_listing"), static_cast<int>(bad.size()));
}

TEST_F(hid_connection_test, unparsable_listing_is_a_bad_response)
{
    device_model.script_answer(model::match::file(command::get, "/X/"), 0, 1,
                               std::string("\x0a\x05\x0a", 3));
    std::set<entry> entries{entry(entry::file, "KEPT")};
    try {
        link->fetch("/X", entries);
        FAIL() << "listing accepted";
    } catch (const zarvo::bad_response& e) {
        EXPECT_STREQ(e.what(),
                     zarvo::bad_response("Failed to parse directory information.").what());
    }
    EXPECT_EQ(entries.size(), 1u);
}

} // namespace
} // namespace zarvo::test
