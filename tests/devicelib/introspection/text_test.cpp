#include "devicelib/introspection/errors.h"
#include "tests/devicelib/introspection/describe.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

namespace zi = zarvo::introspection;
using zarvo::test::describe;

namespace {

const std::runtime_error cause("cause");

struct text_row {
    std::string label;
    std::function<std::string()> text;
    std::string expected;
};

#define TEXT_ROW(construction, expected)                                                           \
    text_row                                                                                       \
    {                                                                                              \
#construction, [] { return std::string(zi::construction.what()); }, expected               \
    }

using properties = zi::unsupported_properties::property_map;

constexpr float float_nan = std::numeric_limits<float>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

} // namespace

TEST(IntrospectionErrorText, EveryTextVerbatim)
{
    const std::vector<text_row> rows = {
        // type family
        TEXT_ROW(missing_type(6, "p"), "Missing type option for float field at 'p'."),
        TEXT_ROW(unknown_type(9, "name", "HOUR"), "Unknown type 'HOUR' at string field 'name'."),
        TEXT_ROW(type_mismatch(5, 1, "speed"),
                 "Type mismatch at 'speed'. Encountered double, expected int32."),
        TEXT_ROW(type_mismatch(5, 1, "speed", cause),
                 "Type mismatch at 'speed'. Refused to interpret double as int32."),
        TEXT_ROW(type_mismatch(7, "flag", "HOUR"),
                 "Type mismatch at 'flag'. Refused to validate bool as HOUR."),
        TEXT_ROW(type_mismatch(5, 1, "speed", "HOUR"),
                 "Type mismatch at 'speed'. Encountered double, expected int32 for HOUR."),
        TEXT_ROW(unsupported_properties(3, "p", "T", properties{{"step", "1"}}),
                 "Unsupported property 'step' for type T at uint32 field 'p'."),
        TEXT_ROW(unsupported_properties(3, "p", "T", properties{{"b", "2"}, {"a", "1"}}),
                 "Unsupported properties 'a' and 'b' for type T at uint32 field 'p'."),
        TEXT_ROW(
            unsupported_properties(3, "p", "T", properties{{"unit", ""}, {"min", ""}, {"max", ""}}),
            "Unsupported properties 'max', 'min' and 'unit' for type T at uint32 field 'p'."),
        TEXT_ROW(unsupported_properties(3, "p", "T", properties{}),
                 "Unsupported property  for type T at uint32 field 'p'."),
        // property families
        TEXT_ROW(bad_minimum(3, "p", "T", "x"),
                 "Bad 'min' property value 'x' in type T at uint32 field 'p'."),
        TEXT_ROW(bad_unit(7, "p", "T", ""),
                 "Bad 'unit' property value '' in type T at bool field 'p'."),
        TEXT_ROW(missing_unit(6, "p", "T"),
                 "Missing property 'unit' for type T at float field 'p'."),
        TEXT_ROW(missing_regex(9, "a.b", "N"),
                 "Missing property 'regex' for type N at string field 'a.b'."),
        // value family
        TEXT_ROW(limit_exceeded(25U, "hour", "HOUR", 0U, 23U),
                 "uint32 value 25 at 'hour' exceeds range from 0 to 23 allowed by type HOUR."),
        TEXT_ROW(limit_exceeded(std::string("abcdef"), "x", "N", 1U, 4U),
                 "string value abcdef at 'x' exceeds range from 1 to 4 allowed by type N."),
        TEXT_ROW(limit_exceeded(std::string("abcdef"), "x", "N", 1U, 4U, cause),
                 "Character count 6 at 'x' exceeds range from 1 to 4 allowed by type N."),
        TEXT_ROW(limit_exceeded(std::string("\xc3\xa4"), "x", "N", 3U, 4U, cause),
                 "Character count 2 at 'x' exceeds range from 3 to 4 allowed by type N."),
        TEXT_ROW(limit_exceeded(0.1F, "p", "T", 0.5F, 300.0F),
                 "float value 0.100000001 at 'p' exceeds range from 0.5 to 300 allowed by type T."),
        TEXT_ROW(limit_exceeded(0.1, "p", "T", 2.5, 3.0),
                 "double value 0.10000000000000001 at 'p' exceeds range from 2.5 to 3 allowed by "
                 "type T."),
        TEXT_ROW(limit_exceeded(-7, "p", "T", std::numeric_limits<int>::min(), -8),
                 "int32 value -7 at 'p' exceeds range from -2147483648 to -8 allowed by type T."),
        TEXT_ROW(
            limit_exceeded(std::numeric_limits<unsigned long long>::max(), "p", "T", 0ULL, 1ULL),
            "uint64 value 18446744073709551615 at 'p' exceeds range from 0 to 1 allowed by "
            "type T."),
        TEXT_ROW(regex_mismatch(-5LL, "a.b", "T", "^[0-9]+$"),
                 "int64 value -5 at 'a.b do not comply to regular expression '^[0-9]+$' required "
                 "by type T."),
        TEXT_ROW(regex_mismatch(-5LL, "a.b", "T", "^[0-9]+$", cause),
                 "int64 value -5 at 'a.b do not comply to regular expression '^[0-9]+$' required "
                 "by type T."),
        TEXT_ROW(regex_mismatch(std::string("x y"), "p", "T", "e"),
                 "string value 'x y' at 'p do not comply to regular expression 'e' required by "
                 "type T."),
        TEXT_ROW(regex_mismatch(std::string("x y"), "p", "T", "e", cause),
                 "string value 'x y' at 'p do not comply to regular expression 'e' required by "
                 "type T."),
        TEXT_ROW(
            regex_mismatch(float_nan, "p", "T", "e"),
            "float value nan at 'p do not comply to regular expression 'e' required by type T."),
        TEXT_ROW(regex_mismatch(-inf, "p", "T", "e"),
                 "double value -inf at 'p do not comply to regular expression 'e' required by "
                 "type T."),
        // missing values and fields
        TEXT_ROW(missing_value(1, "p"), "Missing 'int32' value at 'p'."),
        TEXT_ROW(missing_value(1, "p", "T"), "Missing 'int32' value for type T at 'p'."),
        TEXT_ROW(missing_elements(1, "a[5]", 5, 3), "Missing 'int32' value at 'a[5]'."),
        TEXT_ROW(field_not_found("a.b"), "Field 'a.b' not found."),
        TEXT_ROW(field_not_found(""), "Field '' not found."),
        TEXT_ROW(field_not_found(4, "p", "own text"), "own text"),
        TEXT_ROW(missing_index(10, "entries"), "Missing index for message array at 'entries'."),
        TEXT_ROW(no_such_array(9, "name[0]", 0), "string field at 'name[0]' is not in an array."),
        // cancellation and casts
        TEXT_ROW(validation_canceled(1, "p", "T"), "Validation canceled."),
        TEXT_ROW(bad_cast(1, 9, "p"), "Bad cast from string to int32 at 'p'."),
        TEXT_ROW(bad_cast(1, 9, "p", "T"), "Bad cast from string to int32 at 'p'."),
        TEXT_ROW(bad_cast("mode", "E", 7), "Invalid enumeration E value 7 for field 'mode'."),
        TEXT_ROW(bad_cast("mode", "E", -7), "Invalid enumeration E value -7 for field 'mode'."),
        // type codes without a name
        TEXT_ROW(missing_type(0, "p"), "Missing type option for unknown field at 'p'."),
        TEXT_ROW(missing_value(11, "p"), "Missing 'unknown' value at 'p'."),
        TEXT_ROW(missing_index(-1, "p"), "Missing index for unknown array at 'p'."),
        TEXT_ROW(bad_cast(-2147483647 - 1, 100, "p"), "Bad cast from unknown to unknown at 'p'."),
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.text(), row.expected) << row.label;
}

