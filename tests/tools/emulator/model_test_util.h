#pragma once

#include "devicelib/proto/message_io.h"

#include <google/protobuf/message.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace emulator::test {

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

} // namespace emulator::test
