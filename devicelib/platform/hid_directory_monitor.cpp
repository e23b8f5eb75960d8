#include "devicelib/platform/hid_identity.h"
#include "devicelib/platform/hid_monitor.h"
#include "devicelib/trace/trace.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace zarvo::platform {
namespace {

constexpr std::uint32_t arrival_mask = IN_CREATE | IN_MOVED_TO;
constexpr std::uint32_t removal_mask = IN_DELETE | IN_MOVED_FROM;
constexpr std::uint32_t vanished_mask = IN_DELETE_SELF | IN_IGNORED;

// A device is a socket file in the directory: bound under another name and
// renamed into place on plug-in, removed or renamed away on unplug.
class directory_monitor : public hid_monitor {
public:
    explicit directory_monitor(std::string dir)
        : dir_(std::move(dir))
    {
        while (dir_.size() > 1 && dir_.back() == '/')
            dir_.pop_back();
        fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd_ < 0) {
            ZARVO_TRACE("zarvo::platform::directory_monitor", "inotify failed: %s",
                        std::strerror(errno));
            return;
        }
        if (::inotify_add_watch(fd_, dir_.c_str(),
                                arrival_mask | removal_mask | IN_DELETE_SELF | IN_ONLYDIR) < 0) {
            ZARVO_TRACE("zarvo::platform::directory_monitor", "Cannot watch HID directory %s: %s",
                        dir_.c_str(), std::strerror(errno));
            ::close(fd_);
            fd_ = -1;
        }
    }

    ~directory_monitor() override
    {
        if (fd_ >= 0)
            ::close(fd_);
    }

    std::vector<std::string> enumerate() override
    {
        std::vector<std::string> paths;
        DIR* dir = ::opendir(dir_.c_str());
        if (!dir)
            return paths;
        while (const dirent* entry = ::readdir(dir)) {
            if (parse_seam_name(entry->d_name))
                paths.push_back(path_of(entry->d_name));
        }
        ::closedir(dir);
        return paths;
    }

    int fd() const override { return fd_; }

    void dispatch(hid_events& events) override
    {
        alignas(inotify_event) char buffer[16 * 1024];
        for (;;) {
            const ssize_t got = ::read(fd_, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return;
            for (ssize_t offset = 0; offset < got;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buffer + offset);
                offset += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
                handle(*e, events);
            }
        }
    }

private:
    void handle(const inotify_event& e, hid_events& events)
    {
        if (e.mask & IN_Q_OVERFLOW) {
            events.present(enumerate());
            return;
        }
        if (e.mask & vanished_mask) {
            // The watch ends with the directory; its devices are gone.
            if (!vanished_)
                ZARVO_TRACE("zarvo::platform::directory_monitor", "HID directory %s vanished.",
                            dir_.c_str());
            vanished_ = true;
            events.present({});
            return;
        }
        if (e.len == 0 || !parse_seam_name(e.name))
            return;
        if (e.mask & arrival_mask)
            events.arrival(path_of(e.name));
        else if (e.mask & removal_mask)
            events.removal(path_of(e.name));
    }

    std::string path_of(const char* name) const
    {
        return dir_ == "/" ? dir_ + name : dir_ + '/' + name;
    }

    std::string dir_;
    int fd_ = -1;
    bool vanished_ = false;
};

} // namespace

std::unique_ptr<hid_monitor> open_directory_monitor(const std::string& dir)
{
    return std::make_unique<directory_monitor>(dir);
}

} // namespace zarvo::platform
