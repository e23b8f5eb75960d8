// Reassembling device notifications, wherever a notification report arrives:
// on the notification thread, while awaiting an acknowledgement, or while
// reading a response. Faults are traced and the notification is dropped with
// no answer to the device; the exchange in progress goes on.

#include "devicelib/usb/hid_device.h"

#include "devicelib/trace/trace.h"

#include <algorithm>
#include <sstream>

namespace zarvo::usb {
namespace {

constexpr const char* func = "zarvo::usb::hid_device::reassemble_notification";
constexpr unsigned max_content = 62;

} // namespace

platform::transfer_result hid_device::reassemble_notification(report& in)
{
    unsigned n = in[1] >> 2;
    if (n < 2 || n > max_content) {
        ZARVO_TRACE(func, "Expected notification header. Frame discarded.");
        return {};
    }
    const unsigned id = in[3];
    std::stringstream parameters;
    std::uint8_t expected = 0;
    for (bool first = true;; first = false) {
        n = in[1] >> 2;
        if (n == 0) {
            ZARVO_TRACE(func, "Expected ring counter. Notification discarded.");
            return {};
        }
        if (in[2] != expected) {
            ZARVO_TRACE(func, "Ring counter mismatch. Notification discarded.");
            return {};
        }
        const std::size_t from = first ? 4 : 3;
        const bool last = !(in[1] & 0x01);
        // Content ends at byte 63, and a first report that ends the
        // notification needs room for its id and footer.
        if (n > max_content || (first && last && n < 3)) {
            ZARVO_TRACE(func, "Expected footer in notification. Message discarded.");
            return {};
        }
        if (!last) {
            parameters.write(reinterpret_cast<const char*>(&in[from]),
                             static_cast<std::streamsize>(n + 2 - from));
            in.fill(0);
            const auto read = read_report(in.data(), report_timeout_ms_);
            if (!read.ok())
                return read;
            ++expected;
            continue;
        }
        if (n == 1) {
            ZARVO_TRACE(func, "Expected footer in notification. Message discarded.");
            return {};
        }
        const std::uint8_t footer = in[n + 1];
        if (footer > 1) {
            ZARVO_TRACE(func, "Unknown notification footer flags. Message discarded.");
            return {};
        }
        if (footer == 1) {
            if (n == 3) {
                ZARVO_TRACE(func, "Expected error code in notification footer. Message discarded.");
                return {};
            }
            const unsigned code = in[n - 1] | in[n] << 8;
            if (code == 0)
                ZARVO_TRACE(func,
                            "Notification receiving canceled by device. Expected error code.");
            else
                ZARVO_TRACE(func,
                            "Notification receiving canceled by device due to error %lu. Message "
                            "discarded.",
                            static_cast<unsigned long>(code));
            return {};
        }
        parameters.write(reinterpret_cast<const char*>(&in[from]),
                         static_cast<std::streamsize>(n + 1 - from));
        dispatch(id, parameters);
        return {};
    }
}

void hid_device::dispatch(unsigned id, std::iostream& parameters)
{
    hid_notification_sink* const owner = owner_;
    if (!owner)
        return;
    const std::streamoff written = parameters.tellp();
    bool parsed = false;
    try {
        parsed = owner->notification(id, parameters);
    } catch (...) {
        // A handler that throws has not parsed the notification; its error
        // must not end the notification thread or the exchange.
    }
    if (parsed)
        return;
    parameters.clear();
    const std::streamoff consumed =
        parameters.rdbuf()->pubseekoff(0, std::ios_base::cur, std::ios_base::in);
    ZARVO_TRACE("zarvo::usb::hid_device::dispatch",
                "Got notification %lu with %lu bytes of parameters, managed to parse %lu bytes.",
                static_cast<unsigned long>(id),
                static_cast<unsigned long>(std::max<std::streamoff>(written, 0)),
                static_cast<unsigned long>(std::max<std::streamoff>(consumed, 0)));
}

} // namespace zarvo::usb
