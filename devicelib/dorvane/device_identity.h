#pragma once

// Identifying a network device once connected: from its server's greeting
// line, or, when it sends none, from its device information file. Pure
// functions of the text, so that they can be fuzzed apart from any socket.

#include "devicelib/values/version.h"

#include <cstdint>
#include <optional>
#include <string>

namespace zarvo::dorvane {

struct greeting_identity {
    std::uint64_t device_id = 0;
    version server_version;
};

// The greeting matched whole against greeting_regex(): the id from its eight
// hex digits (never 0) and the server version (never uninitialised).
std::optional<greeting_identity> identify_from_greeting(const std::string& greeting);

// The deviceID of a device information file ("/DEVICE.BPB"); refused when the
// file does not parse or the id reads as 0 (every such device would share one
// session).
std::optional<std::uint64_t> identify_from_device_info(const std::string& file);

// The client's framing takes an 8-bit major number; a larger one is a newer
// server still, so it is clamped rather than narrowed (256 would become 0).
std::uint8_t framing_major(const version& server_version);

} // namespace zarvo::dorvane
