#pragma once

// The calendar arithmetic behind the clock conversions.

#include "devicelib/clock/clock.h"

#include <cstdint>

namespace zarvo::calendar {

constexpr long long millis_per_day = 86400000LL;

// 1400-01-01 00:00:00.000 and 9999-12-31 23:59:59.999.
constexpr long long first_instant = -17987443200000LL;
constexpr long long last_instant = 253402300799999LL;

// The instant of the date's midnight. Checks the full values, before anything
// narrows, in this order: the day, the month, the year, the month's length;
// each failure raises Boost's own calendar error.
long long midnight(std::uint64_t year, std::uint64_t month, std::uint64_t day);

// The date and time of day of instant + offset (both in milliseconds);
// raises boost::gregorian::bad_year when the sum lies outside the calendar.
void split(long long instant, long long offset, date& day, time& time_of_day);

// The offset of a local time in milliseconds: 0 for an invalid one.
long long offset_millis(int timezone);

} // namespace zarvo::calendar
