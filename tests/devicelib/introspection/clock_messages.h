#pragma once

#include "types.pb.h"

namespace zarvo::test {

// A PbTime with every field set, at the top of each range.
inline PbTime complete_time()
{
    PbTime time;
    time.set_hour(23);
    time.set_minute(59);
    time.set_seconds(59);
    time.set_millis(999);
    return time;
}

// A PbDate with every field set, on a leap day.
inline PbDate complete_date()
{
    PbDate date;
    date.set_year(2024);
    date.set_month(2);
    date.set_day(29);
    return date;
}

} // namespace zarvo::test
