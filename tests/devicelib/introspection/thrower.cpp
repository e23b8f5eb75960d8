#include "tests/devicelib/introspection/thrower.h"

#include "devicelib/introspection/errors.h"

#include <functional>
#include <map>
#include <stdexcept>

namespace zi = zarvo::introspection;

void throw_introspection_error(const std::string& class_name)
{
    const std::string p = "f.g[1]";
    const std::map<std::string, std::function<void()>> throwers = {
        {"missing_type", [&] { throw zi::missing_type(3, p); }},
        {"unknown_type", [&] { throw zi::unknown_type(3, p, "T"); }},
        {"type_mismatch", [&] { throw zi::type_mismatch(3, 1, p); }},
        {"unsupported_properties",
         [&] {
             throw zi::unsupported_properties(3, p, "T", {{"x", "1"}});
         }},
        {"bad_minimum", [&] { throw zi::bad_minimum(3, p, "T", "x"); }},
        {"bad_maximum", [&] { throw zi::bad_maximum(3, p, "T", "x"); }},
        {"bad_regex", [&] { throw zi::bad_regex(3, p, "T", "x"); }},
        {"bad_precision", [&] { throw zi::bad_precision(3, p, "T", "x"); }},
        {"bad_unit", [&] { throw zi::bad_unit(3, p, "T", "x"); }},
        {"missing_minimum", [&] { throw zi::missing_minimum(3, p, "T"); }},
        {"missing_maximum", [&] { throw zi::missing_maximum(3, p, "T"); }},
        {"missing_regex", [&] { throw zi::missing_regex(3, p, "T"); }},
        {"missing_precision", [&] { throw zi::missing_precision(3, p, "T"); }},
        {"missing_unit", [&] { throw zi::missing_unit(3, p, "T"); }},
        {"limit_exceeded", [&] { throw zi::limit_exceeded(25U, p, "T", 0U, 23U); }},
        {"regex_mismatch", [&] { throw zi::regex_mismatch(25U, p, "T", "^1$"); }},
        {"missing_value", [&] { throw zi::missing_value(3, p); }},
        {"missing_elements", [&] { throw zi::missing_elements(3, p, 1, 1); }},
        {"field_not_found", [&] { throw zi::field_not_found(p); }},
        {"missing_index", [&] { throw zi::missing_index(3, p); }},
        {"no_such_array", [&] { throw zi::no_such_array(3, p, 1); }},
        {"validation_canceled", [&] { throw zi::validation_canceled(3, p, "T"); }},
        {"bad_cast", [&] { throw zi::bad_cast(1, 3, p); }},
    };
    throwers.at(class_name)();
    throw std::logic_error("unreachable");
}
