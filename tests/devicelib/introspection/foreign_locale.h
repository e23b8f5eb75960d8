#pragma once

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <locale>
#include <string>

namespace zarvo::test {

// A decimal comma and '.' grouping every three digits, as German has it.
struct comma_numpunct : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

// Tests that switch the process's C or C++ locale. The German locale comes
// from the build tree (ZARVO_TEST_LOCALE_DIR), so the tests do not depend on
// what the machine has generated. Each test runs in a process of its own;
// the fixture still puts the locales back.
class foreign_locale_test : public ::testing::Test {
protected:
    void SetUp() override { setenv("LOCPATH", ZARVO_TEST_LOCALE_DIR, 1); }
    void TearDown() override
    {
        std::locale::global(std::locale::classic());
        std::setlocale(LC_ALL, "C");
    }
};

} // namespace zarvo::test
