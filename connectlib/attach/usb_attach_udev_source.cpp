// Kept apart from every file that includes the device library's version
// header: <libudev.h> brings glibc's major() and minor() macros.
#include "connectlib/attach/usb_attach_source.h"

#include <libudev.h>

#include <cerrno>
#include <cstring>

namespace ConnectLib {

namespace {

QString failureText(const char* what, int error)
{
    return QString::fromLatin1(what) + QStringLiteral(": ") +
           QString::fromLocal8Bit(std::strerror(error));
}

// USB devices (not their interfaces) as udev reports them once its rules
// have run. PRODUCT is present on removal too.
class UdevAttachSource : public UsbAttachSource {
public:
    UdevAttachSource(struct udev* udev, struct udev_monitor* monitor)
        : m_udev(udev)
        , m_monitor(monitor)
    {
    }
    ~UdevAttachSource() override
    {
        udev_monitor_unref(m_monitor);
        udev_unref(m_udev);
    }

    int fd() const override { return udev_monitor_get_fd(m_monitor); }

    std::vector<UsbAttachEvent> readEvents() override
    {
        std::vector<UsbAttachEvent> events;
        while (struct udev_device* device = udev_monitor_receive_device(m_monitor)) {
            const char* action = udev_device_get_action(device);
            const bool arrival = action && std::strcmp(action, "add") == 0;
            const bool removal = action && std::strcmp(action, "remove") == 0;
            const std::optional<UsbIds> ids =
                parseUsbProductProperty(udev_device_get_property_value(device, "PRODUCT"));
            if ((arrival || removal) && ids)
                events.push_back({arrival, *ids});
            udev_device_unref(device);
        }
        return events;
    }

private:
    struct udev* m_udev;
    struct udev_monitor* m_monitor;
};

} // namespace

std::unique_ptr<UsbAttachSource> openUdevAttachSource(QString& failure)
{
    struct udev* udev = udev_new();
    if (!udev) {
        failure = failureText("udev", errno);
        return nullptr;
    }
    struct udev_monitor* monitor = udev_monitor_new_from_netlink(udev, "udev");
    if (!monitor) {
        failure = failureText("udev monitor", errno);
        udev_unref(udev);
        return nullptr;
    }
    int result = udev_monitor_filter_add_match_subsystem_devtype(monitor, "usb", "usb_device");
    if (result >= 0)
        result = udev_monitor_enable_receiving(monitor);
    if (result < 0) {
        failure = failureText("udev monitor", -result);
        udev_monitor_unref(monitor);
        udev_unref(udev);
        return nullptr;
    }
    return std::make_unique<UdevAttachSource>(udev, monitor);
}

} // namespace ConnectLib
