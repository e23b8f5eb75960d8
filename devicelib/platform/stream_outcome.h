#pragma once

// How one transfer on a stream socket ends, and the pure rules that turn
// what poll and recv/send saw into that outcome. A stop is kept apart from a
// cancel: a cancel ends one transfer, a stop ends the reader for good.

#include <optional>
#include <sys/types.h>

namespace zarvo::platform {

enum class stream_status {
    done,      // every byte moved
    aborted,   // the abort (cancel) event was set
    stopped,   // the stop event was set
    paused,    // a pause request came before the first byte
    timed_out, // no byte within the time-out
    closed,    // the peer ended the stream
    failed,    // error holds the errno
};

struct stream_result {
    stream_status status = stream_status::done;
    int error = 0;

    bool ok() const { return status == stream_status::done; }
};

// What a poll that returned means before the next recv or send, with begun
// whether bytes of this transfer have moved already. A stop wins; an abort
// ends the transfer; a pause request counts only before the first byte (a
// begun frame is finished). Nothing: go ahead (the socket is ready, or hung
// up and the recv will tell). The events are the revents of each descriptor.
std::optional<stream_result> outcome_of_wait(short stop_events, short abort_events,
                                             short pause_events, bool begun);

// A recv that returned n with errno err (when n < 0). Nothing: bytes came
// (n > 0) or none yet (EAGAIN, EINTR), keep going.
std::optional<stream_result> outcome_of_recv(ssize_t n, int err);

// A send that returned n with errno err (when n < 0). EPIPE and ECONNRESET
// are a closed peer.
std::optional<stream_result> outcome_of_send(ssize_t n, int err);

// The device link's code for an outcome: 0, 440 aborted, 220 timed out,
// 10054 closed, the socket error code of a failure, -100 for anything else.
int link_code(const stream_result& r);

} // namespace zarvo::platform
