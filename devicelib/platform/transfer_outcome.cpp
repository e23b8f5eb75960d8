#include "devicelib/platform/transfer_outcome.h"

#include <poll.h>

namespace zarvo::platform {

transfer_result outcome_of_errno(channel_kind kind, transfer_direction direction, int err)
{
    switch (err) {
    case ENODEV:
    case ENXIO:
    case ESHUTDOWN:
        return {transfer_status::gone, err};
    default:
        break;
    }
    if (kind == channel_kind::hidraw) {
        // A disconnected hidraw node fails reads with EIO; a write is bounded
        // by the kernel's own USB time-out.
        if (err == EIO && direction == transfer_direction::read)
            return {transfer_status::gone, err};
        if (err == ETIMEDOUT && direction == transfer_direction::write)
            return {transfer_status::timed_out, err};
    } else if (err == EPIPE || err == ECONNRESET || err == ENOTCONN) {
        return {transfer_status::gone, err};
    }
    return {transfer_status::failed, err};
}

transfer_result outcome_of_read(channel_kind kind, ssize_t n, short device_events)
{
    if (n == static_cast<ssize_t>(report_size))
        return {};
    if (n == 0 && kind == channel_kind::socket && (device_events & (POLLHUP | POLLRDHUP)))
        return {transfer_status::gone, 0};
    return {transfer_status::failed, wrong_length_error};
}

transfer_result outcome_of_write(ssize_t n)
{
    if (n == static_cast<ssize_t>(report_size))
        return {};
    return {transfer_status::failed, wrong_length_error};
}

short ready_events(transfer_direction direction)
{
    return direction == transfer_direction::read ? POLLIN : POLLOUT;
}

std::optional<transfer_result> outcome_of_poll(transfer_direction direction, short stop_events,
                                               short wake_events, short device_events)
{
    if (stop_events & POLLIN)
        return transfer_result{transfer_status::aborted, 0};
    if (wake_events & POLLIN)
        return transfer_result{transfer_status::paused, 0};
    if (device_events & ready_events(direction))
        return std::nullopt;
    if (device_events & POLLNVAL)
        return transfer_result{transfer_status::failed, EBADF};
    if (device_events & (POLLHUP | POLLERR | POLLRDHUP))
        return transfer_result{transfer_status::gone, 0};
    // Nothing that ends the transfer: the caller transfers when the device is
    // ready and polls again otherwise.
    return std::nullopt;
}

} // namespace zarvo::platform
