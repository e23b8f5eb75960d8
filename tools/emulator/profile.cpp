#include "tools/emulator/profile.h"

#include <cinttypes>
#include <cstdio>

namespace zarvo::emulator {

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
