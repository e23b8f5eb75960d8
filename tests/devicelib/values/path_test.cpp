#include "devicelib/values/path.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using zarvo::path;
using dotted = zarvo::basic_path<char, '.'>;
using dot_entry = zarvo::basic_entry<char, '.'>;
using slash_entry = zarvo::basic_entry<char, '/'>;

TEST(Path, Normalize)
{
    struct row {
        const char* in;
        const char* out;
    };
    const row rows[] = {
        {"", ""},
        {"/", "/"},
        {"///", "/"},
        {"/U/UDB.BPB", "/U/UDB.BPB"},
        {"U/UDB.BPB", "/U/UDB.BPB"},
        {"/U/", "/U"},
        {"//U//0/./", "/U/0"},
        {"/a/../b", "/a/../b"},
        {".", "."},
        {"./", "."},
        {"./a/./b", "./a/b"},
        {"/./a", "./a"},
        {"a/.", "/a"},
        {"/.", "."},
        {"..", "/.."},
        {"/.hidden/..x", "/.hidden/..x"},
    };
    for (const row& r : rows) {
        const std::string in = r.in;
        EXPECT_EQ(path::normalize(in), r.out) << '"' << r.in << '"';

        std::string in_place = r.in;
        std::string& same = path::normalize(in_place);
        EXPECT_EQ(&same, &in_place);
        EXPECT_EQ(in_place, r.out) << '"' << r.in << '"';

        path p(r.in);
        path& same_path = path::normalize(p);
        EXPECT_EQ(&same_path, &p);
        EXPECT_EQ(p.name(), r.out) << '"' << r.in << '"';

        const zarvo::basic_path<char, '/'> base(r.in);
        EXPECT_EQ(path::normalize(base).name(), r.out) << '"' << r.in << '"';
        EXPECT_EQ(base.name(), r.in); // the argument is left alone
    }
}

TEST(Path, ParentAndBasename)
{
    struct row {
        const char* text;
        const char* parent;
        const char* basename;
    };
    const row rows[] = {
        {"/a/b", "/a", "b"}, {"/a", "/", "a"},    {"/", "/", ""},  {"a", "", "a"},    {"", "", ""},
        {"/a/", "/a", ""},   {"a/b/", "a/b", ""}, {"//", "/", ""}, {"a/b", "a", "b"},
    };
    for (const row& r : rows) {
        const path p(r.text);
        EXPECT_EQ(p.parent().name(), r.parent) << r.text;
        EXPECT_EQ(p.basename().name(), r.basename) << r.text;
    }
}

TEST(Path, Append)
{
    struct row {
        const char* left;
        const char* right;
        const char* result;
    };
    const row rows[] = {
        {"a", "b", "a/b"},  {"a/", "b", "a/b"},   {"", "b", "b"},
        {"a", "/b", "a/b"}, {"a/", "/b", "a//b"}, {"a", "", "a"},
        {"/", "U", "/U"},   {"", "/b", "/b"},     {"/U", "0/X.BPB", "/U/0/X.BPB"},
    };
    for (const row& r : rows) {
        path by_text(r.left);
        by_text /= std::string(r.right);
        EXPECT_EQ(by_text.name(), r.result) << r.left << " /= " << r.right;

        path by_chars(r.left);
        EXPECT_EQ((by_chars /= r.right).name(), r.result) << r.left << " /= " << r.right;

        path by_path(r.left);
        by_path /= path(r.right);
        EXPECT_EQ(by_path.name(), r.result) << r.left << " /= " << r.right;
    }
    // An entry never carries the delimiter: only the left side is looked at.
    path p("/U");
    p /= zarvo::entry("0");
    p /= slash_entry("/x/UDB.BPB");
    EXPECT_EQ(p.name(), "/U/0/UDB.BPB");
    path q("/U/");
    q /= zarvo::entry("");
    EXPECT_EQ(q.name(), "/U/");
    path n("a");
    n /= static_cast<const char*>(nullptr);
    EXPECT_EQ(n.name(), "a");
}

TEST(Path, Predicates)
{
    struct row {
        const char* text;
        bool root, parent, absolute, entry;
    };
    const row rows[] = {
        {"", false, false, false, false}, {"/", true, false, true, false},
        {"//", false, true, true, false}, {"a", false, true, false, true},
        {"/a", false, true, true, false}, {"a/", false, true, false, false},
        {".", false, true, false, true},
    };
    for (const row& r : rows) {
        const path p(r.text);
        EXPECT_EQ(p.is_root(), r.root) << '"' << r.text << '"';
        EXPECT_EQ(p.has_parent(), r.parent) << '"' << r.text << '"';
        EXPECT_EQ(p.is_absolute(), r.absolute) << '"' << r.text << '"';
        EXPECT_EQ(p.is_relative(), !r.absolute) << '"' << r.text << '"';
        EXPECT_EQ(p.is_entry(), r.entry) << '"' << r.text << '"';
        EXPECT_EQ(p.empty(), *r.text == '\0');
    }
}

TEST(Path, DottedInstance)
{
    EXPECT_EQ(dotted::delimiter(), '.');
    const dotted p("settings.user.weight");
    EXPECT_EQ(p.parent().name(), "settings.user");
    EXPECT_EQ(p.basename().name(), "weight");
    EXPECT_TRUE(dotted(".").is_root());
    EXPECT_TRUE(dotted("a/b").is_entry()); // '/' is an ordinary character here
    EXPECT_FALSE(dotted("a.b").is_entry());
    dotted q("a");
    q /= "b";
    q /= dot_entry("x.y.c");
    EXPECT_EQ(q.name(), "a.b.c");
    EXPECT_EQ(dot_entry("/U/0.BPB").name(), "BPB");
}

TEST(Path, OrderIsBytewiseOnUnsignedBytes)
{
    const char* const ascending[] = {"",  ".",    "B",    "a",        "ab",  "b",
                                     "z", "\x7f", "\x80", "\xc3\xa4", "\xff"};
    const std::size_t n = sizeof ascending / sizeof *ascending;
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) {
            const path a(ascending[i]), b(ascending[j]);
            EXPECT_EQ(a < b, i < j) << i << ' ' << j;
            EXPECT_EQ(a > b, i > j) << i << ' ' << j;
            EXPECT_EQ(a <= b, i <= j) << i << ' ' << j;
            EXPECT_EQ(a >= b, i >= j) << i << ' ' << j;
            EXPECT_EQ(a == b, i == j) << i << ' ' << j;
            EXPECT_EQ(a != b, i != j) << i << ' ' << j;
            const zarvo::entry ea(ascending[i]), eb(ascending[j]);
            EXPECT_EQ(ea < eb, i < j) << i << ' ' << j;
        }
    }
}

TEST(Path, KeepsTextAsGiven)
{
    const path p("//U//0/");
    EXPECT_EQ(p.name(), "//U//0/");
    EXPECT_STREQ(p.c_str(), "//U//0/");
    const std::string& text = p;
    EXPECT_EQ(&text, &p.name());
    EXPECT_EQ(path(static_cast<const char*>(nullptr)).name(), "");
    path assigned;
    assigned = zarvo::basic_path<char, '/'>("x/y");
    EXPECT_EQ(assigned.name(), "x/y");
}

} // namespace
