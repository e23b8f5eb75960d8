#pragma once

// Emulated USB devices plugged into a directory of seam socket files, the
// way the HID driver's directory back end sees devices come and go: plugging
// puts a device's socket file in place, unplugging takes it away and hangs up
// the device's connections, in one of several orders.

#include "devicelib/usb/vendor_id.h"
#include "tools/emulator/device_model.h"
#include "tools/emulator/usb_device.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zarvo::emulator {

// The product id of the wrist devices the HID driver accepts.
constexpr std::uint16_t wrist_device_product_id = 0x0008;

struct usb_identity {
    std::string serial;
    std::uint16_t vendor = zarvo::usb::device_vendor_id;
    std::uint16_t product = wrist_device_product_id;
};

enum class unplug_order {
    // The file goes, then every connection is closed.
    file_then_connections,
    // Every connection is closed, then the file goes.
    connections_then_file,
    // A device that hung up: its connections close, its file stays, so no
    // removal is announced.
    connections_only,
    // The file goes; open connections stay until the host closes them.
    file_only,
};

class usb_hub {
public:
    explicit usb_hub(std::filesystem::path dir);
    // Unplugs every device, removing its file.
    ~usb_hub();
    usb_hub(const usb_hub&) = delete;
    usb_hub& operator=(const usb_hub&) = delete;

    const std::filesystem::path& dir() const { return dir_; }

    // Serves model as the device identity names and puts its socket file in
    // place; returns the file's path. A serial unplugged before may be
    // plugged again: what was left of the earlier device goes first. A
    // serial still plugged throws std::invalid_argument. model must outlive
    // the hub or the next plug of the serial.
    std::filesystem::path plug(const usb_identity& identity, emulator::device_model& model);
    // Throws std::invalid_argument for a serial that is not plugged.
    void unplug(const std::string& serial,
                unplug_order order = unplug_order::file_then_connections);
    // Unplugs the device in the given order once it has sent count response
    // reports of the exchanges that follow, before it sends the next one.
    void unplug_after_response_reports(const std::string& serial, unsigned count,
                                       unplug_order order = unplug_order::file_then_connections);

    // Devices plugged from now on act on their model's restarts (a factory
    // reset, a firmware install) as a rebooting device drops off the bus:
    // once the answer in hand is out, the device is unplugged (file, then
    // connections) and handler is told its identity, on the thread that ran
    // the restart, which may be the device's own serving thread; so the
    // handler leaves plugging it again to another thread. Without a handler
    // a restart leaves the device plugged.
    void on_restart(std::function<void(const usb_identity&)> handler);

    // The devices plugged now, by serial.
    std::vector<usb_identity> plugged() const;
    bool is_plugged(const std::string& serial) const;
    // The emulated device of a serial (plugged or unplugged, until it is
    // plugged again); throws std::invalid_argument when there is none.
    usb_device& device(const std::string& serial);

private:
    struct port;

    port& find(const std::string& serial);
    static void unplug(port& p, unplug_order order);

    const std::filesystem::path dir_;
    mutable std::mutex mutex_;
    std::map<std::string, std::unique_ptr<port>> ports_;
    std::function<void(const usb_identity&)> restart_handler_;
};

} // namespace zarvo::emulator
