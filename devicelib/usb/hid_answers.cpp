#include "devicelib/usb/hid_answers.h"

#include "devicelib/core/device_answer.h"
#include "devicelib/errors/errors.h"

namespace zarvo::usb {

void hid_error_to_exception(int code, const std::string& path, const char* operation,
                            const char* parameter, unsigned user)
{
    // A 0 handed here is a device fault on this link; every other code maps
    // as the device's answers to commands do.
    if (code == 0)
        throw unidentified_device_error("Expected non-zero error code.");
    core::raise_device_error(code, path, operation ? operation : "", parameter, user);
}

} // namespace zarvo::usb
