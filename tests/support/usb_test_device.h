#pragma once

#include <cstdint>
#include <string>

namespace zarvo::test {

// A USB serial number, and so a device id, that no other test process uses
// at the same time: device locks are machine-wide and ctest runs tests in
// parallel. Made from the process id and a counter; the device's lock object
// is removed when this is made and when it goes.
class usb_test_device {
public:
    usb_test_device();
    ~usb_test_device();
    usb_test_device(const usb_test_device&) = delete;
    usb_test_device& operator=(const usb_test_device&) = delete;

    // Eight upper-case hexadecimal digits.
    const std::string& serial() const { return serial_; }
    std::uint64_t id() const { return id_; }

private:
    std::uint64_t id_;
    std::string serial_;
};

} // namespace zarvo::test
