#include "devicelib/platform/event.h"

#include <cerrno>
#include <cstdint>
#include <new>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace zarvo::platform {

event::event()
    : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (fd_ < 0)
        throw std::bad_alloc();
}

event::~event()
{
    ::close(fd_);
}

void event::set()
{
    // The counter only grows; a write fails (EAGAIN) only when it would
    // overflow, and the flag is then set already.
    const std::uint64_t one = 1;
    while (::write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void event::reset()
{
    std::uint64_t value;
    while (::read(fd_, &value, sizeof value) < 0 && errno == EINTR) {
    }
}

bool event::is_set() const
{
    pollfd p{fd_, POLLIN, 0};
    int n;
    while ((n = ::poll(&p, 1, 0)) < 0 && errno == EINTR) {
    }
    return n > 0 && (p.revents & POLLIN);
}

} // namespace zarvo::platform
