#include "devicelib/introspection/entry.h"
#include "devicelib/introspection/path.h"

#include <gtest/gtest.h>

#include <boost/lexical_cast.hpp>

#include <string>
#include <thread>
#include <vector>

namespace zi = zarvo::introspection;

namespace {

constexpr unsigned int none = 0xFFFFFFFFU;

struct entry_row {
    zi::entry entry;
    std::string text;
    bool is_array;
    unsigned int index;
    std::string array;
};

struct path_row {
    zi::path path;
    std::string text;
    bool is_array;
    unsigned int index;
    std::string array;
    std::string parent;
};

} // namespace

TEST(FieldEntry, ArraySyntax)
{
    const std::vector<entry_row> rows = {
        {zi::entry("values[3]"), "values[3]", true, 3, "values"},
        {zi::entry("values"), "values", false, none, "values"},
        {zi::entry("values[0]"), "values[0]", true, 0, "values"},
        {zi::entry("values[03]"), "values[03]", false, none, "values"},
        {zi::entry("values[-1]"), "values[-1]", false, none, "values"},
        {zi::entry("values[]"), "values[]", false, none, "values"},
        {zi::entry("values[3] "), "values[3] ", false, none, "values"},
        {zi::entry("values[+3]"), "values[+3]", false, none, "values"},
        {zi::entry("a[1][2]"), "a[1][2]", true, 2, "a[1]"},
        {zi::entry("[7]"), "[7]", true, 7, ""},
        {zi::entry("x.y[1]"), "y[1]", true, 1, "y"},
        {zi::entry(std::string("x.y[1]")), "y[1]", true, 1, "y"},
        {zi::entry("date", 4), "date[4]", true, 4, "date"},
        {zi::entry("a.b", 4), "b[4]", true, 4, "b"},
        {zi::entry(std::string("a.b"), 4), "b[4]", true, 4, "b"},
        {zi::entry(zarvo::basic_entry<char, '.'>("c"), 0), "c[0]", true, 0, "c"},
        {zi::entry("v[4294967295]"), "v[4294967295]", true, 0xFFFFFFFFU, "v"},
        {zi::entry(), "", false, none, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(row.entry.name(), row.text);
        EXPECT_EQ(row.entry.is_array(), row.is_array);
        EXPECT_EQ(row.entry.index(), row.index);
        EXPECT_EQ(row.entry.array().name(), row.array);
    }
    EXPECT_EQ(zi::entry::invalid_index(), none);
    EXPECT_EQ(zi::entry("values[3]").at(7).name(), "values[7]");
    EXPECT_EQ(zi::entry("values")[0].name(), "values[0]");
    EXPECT_EQ(zi::entry("a[1][2]").at(5).name(), "a[1][5]");
}

TEST(FieldEntry, IndexBeyondThirtyTwoBitsRaisesTheLexicalCastError)
{
    for (const char* text : {"v[12345678901]", "v[4294967296]"}) {
        const zi::entry big(text);
        EXPECT_TRUE(big.is_array()) << text;
        EXPECT_THROW((void)big.index(), boost::bad_lexical_cast) << text;
        EXPECT_THROW((void)zi::path(std::string("a.") + text).index(), boost::bad_lexical_cast);
    }
}

TEST(FieldEntry, CopiesAndAssignment)
{
    const zarvo::basic_entry<char, '.'> base("a.b[2]");
    zi::entry e(base);
    EXPECT_EQ(e.index(), 2U);
    e = zi::entry("c");
    EXPECT_EQ(e.name(), "c");
    e = base;
    EXPECT_EQ(e.name(), "b[2]");
    EXPECT_EQ(zi::entry(e).name(), "b[2]");
}

TEST(FieldPath, ArraySyntax)
{
    const std::vector<path_row> rows = {
        {zi::path("entries[2].name"), "entries[2].name", false, none, "entries[2].name",
         "entries[2]"},
        {zi::path("entries[2]"), "entries[2]", true, 2, "entries", ""},
        {zi::path("a.b[2]"), "a.b[2]", true, 2, "a.b", "a"},
        {zi::path("b[2]"), "b[2]", true, 2, "b", ""},
        {zi::path(".b[2]"), ".b[2]", true, 2, ".b", "."},
        {zi::path("a.b"), "a.b", false, none, "a.b", "a"},
        {zi::path("x", 5), "x[5]", true, 5, "x", ""},
        {zi::path(std::string("a.b"), 0), "a.b[0]", true, 0, "a.b", "a"},
        {zi::path(zarvo::basic_path<char, '.'>("a[1].b[2]"), 3), "a[1].b[2][3]", true, 3,
         "a[1].b[2]", "a[1]"},
        {zi::path(), "", false, none, "", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(row.path.name(), row.text);
        EXPECT_EQ(row.path.is_array(), row.is_array);
        EXPECT_EQ(row.path.index(), row.index);
        EXPECT_EQ(row.path.array().name(), row.array);
        EXPECT_EQ(row.path.parent().name(), row.parent);
    }
    EXPECT_EQ(zi::path::invalid_index(), none);
    EXPECT_EQ(zi::path("a.b").at(1).name(), "a.b[1]");
    EXPECT_EQ(zi::path("a.b[7]")[1].name(), "a.b[1]");
    EXPECT_EQ(zi::path("b[2]").at(0).name(), "b[0]");
}

TEST(FieldPath, Joins)
{
    const zi::entry name("name");
    // The four rules: empty right, empty left, a '.' already there, else one '.'.
    EXPECT_EQ(zi::path("msg") / zi::entry(), "msg");
    EXPECT_EQ(zi::path("msg") / std::string(), "msg");
    EXPECT_EQ(zi::path() / name, "name");
    EXPECT_EQ(std::string() / name, "name");
    EXPECT_EQ(zi::path("msg.") / name, "msg.name");
    EXPECT_EQ(zi::path("msg") / ".name", "msg.name");
    EXPECT_EQ(zi::path("msg.") / ".name", "msg..name");
    EXPECT_EQ(zi::path("msg") / name, "msg.name");
    EXPECT_EQ("msg" / name, "msg.name");
    EXPECT_EQ(std::string("a.b") / zi::entry("c", 1), "a.b.c[1]");
    EXPECT_EQ(zi::path("a") / std::string("b.c"), "a.b.c");

    zi::path joined("a");
    joined /= zi::entry("b");
    joined /= std::string("c[1]");
    joined /= "d";
    joined /= zi::path("e.f");
    EXPECT_EQ(joined.name(), "a.b.c[1].d.e.f");
    EXPECT_EQ((zi::path("a") /= "").name(), "a");
}

TEST(FieldPath, IndexFromManyThreads)
{
    std::vector<std::thread> threads;
    std::vector<unsigned int> sums(8, 0);
    for (unsigned int t = 0; t < sums.size(); ++t) {
        threads.emplace_back([t, &sums] {
            for (unsigned int i = 0; i < 2000; ++i)
                sums[t] += zi::path("list", i).index() == i ? 1 : 0;
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (unsigned int sum : sums)
        EXPECT_EQ(sum, 2000U);
}
