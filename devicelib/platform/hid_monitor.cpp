#include "devicelib/platform/hid_monitor.h"

#include <cstdlib>

namespace zarvo::platform {

hid_events::~hid_events() = default;

hid_monitor::~hid_monitor() = default;

std::unique_ptr<hid_monitor> open_hid_monitor()
{
    const char* dir = std::getenv("ZARVO_HID_DIR");
    if (dir && *dir)
        return open_directory_monitor(dir);
    return open_udev_monitor();
}

} // namespace zarvo::platform
