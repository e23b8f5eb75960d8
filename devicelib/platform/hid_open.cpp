#include "devicelib/platform/hid_open.h"

#include <cstring>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace zarvo::platform {
namespace {

opened_hid open_hidraw(const std::string& path)
{
    opened_hid result;
    const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return result;
    hid_channel channel(fd, channel_kind::hidraw);
    hidraw_devinfo info{};
    if (::ioctl(fd, HIDIOCGRAWINFO, &info) < 0)
        return result;
    char uniq[256] = {};
    if (::ioctl(fd, HIDIOCGRAWUNIQ(sizeof uniq - 1), uniq) < 0)
        uniq[0] = '\0';
    result.identity = identity_from_raw_info(info.vendor, info.product);
    result.identity.serial = uniq;
    result.channel = std::move(channel);
    return result;
}

opened_hid open_seam(const std::string& path)
{
    opened_hid result;
    const auto slash = path.rfind('/');
    const auto identity = parse_seam_name(
        slash == std::string::npos ? path : std::string_view(path).substr(slash + 1));
    if (!identity)
        return result;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return result;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return result;
    hid_channel channel(fd, channel_kind::socket);
    // A connect to a listening UNIX socket completes at once, or fails with
    // EAGAIN when its backlog is full; neither waits.
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0)
        return result;
    result.identity = *identity;
    result.channel = std::move(channel);
    return result;
}

} // namespace

hid_identity identity_from_raw_info(std::int16_t vendor, std::int16_t product)
{
    hid_identity identity;
    identity.vendor_id = static_cast<std::uint16_t>(vendor);
    identity.product_id = static_cast<std::uint16_t>(product);
    return identity;
}

opened_hid open_hid(const std::string& path) noexcept
{
    try {
        struct stat status {};
        if (::stat(path.c_str(), &status) < 0)
            return {};
        if (S_ISCHR(status.st_mode))
            return open_hidraw(path);
        if (S_ISSOCK(status.st_mode))
            return open_seam(path);
    } catch (...) {
        // Only allocation can throw here; an unopened device is the answer.
    }
    return {};
}

} // namespace zarvo::platform
