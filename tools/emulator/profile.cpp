#include "tools/emulator/profile.h"

#include <cinttypes>
#include <cstdio>
#include <limits>
#include <regex>

namespace zarvo::emulator {

std::string software_version::text() const
{
    std::string out =
        std::to_string(major) + '.' + std::to_string(minor) + '.' + std::to_string(patch);
    if (!specifier.empty())
        out += '-' + specifier;
    return out;
}

std::optional<software_version> parse_software_version(const std::string& text)
{
    static const std::regex shape(R"(([0-9]{1,10})\.([0-9]{1,10})\.([0-9]{1,10})(?:-(.+))?)");
    std::smatch found;
    if (!std::regex_match(text, found, shape))
        return std::nullopt;
    software_version out;
    std::uint32_t* const numbers[] = {&out.major, &out.minor, &out.patch};
    for (int i = 0; i < 3; ++i) {
        const unsigned long long value = std::stoull(found[i + 1].str());
        if (value > std::numeric_limits<std::uint32_t>::max())
            return std::nullopt;
        *numbers[i] = static_cast<std::uint32_t>(value);
    }
    out.specifier = found[4].str();
    return out;
}

std::string device_profile::serial() const
{
    char text[17];
    std::snprintf(text, sizeof text, "%08" PRIX64, id);
    return text;
}

device_profile device_profile::usb_device()
{
    device_profile out;
    out.id = 0x1F2E3D4C;
    out.model_name = "Ravo Pace 2";
    out.bootloader = {1, 0, 12, ""};
    out.platform = {2, 1, 4, ""};
    out.firmware = {3, 2, 18, "beta"};
    out.product_color = "black";
    out.product_design = "sport";
    out.master_id = 31337001;
    return out;
}

device_profile device_profile::network_device()
{
    device_profile out;
    out.id = 0xA5B6C7D8;
    out.model_name = "Ravo Vista";
    out.bootloader = {4, 1, 0, ""};
    out.platform = {5, 0, 2, ""};
    out.firmware = {6, 3, 1, ""};
    out.product_color = "white";
    out.product_design = "classic";
    out.master_id = 42424242;
    return out;
}

} // namespace zarvo::emulator
