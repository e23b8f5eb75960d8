#pragma once

// How one report transfer ends, and the pure rules that turn what poll and
// read/write saw into that outcome. A hidraw node and a seam socket share the
// rules; only their errno tables differ.

#include <cerrno>
#include <cstddef>
#include <optional>
#include <sys/types.h>

namespace zarvo::platform {

// Every transfer moves exactly one report, byte 0 the report id.
constexpr std::size_t report_size = 64;
// The error of a packet that is not exactly one report.
constexpr int wrong_length_error = EMSGSIZE;

enum class transfer_status {
    done,      // exactly one report moved
    aborted,   // the stop signal was set
    paused,    // a pause request woke the wait (wait_report only)
    timed_out, // nothing happened within the time-out
    gone,      // the device went away
    failed,    // anything else; error holds the errno
};

struct transfer_result {
    transfer_status status = transfer_status::done;
    int error = 0;

    bool ok() const { return status == transfer_status::done; }
};

enum class channel_kind { hidraw, socket };
enum class transfer_direction { read, write };

// A read/recv or write/send that failed with err.
transfer_result outcome_of_errno(channel_kind kind, transfer_direction direction, int err);

// A read/recv that returned n >= 0 bytes into a buffer one byte longer than a
// report, with device_events the poll events of the device descriptor. On a
// socket an empty read is the end of the stream only once the peer has hung
// up; otherwise it was an empty packet.
transfer_result outcome_of_read(channel_kind kind, ssize_t n, short device_events);

// A write/send that returned n >= 0 bytes of one report.
transfer_result outcome_of_write(ssize_t n);

// The poll event that lets a transfer in this direction go ahead.
short ready_events(transfer_direction direction);

// What a poll that returned (not timed out) means before any transfer: the
// stop signal wins, then a pause wake (so a queued report stays queued for
// whoever reads next), then a ready device, then a device that hung up.
// Nothing, when the transfer should go ahead (device ready) or the poll be
// repeated. A device that hung up with a report still queued is read first,
// as hidraw hands out queued reports before failing.
std::optional<transfer_result> outcome_of_poll(transfer_direction direction, short stop_events,
                                               short wake_events, short device_events);

} // namespace zarvo::platform
