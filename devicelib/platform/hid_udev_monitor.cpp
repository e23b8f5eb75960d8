// Kept apart from every file that includes the library's version header:
// <libudev.h> brings glibc's major() and minor() macros.
#include "devicelib/platform/hid_monitor.h"
#include "devicelib/trace/trace.h"

#include <libudev.h>

#include <cerrno>
#include <cstring>

namespace zarvo::platform {
namespace {

constexpr const char* subsystem = "hidraw";

// hidraw nodes. The monitor listens to udev's own announcements, which come
// after its rules ran, so a node's permissions are final when it arrives.
// Without a udev daemon nothing is listed or announced.
class udev_hid_monitor : public hid_monitor {
public:
    udev_hid_monitor()
        : udev_(udev_new())
    {
        if (!udev_) {
            ZARVO_TRACE("zarvo::platform::udev_hid_monitor", "udev failed: %s",
                        std::strerror(errno));
            return;
        }
        monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
        int result = monitor_ ? 0 : -errno;
        if (result >= 0)
            result = udev_monitor_filter_add_match_subsystem_devtype(monitor_, subsystem, nullptr);
        if (result >= 0)
            result = udev_monitor_enable_receiving(monitor_);
        if (result < 0) {
            ZARVO_TRACE("zarvo::platform::udev_hid_monitor",
                        "No HID hot-plug: the udev monitor failed: %s", std::strerror(-result));
            if (monitor_)
                udev_monitor_unref(monitor_);
            monitor_ = nullptr;
        }
    }

    ~udev_hid_monitor() override
    {
        if (monitor_)
            udev_monitor_unref(monitor_);
        if (udev_)
            udev_unref(udev_);
    }

    std::vector<std::string> enumerate() override
    {
        std::vector<std::string> paths;
        if (!udev_)
            return paths;
        udev_enumerate* e = udev_enumerate_new(udev_);
        if (!e)
            return paths;
        if (udev_enumerate_add_match_subsystem(e, subsystem) >= 0 &&
            udev_enumerate_scan_devices(e) >= 0) {
            udev_list_entry* entry;
            udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e))
            {
                udev_device* device =
                    udev_device_new_from_syspath(udev_, udev_list_entry_get_name(entry));
                if (!device)
                    continue;
                if (const char* node = udev_device_get_devnode(device))
                    paths.emplace_back(node);
                udev_device_unref(device);
            }
        }
        udev_enumerate_unref(e);
        return paths;
    }

    int fd() const override { return monitor_ ? udev_monitor_get_fd(monitor_) : -1; }

    void dispatch(hid_events& events) override
    {
        if (!monitor_)
            return;
        while (udev_device* device = udev_monitor_receive_device(monitor_)) {
            const char* action = udev_device_get_action(device);
            const char* node = udev_device_get_devnode(device);
            if (action && node) {
                if (std::strcmp(action, "add") == 0)
                    events.arrival(node);
                else if (std::strcmp(action, "remove") == 0)
                    events.removal(node);
            }
            udev_device_unref(device);
        }
    }

private:
    udev* udev_;
    ::udev_monitor* monitor_ = nullptr;
};

} // namespace

std::unique_ptr<hid_monitor> open_udev_monitor()
{
    return std::make_unique<udev_hid_monitor>();
}

} // namespace zarvo::platform
