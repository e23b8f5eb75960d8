// Conversions between the clock structures and instants.

#include "devicelib/clock/clock_calendar.h"
#include "devicelib/clock/clock_conversions.h"

namespace zarvo {

long long time2timespan(const time& source)
{
    return ((source.hour * 3600LL + source.minute * 60LL + source.second) * 1000LL) + source.millis;
}

time& timespan2time(time& target, long long timespan)
{
    long long rest = timespan % calendar::millis_per_day;
    if (rest < 0)
        rest += calendar::millis_per_day;
    target.hour = static_cast<std::uint8_t>(rest / 3600000);
    rest %= 3600000;
    target.minute = static_cast<std::uint8_t>(rest / 60000);
    rest %= 60000;
    target.second = static_cast<std::uint8_t>(rest / 1000);
    target.millis = static_cast<std::uint16_t>(rest % 1000);
    return target;
}

long long date2instant(const date& source)
{
    return calendar::midnight(source.year, source.month, source.day);
}

date& instant2date(date& target, long long instant)
{
    time ignored{};
    calendar::split(instant, 0, target, ignored);
    return target;
}

long long universal_time2instant(const universal_time& source)
{
    return date2instant(source.date) + time2timespan(source.time);
}

universal_time& instant2universal_time(universal_time& target, long long instant)
{
    calendar::split(instant, 0, target.date, target.time);
    return target;
}

long long local_time2instant(const local_time& source)
{
    return date2instant(source.date) + time2timespan(source.time) -
           calendar::offset_millis(source.timezone);
}

local_time& instant2local_time(local_time& target, long long instant)
{
    calendar::split(instant, calendar::offset_millis(target.timezone), target.date, target.time);
    return target;
}

universal_time& local_time2universal_time(universal_time& target, const local_time& source)
{
    return instant2universal_time(target, local_time2instant(source));
}

local_time& universal_time2local_time(local_time& target, const universal_time& source)
{
    return instant2local_time(target, universal_time2instant(source));
}

} // namespace zarvo
