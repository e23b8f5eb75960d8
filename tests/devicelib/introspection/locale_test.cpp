// Table numbers and value texts keep their classic form under a host
// program's foreign C and C++ locales.
#include "devicelib/introspection/data_type_registry.h"
#include "devicelib/introspection/errors.h"
#include "devicelib/introspection/numeric_validator.h"
#include "tests/devicelib/introspection/fixture_table.h"
#include "tests/devicelib/introspection/foreign_locale.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <locale>

namespace zarvo::test {
namespace {

using introspection::data_type_registry;
using introspection::default_auditor;
using introspection::numeric_validator;

class ValidationLocale : public foreign_locale_test {
protected:
    static void expect_classic_numbers()
    {
        data_type_registry registry(introspection::builtin_table_source());
        unsigned flags = 0;
        const auto* activity = registry.get_validator(5, "a", "ACTIVITY", default_auditor(), flags);
        ASSERT_NE(activity, nullptr);
        EXPECT_EQ(activity->check(0.9, "a", default_auditor(), 0), 0u);
        EXPECT_THROW(activity->check(875.0, "a", default_auditor(), 0),
                     introspection::limit_exceeded);
        EXPECT_THROW(activity->check(0.5, "a", default_auditor(), 0),
                     introspection::limit_exceeded);

        const auto* offset = dynamic_cast<const numeric_validator<double>*>(
            registry.get_validator(5, "o", "SPEED_CALIBRATION_OFFSET", default_auditor(), flags));
        ASSERT_NE(offset, nullptr);
        EXPECT_EQ(offset->minimum(), -50.0);
        EXPECT_EQ(offset->maximum(), 50.0);
        EXPECT_EQ(offset->precision(), 0.01);

        data_type_registry expressions(
            fixture_source(R"({"HALF": {"unit": "", "min": 0, "max": 1, "regex": "0\\.5",
                                        "precision": 0.5}})"));
        const auto* half = expressions.get_validator(5, "h", "HALF", default_auditor(), flags);
        ASSERT_NE(half, nullptr);
        EXPECT_EQ(half->check(0.5, "h", default_auditor(), 0), 0u);
        EXPECT_THROW(half->check(0.25, "h", default_auditor(), 0), introspection::regex_mismatch);
    }
};

TEST_F(ValidationLocale, ClassicLocales)
{
    expect_classic_numbers();
}

TEST_F(ValidationLocale, CommaDecimalCLocale)
{
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
    char buffer[16];
    std::snprintf(buffer, sizeof(buffer), "%.1f", 0.5);
    ASSERT_STREQ(buffer, "0,5");
    expect_classic_numbers();
}

TEST_F(ValidationLocale, GroupingGlobalCppLocale)
{
    std::locale::global(std::locale(std::locale::classic(), new comma_numpunct));
    expect_classic_numbers();
}

} // namespace
} // namespace zarvo::test
