#pragma once

// The USB HID driver: finds the devices attached as HID interfaces and
// publishes one hid_connection per device to the core.
//
// The core calls start and stop on its engine thread (suspend and resume are
// the base versions: stop, then start). Devices present at start are
// published with delay 0; afterwards the back end's event thread hands over
// plugging and unplugging, and devices plugged then are published with
// delay 500 ms. Only start (before the event thread runs), the event thread
// and stop (after it ended) touch the maps, so they need no lock.

#include "devicelib/core/connection.h"
#include "devicelib/core/connection_poster.h"
#include "devicelib/core/driver.h"
#include "devicelib/platform/hid_backend.h"
#include "devicelib/usb/hid_callbacks.h"
#include "devicelib/usb/hid_device.h"
#include "devicelib/usb/removal_relay.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zarvo::usb {

class hid_driver : public core::driver, public hid_removal_sink, private platform::hid_events {
public:
    // The product id of the devices the driver accepts (with device_vendor_id).
    static constexpr std::uint16_t accepted_product_id = 0x0008;
    static constexpr unsigned plug_in_delay_ms = 500;

    // poster null: the core's post functions.
    explicit hid_driver(core::connection_poster* poster = nullptr);
    // Ends the event thread if the driver still runs, then forgets its
    // devices. Tells the core nothing: the engine deletes its drivers at
    // process exit without stopping them.
    ~hid_driver() override;
    hid_driver(const hid_driver&) = delete;
    hid_driver& operator=(const hid_driver&) = delete;

    // Sets up the monitor, publishes the devices present with the current
    // delay (0), switches to the plug-in delay and returns once the event
    // thread runs.
    void start() override;
    // Ends the event thread, withdraws every connection, forgets every
    // device and sets the delay back to 0.
    void stop() override;

    // Accepts the interface at path (as announced; opened as it is) unless
    // its lower-cased path is known. Interfaces of other devices are not
    // remembered, so a later notice for their path is examined again.
    void device_arrival(const std::string& path);
    // Forgets the interface at path, compared in lower case, and withdraws
    // its device's connection when that is published.
    void device_removal(const std::string& path);
    // The enumeration's callback.
    void arrival_from_path(const std::string& path);

    // A device object found its device gone: the removal takes effect on the
    // event thread before this returns. Returns at once when the driver is
    // not running or is stopping.
    void report_removal(hid_device& device) override;

    // Tests only. Runs in start between enabling the monitor and listing.
    void set_start_hook(std::function<void()> hook) { start_hook_ = std::move(hook); }
    // Tests only; read them while the driver is stopped or on the event thread.
    unsigned publish_delay() const { return publish_delay_; }
    std::vector<std::string> device_paths() const;
    std::vector<std::uint64_t> connection_ids() const;
    platform::hid_backend& backend() { return backend_; }
    // What the device objects report removals through; a connection keeps it
    // so its notification thread never reaches a deleted driver.
    const std::shared_ptr<removal_relay>& removal() const { return removal_; }

private:
    // Monitor notices, on the event thread.
    void arrival(const std::string& path) override;
    void removal(const std::string& path) override;
    void present(const std::vector<std::string>& paths) override;

    void publish(std::uint64_t id, core::connection* c);
    void withdraw(std::uint64_t id, core::connection* c);

    core::connection_poster* poster_;
    std::shared_ptr<removal_relay> removal_;
    platform::hid_backend backend_;
    bool started_ = false;
    // The published connections; the core owns them.
    std::map<std::uint64_t, core::connection*> connections_;
    // One device object per accepted interface, by lower-cased path.
    std::map<std::string, hid_device> devices_;
    unsigned publish_delay_ = 0;
    std::function<void()> start_hook_;
};

// The driver registry's factory: a new hid_driver that posts to the core.
core::driver* create_hid_driver();

} // namespace zarvo::usb
