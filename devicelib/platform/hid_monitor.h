#pragma once

// Where HID interfaces are found and their plugging is noticed. Two kinds:
// a directory of seam socket files (ZARVO_HID_DIR, for tests and the device
// emulator) watched with inotify, and udev's hidraw nodes.

#include <memory>
#include <string>
#include <vector>

namespace zarvo::platform {

// Receives a monitor's notices, with interface paths as they are to be
// opened.
class hid_events {
public:
    virtual ~hid_events();
    virtual void arrival(const std::string& path) = 0;
    virtual void removal(const std::string& path) = 0;
    // Notices were lost, or the place the interfaces live in went away:
    // these are all the interfaces present now.
    virtual void present(const std::vector<std::string>& paths) = 0;
};

class hid_monitor {
public:
    virtual ~hid_monitor();
    // The interfaces present now; nothing when they cannot be listed.
    virtual std::vector<std::string> enumerate() = 0;
    // Readable while notices wait; negative when there is no monitor (it
    // could not be set up), so that plugging goes unnoticed.
    virtual int fd() const = 0;
    // Hands every waiting notice to events, without blocking.
    virtual void dispatch(hid_events& events) = 0;
};

// The directory monitor when ZARVO_HID_DIR is set and non-empty, else the
// udev one. The monitor is enabled on return: what happens from then on is
// noticed, even before anyone reads it. Never null; failures are traced.
std::unique_ptr<hid_monitor> open_hid_monitor();
// Socket files "<vid>-<pid>-<serial>.hid" in dir; other names are ignored.
std::unique_ptr<hid_monitor> open_directory_monitor(const std::string& dir);
// hidraw nodes as udev announces them, once its rules have run.
std::unique_ptr<hid_monitor> open_udev_monitor();

} // namespace zarvo::platform
