#pragma once

// What a hid_device calls out to. The HID driver takes removal reports and
// the HID connection takes device notifications; tests pass recorders.

#include <istream>

namespace zarvo::usb {

class hid_device;

class hid_removal_sink {
public:
    virtual ~hid_removal_sink() = default;
    // The device has vanished. Called on the failing thread before its error
    // leaves, so the connection is withdrawn first.
    virtual void report_removal(hid_device& device) = 0;
};

class hid_notification_sink {
public:
    virtual ~hid_notification_sink() = default;
    // One complete device notification; false when its parameters did not
    // parse. How far the handler read shows in the stream's get position.
    virtual bool notification(unsigned id, std::istream& parameters) = 0;
};

} // namespace zarvo::usb
