#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <string_view>

namespace zarvo::test {

// A ctest name for a table row made from one of its texts (an address, a
// file, a label): letters and digits are kept, every other run of characters
// becomes one '_'. GoogleTest takes only such names; a row without one is
// listed with its value, for a struct its raw bytes.
inline std::string param_name(std::string_view text)
{
    std::string name;
    for (const char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c)))
            name += c;
        else if (name.empty() || name.back() != '_')
            name += '_';
    }
    return name.empty() ? std::string("empty") : name;
}

// The name generator of a table whose rows print themselves (a PrintTo, a
// number, a text): the printed row as a name, after prefix and '_' when
// given (a bare number would read as the row's index).
struct printed_name {
    const char* prefix = nullptr;

    template <typename T>
    std::string operator()(const ::testing::TestParamInfo<T>& info) const
    {
        std::string printed = ::testing::PrintToString(info.param);
        // A text prints in quotes.
        if (printed.size() >= 2 && printed.front() == '"' && printed.back() == '"')
            printed = printed.substr(1, printed.size() - 2);
        return param_name(prefix ? prefix + ('_' + printed) : printed);
    }
};

} // namespace zarvo::test
