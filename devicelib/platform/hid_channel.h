#pragma once

// A report channel over one file descriptor: a hidraw node, a seam socket or
// one end of a SOCK_SEQPACKET socketpair. Every transfer moves exactly one
// report and is finished when it returns; nothing stays pending in the
// kernel, so the caller's buffer is free again at once.

#include "devicelib/platform/event.h"
#include "devicelib/platform/transfer_outcome.h"

#include <cstdint>

namespace zarvo::platform {

class hid_channel {
public:
    hid_channel() = default;
    // Takes ownership of fd, which must be non-blocking and close-on-exec.
    hid_channel(int fd, channel_kind kind) noexcept;
    ~hid_channel();
    hid_channel(hid_channel&& other) noexcept;
    hid_channel& operator=(hid_channel&& other) noexcept;
    hid_channel(const hid_channel&) = delete;
    hid_channel& operator=(const hid_channel&) = delete;

    // A second descriptor for the same open file description. The node is
    // never opened again: every open hidraw file gets its own copy of each
    // input report, so two opens would see every report twice. Closed when
    // this channel is closed or the descriptor table is full.
    hid_channel duplicate() const;

    bool is_open() const { return fd_ >= 0; }
    channel_kind kind() const { return kind_; }
    void close();

    // Reads one report into report[0..63]. Tests stop and, when given, the
    // pause wake without a system call, then reads at once; only when no
    // report is there does it wait up to timeout_ms (negative: without end,
    // 0: not at all) for the device, stop and the wake. The buffer is only
    // written when done.
    transfer_result read(std::uint8_t* report, int timeout_ms, const event& stop,
                         const event* wake = nullptr) const;
    // Writes one report, at once when the channel takes it. The time-out and
    // stop apply to a wait when it would block; a hidraw write then completes
    // inside the kernel, bounded by its own USB time-out. A socket peer that
    // went away gives gone, never SIGPIPE.
    transfer_result write(const std::uint8_t* report, int timeout_ms, const event& stop) const;

private:
    // Tests stop, waits until the device is ready, then moves one report;
    // move() makes the system call and finish() judges what it returned.
    template <typename Move, typename Finish>
    transfer_result transfer(transfer_direction direction, int timeout_ms, const event& stop,
                             const event* wake, Move move, Finish finish) const;

    int fd_ = -1;
    channel_kind kind_ = channel_kind::socket;
};

} // namespace zarvo::platform
