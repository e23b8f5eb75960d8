#include "devicelib/introspection/entry.h"
#include "devicelib/introspection/errors.h"
#include "devicelib/introspection/number_text.h"
#include "tests/devicelib/introspection/foreign_locale.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <locale>
#include <string>
#include <vector>

namespace zi = zarvo::introspection;
using zi::detail::from_text;
using zi::detail::to_text;

namespace {

struct text_row {
    std::string label;
    std::function<std::string()> text;
    std::string expected;
};

#define NUMBER_ROW(value, expected)                                                                \
    text_row                                                                                       \
    {                                                                                              \
#value, [] { return to_text(value); }, expected                                            \
    }

template <typename T>
using limits = std::numeric_limits<T>;

const std::vector<text_row> number_rows = {
    NUMBER_ROW(0.1F, "0.100000001"),
    NUMBER_ROW(300.0F, "300"),
    NUMBER_ROW(0.5F, "0.5"),
    NUMBER_ROW(1e20F, "1.00000002e+20"),
    NUMBER_ROW(0.1, "0.10000000000000001"),
    NUMBER_ROW(2.5, "2.5"),
    NUMBER_ROW(1234567.0, "1234567"),
    NUMBER_ROW(1e-7, "9.9999999999999995e-08"),
    NUMBER_ROW(limits<float>::quiet_NaN(), "nan"),
    NUMBER_ROW(-limits<float>::quiet_NaN(), "-nan"),
    NUMBER_ROW(limits<double>::quiet_NaN(), "nan"),
    NUMBER_ROW(-limits<double>::quiet_NaN(), "-nan"),
    NUMBER_ROW(limits<float>::infinity(), "inf"),
    NUMBER_ROW(-limits<double>::infinity(), "-inf"),
    NUMBER_ROW(limits<int>::min(), "-2147483648"),
    NUMBER_ROW(limits<int>::max(), "2147483647"),
    NUMBER_ROW(limits<long long>::min(), "-9223372036854775808"),
    NUMBER_ROW(limits<long long>::max(), "9223372036854775807"),
    NUMBER_ROW(0U, "0"),
    NUMBER_ROW(limits<unsigned int>::max(), "4294967295"),
    NUMBER_ROW(limits<unsigned long long>::max(), "18446744073709551615"),
    NUMBER_ROW(1234567, "1234567"),
};

void expect_classic_texts()
{
    for (const auto& row : number_rows)
        EXPECT_EQ(row.text(), row.expected) << row.label;

    double parsed = 0;
    EXPECT_TRUE(from_text("0.5", parsed));
    EXPECT_EQ(parsed, 0.5);
    EXPECT_FALSE(from_text("0,5", parsed));
    int whole = 0;
    EXPECT_FALSE(from_text("1.234", whole));
    EXPECT_TRUE(from_text("1234", whole));
    EXPECT_EQ(whole, 1234);

    EXPECT_STREQ(zi::limit_exceeded(1234567, "p", "T", 0, 1000).what(),
                 "int32 value 1234567 at 'p' exceeds range from 0 to 1000 allowed by type T.");
    EXPECT_STREQ(zi::limit_exceeded(0.1F, "p", "T", 0.5F, 300.0F).what(),
                 "float value 0.100000001 at 'p' exceeds range from 0.5 to 300 allowed by type T.");
    EXPECT_STREQ(zi::bad_cast("mode", "E", -12345).what(),
                 "Invalid enumeration E value -12345 for field 'mode'.");
    const zi::regex_mismatch half(std::string("0.5"), "p", "T", "e");
    EXPECT_EQ(half.value<double>(), 0.5);
    EXPECT_EQ(zi::regex_mismatch(std::string("12345"), "p", "T", "e").value<int>(), 12345);
    EXPECT_EQ(zi::entry("values[1234]").index(), 1234U);
    EXPECT_EQ(zi::entry("values", 12345).name(), "values[12345]");
}

class NumberTextLocale : public zarvo::test::foreign_locale_test {
protected:
    static std::string c_formatted(double value)
    {
        char buffer[32];
        std::snprintf(buffer, sizeof(buffer), "%.1f", value);
        return buffer;
    }
};

} // namespace

TEST(NumberText, ClassicForms)
{
    expect_classic_texts();
}

TEST(NumberText, ReadsWholeTextsOnly)
{
    int i = 7;
    EXPECT_FALSE(from_text("", i));
    EXPECT_FALSE(from_text("+", i));
    EXPECT_FALSE(from_text("++1", i));
    EXPECT_FALSE(from_text("1 ", i));
    EXPECT_EQ(i, 7);
    unsigned int u = 7;
    EXPECT_FALSE(from_text("-1", u));
    EXPECT_FALSE(from_text("4294967296", u));
    EXPECT_TRUE(from_text("+4294967295", u));
    EXPECT_EQ(u, 4294967295U);
    float f = 0;
    EXPECT_TRUE(from_text("-nan", f));
    EXPECT_TRUE(std::isnan(f) && std::signbit(f));
    EXPECT_TRUE(from_text("0.100000001", f));
    EXPECT_EQ(f, 0.1F);
}

TEST_F(NumberTextLocale, CommaDecimalCLocale)
{
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
    ASSERT_EQ(c_formatted(0.5), "0,5");
    expect_classic_texts();
}

TEST_F(NumberTextLocale, GroupingGlobalCppLocale)
{
    std::locale::global(std::locale(std::locale::classic(), new zarvo::test::comma_numpunct));
    expect_classic_texts();
}

TEST_F(NumberTextLocale, NamedGermanLocaleForBoth)
{
    // A named global locale sets the C locale as well.
    std::locale::global(std::locale("de_DE.UTF-8"));
    ASSERT_EQ(c_formatted(0.5), "0,5");
    expect_classic_texts();
}
