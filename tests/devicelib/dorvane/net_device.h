#pragma once

// An emulated network device on ::1 for the driver suites, static and shared.

#include "devicelib/core/connection.h"
#include "tests/support/usb_test_device.h"
#include "tools/emulator/device_model.h"
#include "tools/emulator/tcp_front_end.h"
#include "tools/emulator/usb_device.h"

#include <cstdint>
#include <string>

namespace zarvo::test {

extern const char* const service_type;

// One emulated network device with an id no other test process uses.
class net_device {
public:
    // Served on address (IPv6 text) and an ephemeral port.
    explicit net_device(const std::string& version = "2.0.5", const std::string& address = "::1");

    std::uint64_t id() const { return test_id.id(); }
    std::uint16_t port() const;

    usb_test_device test_id;
    emulator::device_model model;
    emulator::model_handler handler{model};
    emulator::tcp_front_end front;
};

// An upload through the client: the front end reports a framing other than
// the one its greeting announced as a violation.
bool upload_in_expected_framing(core::connection* c, emulator::tcp_front_end& front);

} // namespace zarvo::test
