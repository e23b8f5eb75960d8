#include "devicelib/values/path.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

using zarvo::entry;
using slash_entry = zarvo::basic_entry<char, '/'>;

TEST(Entry, KeepsTheTextAfterTheLastDelimiter)
{
    struct row {
        const char* text;
        const char* name;
    };
    const row rows[] = {
        {"/U/0/USERID.BPB", "USERID.BPB"}, {"dir/", ""}, {"name", "name"}, {"", ""}, {"/", ""},
    };
    for (const row& r : rows) {
        EXPECT_EQ(slash_entry(r.text).name(), r.name) << r.text;
        EXPECT_EQ(slash_entry(std::string(r.text)).name(), r.name) << r.text;
        EXPECT_EQ(entry(entry::file, r.text, 1).name(), r.name) << r.text;
        EXPECT_EQ(entry(entry::file, std::string(r.text), 1).name(), r.name) << r.text;
    }
    // Callers strip a trailing '/' themselves.
    EXPECT_TRUE(entry(entry::directory, "dir/", 0).empty());
}

TEST(Entry, ConstructorsStoreWhatTheyAreGiven)
{
    const entry bare("a");
    EXPECT_EQ(bare.type(), entry::none);
    EXPECT_FALSE(bare.has_type());
    EXPECT_EQ(bare.size(), 0u);

    const entry dir(entry::directory, "U");
    EXPECT_TRUE(dir.is_directory());
    EXPECT_FALSE(dir.is_file());
    EXPECT_TRUE(dir.has_type());

    const entry sized(entry::file, std::string("/X.BPB"), 18446744073709551615ull);
    EXPECT_TRUE(sized.is_file());
    EXPECT_EQ(sized.name(), "X.BPB");
    EXPECT_EQ(sized.size(), 18446744073709551615ull);
    EXPECT_EQ(sized.modified(), 0);

    const entry modified_only(entry::file, "f", 5, -7);
    EXPECT_EQ(modified_only.modified(), -7);
    EXPECT_EQ(modified_only.touched(), 0);
    EXPECT_EQ(modified_only.created(), 0);

    // (type, name, size, created, touched, modified)
    const entry all(entry::file, slash_entry("f"), 9, 100, 200, 300);
    EXPECT_EQ(all.created(), 100);
    EXPECT_EQ(all.touched(), 200);
    EXPECT_EQ(all.modified(), 300);
    EXPECT_EQ(all.size(), 9u);

    const entry copy(all);
    EXPECT_EQ(copy.created(), 100);
    EXPECT_EQ(copy.touched(), 200);
    EXPECT_EQ(copy.modified(), 300);
    EXPECT_EQ(copy.type(), entry::file);
    EXPECT_EQ(static_cast<int>(entry::none), 0);
    EXPECT_EQ(static_cast<int>(entry::directory), 1);
    EXPECT_EQ(static_cast<int>(entry::file), 2);
}

TEST(Entry, AssigningABareEntryResetsTypeSizeAndTimes)
{
    entry e(entry::file, "old", 9, 1, 2, 3);
    e = slash_entry("/x/new");
    EXPECT_EQ(e.name(), "new");
    EXPECT_EQ(e.type(), entry::none);
    EXPECT_EQ(e.size(), 0u);
    EXPECT_EQ(e.created(), 0);
    EXPECT_EQ(e.touched(), 0);
    EXPECT_EQ(e.modified(), 0);

    entry f;
    f = entry(entry::directory, "d", 0, 4, 5, 6);
    EXPECT_TRUE(f.is_directory());
    EXPECT_EQ(f.touched(), 5);
}

TEST(Entry, ComparesByNameOnly)
{
    EXPECT_EQ(entry(entry::file, "a", 1), entry(entry::directory, "a", 2));
    std::set<entry> listing;
    listing.insert(entry(entry::file, "b", 1));
    listing.insert(entry(entry::directory, "b", 0));
    listing.insert(entry(entry::file, "B", 1));
    listing.insert(entry(entry::file, "a", 1));
    ASSERT_EQ(listing.size(), 3u);
    auto it = listing.begin();
    EXPECT_EQ((it++)->name(), "B");
    EXPECT_EQ((it++)->name(), "a");
    EXPECT_EQ(it->name(), "b");
    EXPECT_TRUE(it->is_file()); // the first one inserted stays
}

} // namespace
