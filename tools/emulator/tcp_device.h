#pragma once

// An emulated network device: the TCP front end serving the device model.
// Host messages go to the model through the shared model handler; the
// model's own notifications go out as device notification frames. The
// greeting carries the profile's serial as the device id.

#include "tools/emulator/device_model.h"
#include "tools/emulator/tcp_front_end.h"
#include "tools/emulator/usb_device.h"

#include <memory>
#include <string>

namespace zarvo::emulator {

class tcp_device {
public:
    explicit tcp_device(emulator::device_model& model, const std::string& address = "::1");
    // Stops forwarding the model's notifications before the front end goes.
    ~tcp_device();
    tcp_device(const tcp_device&) = delete;
    tcp_device& operator=(const tcp_device&) = delete;

    emulator::device_model& model() { return model_; }
    tcp_front_end& front_end() { return front_end_; }
    model_handler& handler() { return handler_; }

private:
    class forwarder;

    emulator::device_model& model_;
    model_handler handler_;
    tcp_front_end front_end_;
    std::shared_ptr<forwarder> forwarder_;
};

} // namespace zarvo::emulator
