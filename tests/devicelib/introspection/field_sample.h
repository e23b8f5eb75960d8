#pragma once

#include "field_sample.pb.h"

namespace zarvo::test {

// Every singular field set and every repeated field with two elements, down
// to the given depth of child and children.
inline zarvo_test::Sample populated_sample(int depth = 2)
{
    zarvo_test::Sample sample;
    sample.set_int32_value(-1);
    sample.set_int64_value(-2);
    sample.set_uint32_value(3);
    sample.set_uint64_value(4);
    sample.set_double_value(5.5);
    sample.set_float_value(6.5f);
    sample.set_bool_value(true);
    sample.set_colour(zarvo_test::BLUE);
    sample.set_string_value("nine");
    sample.set_bytes_value(std::string("\x00\xff", 2));
    for (int i = 0; i < 2; ++i) {
        sample.add_int32_values(-10 - i);
        sample.add_int64_values(-20 - i);
        sample.add_uint32_values(30 + i);
        sample.add_uint64_values(40 + i);
        sample.add_double_values(50.5 + i);
        sample.add_float_values(60.5f + i);
        sample.add_bool_values(i == 0);
        sample.add_colours(i == 0 ? zarvo_test::RED : zarvo_test::BLUE);
        sample.add_string_values(i == 0 ? "first" : "second");
    }
    if (depth > 0) {
        *sample.mutable_child() = populated_sample(depth - 1);
        *sample.add_children() = populated_sample(depth - 1);
        *sample.add_children() = populated_sample(depth - 1);
    }
    return sample;
}

} // namespace zarvo::test
