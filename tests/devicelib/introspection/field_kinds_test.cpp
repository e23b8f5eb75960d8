// Field access over a test message with a field of every kind: values of all
// nine types, the order in which the checks fail, and setters that fail
// without touching the message.

#include "devicelib/introspection/field_access.h"
#include "tests/devicelib/introspection/field_failure.h"
#include "tests/devicelib/introspection/field_sample.h"

#include <gtest/gtest.h>

#include <limits>
#include <type_traits>
#include <vector>

namespace zi = zarvo::introspection;
using zarvo::test::error_line;
using zarvo::test::failure_of;
using zarvo::test::failure_row;
using zarvo::test::populated_sample;
using zarvo_test::Sample;

namespace {

// Strings are set through const std::string& whichever form reads them.
template <typename T>
using set_type =
    std::conditional_t<std::is_same_v<std::decay_t<T>, std::string>, const std::string&, T>;

// Sets the value at a singular field, a repeated element and the same two
// two levels down, and reads each back.
template <typename T>
void expect_round_trip(const std::string& single, const std::string& element,
                       const std::decay_t<T>& value)
{
    SCOPED_TRACE(single);
    Sample sample = populated_sample();

    zi::set_entry_value<set_type<T>>(sample, single, value);
    EXPECT_EQ(zi::get_entry_value<T>(sample, single), value);
    zi::set_entry_value<set_type<T>>(sample, element, value);
    EXPECT_EQ(zi::get_entry_value<T>(sample, element), value);

    for (const std::string parent : {"child.children[1].", "children[1].child."}) {
        zi::set_path_value<set_type<T>>(sample, parent + single, value);
        EXPECT_EQ(zi::get_path_value<T>(sample, parent + single), value);
        zi::set_path_value<set_type<T>>(sample, parent + element, value);
        EXPECT_EQ(zi::get_path_value<T>(sample, parent + element), value);
    }

    // Only the six places written differ from the populated message.
    Sample expected = populated_sample();
    for (Sample* place : {&expected, expected.mutable_child()->mutable_children(1),
                          expected.mutable_children(1)->mutable_child()}) {
        zi::set_entry_value<set_type<T>>(*place, single, value);
        zi::set_entry_value<set_type<T>>(*place, element, value);
    }
    EXPECT_EQ(sample.SerializePartialAsString(), expected.SerializePartialAsString());
    EXPECT_NE(sample.SerializePartialAsString(), populated_sample().SerializePartialAsString());
}

TEST(field_kinds, every_value_type_round_trips)
{
    expect_round_trip<bool>("bool_value", "bool_values[1]", false);
    expect_round_trip<int>("int32_value", "int32_values[0]", std::numeric_limits<int>::min());
    expect_round_trip<long long>("int64_value", "int64_values[1]",
                                 std::numeric_limits<long long>::min() + 7);
    expect_round_trip<unsigned int>("uint32_value", "uint32_values[1]", 4000000000u);
    expect_round_trip<unsigned long long>("uint64_value", "uint64_values[0]",
                                          std::numeric_limits<unsigned long long>::max() - 9);
    expect_round_trip<float>("float_value", "float_values[1]", -0.125f);
    expect_round_trip<double>("double_value", "double_values[0]", 1e300);
    expect_round_trip<std::string>("string_value", "string_values[1]", "written");
    expect_round_trip<const std::string&>("bytes_value", "string_values[0]",
                                          std::string("a\0b", 3));
}

TEST(field_kinds, enum_values_by_number_and_name)
{
    Sample sample = populated_sample();
    zi::set_entry_enum_int(sample, "colours[1]", 1);
    zi::set_path_enum_int(sample, "children[1].child.colour", 0);

    std::string name;
    EXPECT_EQ(zi::get_entry_enum_string(sample, "colours[1]", name), 1);
    EXPECT_EQ(name, "GREEN");
    EXPECT_EQ(zi::get_path_enum_string(sample, "children[1].child.colour", name), 0);
    EXPECT_EQ(name, "RED");
    EXPECT_EQ(zi::get_entry_enum_int(sample, "colour"), 5);
    EXPECT_EQ(zi::get_path_enum_int(sample, "child.colours[0]"), 0);
    EXPECT_EQ(sample.colours(1), zarvo_test::GREEN);
    EXPECT_EQ(sample.children(1).child().colour(), zarvo_test::RED);
}

TEST(field_kinds, sub_messages_are_the_ones_held)
{
    Sample sample = populated_sample();
    const Sample& constant = sample;
    EXPECT_EQ(&zi::get_entry_message(constant, "child"), &sample.child());
    EXPECT_EQ(&zi::get_entry_message(sample, "children[1]"), &sample.children(1));
    EXPECT_EQ(&zi::get_path_message(constant, "child.children[0]"), &sample.child().children(0));
    EXPECT_EQ(&zi::get_path_message(sample, "children[1].child"), &sample.children(1).child());
    EXPECT_EQ(&zi::get_path_message(sample, "child"), &sample.child());
}

TEST(field_kinds, string_reference_is_the_text_in_the_message)
{
    Sample sample = populated_sample();
    const std::string& single = zi::get_entry_value<const std::string&>(sample, "string_value");
    const std::string& element =
        zi::get_path_value<const std::string&>(sample, "child.string_values[1]");
    EXPECT_EQ(&single, &sample.string_value());
    EXPECT_EQ(&element, &sample.child().string_values(1));

    zi::set_entry_value<const std::string&>(sample, "string_value", "changed");
    sample.mutable_child()->set_string_values(1, "changed too");
    EXPECT_EQ(single, "changed");
    EXPECT_EQ(element, "changed too");
}

// For a repeated field: index, then kind, then range. For a singular one:
// index, then presence, then kind.
TEST(field_kinds, checks_fail_in_their_order)
{
    const Sample sample = populated_sample();
    const Sample empty;
    Sample target = populated_sample();
    const std::vector<failure_row> rows = {
        {"repeated, no index, wrong kind",
         [&] { zi::get_entry_value<bool>(sample, "int32_values"); },
         error_line(zi::missing_index(1, "int32_values"))},
        {"repeated, wrong kind, index out of range",
         [&] { zi::get_entry_value<bool>(sample, "int32_values[9]"); },
         error_line(zi::type_mismatch(1, 7, "int32_values[9]"))},
        {"set: repeated, wrong kind, index out of range",
         [&] { zi::set_entry_value<bool>(target, "int32_values[9]", true); },
         error_line(zi::type_mismatch(7, 1, "int32_values[9]"))},
        {"repeated, index out of range",
         [&] { zi::get_entry_value<int>(sample, "int32_values[2]"); },
         error_line(zi::missing_elements(1, "int32_values[2]", 2, 2))},
        {"empty repeated field", [&] { zi::get_entry_value<int>(empty, "int32_values[0]"); },
         error_line(zi::missing_elements(1, "int32_values[0]", 0, 0))},
        {"singular, unset, with index", [&] { zi::get_entry_value<bool>(empty, "int32_value[0]"); },
         error_line(zi::no_such_array(1, "int32_value[0]", 0))},
        {"singular, unset, wrong kind", [&] { zi::get_entry_value<bool>(empty, "int32_value"); },
         error_line(zi::missing_value(1, "int32_value"))},
        {"singular, set, wrong kind", [&] { zi::get_entry_value<bool>(sample, "int32_value"); },
         error_line(zi::type_mismatch(1, 7, "int32_value"))},
        {"set: singular, set, wrong kind",
         [&] { zi::set_entry_value<bool>(target, "int32_value", true); },
         error_line(zi::type_mismatch(7, 1, "int32_value"))},
        {"enum read of an int", [&] { zi::get_entry_enum_int(sample, "int32_value"); },
         error_line(zi::type_mismatch(1, 8, "int32_value"))},
        {"enum set of an int", [&] { zi::set_entry_enum_int(target, "int32_value", 1); },
         error_line(zi::type_mismatch(8, 1, "int32_value"))},
        {"int read of an enum", [&] { zi::get_entry_value<int>(sample, "colours[0]"); },
         error_line(zi::type_mismatch(8, 1, "colours[0]"))},
        {"message read of a string", [&] { zi::get_entry_message(sample, "string_value"); },
         error_line(zi::type_mismatch(9, 10, "string_value"))},
        {"unset message", [&] { zi::get_entry_message(empty, "child"); },
         error_line(zi::missing_value(10, "child"))},
        {"string read of a message", [&] { zi::get_entry_value<std::string>(sample, "child"); },
         error_line(zi::type_mismatch(10, 9, "child"))},
        {"no such field", [&] { zi::get_entry_value<int>(sample, "nothing[1]"); },
         error_line(zi::field_not_found("nothing[1]"))},
        {"unknown enum number, element", [&] { zi::set_entry_enum_int(target, "colours[1]", 2); },
         error_line(zi::bad_cast("colours[1]", "Colour", 2))},
    };
    for (const auto& row : rows)
        EXPECT_EQ(failure_of(row.operation), row.expected) << row.label;
}

// Whatever a setter refuses, the message keeps every byte; nothing is added
// on the way to the field either.
TEST(field_kinds, failing_setters_leave_the_message_alone)
{
    using operation = std::function<void(Sample&)>;
    const std::vector<std::pair<const char*, operation>> setters = {
        {"unset singular", [](Sample& m) { zi::set_entry_value<int>(m, "int32_value", 1); }},
        {"element past the end",
         [](Sample& m) { zi::set_entry_value<int>(m, "int32_values[2]", 1); }},
        {"wrong kind", [](Sample& m) { zi::set_entry_value<float>(m, "double_value", 1); }},
        {"index on singular",
         [](Sample& m) { zi::set_entry_value<double>(m, "double_value[0]", 1); }},
        {"unknown enum number", [](Sample& m) { zi::set_entry_enum_int(m, "colour", 3); }},
        {"unknown enum number, element",
         [](Sample& m) { zi::set_entry_enum_int(m, "colours[0]", -1); }},
        {"through an unset child",
         [](Sample& m) { zi::set_path_value<int>(m, "child.child.child.int32_value", 1); }},
        {"through a missing element",
         [](Sample& m) { zi::set_path_value<bool>(m, "children[2].bool_value", false); }},
        {"one component", [](Sample& m) { zi::set_path_value<int>(m, "int32_value", 1); }},
        {"no first component",
         [](Sample& m) { zi::set_path_value<const std::string&>(m, ".string_value", "x"); }},
        {"oversized index",
         [](Sample& m) { zi::set_path_value<int>(m, "children[4294967296].int32_value", 1); }},
        {"mutable message of an unset child",
         [](Sample& m) { zi::get_path_message(m, "child.child.child"); }},
    };
    Sample partly_set = populated_sample();
    partly_set.clear_int32_value();
    for (const Sample& start : {Sample(), partly_set}) {
        const std::string before = start.SerializePartialAsString();
        for (const auto& [label, setter] : setters) {
            Sample sample = start;
            EXPECT_ANY_THROW(setter(sample)) << label;
            EXPECT_TRUE(sample.SerializePartialAsString() == before) << label;
        }
    }
}

} // namespace
