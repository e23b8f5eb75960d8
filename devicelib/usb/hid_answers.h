#pragma once

#include <string>

namespace zarvo::usb {

// Raises the library error for a device's answer code on the USB link, or
// returns for answer 1, which leaves the outcome to the caller. path (device
// path, UTF-8) goes with 103 to 105, operation names the command for 101 and
// 106, parameter (may be null) the parameter for 102 and user the user for
// 107. Answer 0 is not an error and is reported as an unexpected code.
void hid_error_to_exception(int code, const std::string& path, const char* operation,
                            const char* parameter, unsigned user);

} // namespace zarvo::usb
