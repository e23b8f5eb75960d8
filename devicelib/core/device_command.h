#pragma once

#include <string>

namespace google::protobuf {
class Message;
}

namespace zarvo {
class session;
}

namespace zarvo::core {

class session;

// The library's own session behind a client's reference; the device commands
// exist only there. Anything else raises zarvo::invalid_function.
session& command_session(const zarvo::session& s);

// One device command: a query or a host-to-device notification with its
// parameters (null for none) and the label its errors name. Each send builds
// fresh streams and serialises the parameters again; the device answering 2
// is asked again for a while, then zarvo::try_again. Answers 0 and 1 end the
// command; `also_done` (when not 0) ends it too; every other answer becomes
// the library error of its code, with `user` for answer 107. `also_resend`
// (when not 0) is asked again like 2 instead of ending the command.
struct device_command {
    int id;
    const char* label;
    const google::protobuf::Message* parameters = nullptr;
    unsigned user = 0;
    int also_done = 0;
    int also_resend = 0;
};

// Returns the result bytes of the last send.
std::string run_query(session& s, const device_command& command);
void run_notification(session& s, const device_command& command);

} // namespace zarvo::core
