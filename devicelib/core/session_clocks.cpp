// The session's clock operations: the device's system clock and user clock.
#include "devicelib/core/session.h"

#include "devicelib/clock/clock_conversions.h"
#include "devicelib/core/core_session.h"
#include "devicelib/core/device_command.h"
#include "devicelib/errors/errors.h"
#include "devicelib/introspection/exception.h"
#include "devicelib/proto/message_io.h"
#include "devicelib/proto/types.pb.h"
#include "devicelib/proto/zftp_request.pb.h"
#include "devicelib/proto/zftp_response.pb.h"

#include <sstream>
#include <stdexcept>
#include <string>

namespace zarvo {

namespace {

// Reads a clock's result message. The device answering 1 is asked again, as
// for 2: the clock is not there yet.
template <typename Result>
Result read_clock(const session& self, int query, const char* label, const std::string& clock)
{
    core::session& s = core::command_session(self);
    std::istringstream in(core::run_query(s, {query, label, nullptr, 0, 0, 1}));
    Result result;
    if (!read_message(in, result))
        throw bad_response("Failed to parse " + clock + " information.");
    return result;
}

// The date and time of a clock result, within the messages' limits.
template <typename Result>
void read_date_time(const Result& result, date& day, time& time_of_day, const std::string& clock)
{
    try {
        pbdate2date(day, result.date());
        pbtime2time(time_of_day, result.time());
    } catch (const introspection::exception& e) {
        throw bad_response("Invalid date/time in " + clock + " result.", e.std_base());
    } catch (const std::out_of_range& e) {
        throw unsupported_response(
            "Device's current " + clock + " exceeds date/time limits supported by the system.", e);
    }
}

// Fills the date and time of clock parameters; nothing is sent when the value
// does not fit the messages.
template <typename Parameters>
void write_date_time(Parameters& parameters, const date& day, const time& time_of_day)
{
    try {
        date2pbdate(*parameters.mutable_date(), day);
        time2pbtime(*parameters.mutable_time(), time_of_day);
    } catch (const introspection::exception& e) {
        throw invalid_parameter("time", e.std_base());
    } catch (const std::out_of_range& e) {
        throw invalid_parameter("time", e);
    }
}

} // namespace

universal_time session::system_time() const
{
    const std::string clock = "system time";
    const auto result = read_clock<protocol::PbZFtpGetSystemTimeResult>(
        *this, protocol::GET_SYSTEM_TIME, "GET_SYSTEM_TIME", clock);
    universal_time value{};
    read_date_time(result, value.date, value.time, clock);
    value.trusted = result.trusted();
    return value;
}

void session::system_time(const universal_time& value)
{
    core::session& s = core::command_session(*this);
    protocol::PbZFtpSetSystemTimeParams parameters;
    write_date_time(parameters, value.date, value.time);
    parameters.set_trusted(value.trusted);
    core::run_query(s, {protocol::SET_SYSTEM_TIME, "SET_SYSTEM_TIME", &parameters});
}

local_time session::user_time() const
{
    const std::string clock = "local time";
    const auto result = read_clock<protocol::PbZFtpGetLocalTimeResult>(
        *this, protocol::GET_LOCAL_TIME, "GET_LOCAL_TIME", clock);
    local_time value{};
    read_date_time(result, value.date, value.time, clock);
    // Returned as the device reports it, valid offset or not.
    value.timezone = result.has_tz_offset() ? result.tz_offset() : no_timezone();
    return value;
}

void session::user_time(const local_time& value)
{
    core::session& s = core::command_session(*this);
    protocol::PbZFtpSetLocalTimeParams parameters;
    write_date_time(parameters, value.date, value.time);
    if (has_timezone(value))
        parameters.set_tz_offset(value.timezone);
    core::run_query(s, {protocol::SET_LOCAL_TIME, "SET_LOCAL_TIME", &parameters});
}

} // namespace zarvo