TEST(IntrospectionErrorText, TypeNames)
{
    const char* const names[] = {"unknown", "int32", "int64", "uint32", "uint64", "double",
                                 "float",   "bool",  "enum",  "string", "message"};
    for (int code = 0; code <= 10; ++code)
        EXPECT_STREQ(zi::type2string(code), names[code]) << code;
    for (int code : {11, -1, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()})
        EXPECT_STREQ(zi::type2string(code), "unknown") << code;
}

namespace {

struct twin_row {
    std::string label;
    std::function<std::string()> plain;
    std::function<std::string()> twin;
};

template <class E>
std::string fields_of(const E& error)
{
    return describe(error);
}

// Everything but the text.
template <class E>
std::string fields_without_text(const E& error)
{
    const std::string all = describe(error);
    return all.substr(all.find(" type="));
}

#define TWIN_ROW(cls, ...)                                                                         \
    twin_row                                                                                       \
    {                                                                                              \
#cls "(" #__VA_ARGS__ ")", [] { return fields_of(zi::cls(__VA_ARGS__)); },                 \
            [] { return fields_of(zi::cls(__VA_ARGS__, cause)); }       \
    }

} // namespace

TEST(IntrospectionErrorText, TwinsWithCauseEqualTheirPartners)
{
    const std::vector<twin_row> rows = {
        TWIN_ROW(missing_type, 6, "p"),
        TWIN_ROW(unknown_type, 9, "p", "T"),
        TWIN_ROW(type_mismatch, 7, "p", "T"),
        TWIN_ROW(type_mismatch, 5, 1, "p", "T"),
        TWIN_ROW(unsupported_properties, 3, "p", "T", properties{{"a", "1"}, {"b", "2"}}),
        TWIN_ROW(bad_minimum, 3, "p", "T", "x"),
        TWIN_ROW(bad_maximum, 3, "p", "T", "x"),
        TWIN_ROW(bad_regex, 3, "p", "T", "x"),
        TWIN_ROW(bad_precision, 3, "p", "T", "x"),
        TWIN_ROW(bad_unit, 3, "p", "T", "x"),
        TWIN_ROW(missing_minimum, 3, "p", "T"),
        TWIN_ROW(missing_maximum, 3, "p", "T"),
        TWIN_ROW(missing_regex, 3, "p", "T"),
        TWIN_ROW(missing_precision, 3, "p", "T"),
        TWIN_ROW(missing_unit, 3, "p", "T"),
        TWIN_ROW(limit_exceeded, 1, "p", "T", 2, 3),
        TWIN_ROW(limit_exceeded, 1LL, "p", "T", 2LL, 3LL),
        TWIN_ROW(limit_exceeded, 1U, "p", "T", 2U, 3U),
        TWIN_ROW(limit_exceeded, 1ULL, "p", "T", 2ULL, 3ULL),
        TWIN_ROW(limit_exceeded, 1.5F, "p", "T", 2.5F, 3.5F),
        TWIN_ROW(limit_exceeded, 1.5, "p", "T", 2.5, 3.5),
        TWIN_ROW(regex_mismatch, 1, "p", "T", "e"),
        TWIN_ROW(regex_mismatch, 0.25, "p", "T", "e"),
        TWIN_ROW(regex_mismatch, std::string("v"), "p", "T", "e"),
        TWIN_ROW(missing_value, 1, "p"),
        TWIN_ROW(missing_value, 1, "p", "T"),
        TWIN_ROW(missing_elements, 1, "p", 5, 3),
        TWIN_ROW(field_not_found, "p"),
        TWIN_ROW(field_not_found, 2, "p", "text"),
        TWIN_ROW(field_not_found, 2, "p", std::string("text")),
        TWIN_ROW(missing_index, 1, "p"),
        TWIN_ROW(no_such_array, 1, "p", 4),
        TWIN_ROW(validation_canceled, 1, "p", "T"),
        TWIN_ROW(bad_cast, 1, 9, "p"),
        TWIN_ROW(bad_cast, 1, 9, "p", "T"),
        TWIN_ROW(bad_cast, "p", "E", 7),
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.plain(), row.twin()) << row.label;

    // The two pairs that read differently keep the same fields.
    EXPECT_EQ(fields_without_text(zi::type_mismatch(5, 1, "p")),
              fields_without_text(zi::type_mismatch(5, 1, "p", cause)));
    EXPECT_EQ(fields_without_text(zi::limit_exceeded(std::string("abc"), "p", "T", 1U, 2U)),
              fields_without_text(zi::limit_exceeded(std::string("abc"), "p", "T", 1U, 2U, cause)));
}

