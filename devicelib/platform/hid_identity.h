#pragma once

// What identifies a HID interface, and the names of the seam's socket files
// "<vid>-<pid>-<serial>.hid". Header-only and free of the library's other
// headers, so that the connection library's attach listener reads the same
// names with the same rules.

#include <cstddef>
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

// A vendor or product id as a seam name spells it: four lower-case
// hexadecimal digits.
inline std::optional<std::uint16_t> parse_seam_id(std::string_view text)
{
    if (text.size() != 4)
        return std::nullopt;
    std::uint16_t value = 0;
    for (const char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            return std::nullopt;
        value = static_cast<std::uint16_t>(value << 4 | digit);
    }
    return value;
}

namespace seam_detail {

// UTF-16 code units of a UTF-8 text: one per lead byte, two for the lead
// bytes of characters beyond the basic plane.
inline std::size_t utf16_units(std::string_view text)
{
    std::size_t units = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) != 0x80)
            units += byte >= 0xF0 ? 2 : 1;
    }
    return units;
}

} // namespace seam_detail

// The identity in a seam file name (without directory): vid and pid four
// lower-case hexadecimal digits each, the serial as long as a USB string
// descriptor holds (1 to 126 UTF-16 code units). Nothing for any other name.
inline std::optional<hid_identity> parse_seam_name(std::string_view name)
{
    constexpr std::string_view suffix = ".hid";
    constexpr std::size_t max_serial_units = 126;
    if (name.size() < suffix.size() || name.substr(name.size() - suffix.size()) != suffix)
        return std::nullopt;
    name.remove_suffix(suffix.size());
    // "vvvv-pppp-" then the serial.
    if (name.size() < 10 || name[4] != '-' || name[9] != '-')
        return std::nullopt;
    const auto vendor = parse_seam_id(name.substr(0, 4));
    const auto product = parse_seam_id(name.substr(5, 4));
    const auto serial = name.substr(10);
    if (!vendor || !product || serial.empty() ||
        seam_detail::utf16_units(serial) > max_serial_units)
        return std::nullopt;
    hid_identity identity;
    identity.vendor_id = *vendor;
    identity.product_id = *product;
    identity.serial = std::string(serial);
    return identity;
}

} // namespace zarvo::platform
