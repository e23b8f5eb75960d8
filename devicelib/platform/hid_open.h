#pragma once

// Opening a HID interface by path. A character device is a hidraw node; a
// UNIX socket file is the test seam, one SOCK_SEQPACKET socket per device
// named "<vid>-<pid>-<serial>.hid" (vid and pid as 4 lower-case hex digits).

#include "devicelib/platform/hid_channel.h"
#include "devicelib/platform/hid_identity.h"

#include <cstdint>
#include <string>

namespace zarvo::platform {

struct opened_hid {
    hid_channel channel;
    hid_identity identity;
};

// Anything that cannot be opened (missing file, refused connection, missing
// permission, a seam name that does not parse, a path too long for a socket
// address) gives a closed channel and zero attributes. Never throws.
opened_hid open_hid(const std::string& path) noexcept;

// The hidraw device record holds vendor and product as signed 16-bit values.
hid_identity identity_from_raw_info(std::int16_t vendor, std::int16_t product);

} // namespace zarvo::platform
