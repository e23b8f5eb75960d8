#pragma once

#include "devicelib/export.h"

#include <cstdint>
#include <string>

namespace zarvo::core {

// The id under which a device is published, from its serial or id text:
// leading "0" characters skipped, then hexadecimal digits up to the first
// other character, read as an unsigned 32-bit number; more digits than fit
// saturate at 0xFFFFFFFF. The upper 32 bits are zero. Stored per-device state
// is keyed by these ids, so serials without hex digits, or with more than 8
// significant ones, share an id.
ZARVO_EXPORT std::uint64_t device_id_from_serial(const std::string& serial);

} // namespace zarvo::core
