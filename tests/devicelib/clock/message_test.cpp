#include "devicelib/clock/clock_conversions.h"
#include "devicelib/introspection/errors.h"
#include "tests/devicelib/clock/clock_text.h"

#include "types.pb.h"

#include <boost/date_time/gregorian/greg_month.hpp>
#include <gtest/gtest.h>

#include <sstream>

namespace {

using clock_test::text;
namespace zi = zarvo::introspection;

PbTime make_time(unsigned hour, unsigned minute, unsigned seconds)
{
    PbTime message;
    message.set_hour(hour);
    message.set_minute(minute);
    message.set_seconds(seconds);
    return message;
}

PbDate make_date(unsigned year, unsigned month, unsigned day)
{
    PbDate message;
    message.set_year(year);
    message.set_month(month);
    message.set_day(day);
    return message;
}

TEST(ClockMessages, TimeReadersValidateFirst)
{
    zarvo::time value{1, 2, 3, 4};
    PbTime message = make_time(12, 34, 56);
    EXPECT_EQ(text(zarvo::pbtime2time(value, message)), "12:34:56.000"); // millis absent
    EXPECT_EQ(zarvo::pbtime2timespan(message), 45296000);
    message.set_millis(789);
    EXPECT_EQ(text(zarvo::pbtime2time(value, message)), "12:34:56.789");
    EXPECT_EQ(zarvo::pbtime2timespan(message), 45296789);

    message.set_hour(24);
    try {
        zarvo::pbtime2time(value, message);
        ADD_FAILURE() << "hour 24 accepted";
    } catch (const zi::limit_exceeded& e) {
        EXPECT_EQ(e.path(), "hour");
    }
    EXPECT_EQ(text(value), "12:34:56.789"); // untouched
    EXPECT_THROW(zarvo::pbtime2timespan(message), zi::limit_exceeded);

    PbTime incomplete;
    incomplete.set_hour(1);
    incomplete.set_seconds(1);
    try {
        zarvo::pbtime2time(value, incomplete);
        ADD_FAILURE() << "missing minute accepted";
    } catch (const zi::missing_value& e) {
        EXPECT_EQ(e.path(), "minute");
    }
}

TEST(ClockMessages, WritersFillThenValidate)
{
    PbTime time;
    EXPECT_THROW(zarvo::time2pbtime(time, {23, 60, 59, 999}), zi::limit_exceeded);
    EXPECT_EQ(time.minute(), 60u); // the whole message was written first
    EXPECT_EQ(time.hour(), 23u);
    EXPECT_EQ(time.millis(), 999u);
    EXPECT_THROW(zarvo::time2pbtime(time, {1, 2, 3, 1000}), zi::limit_exceeded);

    PbDate date;
    EXPECT_THROW(zarvo::date2pbdate(date, {2024, 13, 5}), zi::limit_exceeded);
    EXPECT_EQ(date.month(), 13u);
    EXPECT_EQ(date.day(), 5u);
    EXPECT_THROW(zarvo::date2pbdate(date, {10000, 1, 1}), zi::limit_exceeded);

    zarvo::date back{};
    EXPECT_EQ(text(zarvo::pbdate2date(back, zarvo::date2pbdate(date, {2024, 2, 29}))),
              "2024-02-29");
    zarvo::time of_day{};
    EXPECT_EQ(text(zarvo::pbtime2time(of_day, zarvo::timespan2pbtime(time, -1))), "23:59:59.999");
}

TEST(ClockMessages, DateValidationDiffersFromCalendar)
{
    // Validation knows the field limits, the calendar its own errors.
    const PbDate no_month = make_date(2024, 0, 10);
    zarvo::date value{};
    EXPECT_THROW(zarvo::pbdate2date(value, no_month), zi::limit_exceeded);
    EXPECT_THROW(zarvo::pbdate2instant(no_month), boost::gregorian::bad_month);

    // Years before the calendar pass validation and come back as read.
    EXPECT_EQ(text(zarvo::pbdate2date(value, make_date(1000, 2, 30))), "1000-02-30");

    PbDate message;
    EXPECT_EQ(text(zarvo::pbdate2date(value, zarvo::instant2pbdate(message, -1))), "1969-12-31");
}

TEST(ClockMessages, SystemDateTime)
{
    for (bool trusted : {false, true}) {
        zarvo::universal_time value{{2024, 5, 6}, {7, 8, 9, 10}, trusted};
        EXPECT_EQ(text(zarvo::pbsystemdatetime2universal_time(value, PbSystemDateTime())),
                  text(zarvo::universal_time{{1970, 1, 1}, {0, 0, 0, 0}, trusted}));
    }

    const zarvo::universal_time value{{2024, 2, 29}, {23, 59, 58, 999}, true};
    PbSystemDateTime message;
    zarvo::universal_time2pbsystemdatetime(message, value);
    EXPECT_TRUE(message.IsInitialized());
    zarvo::universal_time back{};
    EXPECT_EQ(text(zarvo::pbsystemdatetime2universal_time(back, message)), text(value));

    message.clear_trusted();
    message.mutable_date()->clear_month();
    back.trusted = true;
    EXPECT_EQ(text(zarvo::pbsystemdatetime2universal_time(back, message)),
              "2024-01-29 23:59:58.999 trusted");
}

TEST(ClockMessages, LocalDateTimeIsAlwaysComplete)
{
    PbLocalDateTime fresh;
    zarvo::local_time2pblocaldatetime(fresh, {{2024, 1, 1}, {0, 30, 0, 0}, zarvo::no_timezone()});
    EXPECT_FALSE(fresh.has_time_zone_offset());
    EXPECT_TRUE(fresh.has_obsolete_trusted());
    EXPECT_FALSE(fresh.obsolete_trusted());
    EXPECT_TRUE(fresh.IsInitialized());
    std::ostringstream out;
    EXPECT_TRUE(fresh.SerializeToOstream(&out));

    PbLocalDateTime parsed;
    ASSERT_TRUE(parsed.ParseFromString(out.str()));
    zarvo::local_time back{{}, {}, 77};
    EXPECT_EQ(text(zarvo::pblocaldatetime2local_time(back, parsed)),
              "2024-01-01 00:30:00.000 tz 77"); // no offset read: the timezone stays

    // What the message already holds stays where the value has nothing to say.
    PbLocalDateTime held;
    held.set_time_zone_offset(60);
    held.set_obsolete_trusted(true);
    zarvo::local_time2pblocaldatetime(held, {{2024, 1, 1}, {0, 0, 0, 0}, zarvo::no_timezone()});
    EXPECT_EQ(held.time_zone_offset(), 60);
    EXPECT_TRUE(held.obsolete_trusted());
    zarvo::local_time2pblocaldatetime(held, {{2024, 1, 1}, {0, 0, 0, 0}, 120});
    EXPECT_EQ(held.time_zone_offset(), 120);
    EXPECT_TRUE(held.obsolete_trusted());

    held.set_time_zone_offset(0);
    EXPECT_EQ(text(zarvo::pblocaldatetime2local_time(back, held)), "2024-01-01 00:00:00.000 tz 0");
}

} // namespace
