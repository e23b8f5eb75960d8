#pragma once

#include "devicelib/introspection/errors.h"
#include "tests/devicelib/introspection/describe.h"

#include <boost/core/demangle.hpp>

#include <exception>
#include <functional>
#include <string>
#include <typeinfo>

namespace zarvo::test {

// The exact class and every field of an introspection error, as one line.
inline std::string error_line(const zarvo::introspection::exception& error)
{
    return boost::core::demangle(typeid(error).name()) + ": " + describe(error);
}

// What running the operation throws, in error_line's form; other exceptions
// and a normal return get lines of their own so a comparison shows them.
inline std::string failure_of(const std::function<void()>& operation)
{
    try {
        operation();
    } catch (const zarvo::introspection::exception& error) {
        return error_line(error);
    } catch (const std::exception& error) {
        return "other error: " + boost::core::demangle(typeid(error).name()) + ": " + error.what();
    }
    return "no error";
}

// A row of a failure table: what is done, and the error it must end in.
struct failure_row {
    std::string label;
    std::function<void()> operation;
    std::string expected;
};

} // namespace zarvo::test
