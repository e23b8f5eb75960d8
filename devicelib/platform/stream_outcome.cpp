#include "devicelib/platform/stream_outcome.h"

#include "devicelib/platform/socket_errors.h"

#include <cerrno>
#include <poll.h>

namespace zarvo::platform {

std::optional<stream_result> outcome_of_wait(short stop_events, short abort_events,
                                             short pause_events, bool begun)
{
    if (stop_events & POLLIN)
        return stream_result{stream_status::stopped, 0};
    if (abort_events & POLLIN)
        return stream_result{stream_status::aborted, 0};
    if ((pause_events & POLLIN) && !begun)
        return stream_result{stream_status::paused, 0};
    return std::nullopt;
}

std::optional<stream_result> outcome_of_recv(ssize_t n, int err)
{
    if (n > 0)
        return std::nullopt;
    if (n == 0)
        return stream_result{stream_status::closed, 0};
    if (err == EAGAIN || err == EWOULDBLOCK || err == EINTR)
        return std::nullopt;
    if (err == ECONNRESET)
        return stream_result{stream_status::closed, ECONNRESET};
    return stream_result{stream_status::failed, err};
}

std::optional<stream_result> outcome_of_send(ssize_t n, int err)
{
    if (n >= 0)
        return std::nullopt;
    if (err == EAGAIN || err == EWOULDBLOCK || err == EINTR)
        return std::nullopt;
    if (err == EPIPE || err == ECONNRESET)
        return stream_result{stream_status::closed, err};
    return stream_result{stream_status::failed, err};
}

int link_code(const stream_result& r)
{
    switch (r.status) {
    case stream_status::done:
        return 0;
    case stream_status::aborted:
        return 440;
    case stream_status::timed_out:
        return 220;
    case stream_status::closed:
        return connection_reset_code;
    case stream_status::failed:
        return socket_error_code(r.error);
    default:
        return -100;
    }
}

} // namespace zarvo::platform
