#pragma once

// Conversions of the clock values to and from the device's date and time
// messages, 64-bit instants and each other.
//
// An instant counts milliseconds since 1970-01-01 00:00:00 universal time; a
// timespan counts milliseconds since midnight. Every function fills its first
// argument and returns it, unless it returns an instant or a timespan.
//
// Calendar dates are proleptic Gregorian from 1400-01-01 to 9999-12-31, so
// instants run from -17987443200000 to 253402300799999. Wherever a date is
// built, the day, the month, the year and then the month's length are checked,
// in that order, and Boost's own errors pass unchanged:
// boost::gregorian::bad_day_of_month, bad_month and bad_year (all
// std::out_of_range). An instant outside the calendar raises bad_year.
//
// The functions marked "validates" check the message against its fields' data
// types (zarvo::introspection::validate with the default auditor): readers
// before they read, writers after they have filled the whole message, which
// then keeps what was written. The others check nothing and keep only the low
// bits of a message value that does not fit its member.
//
// An invalid time-zone offset (see is_timezone) counts as 0.

#include "devicelib/clock/clock.h"
#include "devicelib/export.h"

class PbDate;
class PbTime;
class PbSystemDateTime;
class PbLocalDateTime;

namespace zarvo {

// Time of day.
ZARVO_EXPORT time& pbtime2time(time& target, const PbTime& source);       // validates
ZARVO_EXPORT PbTime& time2pbtime(PbTime& target, const time& source);     // validates
ZARVO_EXPORT long long time2timespan(const time& source);                 // no range check
ZARVO_EXPORT time& timespan2time(time& target, long long timespan);       // modulo one day
ZARVO_EXPORT long long pbtime2timespan(const PbTime& source);             // validates
ZARVO_EXPORT PbTime& timespan2pbtime(PbTime& target, long long timespan); // validates

// Date.
ZARVO_EXPORT date& pbdate2date(date& target, const PbDate& source);   // validates
ZARVO_EXPORT PbDate& date2pbdate(PbDate& target, const date& source); // validates
// The instant of the date's midnight; an absent message field counts as 0.
ZARVO_EXPORT long long date2instant(const date& source);
ZARVO_EXPORT long long pbdate2instant(const PbDate& source);
ZARVO_EXPORT date& instant2date(date& target, long long instant);
ZARVO_EXPORT PbDate& instant2pbdate(PbDate& target, long long instant);

// Whole messages. A date field the message lacks reads as 1970-01-01, a time
// field as 0. A structure member the message has no field for keeps its value:
// `trusted` without the message's trusted, `timezone` without its
// time_zone_offset. Writing a local time sets time_zone_offset only for a
// valid offset, and OBSOLETE_trusted to false only when it is absent, so the
// message is complete.
ZARVO_EXPORT universal_time& pbsystemdatetime2universal_time(universal_time& target,
                                                             const PbSystemDateTime& source);
ZARVO_EXPORT PbSystemDateTime& universal_time2pbsystemdatetime(PbSystemDateTime& target,
                                                               const universal_time& source);
ZARVO_EXPORT local_time& pblocaldatetime2local_time(local_time& target,
                                                    const PbLocalDateTime& source);
ZARVO_EXPORT PbLocalDateTime& local_time2pblocaldatetime(PbLocalDateTime& target,
                                                         const local_time& source);

// Instants and zones. The time of day is added to the date as a duration, so
// hour 25 carries into the next day. A conversion into a local time takes the
// offset from the target's own timezone, which it keeps; a universal target
// keeps its `trusted`. To convert into a given zone, set the target's timezone
// first.
ZARVO_EXPORT long long universal_time2instant(const universal_time& source);
ZARVO_EXPORT universal_time& instant2universal_time(universal_time& target, long long instant);
ZARVO_EXPORT long long local_time2instant(const local_time& source);
ZARVO_EXPORT local_time& instant2local_time(local_time& target, long long instant);
ZARVO_EXPORT universal_time& local_time2universal_time(universal_time& target,
                                                       const local_time& source);
ZARVO_EXPORT local_time& universal_time2local_time(local_time& target,
                                                   const universal_time& source);

} // namespace zarvo
