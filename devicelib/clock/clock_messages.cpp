// Conversions between the clock structures and the device's date and time
// messages.

#include "devicelib/clock/clock_calendar.h"
#include "devicelib/clock/clock_conversions.h"
#include "devicelib/introspection/validate.h"

#include "devicelib/proto/types.pb.h"

namespace zarvo {

namespace {

void validate(const google::protobuf::Message& message)
{
    introspection::validate(message, introspection::default_auditor());
}

// Unvalidated reads keep the low bits of a value the member cannot hold.
void read_fields(time& target, const PbTime& source)
{
    target.hour = static_cast<std::uint8_t>(source.hour());
    target.minute = static_cast<std::uint8_t>(source.minute());
    target.second = static_cast<std::uint8_t>(source.seconds());
    target.millis = static_cast<std::uint16_t>(source.millis());
}

void write_fields(PbTime& target, const time& source)
{
    target.set_hour(source.hour);
    target.set_minute(source.minute);
    target.set_seconds(source.second);
    target.set_millis(source.millis);
}

void read_fields(date& target, const PbDate& source)
{
    target.year = source.year();
    target.month = static_cast<std::uint8_t>(source.month());
    target.day = static_cast<std::uint8_t>(source.day());
}

void write_fields(PbDate& target, const date& source)
{
    target.set_year(source.year);
    target.set_month(source.month);
    target.set_day(source.day);
}

// A date-time message without (part of) its date stands for the epoch's; an
// absent date message reads as one without fields.
void read_epoch_date(date& target, const PbDate& source)
{
    target.year = source.has_year() ? source.year() : 1970;
    target.month = source.has_month() ? static_cast<std::uint8_t>(source.month()) : 1;
    target.day = source.has_day() ? static_cast<std::uint8_t>(source.day()) : 1;
}

// Readers check the message before they read it; writers fill the whole
// message first, so that after an error it keeps what was written.
template <typename Value, typename Message>
Value& read_checked(Value& target, const Message& source)
{
    validate(source);
    read_fields(target, source);
    return target;
}

template <typename Message, typename Value>
Message& write_checked(Message& target, const Value& source)
{
    write_fields(target, source);
    validate(target);
    return target;
}

} // namespace

time& pbtime2time(time& target, const PbTime& source)
{
    return read_checked(target, source);
}

PbTime& time2pbtime(PbTime& target, const time& source)
{
    return write_checked(target, source);
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
    return write_checked(target, timespan2time(value, timespan));
}

date& pbdate2date(date& target, const PbDate& source)
{
    return read_checked(target, source);
}

PbDate& date2pbdate(PbDate& target, const date& source)
{
    return write_checked(target, source);
}

long long pbdate2instant(const PbDate& source)
{
    return calendar::midnight(source.year(), source.month(), source.day());
}

PbDate& instant2pbdate(PbDate& target, long long instant)
{
    date value{};
    write_fields(target, instant2date(value, instant));
    return target;
}

universal_time& pbsystemdatetime2universal_time(universal_time& target,
                                                const PbSystemDateTime& source)
{
    read_epoch_date(target.date, source.date());
    read_fields(target.time, source.time());
    if (source.has_trusted())
        target.trusted = source.trusted();
    return target;
}

PbSystemDateTime& universal_time2pbsystemdatetime(PbSystemDateTime& target,
                                                  const universal_time& source)
{
    write_fields(*target.mutable_date(), source.date);
    write_fields(*target.mutable_time(), source.time);
    target.set_trusted(source.trusted);
    return target;
}

local_time& pblocaldatetime2local_time(local_time& target, const PbLocalDateTime& source)
{
    read_epoch_date(target.date, source.date());
    read_fields(target.time, source.time());
    if (source.has_time_zone_offset())
        target.timezone = source.time_zone_offset();
    return target;
}

PbLocalDateTime& local_time2pblocaldatetime(PbLocalDateTime& target, const local_time& source)
{
    write_fields(*target.mutable_date(), source.date);
    write_fields(*target.mutable_time(), source.time);
    if (has_timezone(source))
        target.set_time_zone_offset(source.timezone);
    // The flag is required but carries nothing any more; without it the
    // message could be neither written nor read.
    if (!target.has_obsolete_trusted())
        target.set_obsolete_trusted(false);
    return target;
}

} // namespace zarvo
