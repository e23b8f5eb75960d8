#pragma once

// A hid_connection on one socketpair connection of an emulated USB device:
// the real report framing in front of the device model.

#include "devicelib/usb/hid_connection.h"
#include "devicelib/usb/hid_device.h"
#include "tests/support/recording_logger.h"
#include "tests/support/short_resend.h"
#include "tools/emulator/device_model.h"
#include "tools/emulator/usb_device.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace zarvo::test {

namespace model = zarvo::emulator;

class hid_connection_test : public trace_fixture {
protected:
    hid_connection_test();
    void SetUp() override;
    void TearDown() override;

    // The file operations the model received: command, path and payload.
    std::vector<model::exchange_record> file_operations() const;
    std::size_t sends(model::exchange_kind kind, int code) const;
    // Waits until the model has received count such exchanges; host
    // notifications get no answer, so the host does not wait for them.
    bool wait_sends(model::exchange_kind kind, int code, std::size_t count) const;
    // The host's reports as the device saw them.
    std::vector<std::string> host_reports() const;
    bool traced(const std::string& message) const;
    int trace_count(const std::string& function) const;

    // Short pauses, a bound a test can reach.
    short_resend resend{std::chrono::seconds(3)};
    model::device_model device_model;
    emulator::usb_device device{device_model};
    // The driver's copy of the device; the connection holds its own.
    std::unique_ptr<usb::hid_device> host;
    std::unique_ptr<usb::hid_connection> link;
};

// The host's side of a new socketpair connection to an emulated device, as
// the driver would open it (vendor 0xa2c5, product 1).
std::unique_ptr<usb::hid_device> open_pair(emulator::usb_front_end& front_end,
                                           const std::string& serial);
std::string serialized(const google::protobuf::Message& message);
std::string bytes_of_size(std::size_t size, unsigned seed = 1);

} // namespace zarvo::test
