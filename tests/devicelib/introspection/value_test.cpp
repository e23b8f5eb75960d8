#include "devicelib/introspection/errors.h"
#include "tests/devicelib/introspection/describe.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace zi = zarvo::introspection;
using zarvo::test::describe;

namespace {

// invalid_value is only ever a base; this makes one to read from.
struct plain_value : zi::invalid_value {
    using invalid_value::invalid_value;
};

// Reads value<T>, expecting bad_cast; returns its text and checks that the
// failed read changed nothing.
template <typename T>
std::string failed_read(const zi::invalid_value& error)
{
    const std::string before = describe(error);
    try {
        (void)error.value<T>();
    } catch (const zi::bad_cast& cast) {
        EXPECT_EQ(describe(error), before);
        EXPECT_EQ(cast.from_type(), error.data_type());
        EXPECT_EQ(cast.path(), error.path());
        EXPECT_EQ(cast.value_type(), "");
        return cast.what();
    }
    ADD_FAILURE() << "no bad_cast";
    return "";
}

} // namespace

TEST(IntrospectionValue, KeptNumberAndItsText)
{
    const plain_value error(42, "p", "T", "given text");
    EXPECT_STREQ(error.what(), "given text");
    EXPECT_EQ(error.value<int>(), 42);
    EXPECT_EQ(error.value<double>(), 42.0);
    EXPECT_EQ(error.value<unsigned long long>(), 42ULL);
    EXPECT_EQ(error.string_value(), "42");
    EXPECT_EQ(&error.value<const std::string&>(), &error.string_value());

    // Of its own kind the number comes back exactly, not through its text.
    const float tenth = 0.1F;
    EXPECT_EQ(plain_value(tenth, "p", "T", "").value<float>(), tenth);
    EXPECT_EQ(plain_value(0.1, "p", "T", "").value<double>(), 0.1);
    EXPECT_EQ(plain_value(std::numeric_limits<long long>::min(), "p", "T", "").value<long long>(),
              std::numeric_limits<long long>::min());
    EXPECT_TRUE(std::isnan(plain_value(std::nan(""), "p", "T", "").value<float>()));
}

TEST(IntrospectionValue, StringsConvertOnlyWhenWholeAndInRange)
{
    const auto text = [](const char* value) {
        return plain_value(std::string(value), "p", "T", "");
    };
    EXPECT_EQ(text("-12").value<int>(), -12);
    EXPECT_EQ(text("+12").value<long long>(), 12);
    EXPECT_EQ(text("0.5").value<double>(), 0.5);
    EXPECT_EQ(text("1e3").value<float>(), 1000.0F);
    EXPECT_EQ(text("4294967295").value<unsigned int>(), 4294967295U);
    EXPECT_TRUE(std::isinf(text("-inf").value<double>()));

    const std::string to_int32 = "Bad cast from string to int32 at 'p'.";
    for (const char* bad : {"4x", "", " 4", "4 ", "2147483648", "1.0", "0x10", "+-4", "4,0"})
        EXPECT_EQ(failed_read<int>(text(bad)), to_int32) << bad;
    // A negative text is no unsigned number (it does not wrap round).
    EXPECT_EQ(failed_read<unsigned int>(text("-1")), "Bad cast from string to uint32 at 'p'.");
    EXPECT_EQ(failed_read<unsigned long long>(text("-1")),
              "Bad cast from string to uint64 at 'p'.");
    EXPECT_EQ(failed_read<float>(text("1e40")), "Bad cast from string to float at 'p'.");
}

TEST(IntrospectionValue, NumbersOfAnotherKindGoThroughTheirText)
{
    const plain_value half(0.5, "p", "T", "");
    EXPECT_EQ(half.value<float>(), 0.5F);
    EXPECT_EQ(failed_read<int>(half), "Bad cast from double to int32 at 'p'.");
    EXPECT_EQ(failed_read<unsigned int>(plain_value(-5, "p", "T", "")),
              "Bad cast from int32 to uint32 at 'p'.");
    EXPECT_EQ(failed_read<int>(plain_value(3000000000U, "p", "T", "")),
              "Bad cast from uint32 to int32 at 'p'.");
}

TEST(IntrospectionValue, LimitsOnlyAsTheirOwnKind)
{
    const zi::limit_exceeded doubles(4.0, "p", "T", 0.25, 1.5);
    EXPECT_EQ(doubles.minimum<double>(), 0.25);
    EXPECT_EQ(doubles.maximum<double>(), 1.5);
    const std::string before = describe(doubles);
    try {
        (void)doubles.minimum<float>();
        ADD_FAILURE() << "no bad_cast";
    } catch (const zi::bad_cast& cast) {
        EXPECT_STREQ(cast.what(), "Bad cast from double to float at 'p'.");
        EXPECT_EQ(cast.from_type(), 5);
        EXPECT_EQ(cast.to_type(), 6);
        EXPECT_EQ(cast.value_type(), "T");
    }
    EXPECT_THROW((void)doubles.maximum<int>(), zi::bad_cast);
    EXPECT_EQ(describe(doubles), before);

    const zi::limit_exceeded counts(std::string("abcdef"), "x", "N", 1U, 4U);
    EXPECT_EQ(counts.minimum<unsigned int>(), 1U);
    EXPECT_EQ(counts.maximum<unsigned int>(), 4U);
    EXPECT_EQ(counts.string_value(), "abcdef");
    EXPECT_THROW((void)counts.minimum<unsigned long long>(), zi::bad_cast);

    const zi::limit_exceeded extremes(0ULL, "p", "T", 1ULL,
                                      std::numeric_limits<unsigned long long>::max());
    EXPECT_EQ(extremes.maximum<unsigned long long>(),
              std::numeric_limits<unsigned long long>::max());
}

TEST(IntrospectionValue, BadCastFromTheLibraryIsAStandardBadCast)
{
    const zi::regex_mismatch error(std::string("4x"), "p", "T", "^[0-9]+$");
    try {
        (void)error.value<int>();
        FAIL() << "no exception";
    } catch (const std::bad_cast& cast) {
        EXPECT_STREQ(cast.what(), "Bad cast from string to int32 at 'p'.");
        const auto& common = dynamic_cast<const zarvo::exception&>(cast);
        EXPECT_FALSE(common.is_logic_error());
        EXPECT_FALSE(common.is_runtime_error());
        EXPECT_STREQ(common.std_base().what(), cast.what());
    }
}
