#include "devicelib/clock/clock_conversions.h"
#include "tests/devicelib/clock/clock_text.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

using clock_test::text;

TEST(ClockTimespan, TimeOfDayFromAnyTimespan)
{
    struct row {
        long long timespan;
        const char* expected;
    };
    const row rows[] = {
        {45296789, "12:34:56.789"},
        {0, "00:00:00.000"},
        {-1, "23:59:59.999"},
        {86400000, "00:00:00.000"},
        {86400000 + 3600000, "01:00:00.000"},
        {-86400000 - 1000, "23:59:59.000"},
        {LLONG_MIN, "16:47:04.192"},
        {LLONG_MAX, "07:12:55.807"},
    };
    for (const row& r : rows) {
        zarvo::time value{99, 99, 99, 9999};
        EXPECT_EQ(&zarvo::timespan2time(value, r.timespan), &value);
        EXPECT_EQ(text(value), r.expected) << r.timespan;
    }
}

TEST(ClockTimespan, TimespanOfTimeIsNotRangeChecked)
{
    EXPECT_EQ(zarvo::time2timespan({12, 34, 56, 789}), ((12 * 3600 + 34 * 60 + 56) * 1000) + 789);
    EXPECT_EQ(zarvo::time2timespan({0, 0, 0, 0}), 0);
    EXPECT_EQ(zarvo::time2timespan({255, 255, 255, 65535}),
              ((255LL * 3600 + 255 * 60 + 255) * 1000) + 65535);
}

TEST(ClockTimezone, ValidOffsets)
{
    struct row {
        int minutes;
        bool valid;
    };
    const row rows[] = {{-720, true}, {840, true},      {0, true},       {-721, false},
                        {841, false}, {INT_MIN, false}, {INT_MAX, false}};
    for (const row& r : rows) {
        EXPECT_EQ(zarvo::is_timezone(r.minutes), r.valid) << r.minutes;
        EXPECT_EQ(zarvo::has_timezone(zarvo::local_time{{}, {}, r.minutes}), r.valid);
    }
    EXPECT_EQ(zarvo::no_timezone(), INT_MIN);
}

} // namespace
