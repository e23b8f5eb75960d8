// Dotted paths: which prefix an error reports, paths of one component,
// paths without a first component, and indices too large to convert.

#include "devicelib/introspection/field_access.h"
#include "tests/devicelib/introspection/field_failure.h"
#include "tests/devicelib/introspection/field_sample.h"

#include <boost/lexical_cast.hpp>
#include <gtest/gtest.h>

#include <vector>

namespace zi = zarvo::introspection;
using zarvo::test::error_line;
using zarvo::test::failure_of;
using zarvo::test::failure_row;
using zarvo::test::populated_sample;
using zarvo_test::Sample;

namespace {

// Every path operation, read or write, on one path.
std::vector<std::function<void()>> every_path_operation(Sample& sample, const std::string& text)
{
    const Sample& constant = sample;
    return {
        [&, text] { zi::get_path_type(constant, text); },
        [&, text] { zi::get_path_message(constant, text); },
        [&, text] { zi::get_path_message(sample, text); },
        [&, text] { zi::get_path_value<int>(constant, text); },
        [&, text] { zi::get_path_value<const std::string&>(constant, text); },
        [&, text] { zi::get_path_enum_int(constant, text); },
        [&, text] {
            std::string name;
            zi::get_path_enum_string(constant, text, name);
        },
        [&, text] { zi::set_path_value<int>(sample, text, 1); },
        [&, text] { zi::set_path_value<const std::string&>(sample, text, "x"); },
        [&, text] { zi::set_path_enum_int(sample, text, 1); },
    };
}

// A path with no first component has a parent chain without end; one with an
// empty component further on names no field there.
TEST(field_paths, paths_without_a_component_name_no_field)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", ""},
        {".", "."},
        {".a", ".a"},
        {"..", ".."},
        {".child.int32_value", ".child.int32_value"},
        {"a.", "a"},
        {"a..b", "a"},
        {"child.", "child."},
        {"child..int32_value", "child."},
        {"child.child.", "child.child."},
    };
    for (const Sample& start : {Sample(), populated_sample()}) {
        for (const auto& [text, reported] : cases) {
            Sample sample = start;
            // An unset child is missing, not unnamed.
            const std::string expected = start.has_child() || reported.rfind("child", 0) != 0
                                             ? error_line(zi::field_not_found(reported))
                                             : error_line(zi::missing_value(10, "child"));
            for (const auto& operation : every_path_operation(sample, text))
                EXPECT_EQ(failure_of(operation), expected) << "'" << text << "'";
            EXPECT_EQ(sample.SerializePartialAsString(), start.SerializePartialAsString());
        }
    }
}

TEST(field_paths, errors_report_the_path_up_to_the_failing_component)
{
    Sample sample = populated_sample();
    const std::vector<failure_row> rows = {
        {"unset message on the way",
         [&] { zi::get_path_value<int>(sample, "child.child.child.int32_value"); },
         error_line(zi::missing_value(10, "child.child.child"))},
        {"element past the end on the way",
         [&] { zi::get_path_value<int>(sample, "children[5].int32_value"); },
         error_line(zi::missing_elements(10, "children[5]", 5, 2))},
        {"no such field on the way", [&] { zi::get_path_type(sample, "child.nothing.x"); },
         error_line(zi::field_not_found("child.nothing"))},
        {"scalar on the way", [&] { zi::get_path_message(sample, "child.int32_value.x"); },
         error_line(zi::type_mismatch(1, 10, "child.int32_value"))},
        {"repeated message without index on the way",
         [&] { zi::set_path_value<int>(sample, "child.children.int32_value", 1); },
         error_line(zi::missing_index(10, "child.children"))},
        {"last component, whole path",
         [&] { zi::set_path_value<float>(sample, "children[1].int32_value", 1); },
         error_line(zi::type_mismatch(6, 1, "children[1].int32_value"))},
        {"last component missing", [&] { zi::get_path_type(sample, "child.children[0].hour"); },
         error_line(zi::field_not_found("child.children[0].hour"))},
        {"message path", [&] { zi::get_path_message(sample, "child.children[2]"); },
         error_line(zi::missing_elements(10, "child.children[2]", 2, 2))},
        {"enum, last component", [&] { zi::set_path_enum_int(sample, "child.colours[1]", 7); },
         error_line(zi::bad_cast("child.colours[1]", "Colour", 7))},
    };
    for (const auto& row : rows)
        EXPECT_EQ(failure_of(row.operation), row.expected) << row.label;
}

// One component names a message: the type query answers without looking and
// every value, enum and set operation refuses it.
TEST(field_paths, one_component_names_a_message)
{
    Sample sample = populated_sample();
    EXPECT_EQ(zi::get_path_type(sample, "int32_value"), 10);
    EXPECT_EQ(zi::get_path_type(sample, "nothing"), 10);
    EXPECT_EQ(&zi::get_path_message(sample, "child"), &sample.child());

    const std::vector<failure_row> rows = {
        {"get int", [&] { zi::get_path_value<int>(sample, "int32_value"); },
         error_line(zi::type_mismatch(10, 1, "int32_value"))},
        {"get string reference",
         [&] { zi::get_path_value<const std::string&>(sample, "string_value"); },
         error_line(zi::type_mismatch(10, 9, "string_value"))},
        {"get enum", [&] { zi::get_path_enum_int(sample, "colour"); },
         error_line(zi::type_mismatch(10, 8, "colour"))},
        {"set bool", [&] { zi::set_path_value<bool>(sample, "bool_value", false); },
         error_line(zi::type_mismatch(10, 7, "bool_value"))},
        {"set enum", [&] { zi::set_path_enum_int(sample, "nothing", 1); },
         error_line(zi::type_mismatch(10, 8, "nothing"))},
        {"message of a scalar", [&] { zi::get_path_message(sample, "int32_value"); },
         error_line(zi::type_mismatch(1, 10, "int32_value"))},
    };
    for (const auto& row : rows)
        EXPECT_EQ(failure_of(row.operation), row.expected) << row.label;
}

// Eleven digits do not fit the index; only the type query of the last
// component, which never converts it, gets past them.
TEST(field_paths, oversized_index_lets_the_conversion_error_out)
{
    Sample sample = populated_sample();
    const std::string before = sample.SerializePartialAsString();
    EXPECT_EQ(zi::get_entry_type(sample, "int32_values[99999999999]"), 1);
    EXPECT_EQ(zi::get_path_type(sample, "child.colours[99999999999]"), 8);

    EXPECT_THROW(zi::get_entry_value<int>(sample, "int32_values[99999999999]"),
                 boost::bad_lexical_cast);
    EXPECT_THROW(zi::get_entry_enum_int(sample, "colours[4294967296]"), boost::bad_lexical_cast);
    EXPECT_THROW(zi::get_entry_message(sample, "children[99999999999]"), boost::bad_lexical_cast);
    EXPECT_THROW(zi::set_entry_value<int>(sample, "int32_values[99999999999]", 1),
                 boost::bad_lexical_cast);
    EXPECT_THROW(zi::get_path_type(sample, "children[99999999999].int32_value"),
                 boost::bad_lexical_cast);
    EXPECT_THROW(zi::set_path_enum_int(sample, "child.colours[99999999999]", 1),
                 boost::bad_lexical_cast);
    EXPECT_EQ(sample.SerializePartialAsString(), before);

    // The largest index reads as no index at all, so the whole text is taken
    // as the field's name.
    EXPECT_EQ(failure_of([&] { zi::get_entry_value<int>(sample, "int32_values[4294967295]"); }),
              error_line(zi::field_not_found("int32_values[4294967295]")));
}

} // namespace
