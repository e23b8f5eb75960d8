#pragma once

// The device's two clocks as plain values: the system clock in universal time
// with its trust flag, and the user's clock in local time with an optional
// time-zone offset.

#include "devicelib/export.h"

#include <cstdint>

namespace zarvo {

struct time {
    std::uint8_t hour;
    std::uint8_t minute;
    std::uint8_t second;
    std::uint16_t millis;
};

struct date {
    std::uint32_t year;
    std::uint8_t month; // January is 1
    std::uint8_t day;   // from 1
};

struct universal_time {
    ::zarvo::date date;
    ::zarvo::time time;
    bool trusted;
};

struct local_time {
    ::zarvo::date date;
    ::zarvo::time time;
    // Minutes by which local time is ahead of universal time, or no_timezone().
    std::int32_t timezone;
};

// A time-zone offset is valid from UTC-12:00 to UTC+14:00, bounds included.
ZARVO_EXPORT bool is_timezone(int minutes);
// The timezone of a local time without offset (INT_MIN).
ZARVO_EXPORT int no_timezone();
ZARVO_EXPORT bool has_timezone(const local_time& value);

} // namespace zarvo
