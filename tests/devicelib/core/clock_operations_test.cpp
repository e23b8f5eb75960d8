// The session's clock operations against the device model: what goes out,
// read back from the transcript, and how the device's answers come back.
#include "devicelib/clock/clock_conversions.h"
#include "devicelib/errors/errors.h"
#include "devicelib/proto/zftp_request.pb.h"
#include "devicelib/proto/zftp_response.pb.h"
#include "tests/devicelib/clock/clock_text.h"
#include "tests/devicelib/commands/command_fixture.h"
#include "tests/support/foreign_session.h"
#include "tests/support/hex.h"
#include "tests/support/short_resend.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace zarvo::test {
namespace {

using clock_test::text;
using emulator::exchange_kind;
using emulator::match;

protocol::PbZFtpGetSystemTimeResult system_result(unsigned year, unsigned month, bool trusted)
{
    protocol::PbZFtpGetSystemTimeResult r;
    r.mutable_date()->set_year(year);
    r.mutable_date()->set_month(month);
    r.mutable_date()->set_day(15);
    r.mutable_time()->set_hour(8);
    r.mutable_time()->set_minute(9);
    r.mutable_time()->set_seconds(10);
    r.mutable_time()->set_millis(11);
    r.set_trusted(trusted);
    return r;
}

protocol::PbZFtpGetLocalTimeResult local_result(unsigned year, unsigned month)
{
    const auto s = system_result(year, month, false);
    protocol::PbZFtpGetLocalTimeResult r;
    *r.mutable_date() = s.date();
    *r.mutable_time() = s.time();
    return r;
}

class clock_operations : public ::testing::Test {};

// The four clock operations: the two reads, then the two settings.
std::vector<std::function<void()>> clock_calls(session& s)
{
    return {
        [&s] { s.system_time(); },
        [&s] { s.user_time(); },
        [&s] {
            s.system_time({{2024, 1, 1}, {1, 2, 3, 4}, true});
        },
        [&s] {
            s.user_time({{2024, 1, 1}, {1, 2, 3, 4}, 0});
        },
    };
}

TEST_F(clock_operations, set_then_read_gives_the_value_back)
{
    command_fixture f;
    for (bool trusted : {true, false}) {
        const universal_time value{{2024, 2, 29}, {23, 59, 58, 999}, trusted};
        f.session.system_time(value);
        EXPECT_EQ(text(f.session.system_time()), text(value));
    }
    for (int zone : {120, -720, 0, no_timezone()}) {
        const local_time value{{1999, 12, 31}, {0, 1, 2, 3}, zone};
        f.session.user_time(value);
        EXPECT_EQ(text(f.session.user_time()), text(value));
    }
}

TEST_F(clock_operations, reads_ask_again_on_1_and_2)
{
    for (int answer : {1, 2}) {
        command_fixture f;
        f.session.system_time({{2024, 1, 2}, {3, 4, 5, 6}, true});
        f.model->clear_transcript();
        f.model->script_answer(match::query(protocol::GET_SYSTEM_TIME), answer, 1);
        EXPECT_EQ(text(f.session.system_time()), "2024-01-02 03:04:05.006 trusted") << answer;
        const auto sent = f.sent(exchange_kind::query);
        ASSERT_EQ(sent.size(), 2u) << answer;
        for (const auto& line : sent) {
            EXPECT_EQ(line.code, protocol::GET_SYSTEM_TIME);
            EXPECT_EQ(line.data, ""); // no parameters
        }

        f.model->script_answer(match::query(protocol::GET_LOCAL_TIME), answer, 2);
        f.model->clear_transcript();
        f.session.user_time();
        EXPECT_EQ(f.sent(exchange_kind::query).size(), 3u) << answer;
    }
}

TEST_F(clock_operations, only_the_last_answer_is_decoded)
{
    command_fixture f;
    f.session.system_time({{2024, 1, 2}, {3, 4, 5, 6}, false});
    f.model->script_answer(match::query(protocol::GET_SYSTEM_TIME), 2, 1,
                           bytes_of(system_result(2000, 1, true)));
    EXPECT_EQ(text(f.session.system_time()), "2024-01-02 03:04:05.006");
}

struct read_case {
    const char* name;
    int answer;
    std::string payload;
    std::string error; // the text, or "" for the value
    std::string value;
};

// Each case once against a fresh device whose read query answers as given.
template <std::size_t N>
void check_reads(int query, const std::function<std::string(session&)>& read,
                 const read_case (&cases)[N])
{
    for (const auto& c : cases) {
        command_fixture f;
        f.model->script_answer(match::query(query), c.answer, 1, c.payload);
        std::string value;
        const std::string error = error_text<std::exception>([&] { value = read(f.session); });
        EXPECT_EQ(error, c.error.empty() ? "no error" : c.error) << c.name;
        EXPECT_EQ(value, c.value) << c.name;
    }
}

TEST_F(clock_operations, system_time_results)
{
    auto incomplete = system_result(2024, 1, true);
    incomplete.clear_trusted();
    const read_case cases[] = {
        {"trusted", 0, bytes_of(system_result(2024, 6, true)), "",
         "2024-06-15 08:09:10.011 trusted"},
        {"untrusted", 0, bytes_of(system_result(2024, 6, false)), "", "2024-06-15 08:09:10.011"},
        // Before the calendar but within the message's limits: as read.
        {"year 1000", 0, bytes_of(system_result(1000, 6, false)), "", "1000-06-15 08:09:10.011"},
        {"month 13", 0, bytes_of(system_result(2024, 13, true)),
         "Bad response: Invalid date/time in system time result..", ""},
        {"year 10000", 0, bytes_of(system_result(10000, 1, true)),
         "Bad response: Invalid date/time in system time result..", ""},
        {"empty", 0, "", "Bad response: Failed to parse system time information..", ""},
        {"incomplete", 0, bytes_of(incomplete),
         "Bad response: Failed to parse system time information..", ""},
        {"garbage", 0, from_hex("ff ff"), "Bad response: Failed to parse system time information..",
         ""},
        {"busy", 202, "", "Device busy.", ""},
        {"unknown", 150, "", "Unknown error code.", ""},
        {"invalid command", 101, "", "Invalid command 'GET_SYSTEM_TIME'.", ""},
    };
    check_reads(
        protocol::GET_SYSTEM_TIME, [](session& s) { return text(s.system_time()); }, cases);

    command_fixture f;
    f.model->script_answer(match::query(protocol::GET_SYSTEM_TIME), 202, 1);
    EXPECT_THROW(f.session.system_time(), device_busy);
    f.model->script_answer(match::query(protocol::GET_SYSTEM_TIME), 0, 1,
                           bytes_of(system_result(2024, 0, true)));
    EXPECT_THROW(f.session.system_time(), bad_response);
}

TEST_F(clock_operations, user_time_results)
{
    const auto with_offset = [](int offset) {
        auto r = local_result(2024, 6);
        r.set_tz_offset(offset);
        return bytes_of(r);
    };
    const read_case cases[] = {
        {"offset 120", 0, with_offset(120), "", "2024-06-15 08:09:10.011 tz 120"},
        {"offset 0", 0, with_offset(0), "", "2024-06-15 08:09:10.011 tz 0"},
        {"no offset", 0, bytes_of(local_result(2024, 6)), "",
         "2024-06-15 08:09:10.011 tz -2147483648"},
        // The offset is handed on as the device reports it.
        {"offset 900", 0, with_offset(900), "", "2024-06-15 08:09:10.011 tz 900"},
        {"month 13", 0, bytes_of(local_result(2024, 13)),
         "Bad response: Invalid date/time in local time result..", ""},
        {"empty", 0, "", "Bad response: Failed to parse local time information..", ""},
        {"invalid command", 101, "", "Invalid command 'GET_LOCAL_TIME'.", ""},
    };
    check_reads(
        protocol::GET_LOCAL_TIME, [](session& s) { return text(s.user_time()); }, cases);
    command_fixture f;
    f.model->script_answer(match::query(protocol::GET_LOCAL_TIME), 0, 1,
                           bytes_of(local_result(2024, 6)));
    EXPECT_FALSE(has_timezone(f.session.user_time()));
}

TEST_F(clock_operations, settings_on_the_wire)
{
    command_fixture f;
    f.session.system_time({{2024, 2, 29}, {1, 2, 3, 4}, true});
    f.session.system_time({{1970, 1, 1}, {0, 0, 0, 0}, false});
    auto sent = f.sent(exchange_kind::query);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].code, protocol::SET_SYSTEM_TIME);
    protocol::PbZFtpSetSystemTimeParams system;
    ASSERT_TRUE(system.ParseFromString(sent[0].data));
    EXPECT_EQ(system.date().year(), 2024u);
    EXPECT_EQ(system.date().month(), 2u);
    EXPECT_EQ(system.date().day(), 29u);
    EXPECT_EQ(system.time().hour(), 1u);
    EXPECT_EQ(system.time().minute(), 2u);
    EXPECT_EQ(system.time().seconds(), 3u);
    EXPECT_EQ(system.time().millis(), 4u);
    EXPECT_TRUE(system.trusted());
    ASSERT_TRUE(system.ParseFromString(sent[1].data));
    EXPECT_TRUE(system.has_trusted());
    EXPECT_FALSE(system.trusted());

    struct zone_case {
        int timezone;
        const char* tail; // the bytes after date and time
    };
    const zone_case zones[] = {
        {120, "18 78"},
        {-60, "18 c4 ff ff ff ff ff ff ff ff 01"}, // a negative int32 takes ten bytes
        {0, "18 00"},
        {no_timezone(), ""},
        {841, ""},
    };
    const local_time base{{2024, 1, 1}, {0, 30, 0, 0}, 0};
    protocol::PbZFtpSetLocalTimeParams date_time;
    date2pbdate(*date_time.mutable_date(), base.date);
    time2pbtime(*date_time.mutable_time(), base.time);
    for (const auto& z : zones) {
        f.model->clear_transcript();
        f.session.user_time({base.date, base.time, z.timezone});
        sent = f.sent(exchange_kind::query);
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].code, protocol::SET_LOCAL_TIME);
        EXPECT_EQ(to_hex(sent[0].data), to_hex(bytes_of(date_time) + from_hex(z.tail)))
            << z.timezone;
    }
}

