#pragma once

#include "devicelib/proto/message_io.h"
#include "tools/emulator/exchange.h"

#include <google/protobuf/message.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace zarvo::emulator::test {

// The file operation commands as the exchanges take them.
constexpr int get = static_cast<int>(command::get);
constexpr int put = static_cast<int>(command::put);
constexpr int merge = static_cast<int>(command::merge);
constexpr int remove = static_cast<int>(command::remove);

inline std::string bytes_of(const google::protobuf::Message& message)
{
    std::ostringstream out;
    zarvo::write_message(message, out);
    return out.str();
}

template <typename Message>
Message parsed(const std::string& bytes)
{
    Message out;
    std::istringstream in(bytes);
    if (!zarvo::read_message(in, out))
        ADD_FAILURE() << "does not parse as " << Message::descriptor()->full_name();
    return out;
}

} // namespace zarvo::emulator::test
