#pragma once

// First, so that glibc's major()/minor() macros cannot rename the fields below.
#include "devicelib/proto/device_messages.h"

#include <cstdint>
#include <optional>
#include <string>

namespace zarvo::emulator {

struct software_version {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t patch = 0;
    std::string specifier;

    // "3.2.18", or "3.2.18-beta" with a specifier.
    std::string text() const;
};

// A version text as text() writes it: three decimal numbers, each below
// 2^32, and an optional "-" with a specifier; nullopt for anything else.
std::optional<software_version> parse_software_version(const std::string& text);

// What a device is: the model seeds its file system and answers from this.
struct device_profile {
    std::uint64_t id = 0;
    std::string model_name;
    software_version bootloader;
    software_version platform;
    software_version firmware;
    std::string product_color;
    std::string product_design;
    // The master id of user 0.
    std::uint64_t master_id = 0;
    // Disk geometry.
    std::uint32_t fragment_size = 4096;
    std::uint64_t total_fragments = 16384;

    // The id as at least 8 upper-case hexadecimal digits: 0x12A gives
    // "0000012A". The device's serial number and its device id text.
    std::string serial() const;

    // A wrist device on USB and a network-attached one.
    static device_profile usb_device();
    static device_profile network_device();
};

} // namespace zarvo::emulator
