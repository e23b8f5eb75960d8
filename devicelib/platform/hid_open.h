#pragma once

// Opening a HID interface by path. A character device is a hidraw node; a
// UNIX socket file is the test seam, one SOCK_SEQPACKET socket per device
// named "<vid>-<pid>-<serial>.hid" (vid and pid as 4 lower-case hex digits).

#include "devicelib/platform/hid_channel.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zarvo::platform {

struct hid_identity {
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;
    // Nothing reads it; always 0.
    std::uint16_t version = 0;
    // UTF-8.
    std::string serial;
};

struct opened_hid {
    hid_channel channel;
    hid_identity identity;
};

// Anything that cannot be opened (missing file, refused connection, missing
// permission, a seam name that does not parse, a path too long for a socket
// address) gives a closed channel and zero attributes. Never throws.
opened_hid open_hid(const std::string& path) noexcept;

// The identity in a seam file name (without directory). Nothing for a name
// that does not parse, among them an empty serial or one longer than a USB
// string descriptor holds (126 UTF-16 code units).
std::optional<hid_identity> parse_seam_name(std::string_view file_name);

// The hidraw device record holds vendor and product as signed 16-bit values.
hid_identity identity_from_raw_info(std::int16_t vendor, std::int16_t product);

} // namespace zarvo::platform
