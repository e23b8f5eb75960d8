#pragma once

// An emulated USB device: the report front end serving the device model.
// Host messages are decoded into the model's exchanges and its answers framed
// as responses; the model's own notifications go out as device notification
// reports.

#include "tools/emulator/device_model.h"
#include "tools/emulator/script.h"
#include "tools/emulator/usb_front_end.h"

#include "devicelib/usb/vendor_id.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zarvo::emulator {

// The model's side of the front end: operations (a serialized ZFtp operation
// message, the bytes after it the upload payload) and queries go to the
// model, whose answer code becomes the response status; host notifications
// are handed to the model and get no answer, as on USB.
class model_handler : public message_handler {
public:
    explicit model_handler(emulator::device_model& model);

    device_answer handle(const host_message& message) override;

    // The next exchange that m matches is answered with these reports as
    // they stand, without reaching the model: faults the model's answer
    // script cannot give, such as a response cancelled partway.
    void answer_once(const emulator::match& m, std::vector<std::string> reports);

private:
    device_answer operation(const host_message& message);
    bool take_override(emulator::exchange_kind kind, int code, const std::string& path,
                       device_answer& answer);

    emulator::device_model& model_;
    std::mutex mutex_;
    std::vector<std::pair<emulator::match, std::vector<std::string>>> overrides_;
};

// The command and path of an operation request, from the serialized ZFtp
// operation message it starts with; false when that does not parse.
bool decode_operation(const host_message& message, int& command, std::string& path);

// A response whose payload reports (status 0, then up to 61 bytes each, all
// announcing more) carry partial, and whose last report cancels it with
// code in its footer: how a device gives both bytes and a code.
std::vector<std::string> cancelled_response(const std::string& partial, std::uint16_t code);

class usb_device {
public:
    // Serves model under the profile's serial number.
    explicit usb_device(emulator::device_model& model,
                        std::uint16_t vendor = zarvo::usb::device_vendor_id,
                        std::uint16_t product = 0x0001);
    // Under a serial number of the caller's choice.
    usb_device(emulator::device_model& model, std::uint16_t vendor, std::uint16_t product,
               std::string serial);
    // Stops forwarding the model's notifications before the front end goes.
    ~usb_device();
    usb_device(const usb_device&) = delete;
    usb_device& operator=(const usb_device&) = delete;

    emulator::device_model& model() { return model_; }
    usb_front_end& front_end() { return front_end_; }
    const usb_front_end& front_end() const { return front_end_; }
    model_handler& handler() { return handler_; }
    const std::string& serial() const { return serial_; }

    // What the device does when its model restarts (a factory reset, a
    // firmware install): action runs once the answer in hand is out, on the
    // serving thread when the restart came through this device. Nothing
    // unless set.
    void on_restart(std::function<void()> action);

private:
    class forwarder;

    void restart();

    emulator::device_model& model_;
    std::string serial_;
    model_handler handler_;
    usb_front_end front_end_;
    std::shared_ptr<forwarder> forwarder_;
    std::mutex restart_mutex_;
    std::function<void()> restart_;
};

} // namespace zarvo::emulator
