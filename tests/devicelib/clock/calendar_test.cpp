#include "devicelib/clock/clock_conversions.h"

#include "types.pb.h"

#include <boost/date_time/gregorian/greg_date.hpp>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

namespace {

namespace greg = boost::gregorian;

constexpr long long day = 86400000;

TEST(ClockCalendar, MidnightOfDate)
{
    struct row {
        zarvo::date date;
        long long instant;
    };
    const row rows[] = {
        {{1970, 1, 1}, 0},
        {{1970, 1, 2}, day},
        {{1969, 12, 31}, -day},
        {{2024, 2, 29}, 19782 * day},
        {{2000, 2, 29}, 11016 * day},
        {{1400, 1, 1}, -17987443200000},
        {{9999, 12, 31}, 253402214400000},
    };
    for (const row& r : rows) {
        EXPECT_EQ(zarvo::date2instant(r.date), r.instant) << r.date.year;
        PbDate message;
        message.set_year(r.date.year);
        message.set_month(r.date.month);
        message.set_day(r.date.day);
        EXPECT_EQ(zarvo::pbdate2instant(message), r.instant) << r.date.year;
        zarvo::date back{};
        zarvo::instant2date(back, r.instant);
        EXPECT_EQ(back.year, r.date.year);
        EXPECT_EQ(back.month, r.date.month);
        EXPECT_EQ(back.day, r.date.day);
    }
}

// Which of Boost's calendar errors, and its text.
std::string describe(const std::out_of_range& e)
{
    const char* kind = dynamic_cast<const greg::bad_day_of_month*>(&e) ? "bad_day_of_month"
                       : dynamic_cast<const greg::bad_month*>(&e)      ? "bad_month"
                       : dynamic_cast<const greg::bad_year*>(&e)       ? "bad_year"
                                                                       : "out_of_range";
    return std::string(kind) + ": " + e.what();
}

std::string calendar_error(const std::function<void()>& call)
{
    try {
        call();
    } catch (const std::out_of_range& e) {
        return describe(e);
    }
    return "no error";
}

std::string expected(const std::out_of_range& error)
{
    return describe(error);
}

TEST(ClockCalendar, BoostChecksInOrderOnFullValues)
{
    const std::string bad_day = expected(greg::bad_day_of_month());
    const std::string short_month =
        expected(greg::bad_day_of_month("Day of month is not valid for year"));
    const std::string bad_month = expected(greg::bad_month());
    // Compared with the installed Boost's own text.
    const std::string bad_year = expected(greg::bad_year());

    struct row {
        std::uint32_t year, month, day;
        const std::string& error;
    };
    const row rows[] = {
        {2023, 2, 29, short_month},
        {2023, 4, 31, short_month},
        {2024, 13, 0, bad_day}, // the day comes first
        {2024, 13, 32, bad_day},
        {2024, 13, 1, bad_month},
        {2024, 0, 10, bad_month},
        {1399, 12, 31, bad_year},
        {10000, 1, 1, bad_year},
        {0, 1, 1, bad_year},
        {1399, 2, 30, bad_year}, // the year before the month's length
        // Full values, never wrapped into range.
        {67560, 2, 29, bad_year},
        {65536 + 2024, 1, 1, bad_year},
        {2024, 257, 1, bad_month},
        {2024, 1, 257, bad_day},
        {2024, 1, 65537, bad_day},
    };
    for (const row& r : rows) {
        PbDate message;
        message.set_year(r.year);
        message.set_month(r.month);
        message.set_day(r.day);
        EXPECT_EQ(calendar_error([&] { zarvo::pbdate2instant(message); }), r.error)
            << r.year << '-' << r.month << '-' << r.day;
        if (r.month <= 255 && r.day <= 255) {
            const zarvo::date value{r.year, static_cast<std::uint8_t>(r.month),
                                    static_cast<std::uint8_t>(r.day)};
            EXPECT_EQ(calendar_error([&] { zarvo::date2instant(value); }), r.error)
                << r.year << '-' << r.month << '-' << r.day;
            EXPECT_EQ(calendar_error([&] {
                          zarvo::universal_time2instant({value, {}, false});
                      }),
                      r.error);
            EXPECT_EQ(calendar_error([&] {
                          zarvo::universal_time target{};
                          zarvo::local_time2universal_time(target, {value, {}, 0});
                      }),
                      r.error);
        }
    }
}

TEST(ClockCalendar, AbsentDateFieldsCountZero)
{
    PbDate message;
    message.set_year(2024);
    message.set_month(1);
    EXPECT_THROW(zarvo::pbdate2instant(message), greg::bad_day_of_month);
    EXPECT_THROW(zarvo::pbdate2instant(PbDate()), greg::bad_day_of_month);
}

} // namespace
