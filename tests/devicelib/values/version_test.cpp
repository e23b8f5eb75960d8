#include "devicelib/values/device_info.h"
#include "devicelib/values/version.h"
#include "tests/support/recording_logger.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using zarvo::version;
using zarvo::test::trace_fixture;

constexpr unsigned U = version::undefined();
const std::string cast_failure = "zarvo::version::version: Failed to parse version string: bad "
                                 "lexical cast: source type value could not be interpreted as "
                                 "target";

struct parse_row {
    std::string text;
    unsigned major, minor, patch;
    std::string specifier;
    int type;
    std::string string;
    bool traced;
};

void expect_parsed(const version& v, const parse_row& r, const std::string& how)
{
    const std::string at = how + " \"" + r.text + '"';
    EXPECT_EQ(v.major(), r.major) << at;
    EXPECT_EQ(v.minor(), r.minor) << at;
    EXPECT_EQ(v.patch(), r.patch) << at;
    EXPECT_EQ(v.specifier(), r.specifier) << at;
    EXPECT_EQ(v.type(), r.type) << at;
    EXPECT_EQ(v.string(), r.string) << at;
    EXPECT_EQ(static_cast<std::string>(v), r.string) << at;
    const bool empty = r.type == version::type_empty;
    EXPECT_EQ(v.is_empty(), empty) << at;
    EXPECT_EQ(v.is_stable(), !empty) << at;
    EXPECT_EQ(v.is_uninitialized(), empty && r.specifier.empty()) << at;
    EXPECT_EQ(v.is_branch(), r.type == version::type_branch) << at;
    EXPECT_EQ(v.is_latest(), r.type == version::type_latest) << at;
    EXPECT_EQ(v.is_obscure(), r.type == version::type_obscure) << at;
    EXPECT_EQ(v.is_rational(), r.type != version::type_obscure) << at;
}

using Version = trace_fixture;

TEST_F(Version, ParseTable)
{
    const int full = version::type_full, branch = version::type_branch,
              latest = version::type_latest, obscure = version::type_obscure,
              none = version::type_empty;
    const std::vector<parse_row> rows = {
        {"1.2.3-beta", 1, 2, 3, "beta", full, "1.2.3-beta", false},
        {"1.2", 1, 2, U, "", branch, "1.2", false},
        {"0", 0, U, U, "", latest, "0", false},
        {"5", 5, U, U, "", obscure, "5", false},
        {"0.0.0", 0, 0, 0, "", full, "0.0.0", false},
        {"1.2-rc-1", 1, 2, U, "rc-1", branch, "1.2-rc-1", false},
        {"1-", U, U, U, "", none, "", false},
        {"", U, U, U, "", none, "", false},
        {"abc", U, U, U, "", none, "", false},
        {"01", U, U, U, "", none, "", false},
        {"1.02", U, U, U, "", none, "", false},
        {"-1", U, U, U, "", none, "", false},
        {" 1", U, U, U, "", none, "", false},
        {"1.2\n", U, U, U, "", none, "", false},
        {"1.2.3.4", U, U, U, "", none, "", false},
        {"1.2.3.4-x", U, U, U, "", none, "", false},
        {"99999999999.1", U, U, U, "", none, "", true},
        {"1.99999999999", 1, U, U, "", obscure, "1", true},
        {"1.2.99999999999-x", 1, 2, U, "", branch, "1.2", true},
        {"4294967296", U, U, U, "", none, "", true},
        {"4294967295", U, U, U, "", none, "", false},
        {"4294967294", 4294967294u, U, U, "", obscure, "4294967294", false},
        {"1.2.4294967295", 1, 2, U, "", branch, "1.2", false},
        {"1.2-a\nb", 1, 2, U, "a\nb", branch, "1.2-a\nb", false},
        {"1.2-%s%n", 1, 2, U, "%s%n", branch, "1.2-%s%n", false},
    };
    for (const parse_row& r : rows) {
        for (bool as_chars : {false, true}) {
            log.clear();
            const version v = as_chars ? version(r.text.c_str()) : version(r.text);
            expect_parsed(v, r, as_chars ? "const char*" : "std::string");
            EXPECT_EQ(log.messages(), r.traced ? std::vector<std::string>{cast_failure}
                                               : std::vector<std::string>{})
                << r.text;
        }
    }
    // Only the text up to the first NUL counts.
    expect_parsed(version(std::string("1.2\0x", 5)), {"1.2\\0x", 1, 2, U, "", branch, "1.2", false},
                  "std::string");
    expect_parsed(version(static_cast<const char*>(nullptr)),
                  {"(null)", U, U, U, "", none, "", false}, "const char*");
}