TEST(IntrospectionErrorText, BadTypeKeepsCallerText)
{
    struct plain_bad_type : zi::bad_type {
        using bad_type::bad_type;
    };
    const plain_bad_type from_chars(4, "p", "T", "given text");
    const plain_bad_type from_string(4, "p", std::string("given text"), cause);
    EXPECT_STREQ(from_chars.what(), "given text");
    EXPECT_EQ(from_chars.value_type(), "T");
    EXPECT_EQ(from_string.value_type(), "");
    EXPECT_EQ(describe(from_string), describe(plain_bad_type(4, "p", "given text")));
}

namespace {

template <class E>
std::string copy_keeps_fields(const E& error)
{
    const E copy(error);
    EXPECT_STREQ(copy.what(), error.what());
    return describe(copy) == describe(error) ? "" : describe(copy) + " != " + describe(error);
}

} // namespace

TEST(IntrospectionErrorText, CopiesKeepEveryField)
{
    const std::vector<std::string> mismatches = {
        copy_keeps_fields(zi::missing_type(6, "p")),
        copy_keeps_fields(zi::unknown_type(9, "p", "T")),
        copy_keeps_fields(zi::type_mismatch(5, 1, "p", "T")),
        copy_keeps_fields(zi::unsupported_properties(3, "p", "T", properties{{"a", "1"}})),
        copy_keeps_fields(zi::bad_maximum(3, "p", "T", "x")),
        copy_keeps_fields(zi::missing_precision(3, "p", "T")),
        copy_keeps_fields(zi::limit_exceeded(-1LL, "p", "T", -3LL, -2LL)),
        copy_keeps_fields(zi::limit_exceeded(std::string("abc"), "p", "T", 5U, 9U)),
        copy_keeps_fields(zi::regex_mismatch(2.5F, "p", "T", "^x$")),
        copy_keeps_fields(zi::missing_value(1, "p", "T")),
        copy_keeps_fields(zi::missing_elements(1, "p", 7, 2)),
        copy_keeps_fields(zi::field_not_found("a.b")),
        copy_keeps_fields(zi::missing_index(1, "p")),
        copy_keeps_fields(zi::no_such_array(1, "p", 6)),
        copy_keeps_fields(zi::validation_canceled(1, "p", "T")),
        copy_keeps_fields(zi::bad_cast(3, 5, "p", "T")),
    };
    for (const auto& mismatch : mismatches)
        EXPECT_EQ(mismatch, "");
}

