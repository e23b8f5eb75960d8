#pragma once

#include <locale>
#include <string>

namespace zarvo::test {

// A decimal comma and '.' grouping every three digits, as German has it.
struct comma_numpunct : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

} // namespace zarvo::test
