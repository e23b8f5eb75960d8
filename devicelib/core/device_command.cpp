#include "devicelib/core/device_command.h"

#include "devicelib/core/core_session.h"
#include "devicelib/core/device_answer.h"
#include "devicelib/core/resend.h"
#include "devicelib/errors/errors.h"
#include "devicelib/proto/message_io.h"

#include <google/protobuf/message.h>

#include <sstream>

namespace zarvo::core {

namespace {

void write_parameters(const device_command& command, std::ostream& out)
{
    if (command.parameters)
        write_message(*command.parameters, out);
}

void finish(const device_command& command, int answer)
{
    if (answer == 0 || (command.also_done != 0 && answer == command.also_done))
        return;
    raise_device_error(answer, {}, command.label, nullptr, command.user);
}

} // namespace

session& command_session(const zarvo::session& s)
{
    // The commands change nothing of the client's object, only the device.
    auto* found = dynamic_cast<session*>(const_cast<zarvo::session*>(&s));
    if (!found)
        throw invalid_function("device commands need a session of this library");
    return *found;
}

std::string run_query(session& s, const device_command& command)
{
    std::string result;
    const auto send = [&] {
        std::stringstream parameters;
        write_parameters(command, parameters);
        std::stringstream out;
        const int code = s.query(command.id, parameters, out);
        result = out.str();
        return code;
    };
    const int answer = command.also_resend != 0 ? resend_while_busy(send, {command.also_resend})
                                                : resend_while_busy(send);
    finish(command, answer);
    return result;
}

void run_notification(session& s, const device_command& command)
{
    const int answer = resend_while_busy([&] {
        std::stringstream parameters;
        write_parameters(command, parameters);
        return s.notify(command.id, parameters);
    });
    finish(command, answer);
}

} // namespace zarvo::core
