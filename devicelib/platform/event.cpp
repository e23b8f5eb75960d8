#include "devicelib/platform/event.h"

#include <cerrno>
#include <cstdint>
#include <new>
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
    std::lock_guard<std::mutex> lock(change_);
    // The counter only grows; a write fails (EAGAIN) only when it would
    // overflow, and the flag is then set already.
    const std::uint64_t one = 1;
    while (::write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
    set_.store(true, std::memory_order_release);
}

void event::reset()
{
    std::lock_guard<std::mutex> lock(change_);
    set_.store(false, std::memory_order_release);
    std::uint64_t value;
    while (::read(fd_, &value, sizeof value) < 0 && errno == EINTR) {
    }
}

} // namespace zarvo::platform
