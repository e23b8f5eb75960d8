// Conversions between the clock structures and the device's date and time
// messages.

#include "devicelib/clock_calendar.h"
#include "devicelib/clock_conversions.h"
#include "devicelib/introspection/validate.h"

#include "devicelib/proto/types.pb.h"

namespace zarvo {

namespace {

void validate(const google::protobuf::Message& message)
{
    introspection::validate(message, introspection::default_auditor());
}

// Unvalidated reads keep the low bits of a value the member cannot hold.
void read_time(time& target, const PbTime& source)
{
    target.hour = static_cast<std::uint8_t>(source.hour());
    target.minute = static_cast<std::uint8_t>(source.minute());
    target.second = static_cast<std::uint8_t>(source.seconds());
    target.millis = static_cast<std::uint16_t>(source.millis());
}

void write_time(PbTime& target, const time& source)
{
    target.set_hour(source.hour);
    target.set_minute(source.minute);
    target.set_seconds(source.second);
    target.set_millis(source.millis);
}

void read_date(date& target, const PbDate& source)
{
    target.year = source.year();
    target.month = static_cast<std::uint8_t>(source.month());
    target.day = static_cast<std::uint8_t>(source.day());
}

void write_date(PbDate& target, const date& source)
{
    target.set_year(source.year);
    target.set_month(source.month);
    target.set_day(source.day);
}

// A date-time message without (part of) its date stands for the epoch's.
void read_epoch_date(date& target, bool present, const PbDate& source)
{
    target.year = present && source.has_year() ? source.year() : 1970;
    target.month = present && source.has_month() ? static_cast<std::uint8_t>(source.month()) : 1;
    target.day = present && source.has_day() ? static_cast<std::uint8_t>(source.day()) : 1;
}

} // namespace

time& pbtime2time(time& target, const PbTime& source)
{
    validate(source);
    read_time(target, source);
    return target;
}

PbTime& time2pbtime(PbTime& target, const time& source)
{
    write_time(target, source);
    validate(target);
    return target;
}

long long pbtime2timespan(const PbTime& source)
{
    validate(source);
    return source.hour() * 3600000LL + source.minute() * 60000LL + source.seconds() * 1000LL +
           source.millis();
}

PbTime& timespan2pbtime(PbTime& target, long long timespan)
{
    time value{};
    write_time(target, timespan2time(value, timespan));
    validate(target);
    return target;
}

date& pbdate2date(date& target, const PbDate& source)
{
    validate(source);
    read_date(target, source);
    return target;
}

PbDate& date2pbdate(PbDate& target, const date& source)
{
    write_date(target, source);
    validate(target);
    return target;
}

long long pbdate2instant(const PbDate& source)
{
    return calendar::midnight(source.year(), source.month(), source.day());
}

PbDate& instant2pbdate(PbDate& target, long long instant)
{
    date value{};
    write_date(target, instant2date(value, instant));
    return target;
}

universal_time& pbsystemdatetime2universal_time(universal_time& target,
                                                const PbSystemDateTime& source)
{
    read_epoch_date(target.date, source.has_date(), source.date());
    read_time(target.time, source.time());
    if (source.has_trusted())
        target.trusted = source.trusted();
    return target;
}

PbSystemDateTime& universal_time2pbsystemdatetime(PbSystemDateTime& target,
                                                  const universal_time& source)
{
    write_date(*target.mutable_date(), source.date);
    write_time(*target.mutable_time(), source.time);
    target.set_trusted(source.trusted);
    return target;
}

local_time& pblocaldatetime2local_time(local_time& target, const PbLocalDateTime& source)
{
    read_epoch_date(target.date, source.has_date(), source.date());
    read_time(target.time, source.time());
    if (source.has_time_zone_offset())
        target.timezone = source.time_zone_offset();
    return target;
}

PbLocalDateTime& local_time2pblocaldatetime(PbLocalDateTime& target, const local_time& source)
{
    write_date(*target.mutable_date(), source.date);
    write_time(*target.mutable_time(), source.time);
    if (has_timezone(source))
        target.set_time_zone_offset(source.timezone);
    // The flag is required but carries nothing any more; without it the
    // message could be neither written nor read.
    if (!target.has_obsolete_trusted())
        target.set_obsolete_trusted(false);
    return target;
}

} // namespace zarvo
