#pragma once

#include "devicelib/core/connection.h"
#include "devicelib/platform/event.h"
#include "devicelib/usb/hid_callbacks.h"
#include "devicelib/usb/hid_device.h"
#include "devicelib/usb/removal_relay.h"

#include <cstdint>
#include <memory>
#include <string>

namespace zarvo::usb {

class hid_driver;

// The device link of one USB HID device. Each file operation becomes one
// ZFtp operation message sent through the connection's own hid_device copy;
// the device's answer code becomes a library error here. Device
// notifications arrive on the device's notification thread (or on the thread
// of a running exchange) and are posted to the core.
class hid_connection : public core::connection, public hid_notification_sink {
public:
    // Copies device and starts the copy's notification thread with this
    // connection as its owner. driver is not owned and may be null.
    hid_connection(hid_driver* driver, const hid_device& device);
    // Stops the notification thread and closes the copy.
    ~hid_connection() override;
    hid_connection(const hid_connection&) = delete;
    hid_connection& operator=(const hid_connection&) = delete;

    bool transport(std::string& name) override;
    bool family(std::string& name) override;
    zarvo::disk_space disk_space() override;
    bool fetch(const boost::filesystem::path& directory, std::set<zarvo::entry>& entries) override;
    bool create(const boost::filesystem::path& directory) override;
    void read(const boost::filesystem::path& file, std::ostream& content) override;
    void write(const boost::filesystem::path& file, std::istream& content) override;
    void merge(const boost::filesystem::path& file, std::istream& content) override;
    bool remove(const boost::filesystem::path& p) override;
    // Sets the cancel request from any thread; it stays set, failing every
    // transfer at its next report or at its start, until reset_cancel.
    void cancel() override;
    void reset_cancel() override;
    // Raw exchanges: the device's answer code, unmapped.
    int query(int id, std::istream& parameters, std::ostream& result) override;
    int notify(int id, std::istream& parameters) override;
    int readiness() override;
    void withdrawn() override;

    // One complete device notification. False for an id this link does not
    // know; parameters that do not parse are dropped, still true.
    bool notification(unsigned id, std::istream& parameters) override;

    hid_driver* driver() const { return driver_; }
    const hid_device& device() const { return device_; }
    // The id the connection's events carry, from the device's serial.
    std::uint64_t device_id() const;

private:
    // A file operation that the device may refuse with false (fetch, create,
    // remove): resent while the device answers 2, true on 0, false on
    // refusal. Listing bytes go to listing when given.
    bool refusable(int command, const boost::filesystem::path& p, int refusal,
                   std::string* listing);
    // read, write and merge: sent once; answer 1 ends normally.
    void transfer(int command, const boost::filesystem::path& file, std::ostream* download,
                  std::istream* upload);

    hid_driver* driver_;
    // Keeps the relay the device copy reports removals through alive as long
    // as the notification thread runs; set when driver is given.
    std::shared_ptr<removal_relay> removal_;
    platform::event cancel_;
    hid_device device_;
};

} // namespace zarvo::usb
