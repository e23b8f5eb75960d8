#pragma once

// The message runtime logs a line for every message that fails to parse;
// under a fuzzer that is most inputs. The targets drop those lines.

#include <google/protobuf/stubs/logging.h>

namespace zarvo::fuzz {

inline void quiet_protobuf()
{
    google::protobuf::SetLogHandler(nullptr);
}

} // namespace zarvo::fuzz
