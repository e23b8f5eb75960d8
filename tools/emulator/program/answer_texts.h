#pragma once

// The texts the emulator program answers with: file bytes, listings and
// clocks on one line.

#include <optional>
#include <string>
#include <vector>

namespace zarvo::emulator {

// Standard Base64 with "=" padding, no line breaks.
std::string base64(const std::string& bytes);

// A JSON array of strings on one line: ["a","b/"]. Quotes, backslashes and
// control characters are escaped; other bytes pass as they are.
std::string json_array(const std::vector<std::string>& texts);

// From the serialized clock parameters the device model keeps: the system
// clock in universal time with its trusted flag, "2026-01-01T12:00:00Z
// trusted" (or "untrusted"); the local clock with its offset when it has
// one, "2026-01-01T14:00:00+02:00", else without. Milliseconds follow the
// seconds as ".250" when not zero. nullopt when the bytes do not parse.
std::optional<std::string> system_clock_text(const std::string& parameters);
std::optional<std::string> local_clock_text(const std::string& parameters);

} // namespace zarvo::emulator
