#include "devicelib/trace/trace_line.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using zarvo::detail::format_trace_line;
using zarvo::detail::time_of_day;

TEST(TraceLine, FormatsTimeFileNameLineFunctionAndMessage)
{
    const time_of_day t{9, 5, 3, 7};
    struct row {
        const char* file;
        const char* expected;
    };
    const row rows[] = {
        {"/home/dev/ravosync/devicelib/version.cpp",
         "09:05:03.007 version.cpp@45 zarvo::version::version: hello"},
        {"C:\\work\\devicelib\\version.cpp",
         "09:05:03.007 version.cpp@45 zarvo::version::version: hello"},
        {"C:\\work/devicelib\\sub/version.cpp",
         "09:05:03.007 version.cpp@45 zarvo::version::version: hello"},
        {"version.cpp", "09:05:03.007 version.cpp@45 zarvo::version::version: hello"},
        {"devicelib/", "09:05:03.007 @45 zarvo::version::version: hello"},
        {nullptr, "09:05:03.007 @45 zarvo::version::version: hello"},
    };
    for (const row& r : rows)
        EXPECT_EQ(format_trace_line(t, r.file, 45, "zarvo::version::version", "hello"), r.expected)
            << (r.file ? r.file : "(null)");
}

TEST(TraceLine, PadsEveryTimeFieldAndKeepsMessageUnchanged)
{
    EXPECT_EQ(format_trace_line({23, 59, 59, 999}, "a.cpp", 0, "f", "100% %s\n"),
              "23:59:59.999 a.cpp@0 f: 100% %s\n");
    EXPECT_EQ(format_trace_line({0, 0, 0, 0}, "a.cpp", 4294967295u, "", ""),
              "00:00:00.000 a.cpp@4294967295 : ");
}

TEST(TraceLine, LocalTimeOfDayIsInRange)
{
    const time_of_day t = zarvo::detail::local_time_of_day();
    EXPECT_GE(t.hour, 0);
    EXPECT_LT(t.hour, 24);
    EXPECT_GE(t.minute, 0);
    EXPECT_LT(t.minute, 60);
    EXPECT_GE(t.second, 0);
    EXPECT_LE(t.second, 60);
    EXPECT_GE(t.millisecond, 0);
    EXPECT_LT(t.millisecond, 1000);
}

} // namespace