TEST_F(clock_operations, values_the_messages_cannot_carry_are_not_sent)
{
    const universal_time bad[] = {
        {{2024, 1, 1}, {24, 0, 0, 0}, true},
        {{2024, 1, 1}, {0, 0, 0, 1000}, true},
        {{10000, 1, 1}, {0, 0, 0, 0}, true},
        {{2024, 13, 1}, {0, 0, 0, 0}, true},
    };
    command_fixture f;
    for (const auto& value : bad) {
        EXPECT_EQ(error_text<invalid_parameter>([&] { f.session.system_time(value); }),
                  "Invalid parameter 'time'.")
            << text(value);
        EXPECT_EQ(error_text<invalid_parameter>([&] {
                      f.session.user_time({value.date, value.time, 120});
                  }),
                  "Invalid parameter 'time'.")
            << text(value);
    }
    EXPECT_TRUE(f.model->transcript().empty());
}

TEST_F(clock_operations, setting_answers)
{
    struct setting_case {
        const char* name;
        int query;
        std::function<void(session&)> set;
    };
    const setting_case settings[] = {
        {"system", protocol::SET_SYSTEM_TIME,
         [](session& s) {
             s.system_time({{2024, 1, 1}, {1, 2, 3, 4}, true});
         }},
        {"local", protocol::SET_LOCAL_TIME,
         [](session& s) {
             s.user_time({{2024, 1, 1}, {1, 2, 3, 4}, -60});
         }},
    };
    for (const auto& c : settings) {
        command_fixture f;
        // Busy twice: three sends, with the parameters written again each time.
        f.model->script_answer(match::query(c.query), 2, 2);
        c.set(f.session);
        const auto sent = f.sent(exchange_kind::query);
        ASSERT_EQ(sent.size(), 3u) << c.name;
        EXPECT_FALSE(sent[0].data.empty());
        for (const auto& line : sent)
            EXPECT_EQ(line.data, sent[0].data) << c.name;

        f.model->script_answer(match::query(c.query), 1, 1);
        EXPECT_NO_THROW(c.set(f.session)) << c.name;

        f.model->script_answer(match::query(c.query), 101, 1);
        EXPECT_EQ(error_text<invalid_command>([&] { c.set(f.session); }),
                  std::string("Invalid command 'SET_") + (c.query == 1 ? "SYSTEM" : "LOCAL") +
                      "_TIME'.")
            << c.name;
    }
}

TEST_F(clock_operations, a_device_stuck_on_1_or_2_ends_in_try_again)
{
    const short_resend resend(std::chrono::milliseconds(100), std::chrono::milliseconds(10));
    command_fixture f;
    const auto calls = clock_calls(f.session);
    for (int answer : {1, 2}) {
        f.model->clear_script();
        for (int query = 1; query <= 4; ++query)
            f.model->script_answer(match::query(query), answer);
        for (std::size_t i = 0; i < calls.size(); ++i) {
            // Answer 1 ends a setting; only the reads keep asking.
            if (answer == 1 && i >= 2)
                EXPECT_NO_THROW(calls[i]());
            else
                EXPECT_THROW(calls[i](), try_again) << answer << ' ' << i;
        }
    }
}

TEST_F(clock_operations, need_a_current_connection)
{
    const test_device device;
    zarvo::core::session lonely(device.id());
    const auto calls = clock_calls(lonely);
    for (const auto& call : calls)
        EXPECT_THROW(call(), session_expired);
}

TEST(foreign_session_clocks, are_absent)
{
    foreign_session s;
    const auto calls = clock_calls(s);
    for (const auto& call : calls)
        EXPECT_THROW(call(), invalid_function);
}

} // namespace
} // namespace zarvo::test
