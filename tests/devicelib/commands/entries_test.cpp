// Entry types over the parent's listing, for both connection kinds.
#include "tests/devicelib/commands/command_fixture.h"

#include <gtest/gtest.h>

#include <functional>

namespace zarvo::test {
namespace {

struct entry_case {
    const char* path;
    link_kind kind;
    std::string outcome; // "file", "directory" or the error's text
    std::size_t exchanges;
};

std::string outcome_of(session& s, const std::string& path)
{
    try {
        switch (s.entry_type(path)) {
        case entry::file:
            return "file";
        case entry::directory:
            return "directory";
        default:
            return "none";
        }
    } catch (const no_such_file_or_directory& e) {
        return "no such entry: " + e.path();
    } catch (const file_exists& e) {
        return "file exists: " + e.path();
    } catch (const invalid_parameter& e) {
        return std::string("invalid parameter: ") + e.what();
    }
}

TEST(entry_types, by_the_parents_listing)
{
    const auto usb = link_kind::usb_like;
    const auto net = link_kind::net_like;
    const entry_case cases[] = {
        {"/", usb, "directory", 0},
        {"/", net, "directory", 0},
        {"/U", usb, "directory", 1},
        {"/U/0/USERID.BPB", net, "file", 1},
        {"/DEVICE.BPB", usb, "file", 1},
        {"/missing", usb, "no such entry: /missing", 1},
        {"/U/missing", net, "no such entry: /U/missing", 1},
        // The parent is a file: the USB-like link refuses the listing.
        {"/DEVICE.BPB/x", usb, "file", 1},
        {"/DEVICE.BPB/x", net, "file exists: /DEVICE.BPB", 1},
        {"relative/x", usb, "invalid parameter: Invalid parameter 'path'.", 0},
        {"x", net, "invalid parameter: Invalid parameter 'path'.", 0},
    };
    for (const auto& c : cases) {
        command_fixture f(c.kind);
        EXPECT_EQ(outcome_of(f.session, c.path), c.outcome) << c.path;
        EXPECT_EQ(f.model->transcript().size(), c.exchanges) << c.path;
    }
}

TEST(entry_types, shorthands_and_root)
{
    command_fixture f;
    EXPECT_TRUE(f.session.is_directory("/U"));
    EXPECT_FALSE(f.session.is_file("/U"));
    EXPECT_TRUE(f.session.is_file("/U/UDB.BPB"));
    EXPECT_FALSE(f.session.is_directory("/U/UDB.BPB"));
    EXPECT_THROW(f.session.is_file("/nothing"), no_such_file_or_directory);

    std::set<entry> root{entry(entry::file, "stale")};
    f.session.root(root);
    ASSERT_EQ(root.size(), 2u);
    EXPECT_TRUE(root.begin()->is_file());
    EXPECT_EQ(root.begin()->name(), "DEVICE.BPB");
    EXPECT_TRUE(std::next(root.begin())->is_directory());
    EXPECT_EQ(f.model->transcript().at(0).path, "/");
}

} // namespace
} // namespace zarvo::test
