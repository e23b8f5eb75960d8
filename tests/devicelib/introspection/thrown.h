#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <optional>

namespace zarvo::test {

// A copy of the Error that the operation throws. A normal return or another
// exception fails the test and gives nothing.
template <typename Error, typename Operation>
std::optional<Error> thrown(Operation operation)
{
    try {
        operation();
    } catch (const Error& error) {
        return error;
    } catch (const std::exception& other) {
        ADD_FAILURE() << "another error: " << other.what();
        return std::nullopt;
    }
    ADD_FAILURE() << "no error";
    return std::nullopt;
}

} // namespace zarvo::test
