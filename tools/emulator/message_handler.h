#pragma once

// The model side of every front end: a complete host message as the device
// sees it, the device's answer, and the handler that turns one into the
// other. Each front end frames answers for its own link (an answer with a
// code and a payload becomes its link's data and then the code).

#include <cstdint>
#include <string>
#include <vector>

namespace zarvo::emulator {

// A complete host message as the device sees it.
struct host_message {
    enum class kind { operation, query, notification };
    kind type = kind::operation;
    // Query id or notification id.
    unsigned id = 0;
    // Operation: the announced request bytes.
    std::string request;
    // Operation: the upload payload (empty for a download); query and
    // notification: the parameters.
    std::string payload;
};

// What the device answers to a host message.
struct device_answer {
    enum class kind {
        response,  // status and payload, footer 0
        cancelled, // a response ending in footer 1 with code
        none,      // no response at all
        raw,       // these reports (USB) or bytes (TCP) as they stand
    };
    kind type = kind::response;
    std::uint16_t status = 0;
    std::string payload;
    std::uint16_t code = 0;
    std::vector<std::string> reports;

    static device_answer ok(std::string payload = {});
};

class message_handler {
public:
    virtual ~message_handler() = default;
    // Called on the front end's thread for every complete host message;
    // the answer to a host notification is ignored.
    virtual device_answer handle(const host_message& message) = 0;
};

} // namespace zarvo::emulator
