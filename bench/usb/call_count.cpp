// The counting wrappers of the system calls the report framing uses; the
// linker sends every call of the program's own code here (--wrap).
#include "bench/usb/call_count.h"

#include <atomic>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::atomic<unsigned long long> all_threads{0};
thread_local unsigned long long this_thread = 0;

void count()
{
    all_threads.fetch_add(1, std::memory_order_relaxed);
    ++this_thread;
}

} // namespace

namespace zarvo::bench {

unsigned long long calls_in_all_threads()
{
    return all_threads.load(std::memory_order_relaxed);
}

unsigned long long calls_in_this_thread()
{
    return this_thread;
}

} // namespace zarvo::bench

extern "C" {

ssize_t __real_send(int fd, const void* buffer, size_t length, int flags);
ssize_t __real_recv(int fd, void* buffer, size_t length, int flags);
int __real_poll(pollfd* fds, nfds_t count, int timeout);
ssize_t __real_read(int fd, void* buffer, size_t length);
ssize_t __real_write(int fd, const void* buffer, size_t length);

ssize_t __wrap_send(int fd, const void* buffer, size_t length, int flags)
{
    count();
    return __real_send(fd, buffer, length, flags);
}

ssize_t __wrap_recv(int fd, void* buffer, size_t length, int flags)
{
    count();
    return __real_recv(fd, buffer, length, flags);
}

int __wrap_poll(pollfd* fds, nfds_t count_of_fds, int timeout)
{
    count();
    return __real_poll(fds, count_of_fds, timeout);
}

ssize_t __wrap_read(int fd, void* buffer, size_t length)
{
    count();
    return __real_read(fd, buffer, length);
}

ssize_t __wrap_write(int fd, const void* buffer, size_t length)
{
    count();
    return __real_write(fd, buffer, length);
}

} // extern "C"
