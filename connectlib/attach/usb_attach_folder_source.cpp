#include "connectlib/attach/usb_attach_source.h"

#include "devicelib/platform/hid_identity.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace ConnectLib {

namespace {

constexpr uint32_t arrivalMask = IN_CREATE | IN_MOVED_TO;
constexpr uint32_t removalMask = IN_DELETE | IN_MOVED_FROM;

// A device is a socket file in the watched folder: created or renamed into
// place on plug-in, removed or renamed away on unplug.
class FolderAttachSource : public UsbAttachSource {
public:
    explicit FolderAttachSource(int fd)
        : m_fd(fd)
    {
    }
    ~FolderAttachSource() override { ::close(m_fd); }

    int fd() const override { return m_fd; }

    std::vector<UsbAttachEvent> readEvents() override
    {
        std::vector<UsbAttachEvent> events;
        alignas(struct inotify_event) char buffer[16 * 1024];
        for (;;) {
            const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            for (ssize_t offset = 0; offset < got;) {
                const auto* event = reinterpret_cast<const struct inotify_event*>(buffer + offset);
                offset += ssize_t(sizeof(struct inotify_event) + event->len);
                if (event->len == 0 || !(event->mask & (arrivalMask | removalMask)))
                    continue;
                // The name's bytes as the device library reads them.
                const auto identity = zarvo::platform::parse_seam_name(event->name);
                if (identity)
                    events.push_back({(event->mask & arrivalMask) != 0,
                                      UsbIds{identity->vendor_id, identity->product_id}});
            }
        }
        return events;
    }

private:
    int m_fd;
};

} // namespace

std::unique_ptr<UsbAttachSource> openFolderAttachSource(const QString& folder, QString& failure)
{
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) {
        failure = QStringLiteral("inotify: ") + QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    if (::inotify_add_watch(fd, QFile::encodeName(folder).constData(),
                            arrivalMask | removalMask | IN_ONLYDIR) < 0) {
        failure = folder + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<FolderAttachSource>(fd);
}

} // namespace ConnectLib
