#pragma once

// Readable forms of the clock structures, so that a failed comparison shows
// the whole value.

#include "devicelib/clock/clock.h"

#include <cstdio>
#include <string>

namespace clock_test {

inline std::string text(const zarvo::date& d)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04u-%02u-%02u", static_cast<unsigned>(d.year),
                  static_cast<unsigned>(d.month), static_cast<unsigned>(d.day));
    return buffer;
}

inline std::string text(const zarvo::time& t)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02u:%02u:%02u.%03u", static_cast<unsigned>(t.hour),
                  static_cast<unsigned>(t.minute), static_cast<unsigned>(t.second),
                  static_cast<unsigned>(t.millis));
    return buffer;
}

inline std::string text(const zarvo::universal_time& u)
{
    return text(u.date) + ' ' + text(u.time) + (u.trusted ? " trusted" : "");
}

inline std::string text(const zarvo::local_time& l)
{
    return text(l.date) + ' ' + text(l.time) + " tz " + std::to_string(l.timezone);
}

} // namespace clock_test
