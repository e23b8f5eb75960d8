#pragma once

// Hands a device object's removal report on to the driver for as long as the
// driver lives. The device objects, and the connections whose notification
// threads report through them, may outlive the driver (the engine deletes
// drivers at exit without stopping them); the relay, shared with every
// connection, stays, and once revoked it drops the reports.

#include "devicelib/usb/hid_callbacks.h"

#include <mutex>

namespace zarvo::usb {

class removal_relay : public hid_removal_sink {
public:
    explicit removal_relay(hid_removal_sink* target)
        : target_(target)
    {
    }

    // Held across the call: revoke waits for a report under way.
    void report_removal(hid_device& device) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (target_)
            target_->report_removal(device);
    }

    void revoke()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        target_ = nullptr;
    }

private:
    std::mutex mutex_;
    hid_removal_sink* target_;
};

} // namespace zarvo::usb
