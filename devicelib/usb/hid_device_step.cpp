// Keeping the link in step: no report that belongs to an earlier exchange is
// ever taken as part of a later one.
//
// A device answers a continue at once, before it could see what the host
// sends next, so a reception the host gives up after a continue always has
// one more report on its way. The host reads that report and answers it in
// turn (a stop when it announces more), then discards whatever else comes
// until the link is quiet. Before each new host message, what is still
// queued is read without waiting. A discarded first report of a response
// that announces more is stopped, since its device waits for an answer to
// it, unless it only goes on with a response the host already stopped. Device notifications met on
// the way are dispatched as everywhere else.

#include "devicelib/usb/hid_device.h"

#include "devicelib/trace/trace.h"

namespace zarvo::usb {
namespace {

constexpr std::uint8_t more_follows = 0x01;
constexpr std::uint8_t stop_header = 0x04;
constexpr std::uint8_t continue_header = 0x05;
constexpr std::uint8_t host_report_id = 1;
// A device that streams without end is not followed for ever.
constexpr unsigned max_discarded = 1024;

} // namespace

void hid_device::drain()
{
    unsigned discarded = 0;
    // A failed read is left to the exchange's own transfers to report.
    while (discarded < max_discarded && discard_one(0))
        ++discarded;
    trace_discarded("zarvo::usb::hid_device::drain", discarded);
}

void hid_device::abandon_reception(const report& last_read)
{
    // Without a continue the device has nothing more to send.
    if (!(last_read[1] & more_follows))
        return;
    unsigned discarded = 0;
    report in{};
    const auto answer = read_past_notifications(in, answer_wait_ms_);
    if (answer.ok()) {
        ++discarded;
        if (in[1] & more_follows)
            write_acknowledgement(stop_header, in[2]);
    } else if (answer.status == platform::transfer_status::timed_out) {
        // A device that missed the continue still waits for an answer.
        write_acknowledgement(stop_header, last_read[2]);
    } else {
        return;
    }
    discarded += discard_until_quiet(quiet_ms_);
    trace_discarded("zarvo::usb::hid_device::abandon_reception", discarded);
}

void hid_device::settle()
{
    trace_discarded("zarvo::usb::hid_device::settle", discard_until_quiet(quiet_ms_));
}

unsigned hid_device::discard_until_quiet(int quiet_ms)
{
    unsigned discarded = 0;
    while (discarded < max_discarded && discard_one(quiet_ms))
        ++discarded;
    return discarded;
}

bool hid_device::discard_one(int timeout_ms)
{
    report in{};
    if (!read_past_notifications(in, timeout_ms).ok())
        return false;
    // A device's continue acknowledgement (0x05) waits for nothing.
    if (!(in[1] & more_follows) || in[1] == continue_header)
        return true;
    if (in[2] == stopped_next_ring_) {
        // A device that streams on after the host's stop.
        stopped_next_ring_ = static_cast<std::uint8_t>(in[2] + 1);
        return true;
    }
    // Only the start of a response waits for an answer nobody gave: the
    // later reports of one were answered by its exchange.
    if (in[2] != 0)
        return true;
    // Left unanswered, the device would take the next host message for the
    // answer. A failed write is left to the exchange's own transfers.
    report stop{};
    stop[0] = host_report_id;
    stop[1] = stop_header;
    stop[2] = in[2];
    stopped_next_ring_ = 1;
    write_report(stop.data(), report_timeout_ms_);
    return true;
}

void hid_device::trace_discarded(const char* where, unsigned count)
{
    if (count)
        ZARVO_TRACE(where, "Discarded %u report(s) of an earlier exchange.", count);
}

} // namespace zarvo::usb
