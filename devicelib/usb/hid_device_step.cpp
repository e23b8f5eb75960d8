// Keeping the link in step: no report that belongs to an earlier exchange is
// ever taken as part of a later one.
//
// A device answers a continue at once, before it could see what the host
// sends next, so a reception the host gives up after a continue always has
// one more report on its way. The host reads that report and answers it in
// turn (a stop when it announces more), then discards whatever else comes
// until the link is quiet. Before each new host message, what is still
// queued is read without waiting. Device notifications met on the way are
// dispatched as everywhere else.

#include "devicelib/usb/hid_device.h"

#include "devicelib/trace/trace.h"

namespace zarvo::usb {
namespace {

constexpr std::uint8_t more_follows = 0x01;
constexpr std::uint8_t stop_header = 0x04;
// A device that streams without end is not followed for ever.
constexpr unsigned max_discarded = 1024;

} // namespace

void hid_device::drain()
{
    unsigned discarded = 0;
    report in{};
    // A failed read is left to the exchange's own transfers to report.
    while (discarded < max_discarded && read_past_notifications(in, 0).ok())
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
    report in{};
    while (discarded < max_discarded && read_past_notifications(in, quiet_ms).ok())
        ++discarded;
    return discarded;
}

void hid_device::trace_discarded(const char* where, unsigned count)
{
    if (count)
        ZARVO_TRACE(where, "Discarded %u report(s) of an earlier exchange.", count);
}

} // namespace zarvo::usb
