// Validators built straight from table entries: limits, expressions,
// property reading and their reports.
#include "devicelib/introspection/errors.h"
#include "devicelib/introspection/literal_validator.h"
#include "devicelib/introspection/numeric_validator.h"
#include "tests/devicelib/introspection/recording_auditor.h"
#include "tests/devicelib/introspection/thrown.h"

#include <boost/property_tree/json_parser.hpp>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <memory>
#include <sstream>

namespace zarvo::test {
namespace {

using introspection::auditor;
using introspection::default_auditor;
using introspection::literal_validator;
using introspection::numeric_validator;
namespace detail = introspection::detail;
namespace issue = introspection::issue;

detail::properties entry_of(const std::string& json)
{
    std::istringstream in(json);
    detail::properties entry;
    boost::property_tree::read_json(in, entry);
    return entry;
}

template <typename V>
std::unique_ptr<V> build(int type, const std::string& json, auditor& audit, unsigned& flags)
{
    auto entry = entry_of(json);
    auto built = std::make_unique<V>(type, "f", "T", entry, audit, flags);
    EXPECT_TRUE(entry.empty()) << "every property read is erased";
    return built;
}

template <typename V>
std::unique_ptr<V> build(int type, const std::string& json)
{
    recording_auditor accept_all;
    unsigned flags = 0;
    return build<V>(type, json, accept_all, flags);
}

// min and max pass, one step outside either is reported with the limits.
template <typename T>
void expect_inclusive(int type, const char* json, T low, T high, T step, const char* limits)
{
    SCOPED_TRACE(json);
    const auto check = build<numeric_validator<T>>(type, json);
    ASSERT_EQ(check->minimum(), low);
    ASSERT_EQ(check->maximum(), high);
    recording_auditor audit;
    EXPECT_EQ(check->check(low, "f", audit, 0), 0u);
    EXPECT_EQ(check->check(high, "f", audit, 0), 0u);
    EXPECT_TRUE(audit.calls.empty());
    EXPECT_EQ(check->check(T(low - step), "f", audit, 0), issue::limit_exceeded);
    EXPECT_EQ(check->check(T(high + step), "f", audit, 0x1), 0x1 | issue::limit_exceeded);
    ASSERT_EQ(audit.calls.size(), 2u);
    EXPECT_NE(audit.calls[0].find(limits), std::string::npos) << audit.calls[0];
    EXPECT_THROW(check->check(T(high + step), "f", default_auditor(), 0),
                 introspection::limit_exceeded);
}

TEST(Validator, BoundsAreInclusiveForEveryKind)
{
    expect_inclusive<int>(1, R"({"min": -5, "max": 7})", -5, 7, 1, "f, T, -5, 7)");
    expect_inclusive<long long>(2, R"({"min": -5000000000, "max": 5000000000})", -5000000000LL,
                                5000000000LL, 1, "f, T, -5000000000, 5000000000)");
    expect_inclusive<unsigned int>(3, R"({"min": 3, "max": 9})", 3u, 9u, 1u, "f, T, 3, 9)");
    expect_inclusive<unsigned long long>(4, R"({"min": 3, "max": 10000000000})", 3ULL,
                                         10000000000ULL, 1ULL, "f, T, 3, 10000000000)");
    expect_inclusive<double>(5, R"({"min": -0.25, "max": 0.75})", -0.25, 0.75, 0.25,
                             "f, T, -0.25, 0.75)");
    expect_inclusive<float>(6, R"({"min": -1.5, "max": 2.5})", -1.5f, 2.5f, 0.5f,
                            "f, T, -1.5, 2.5)");

    const auto text = build<literal_validator>(9, R"({"min": 2, "max": 4})");
    recording_auditor audit;
    EXPECT_EQ(text->check(std::string("ab"), "f", audit, 0), 0u);
    EXPECT_EQ(text->check(std::string("abcd"), "f", audit, 0), 0u);
    EXPECT_EQ(text->check(std::string("a"), "f", audit, 0), issue::limit_exceeded);
    EXPECT_EQ(text->check(std::string("abcde"), "f", audit, 0), issue::limit_exceeded);
    EXPECT_EQ(audit.calls, (std::vector<std::string>{"limit_exceeded(a, f, T, 2, 4)",
                                                     "limit_exceeded(abcde, f, T, 2, 4)"}));
}

TEST(Validator, StringLengthsCountBytes)
{
    const auto text = build<literal_validator>(9, R"({"min": 4, "max": 10})");
    EXPECT_EQ(text->check(std::string("\xC3\xA9\xC3\xA9"), "f", default_auditor(), 0), 0u);
    const auto e = thrown<introspection::limit_exceeded>(
        [&] { text->check(std::string("abc"), "s", default_auditor(), 0); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->string_value(), "abc");
    EXPECT_EQ(e->minimum<unsigned int>(), 4u);
    EXPECT_EQ(e->maximum<unsigned int>(), 10u);
    EXPECT_EQ(e->path(), "s");
}

TEST(Validator, HourOnUint32)
{
    const auto hour = build<numeric_validator<unsigned int>>(3, R"({"min": 0, "max": 23})");
    EXPECT_EQ(hour->check(23u, "hour", default_auditor(), 0), 0u);
    const auto e = thrown<introspection::limit_exceeded>(
        [&] { hour->check(24u, "hour", default_auditor(), 0); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->minimum<unsigned int>(), 0u);
    EXPECT_EQ(e->maximum<unsigned int>(), 23u);
    EXPECT_STREQ(e->what(),
                 "uint32 value 24 at 'hour' exceeds range from 0 to 23 allowed by type T.");
}

TEST(Validator, EmptyEntryReportsEachMissingPropertyInOrderAndKeepsDefaults)
{
    recording_auditor audit;
    unsigned flags = 0;
    const auto whole = build<numeric_validator<int>>(1, "{}", audit, flags);
    EXPECT_EQ(audit.calls,
              (std::vector<std::string>{"missing_unit(1, f, T)", "missing_minimum(1, f, T)",
                                        "missing_maximum(1, f, T)", "missing_regex(1, f, T)",
                                        "missing_precision(1, f, T)"}));
    EXPECT_EQ(flags, 0x3Eu);
    EXPECT_EQ(whole->minimum(), INT_MIN);
    EXPECT_EQ(whole->maximum(), INT_MAX);
    EXPECT_EQ(whole->precision(), 0);
    EXPECT_EQ(whole->unit(), "");
    EXPECT_TRUE(whole->expression().empty());

    const auto real = build<numeric_validator<float>>(6, "{}");
    EXPECT_EQ(real->minimum(), std::numeric_limits<float>::lowest());
    EXPECT_EQ(real->maximum(), std::numeric_limits<float>::max());
    const auto wide = build<numeric_validator<unsigned long long>>(4, "{}");
    EXPECT_EQ(wide->minimum(), 0u);
    EXPECT_EQ(wide->maximum(), ULLONG_MAX);

    audit.calls.clear();
    flags = 0;
    const auto text = build<literal_validator>(9, "{}", audit, flags);
    EXPECT_EQ(audit.calls,
              (std::vector<std::string>{"missing_unit(9, f, T)", "missing_minimum(9, f, T)",
                                        "missing_maximum(9, f, T)", "missing_regex(9, f, T)"}));
    EXPECT_EQ(text->minimum(), 0u);
    EXPECT_EQ(text->maximum(), UINT_MAX);
}

TEST(Validator, RefusedMissingPropertyThrowsItsError)
{
    introspection::custom_auditor refuse_all(0);
    unsigned flags = 0;
    EXPECT_THROW(build<numeric_validator<int>>(1, "{}", refuse_all, flags),
                 introspection::missing_unit);
    EXPECT_THROW(build<numeric_validator<int>>(1, R"({"unit": "h"})", refuse_all, flags),
                 introspection::missing_minimum);
    EXPECT_THROW(
        build<numeric_validator<int>>(1, R"({"unit": "h", "min": 1, "max": 2})", refuse_all, flags),
        introspection::missing_regex);
    EXPECT_EQ(flags, 0u);
}

TEST(Validator, PropertyTextsReadAsWholeNumbers)
{
    struct row {
        const char* text;
        bool as_int;
        bool as_double;
    };
    const row rows[] = {
        {" 7 ", true, true},   {"7", true, true},      {"+7", true, true},
        {"-7", true, true},    {"7x", false, false},   {"0.0", false, true},
        {"1e3", false, true},  {"", false, false},     {"7 7", false, false},
        {"0,5", false, false}, {"1.000", false, true}, {"99999999999", false, true},
    };
    for (const auto& r : rows) {
        int whole = 42;
        double real = 42;
        EXPECT_EQ(detail::read_number(r.text, whole), r.as_int) << "'" << r.text << "'";
        EXPECT_EQ(detail::read_number(r.text, real), r.as_double) << "'" << r.text << "'";
        if (!r.as_int) {
            EXPECT_EQ(whole, 42) << "'" << r.text << "'";
        }
    }
    int whole = 0;
    ASSERT_TRUE(detail::read_number(" 7 ", whole));
    EXPECT_EQ(whole, 7);
}

TEST(Validator, UnreadableMinimumIsReportedWithItsText)
{
    unsigned flags = 0;
    const auto e = thrown<introspection::bad_minimum>([&] {
        build<numeric_validator<int>>(1, R"({"min": 0.0, "max": 5})", default_auditor(), flags);
    });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->data(), "0.0");
    EXPECT_EQ(e->key(), "min");
    recording_auditor audit;
    const auto check = build<numeric_validator<int>>(1, R"({"min": 0.0, "max": 5})", audit, flags);
    EXPECT_EQ(check->minimum(), INT_MIN);
    EXPECT_EQ(check->maximum(), 5);
    EXPECT_EQ(audit.calls_to("bad_minimum"),
              (std::vector<std::string>{"bad_minimum(1, f, T, 0.0)"}));
    EXPECT_TRUE(flags & issue::bad_minimum);

    // An object in place of a value has no usable text.
    audit.calls.clear();
    build<numeric_validator<int>>(1, R"({"unit": {"a": 1}, "max": [1]})", audit, flags);
    EXPECT_EQ(audit.calls_to("bad_unit"), (std::vector<std::string>{"bad_unit(1, f, T, )"}));
    EXPECT_EQ(audit.calls_to("bad_maximum"), (std::vector<std::string>{"bad_maximum(1, f, T, )"}));
}

TEST(Validator, ExpressionMustMatchTheWholeText)
{
    const auto digits = build<numeric_validator<float>>(6, R"({"regex": "[0-9]+"})");
    recording_auditor audit;
    EXPECT_EQ(digits->check(15.0f, "f", audit, 0), 0u);
    EXPECT_EQ(digits->check(1.5f, "f", audit, 0), issue::regex_mismatch);
    EXPECT_EQ(audit.calls, (std::vector<std::string>{"regex_mismatch(1.5, f, T, [0-9]+)"}));
    EXPECT_THROW(digits->check(1.5f, "f", default_auditor(), 0), introspection::regex_mismatch);

    const auto one = build<numeric_validator<int>>(1, R"({"regex": "1"})");
    EXPECT_EQ(one->check(1, "f", default_auditor(), 0), 0u);
    EXPECT_THROW(one->check(12, "f", default_auditor(), 0), introspection::regex_mismatch);

    const auto text = build<literal_validator>(9, R"({"regex": "a+"})");
    EXPECT_EQ(text->check(std::string("aaa"), "f", default_auditor(), 0), 0u);
    EXPECT_THROW(text->check(std::string("aab"), "f", default_auditor(), 0),
                 introspection::regex_mismatch);
}

TEST(Validator, RangeAndExpressionAreBothReportedInOneCheck)
{
    const auto check =
        build<numeric_validator<float>>(6, R"({"min": 0, "max": 10, "regex": "[0-9]+"})");
    recording_auditor audit;
    EXPECT_EQ(check->check(12.5f, "f", audit, 0), issue::limit_exceeded | issue::regex_mismatch);
    EXPECT_EQ(audit.calls, (std::vector<std::string>{"limit_exceeded(12.5, f, T, 0, 10)",
                                                     "regex_mismatch(12.5, f, T, [0-9]+)"}));
}

TEST(Validator, ExpressionThatDoesNotCompileIsABadRegex)
{
    unsigned flags = 0;
    const auto e = thrown<introspection::bad_regex>(
        [&] { build<numeric_validator<int>>(1, R"({"regex": "(["})", default_auditor(), flags); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->data(), "([");
    recording_auditor audit;
    const auto check = build<numeric_validator<int>>(1, R"({"regex": "(["})", audit, flags);
    EXPECT_TRUE(check->expression().empty());
    EXPECT_EQ(audit.calls_to("bad_regex"), (std::vector<std::string>{"bad_regex(1, f, T, ([)"}));
    EXPECT_EQ(check->check(12, "f", audit, 0), 0u);
}

TEST(Validator, OtherValueTypesAreTypeMismatches)
{
    const auto hour = build<numeric_validator<unsigned int>>(3, R"({"min": 0, "max": 23})");
    recording_auditor audit;
    EXPECT_EQ(hour->check(5, "f", audit, 0x8), 0x8 | issue::type_mismatch);
    EXPECT_EQ(hour->check(std::string("5"), "f", audit, 0), issue::type_mismatch);
    EXPECT_EQ(hour->check(5.0, "f", audit, 0), issue::type_mismatch);
    EXPECT_EQ(audit.calls,
              (std::vector<std::string>{"type_mismatch(1, 3, f, T)", "type_mismatch(9, 3, f, T)",
                                        "type_mismatch(5, 3, f, T)"}));
    const auto e =
        thrown<introspection::type_mismatch>([&] { hour->check(5, "f", default_auditor(), 0); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->data_type(), 1);
    EXPECT_EQ(e->expected_type(), 3);
}

// Negative table limits on unsigned fields read as 0 and never wrap round.
TEST(Validator, NegativeMinimumOnUnsignedTypesReadsAsZero)
{
    const auto power = build<numeric_validator<unsigned int>>(3, R"({"min": -2000, "max": 2000})");
    EXPECT_EQ(power->minimum(), 0u);
    EXPECT_EQ(power->check(0u, "f", default_auditor(), 0), 0u);
    EXPECT_EQ(power->check(2000u, "f", default_auditor(), 0), 0u);
    const auto e = thrown<introspection::limit_exceeded>(
        [&] { power->check(2001u, "f", default_auditor(), 0); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->minimum<unsigned int>(), 0u);
    EXPECT_EQ(e->maximum<unsigned int>(), 2000u);

    const auto wide =
        build<numeric_validator<unsigned long long>>(4, R"({"min": -2000, "max": 2000})");
    EXPECT_EQ(wide->minimum(), 0u);
    EXPECT_EQ(wide->check(2000ULL, "f", default_auditor(), 0), 0u);
    EXPECT_THROW(wide->check(2001ULL, "f", default_auditor(), 0), introspection::limit_exceeded);

    const auto text = build<literal_validator>(9, R"({"min": -1, "max": 3})");
    EXPECT_EQ(text->minimum(), 0u);
    EXPECT_EQ(text->check(std::string(), "f", default_auditor(), 0), 0u);
    EXPECT_THROW(text->check(std::string("abcd"), "f", default_auditor(), 0),
                 introspection::limit_exceeded);

    // Whatever is not a negative integer stays unreadable.
    recording_auditor audit;
    unsigned flags = 0;
    build<numeric_validator<unsigned int>>(3, R"({"min": -0.5})", audit, flags);
    EXPECT_EQ(audit.calls_to("bad_minimum"),
              (std::vector<std::string>{"bad_minimum(3, f, T, -0.5)"}));
}

TEST(Validator, NegativeMaximumOrPrecisionOnUnsignedTypesIsUnreadable)
{
    unsigned flags = 0;
    EXPECT_THROW(build<numeric_validator<unsigned int>>(3, R"({"min": 0, "max": -1})",
                                                        default_auditor(), flags),
                 introspection::bad_maximum);
    EXPECT_THROW(build<numeric_validator<unsigned long long>>(4, R"({"min": 0, "max": -1})",
                                                              default_auditor(), flags),
                 introspection::bad_maximum);
    EXPECT_THROW(build<literal_validator>(9, R"({"min": 0, "max": -1})", default_auditor(), flags),
                 introspection::bad_maximum);
    EXPECT_THROW(
        build<numeric_validator<unsigned int>>(
            3, R"({"min": 0, "max": 1, "regex": "1", "precision": -1})", default_auditor(), flags),
        introspection::bad_precision);

    recording_auditor audit;
    const auto check = build<numeric_validator<unsigned int>>(3, R"({"max": -1})", audit, flags);
    EXPECT_EQ(check->maximum(), UINT_MAX);
    EXPECT_EQ(audit.calls_to("bad_maximum"),
              (std::vector<std::string>{"bad_maximum(3, f, T, -1)"}));
}

TEST(Validator, NotANumberAndInfinitiesExceedTheLimits)
{
    const auto real = build<numeric_validator<double>>(5, R"({"min": -1, "max": 1})");
    const auto single = build<numeric_validator<float>>(6, R"({"min": -1, "max": 1})");
    recording_auditor audit;
    EXPECT_EQ(real->check(std::nan(""), "f", audit, 0), issue::limit_exceeded);
    EXPECT_EQ(single->check(std::nanf(""), "f", audit, 0), issue::limit_exceeded);
    EXPECT_EQ(audit.calls, (std::vector<std::string>{"limit_exceeded(nan, f, T, -1, 1)",
                                                     "limit_exceeded(nan, f, T, -1, 1)"}));
    const auto e = thrown<introspection::limit_exceeded>(
        [&] { real->check(std::nan(""), "f", default_auditor(), 0); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->string_value(), "nan");
    EXPECT_EQ(e->minimum<double>(), -1.0);
    EXPECT_EQ(e->maximum<double>(), 1.0);

    // Also against the widest limits: NaN and the infinities lie outside.
    const auto open = build<numeric_validator<double>>(5, "{}");
    const auto open_single = build<numeric_validator<float>>(6, "{}");
    const double inf = std::numeric_limits<double>::infinity();
    const float inf_single = std::numeric_limits<float>::infinity();
    for (const double value : {std::nan(""), inf, -inf})
        EXPECT_THROW(open->check(value, "f", default_auditor(), 0), introspection::limit_exceeded)
            << value;
    for (const float value : {std::nanf(""), inf_single, -inf_single})
        EXPECT_THROW(open_single->check(value, "f", default_auditor(), 0),
                     introspection::limit_exceeded)
            << value;
    EXPECT_EQ(open->check(std::numeric_limits<double>::max(), "f", default_auditor(), 0), 0u);
}

} // namespace
} // namespace zarvo::test
