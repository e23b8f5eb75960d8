#pragma once

// Building one trace line (library-internal; kept apart from the clock so it
// can be checked without one).

#include <string>

namespace zarvo::detail {

struct time_of_day {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// The local time of day now, from CLOCK_REALTIME.
time_of_day local_time_of_day();

// "HH:MM:SS.mmm <file name>@<line> <func>: <message>", where the file name
// is the text after the last '/' or '\' of `file`. Null texts count as empty.
std::string format_trace_line(const time_of_day& time, const char* file, unsigned line,
                              const char* func, const char* message);

} // namespace zarvo::detail
