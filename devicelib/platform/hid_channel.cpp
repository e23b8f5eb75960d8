#include "devicelib/platform/hid_channel.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace zarvo::platform {
namespace {

using clock = std::chrono::steady_clock;

// Waits for the device to be ready in direction, or for stop or wake. Returns
// nothing when the transfer may go ahead; device_events gets the device's
// poll events.
// A time-out as a point in time; none for a negative time-out.
std::optional<clock::time_point> deadline_after(int timeout_ms)
{
    if (timeout_ms < 0)
        return std::nullopt;
    return clock::now() + std::chrono::milliseconds(timeout_ms);
}

std::optional<transfer_result> wait_ready(int fd, transfer_direction direction,
                                          std::optional<clock::time_point> deadline,
                                          const event& stop, const event* wake,
                                          short& device_events)
{
    pollfd fds[3] = {{fd, static_cast<short>(ready_events(direction) | POLLRDHUP), 0},
                     {stop.fd(), POLLIN, 0},
                     {wake ? wake->fd() : -1, POLLIN, 0}};
    const nfds_t count = wake ? 3 : 2;
    for (;;) {
        int wait_ms = -1;
        if (deadline) {
            // Rounded up, so that a poll never returns just before the end.
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(*deadline - clock::now());
            wait_ms = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        }
        for (auto& p : fds)
            p.revents = 0;
        const int n = ::poll(fds, count, wait_ms);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return transfer_result{transfer_status::failed, errno};
        }
        if (n == 0) {
            if (!deadline || clock::now() < *deadline)
                continue;
            return transfer_result{transfer_status::timed_out, 0};
        }
        device_events = fds[0].revents;
        if (auto ended = outcome_of_poll(direction, fds[1].revents, fds[2].revents, device_events))
            return ended;
        if (device_events & ready_events(direction))
            return std::nullopt;
    }
}

} // namespace

hid_channel::hid_channel(int fd, channel_kind kind) noexcept
    : fd_(fd)
    , kind_(kind)
{
}

hid_channel::~hid_channel()
{
    close();
}

hid_channel::hid_channel(hid_channel&& other) noexcept
    : fd_(std::exchange(other.fd_, -1))
    , kind_(other.kind_)
{
}

hid_channel& hid_channel::operator=(hid_channel&& other) noexcept
{
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        kind_ = other.kind_;
    }
    return *this;
}

hid_channel hid_channel::duplicate() const
{
    if (fd_ < 0)
        return {};
    return hid_channel(::fcntl(fd_, F_DUPFD_CLOEXEC, 0), kind_);
}

void hid_channel::close()
{
    if (fd_ >= 0)
        ::close(std::exchange(fd_, -1));
}

transfer_result hid_channel::read(std::uint8_t* report, int timeout_ms, const event& stop,
                                  const event* wake) const
{
    // One byte more than a report, so that an over-long packet shows.
    std::uint8_t buffer[report_size + 1];
    return transfer(
        transfer_direction::read, timeout_ms, stop, wake,
        [&] {
            return kind_ == channel_kind::socket ? ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT)
                                                 : ::read(fd_, buffer, sizeof buffer);
        },
        [&](ssize_t n, short device_events) {
            const transfer_result result = outcome_of_read(kind_, n, device_events);
            if (result.ok())
                std::memcpy(report, buffer, report_size);
            return result;
        });
}

transfer_result hid_channel::write(const std::uint8_t* report, int timeout_ms,
                                   const event& stop) const
{
    return transfer(
        transfer_direction::write, timeout_ms, stop, nullptr,
        [&] {
            return kind_ == channel_kind::socket
                       ? ::send(fd_, report, report_size, MSG_NOSIGNAL | MSG_DONTWAIT)
                       : ::write(fd_, report, report_size);
        },
        [](ssize_t n, short) { return outcome_of_write(n); });
}

template <typename Move, typename Finish>
transfer_result hid_channel::transfer(transfer_direction direction, int timeout_ms,
                                      const event& stop, const event* wake, Move move,
                                      Finish finish) const
{
    // The flags cost no system call; a pause request wins over a report
    // already queued, which stays for whoever reads next.
    if (stop.is_set())
        return {transfer_status::aborted, 0};
    if (wake && wake->is_set())
        return {transfer_status::paused, 0};
    if (fd_ < 0)
        return {transfer_status::failed, EBADF};
    const auto deadline = deadline_after(timeout_ms);
    // The report is moved at once when it can be; poll only when the call
    // would block.
    for (;;) {
        const ssize_t n = move();
        if (n > 0)
            return finish(n, 0);
        if (n == 0) {
            // An empty read: the end of the stream only if the peer hung up.
            pollfd p{fd_, static_cast<short>(POLLIN | POLLRDHUP), 0};
            while (::poll(&p, 1, 0) < 0 && errno == EINTR) {
            }
            return finish(n, p.revents);
        }
        if (errno == EINTR)
            continue;
        // Another copy of the channel may have taken the report first.
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return outcome_of_errno(kind_, direction, errno);
        if (timeout_ms == 0)
            return {transfer_status::timed_out, 0};
        short device_events = 0;
        if (auto ended = wait_ready(fd_, direction, deadline, stop, wake, device_events))
            return *ended;
    }
}

} // namespace zarvo::platform
