#include "devicelib/clock/clock_calendar.h"

#include <boost/date_time/gregorian/gregorian_types.hpp>
#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <boost/throw_exception.hpp>

namespace zarvo::calendar {

namespace {

namespace greg = boost::gregorian;
namespace pt = boost::posix_time;

const greg::date& epoch()
{
    static const greg::date value(1970, 1, 1);
    return value;
}

} // namespace

long long midnight(std::uint64_t year, std::uint64_t month, std::uint64_t day)
{
    // Boost's value types hold unsigned short: check the full values first so
    // that nothing wraps into range. Thrown as Boost throws its own.
    if (day < 1 || day > 31)
        boost::throw_exception(greg::bad_day_of_month());
    if (month < 1 || month > 12)
        boost::throw_exception(greg::bad_month());
    if (year < 1400 || year > 9999)
        boost::throw_exception(greg::bad_year());
    // Separate statements fix the order of the checks, which a constructor's
    // argument list would leave open.
    const greg::greg_day checked_day(static_cast<unsigned short>(day));
    const greg::greg_month checked_month(static_cast<unsigned short>(month));
    const greg::greg_year checked_year(static_cast<unsigned short>(year));
    const greg::date result(checked_year, checked_month, checked_day); // the month's length
    return (result - epoch()).days() * millis_per_day;
}

void split(long long instant, long long offset, date& day, time& time_of_day)
{
    // Compared before adding, so that neither the sum nor Boost's microsecond
    // count can overflow.
    if (instant < first_instant - offset || instant > last_instant - offset)
        boost::throw_exception(greg::bad_year());
    const pt::ptime point = pt::ptime(epoch()) + pt::milliseconds(instant + offset);
    const greg::date calendar_day = point.date();
    const pt::time_duration clock = point.time_of_day();
    day.year = static_cast<std::uint32_t>(calendar_day.year());
    day.month = static_cast<std::uint8_t>(calendar_day.month());
    day.day = static_cast<std::uint8_t>(calendar_day.day());
    time_of_day.hour = static_cast<std::uint8_t>(clock.hours());
    time_of_day.minute = static_cast<std::uint8_t>(clock.minutes());
    time_of_day.second = static_cast<std::uint8_t>(clock.seconds());
    time_of_day.millis = static_cast<std::uint16_t>(clock.fractional_seconds() /
                                                    (pt::time_duration::ticks_per_second() / 1000));
}

long long offset_millis(int timezone)
{
    return is_timezone(timezone) ? timezone * 60000LL : 0;
}

} // namespace zarvo::calendar
