#pragma once

#include <string>

namespace zarvo::test {

// How the two fake connection kinds turn a device's answer code into a
// library error. Both return without raising for answer 1, which the caller
// decides on.

// The USB-like table: 101 and 106 name the operation, 103 to 105 carry the
// path, 2 is zarvo::try_again, unknown codes are
// zarvo::unidentified_device_error "Unknown error code.".
void raise_usb_answer(int code, const std::string& path, const std::string& operation);
// The network-like table: no names, 103 to 105 carry the path, 220 and 440
// are the transport's time-out and cancel, anything unknown (2 included) is
// zarvo::bad_response "Unknown error code N.".
void raise_net_answer(int code, const std::string& path);

} // namespace zarvo::test
