#pragma once

#include "devicelib/proto/message_io.h"
#include "tests/support/hex.h"

#include <google/protobuf/descriptor.h>
#include <google/protobuf/message.h>

#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace zarvo::test {

inline const google::protobuf::DescriptorPool& pool()
{
    return *google::protobuf::DescriptorPool::generated_pool();
}

// A fresh generated message of the given full name ("data.PbUserDb").
inline std::unique_ptr<google::protobuf::Message> new_message(const std::string& full_name)
{
    const auto* type = pool().FindMessageTypeByName(full_name);
    if (!type)
        throw std::invalid_argument("no message " + full_name);
    const auto* prototype =
        google::protobuf::MessageFactory::generated_factory()->GetPrototype(type);
    return std::unique_ptr<google::protobuf::Message>(prototype->New());
}

// The bytes write_message puts into a fresh string stream, as lower-case hex.
inline std::string written_hex(const google::protobuf::Message& message)
{
    std::ostringstream out;
    if (!write_message(message, out))
        throw std::runtime_error("write_message failed");
    return to_hex(out.str());
}

// "08 01 0C" as the lower-case hex to_hex gives.
inline std::string hex(std::string_view spaced)
{
    return to_hex(from_hex(spaced));
}

// Parses the hex bytes into the message with read_message.
inline bool read_hex(std::string_view spaced, google::protobuf::Message& message)
{
    std::istringstream in(from_hex(spaced));
    return read_message(in, message);
}

// Common pieces: a PbDate 2024-01-02 and a PbTime 03:04:05 as field bodies.
constexpr const char* date_body = "08 E8 0F 10 01 18 02";
constexpr const char* time_body = "08 03 10 04 18 05";
// PbSystemDateTime with date and time; with and without its `trusted`.
inline std::string system_time_body(bool with_trusted)
{
    return std::string("0A 07 ") + date_body + " 12 06 " + time_body +
           (with_trusted ? " 18 01" : "");
}

} // namespace zarvo::test
