#include "devicelib/platform/tcp_stream.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zarvo::platform {
namespace {

using clock_type = std::chrono::steady_clock;

int remaining_ms(clock_type::time_point deadline, int timeout_ms)
{
    if (timeout_ms < 0)
        return -1;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock_type::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

clock_type::time_point deadline_of(int timeout_ms)
{
    return clock_type::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
}

// Polls the socket for events beside the wakes. Returns the outcome when a
// wake decided it, or the time-out; nothing when the socket is ready.
std::optional<stream_result> wait_socket(int fd, short events, int timeout_ms,
                                         const stream_wakes& wakes, bool begun)
{
    pollfd fds[4] = {{fd, events, 0}, {-1, POLLIN, 0}, {-1, POLLIN, 0}, {-1, POLLIN, 0}};
    if (wakes.stop)
        fds[1].fd = wakes.stop->fd();
    if (wakes.abort)
        fds[2].fd = wakes.abort->fd();
    if (wakes.pause && !begun)
        fds[3].fd = wakes.pause->fd();
    int n;
    while ((n = ::poll(fds, 4, timeout_ms)) < 0 && errno == EINTR) {
    }
    if (n < 0)
        return stream_result{stream_status::failed, errno};
    if (auto woken = outcome_of_wait(fds[1].revents, fds[2].revents, fds[3].revents, begun))
        return woken;
    if (n == 0)
        return stream_result{stream_status::timed_out, 0};
    if (fds[0].revents & POLLNVAL)
        return stream_result{stream_status::failed, EBADF};
    return std::nullopt;
}

int pending_error(int fd)
{
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
        return errno;
    return err;
}

} // namespace

void set_no_delay(int fd)
{
    const int on = 1;
    // Fails with EOPNOTSUPP on sockets that are not TCP; nothing to do then.
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

tcp_stream::tcp_stream(int fd)
    : fd_(fd)
{
    if (fd_ >= 0) {
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd_, F_SETFD, FD_CLOEXEC);
    }
}

tcp_stream::~tcp_stream()
{
    close();
}

void tcp_stream::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

stream_result tcp_stream::recv_exact(void* buffer, std::size_t n, int timeout_ms,
                                     const stream_wakes& wakes)
{
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t got = 0;
    auto deadline = deadline_of(timeout_ms);
    while (got < n) {
        if (fd_ < 0)
            return {stream_status::failed, EBADF};
        // Wakes are looked at before each receive, so a cancel is never
        // missed behind a steady stream of bytes.
        if (auto woken =
                wait_socket(fd_, POLLIN, remaining_ms(deadline, timeout_ms), wakes, got > 0))
            return *woken;
        const ssize_t r = ::recv(fd_, out + got, n - got, MSG_DONTWAIT);
        if (auto ended = outcome_of_recv(r, r < 0 ? errno : 0)) {
            if (ended->status == stream_status::closed && ended->error == 0) {
                const int err = pending_error(fd_);
                if (err != 0)
                    return {stream_status::closed, err};
            }
            return *ended;
        }
        if (r > 0) {
            got += static_cast<std::size_t>(r);
            deadline = deadline_of(timeout_ms);
        }
    }
    return {};
}

stream_result tcp_stream::send_all(const void* bytes, std::size_t n, int timeout_ms,
                                   const event* abort)
{
    if (fd_ < 0)
        return {stream_status::failed, EBADF};
    if (abort && abort->is_set())
        return {stream_status::aborted, 0};
    const auto* in = static_cast<const unsigned char*>(bytes);
    std::size_t sent = 0;
    auto deadline = deadline_of(timeout_ms);
    while (sent < n) {
        const ssize_t r = ::send(fd_, in + sent, n - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (auto ended = outcome_of_send(r, r < 0 ? errno : 0))
            return *ended;
        if (r > 0) {
            sent += static_cast<std::size_t>(r);
            deadline = deadline_of(timeout_ms);
            continue;
        }
        // A begun frame is finished whatever the abort says: only the
        // time-out ends it.
        if (auto woken =
                wait_socket(fd_, POLLOUT, remaining_ms(deadline, timeout_ms), stream_wakes{}, true))
            return *woken;
    }
    return {};
}

long tcp_stream::peek(void* buffer, std::size_t n)
{
    const ssize_t r = ::recv(fd_, buffer, n, MSG_PEEK | MSG_DONTWAIT);
    if (r >= 0)
        return static_cast<long>(r);
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        return 0;
    return -errno;
}

bool tcp_stream::wait_readable(int timeout_ms, const stream_wakes& wakes, stream_result& result)
{
    if (auto woken = wait_socket(fd_, POLLIN, timeout_ms, wakes, false)) {
        result = *woken;
        return false;
    }
    result = {};
    return true;
}

stream_result connect_ipv6(const sockaddr_in6& address, int timeout_ms, const event& stop, int& fd)
{
    fd = -1;
    const int s = ::socket(AF_INET6, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s < 0)
        return {stream_status::failed, errno};
    set_no_delay(s);
    if (::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
        errno != EINPROGRESS) {
        const int err = errno;
        ::close(s);
        return {stream_status::failed, err};
    }
    stream_wakes wakes;
    wakes.stop = &stop;
    if (auto woken = wait_socket(s, POLLOUT, timeout_ms, wakes, false)) {
        ::close(s);
        return *woken;
    }
    const int err = pending_error(s);
    if (err != 0) {
        ::close(s);
        return {stream_status::failed, err};
    }
    fd = s;
    return {};
}

} // namespace zarvo::platform
