#pragma once

// The HID driver over the directory back end, with emulated devices plugged
// into a directory of the test's own and the driver's posts recorded.

#include "devicelib/usb/hid_connection.h"
#include "devicelib/usb/hid_driver.h"
#include "devicelib/usb/vendor_id.h"
#include "tests/support/recording_poster.h"
#include "tests/support/temp_dir.h"
#include "tools/emulator/device_model.h"
#include "tools/emulator/usb_hub.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

namespace zarvo::test {

// One driver, its device directory (with upper-case letters in its name),
// the devices plugged into it and the recorder. ZARVO_HID_DIR names the
// directory while the rig lives.
class driver_rig {
public:
    driver_rig();
    ~driver_rig();

    // Plugs an emulated device; returns its socket file's path.
    std::string plug(const std::string& serial, std::uint16_t product = 0x0008,
                     std::uint16_t vendor = usb::device_vendor_id);
    void unplug(const std::string& serial,
                emulator::unplug_order order = emulator::unplug_order::file_then_connections);

    // The driver's maps, read on its event thread while it runs.
    std::vector<std::string> device_paths();
    std::vector<std::uint64_t> connection_ids();
    // Returns once the event thread has handled every notice announced
    // before the call.
    void settle();
    // Posts without the connection pointers of withdrawals, which the
    // published records give.
    std::vector<post_record> posts() const { return poster.posts(); }

    temp_dir root;
    const std::filesystem::path dir;
    emulator::device_model model;
    emulator::usb_hub hub;
    recording_poster poster;
    std::unique_ptr<usb::hid_driver> driver;
};

class hid_driver_test : public ::testing::Test, protected driver_rig {};

} // namespace zarvo::test
