#pragma once

// The USB vendor id of the devices this library talks to, shared by the HID
// driver and by the connection library's attach listener.

#include <cstdint>

namespace zarvo::usb {

constexpr std::uint16_t device_vendor_id = 0xa2c5;

} // namespace zarvo::usb