TEST(VersionValue, NumbersAndSpecifier)
{
    EXPECT_TRUE(version().is_uninitialized());
    EXPECT_EQ(version(1, U, 3).string(), "1");
    EXPECT_EQ(version(1, U, 3).type(), version::type_obscure);
    EXPECT_EQ(version(U, 2, 3).type(), version::type_obscure);
    EXPECT_EQ(version(0, U, 3).type(), version::type_obscure);
    EXPECT_EQ(version(0u).type(), version::type_latest);
    EXPECT_EQ(version(0, 1).type(), version::type_branch);

    const version x(U, U, U, "x");
    EXPECT_EQ(x.string(), "");
    EXPECT_TRUE(x.is_empty());
    EXPECT_FALSE(x.is_stable());
    EXPECT_FALSE(x.is_uninitialized());

    const version a(1, 2, 3, "a"), b(1, 2, 3, "b");
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a != b);
    EXPECT_FALSE(a.match(b));
    EXPECT_TRUE(a.match(version("1.2.3-a")));
    EXPECT_FALSE(a.match(version(1, 2, 4, "a")));

    version v;
    v.major(4);
    v.minor(5);
    v.patch(6);
    v.specifier("rc");
    EXPECT_EQ(v.string(), "4.5.6-rc");
    v.minor(U);
    EXPECT_EQ(v.string(), "4-rc");
    EXPECT_EQ(version::undefined(), 4294967295u);
}

TEST(VersionValue, Ordering)
{
    const std::vector<version> versions = {
        version(),        version(0u),      version(0, 0, 0),      version(1),
        version(1, 2),    version(1, 2, 3), version(1, 2, 3, "b"), version(1, 3),
        version(1, U, 3), version(2, 0, 0), version(U, 0, 0),      version(1, 2, 4294967294u),
    };
    for (const version& a : versions) {
        for (const version& b : versions) {
            const std::string at = '"' + a.string() + "\" vs \"" + b.string() + '"';
            EXPECT_EQ((a < b) + (a == b) + (a > b), 1) << at;
            EXPECT_EQ(a <= b, a < b || a == b) << at;
            EXPECT_EQ(a >= b, a > b || a == b) << at;
            EXPECT_EQ(a<b, b> a) << at;
        }
    }
    // Undefined numbers sort above defined ones.
    EXPECT_LT(version(1, 2, 4294967294u), version(1, 2));
    EXPECT_LT(version(1, 5), version(1));
    EXPECT_LT(version(9, 9, 9), version());
    EXPECT_LT(version(1, 2, 3), version(1, 10, 0));        // numbers, not text
    EXPECT_LT(version(2147483648u), version(2147483649u)); // unsigned
}

TEST(DeviceInfo, HoldsWhatItIsGiven)
{
    const zarvo::device_info empty;
    EXPECT_EQ(empty.model(), "");
    EXPECT_TRUE(empty.bootloader().is_uninitialized());
    EXPECT_TRUE(empty.platform().is_uninitialized());
    EXPECT_TRUE(empty.firmware().is_uninitialized());

    zarvo::device_info info("Model X", version("1.0"), version("2.1.0"), version("3.4.5-b"), "red",
                            "slim");
    EXPECT_EQ(info.model(), "Model X");
    EXPECT_EQ(info.bootloader().string(), "1.0");
    EXPECT_EQ(info.platform().string(), "2.1.0");
    EXPECT_EQ(info.firmware().string(), "3.4.5-b");
    EXPECT_EQ(info.product_color(), "red");
    EXPECT_EQ(info.product_design(), "slim");
    info.firmware(version("4.0.0"));
    info.product_color("blue");
    EXPECT_EQ(info.firmware().string(), "4.0.0");
    EXPECT_EQ(info.product_color(), "blue");
}

} // namespace