TEST(IntrospectionErrorText, FieldsFromTheConstructors)
{
    const zi::field_not_found not_found("a.b");
    EXPECT_EQ(not_found.data_type(), 0);
    EXPECT_EQ(not_found.value_type(), "");
    EXPECT_EQ(not_found.object_id(), "a.b");

    const zi::type_mismatch validated(7, "flag", "HOUR");
    EXPECT_EQ(validated.expected_type(), 0);
    EXPECT_EQ(validated.value_type(), "HOUR");

    const zi::bad_cast cast(1, 9, "p");
    EXPECT_EQ(cast.from_type(), 9);
    EXPECT_EQ(cast.data_type(), 9);
    EXPECT_EQ(cast.to_type(), 1);
    const zi::bad_cast enumeration("mode", "E", 7);
    EXPECT_EQ(enumeration.data_type(), 0);
    EXPECT_EQ(enumeration.to_type(), 0);

    EXPECT_EQ(zi::bad_minimum(3, "p", "T", "x").key(), "min");
    EXPECT_EQ(zi::bad_precision(3, "p", "T", "x").data(), "x");
    EXPECT_EQ(zi::missing_maximum(3, "p", "T").key(), "max");

    // The value kinds' type codes: int, long long, unsigned, unsigned long
    // long, double, float, string.
    EXPECT_EQ(zi::regex_mismatch(1, "p", "T", "e").data_type(), 1);
    EXPECT_EQ(zi::regex_mismatch(1LL, "p", "T", "e").data_type(), 2);
    EXPECT_EQ(zi::regex_mismatch(1U, "p", "T", "e").data_type(), 3);
    EXPECT_EQ(zi::regex_mismatch(1ULL, "p", "T", "e").data_type(), 4);
    EXPECT_EQ(zi::regex_mismatch(1.0, "p", "T", "e").data_type(), 5);
    EXPECT_EQ(zi::regex_mismatch(1.0F, "p", "T", "e").data_type(), 6);
    EXPECT_EQ(zi::regex_mismatch(std::string("1"), "p", "T", "e").data_type(), 9);
}

TEST(IntrospectionErrorText, MissingElementsCount)
{
    EXPECT_EQ(zi::missing_elements(1, "a[5]", 5, 3).count(), 3U);
    EXPECT_EQ(zi::missing_elements(1, "a[3]", 3, 3).count(), 1U);
    // Below the size the count wraps; the library never raises it so.
    EXPECT_EQ(zi::missing_elements(1, "a[1]", 1, 3).count(), 0xFFFFFFFFU);
}

// Errors can be copied but never assigned; the intermediates and the category
// base are destroyed only through a concrete class.
template <class... E>
constexpr bool none_assignable = (!std::is_copy_assignable_v<E> && ...);
static_assert(none_assignable<
              zi::exception, zi::bad_type, zi::missing_type, zi::unknown_type, zi::type_mismatch,
              zi::unsupported_properties, zi::bad_property, zi::bad_minimum, zi::bad_maximum,
              zi::bad_regex, zi::bad_precision, zi::bad_unit, zi::missing_property,
              zi::missing_minimum, zi::missing_maximum, zi::missing_regex, zi::missing_precision,
              zi::missing_unit, zi::invalid_value, zi::limit_exceeded, zi::regex_mismatch,
              zi::missing_value, zi::missing_elements, zi::field_not_found, zi::missing_index,
              zi::no_such_array, zi::validation_canceled, zi::bad_cast>);
static_assert(!std::is_destructible_v<zi::exception> && !std::is_destructible_v<zi::bad_type> &&
              !std::is_destructible_v<zi::bad_property> &&
              !std::is_destructible_v<zi::missing_property> &&
              !std::is_destructible_v<zi::invalid_value>);
static_assert(std::is_copy_constructible_v<zi::limit_exceeded> &&
              std::is_copy_constructible_v<zi::bad_cast> &&
              std::is_copy_constructible_v<zi::missing_elements>);
