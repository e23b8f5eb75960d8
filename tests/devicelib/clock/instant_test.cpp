#include "devicelib/clock/clock_conversions.h"
#include "tests/devicelib/clock/clock_text.h"

#include <boost/date_time/gregorian/greg_year.hpp>
#include <gtest/gtest.h>

#include <climits>

namespace {

using clock_test::text;

constexpr long long first_instant = -17987443200000; // 1400-01-01 00:00:00.000
constexpr long long last_instant = 253402300799999;  // 9999-12-31 23:59:59.999

TEST(ClockInstant, UniversalAndLocalEdges)
{
    const zarvo::universal_time half{{1970, 1, 1}, {0, 0, 1, 500}, true};
    EXPECT_EQ(zarvo::universal_time2instant(half), 1500);
    zarvo::universal_time u{{}, {}, true};
    EXPECT_EQ(text(zarvo::instant2universal_time(u, 1500)), "1970-01-01 00:00:01.500 trusted");

    EXPECT_EQ(text(zarvo::instant2universal_time(u, -1)), "1969-12-31 23:59:59.999 trusted");
    zarvo::date d{};
    EXPECT_EQ(clock_test::text(zarvo::instant2date(d, -1)), "1969-12-31");

    // The time of day is a duration: hour 25 carries into the next day.
    EXPECT_EQ(zarvo::universal_time2instant({{1970, 1, 1}, {25, 0, 0, 0}, false}), 90000000);

    EXPECT_EQ(zarvo::local_time2instant({{1970, 1, 1}, {2, 0, 0, 0}, 120}), 0);
    EXPECT_EQ(zarvo::local_time2instant({{1970, 1, 1}, {2, 0, 0, 0}, zarvo::no_timezone()}),
              7200000);
    EXPECT_EQ(zarvo::local_time2instant({{1970, 1, 1}, {2, 0, 0, 0}, 841}), 7200000);

    zarvo::local_time l{{}, {}, 120};
    EXPECT_EQ(text(zarvo::instant2local_time(l, 0)), "1970-01-01 02:00:00.000 tz 120");

    zarvo::universal_time back{{}, {}, true};
    zarvo::local_time2universal_time(back, {{2024, 1, 1}, {0, 30, 0, 0}, 120});
    EXPECT_EQ(text(back), "2023-12-31 22:30:00.000 trusted");
    zarvo::local_time there{{}, {}, 120};
    EXPECT_EQ(text(zarvo::universal_time2local_time(there, back)),
              "2024-01-01 00:30:00.000 tz 120");
    there.timezone = zarvo::no_timezone();
    EXPECT_EQ(text(zarvo::universal_time2local_time(there, back)),
              "2023-12-31 22:30:00.000 tz -2147483648");
}

TEST(ClockInstant, RangeEnds)
{
    zarvo::universal_time u{};
    EXPECT_EQ(text(zarvo::instant2universal_time(u, last_instant)), "9999-12-31 23:59:59.999");
    EXPECT_EQ(zarvo::universal_time2instant(u), last_instant);
    EXPECT_EQ(text(zarvo::instant2universal_time(u, first_instant)), "1400-01-01 00:00:00.000");
    EXPECT_EQ(zarvo::universal_time2instant(u), first_instant);
}

TEST(ClockInstant, InstantsOutsideTheCalendarRaiseBadYear)
{
    const long long outside[] = {LLONG_MAX,    LLONG_MIN,        1LL << 62,
                                 -(1LL << 62), last_instant + 1, first_instant - 1};
    for (long long instant : outside) {
        zarvo::date d{};
        zarvo::universal_time u{};
        zarvo::local_time l{{}, {}, 0};
        zarvo::local_time far_east{{}, {}, 840};
        zarvo::local_time far_west{{}, {}, -720};
        EXPECT_THROW(zarvo::instant2date(d, instant), boost::gregorian::bad_year) << instant;
        EXPECT_THROW(zarvo::instant2universal_time(u, instant), boost::gregorian::bad_year);
        EXPECT_THROW(zarvo::instant2local_time(l, instant), boost::gregorian::bad_year);
        if (instant < first_instant - 720 * 60000LL || instant > last_instant + 720 * 60000LL) {
            EXPECT_THROW(zarvo::instant2local_time(far_east, instant), boost::gregorian::bad_year);
            EXPECT_THROW(zarvo::instant2local_time(far_west, instant), boost::gregorian::bad_year);
        }
    }
    // In range as universal time, beyond it once the offset is added.
    zarvo::local_time east{{}, {}, 60};
    EXPECT_THROW(zarvo::instant2local_time(east, last_instant), boost::gregorian::bad_year);
    zarvo::local_time west{{}, {}, -60};
    EXPECT_THROW(zarvo::instant2local_time(west, first_instant), boost::gregorian::bad_year);
    // A local time whose universal time leaves the calendar.
    zarvo::universal_time u{};
    EXPECT_THROW(zarvo::local_time2universal_time(u, {{9999, 12, 31}, {23, 30, 0, 0}, -60}),
                 boost::gregorian::bad_year);
    EXPECT_THROW(zarvo::universal_time2local_time(east, {{9999, 12, 31}, {23, 30, 0, 0}, false}),
                 boost::gregorian::bad_year);
}

TEST(ClockInstant, RoundTrips)
{
    const long long instants[] = {
        0,
        -1,
        1500,
        1709164800000 + 43200000, // 2024-02-29 12:00
        951825600250,             // 2000-02-29 12:00:00.250
        -11670912001000,          // 1600-02-29 23:59:59
        1704065400000,            // 2023-12-31 23:30
        first_instant + 720 * 60000,
        last_instant - 840 * 60000,
    };
    const int zones[] = {zarvo::no_timezone(), 0, 120, -60, -720, 840};
    for (long long instant : instants) {
        zarvo::universal_time u{{}, {}, true};
        zarvo::instant2universal_time(u, instant);
        EXPECT_TRUE(u.trusted);
        EXPECT_EQ(zarvo::universal_time2instant(u), instant) << text(u);
        for (int zone : zones) {
            zarvo::local_time l{{}, {}, zone};
            zarvo::instant2local_time(l, instant);
            EXPECT_EQ(l.timezone, zone);
            EXPECT_EQ(zarvo::local_time2instant(l), instant) << text(l);
            zarvo::universal_time via{{}, {}, false};
            EXPECT_EQ(text(zarvo::local_time2universal_time(via, l)),
                      text(zarvo::universal_time{u.date, u.time, false}));
            zarvo::local_time again{{}, {}, zone};
            EXPECT_EQ(text(zarvo::universal_time2local_time(again, u)), text(l));
        }
    }
    // Crossing a year boundary both ways.
    zarvo::local_time l{{}, {}, 120};
    EXPECT_EQ(text(zarvo::instant2local_time(l, 1704065400000)), "2024-01-01 01:30:00.000 tz 120");
    l.timezone = -720;
    EXPECT_EQ(text(zarvo::instant2local_time(l, 1704067200000)), "2023-12-31 12:00:00.000 tz -720");
}

} // namespace
