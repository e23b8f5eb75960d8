// The session's device commands built on queries and notifications.
#include "devicelib/core/session.h"

#include "devicelib/core/core_session.h"
#include "devicelib/core/device_command.h"
#include "devicelib/errors/errors.h"
#include "devicelib/proto/message_io.h"
#include "devicelib/proto/zftp_notification.pb.h"
#include "devicelib/proto/zftp_request.pb.h"
#include "devicelib/proto/zftp_response.pb.h"

#include <sstream>

namespace zarvo {

namespace {

// Results are decoded from the whole of what the device sent.
bool decode(const std::string& bytes, google::protobuf::Message& message)
{
    std::istringstream in(bytes);
    return read_message(in, message);
}

constexpr std::size_t nonce_size = 16;

} // namespace

std::string session::generate_challenge_token(unsigned user, const unsigned char* nonce) const
{
    if (!nonce)
        throw invalid_parameter("nonce");
    core::session& s = core::command_session(*this);
    protocol::PbZFtpGenerateChallengeTokenParams parameters;
    parameters.set_user_id(user);
    parameters.set_nonse(reinterpret_cast<const char*>(nonce), nonce_size);
    const std::string bytes = core::run_query(
        s, {protocol::GENERATE_CHALLENGE_TOKEN, "GENERATE_CHALLENGE_TOKEN", &parameters, user});
    protocol::PbZFtpGenerateChallengeTokenResult result;
    if (!decode(bytes, result))
        throw bad_response("Failed to parse challenge token from result.");
    return result.token();
}

void session::start_sync()
{
    core::run_notification(core::command_session(*this),
                           {protocol::START_SYNC, "START_SYNC", nullptr, 0, 201});
}

void session::stop_sync(bool completed, const char* description)
{
    core::session& s = core::command_session(*this);
    protocol::PbZFtpStopSyncParams parameters;
    parameters.set_completed(completed);
    if (!completed && description)
        parameters.set_description(description);
    core::run_notification(s, {protocol::STOP_SYNC, "STOP_SYNC", &parameters, 0, 201});
}

void session::stop_sync()
{
    stop_sync(true, nullptr);
}

void session::stop_sync(bool completed)
{
    stop_sync(completed, nullptr);
}

void session::stop_sync(const char* description)
{
    stop_sync(description == nullptr, description);
}

void session::reset(bool sleep, bool do_factory_defaults)
{
    core::session& s = core::command_session(*this);
    // Both fields always travel, also when do_factory_defaults is its default.
    protocol::PbZFtpFactoryResetParams parameters;
    parameters.set_sleep(sleep);
    parameters.set_do_factory_defaults(do_factory_defaults);
    core::run_notification(s, {protocol::RESET, "FACTORY_RESET", &parameters});
}

void session::enable_adb(bool enable)
{
    core::session& s = core::command_session(*this);
    protocol::PbZFtpSetAdbModeParams parameters;
    parameters.set_enable(enable);
    core::run_query(s, {protocol::SET_ADB_MODE, "SET_ADB_MODE", &parameters});
}

int session::battery_status()
{
    const std::string bytes = core::run_query(core::command_session(*this),
                                              {protocol::GET_BATTERY_STATUS, "BATTERY_STATUS"});
    protocol::PbZFtpGetBatteryStatusResult result;
    if (!decode(bytes, result))
        throw bad_response();
    return static_cast<int>(result.battery_status());
}

bool session::inactivity_status()
{
    core::session& s = core::command_session(*this);
    // The parameters are an empty result message: zero bytes.
    const protocol::PbZFtpGetInactivityPreAlertResult parameters;
    const std::string bytes =
        core::run_query(s, {protocol::GET_INACTIVITY_PRE_ALERT, "INACTIVITY_STATUS", &parameters});
    protocol::PbZFtpGetInactivityPreAlertResult result;
    if (!decode(bytes, result))
        throw bad_response();
    return result.inactivity_pre_alert_on();
}

disk_space session::cleanup_disk(std::uint64_t required_bytes)
{
    core::session& s = core::command_session(*this);
    protocol::PbZFtpCleanupDiskSpaceParams parameters;
    parameters.set_required_bytes(required_bytes);
    const std::string bytes =
        core::run_query(s, {protocol::CLEANUP_DISK_SPACE, "CLEANUP_DISK_SPACE", &parameters});
    protocol::PbZFtpDiskSpaceResult result;
    if (!decode(bytes, result))
        throw bad_response();
    return zarvo::disk_space(result.fragment_size(), result.total_fragments(),
                             result.free_fragments());
}

} // namespace zarvo
