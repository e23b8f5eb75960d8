// Sending host messages and receiving the device's responses.

#include "devicelib/usb/hid_device.h"

#include "devicelib/errors/errors.h"
#include "devicelib/trace/trace.h"

#include <algorithm>
#include <istream>
#include <limits>
#include <optional>
#include <ostream>
#include <sstream>

namespace zarvo::usb {
namespace {

constexpr std::uint8_t host_report_id = 1;
constexpr std::uint8_t more_follows = 0x01;
constexpr std::uint8_t notification_bit = 0x02;
constexpr std::uint8_t full_message_header = 0xF9;
constexpr std::uint8_t full_notification_header = 0xFB;
constexpr std::uint8_t cancellation_header = 0x08;
constexpr std::uint8_t notification_cancellation_header = 0x0A;
constexpr std::uint8_t continue_header = 0x05;
constexpr std::uint8_t stop_header = 0x04;
constexpr std::uint8_t device_stop_header = 0x0C;
constexpr unsigned max_request_length = 0x7FFF;
constexpr unsigned query_flag = 0x8000;
constexpr unsigned max_content = 62;

unsigned content_length(const hid_device::report& r)
{
    return r[1] >> 2;
}

unsigned u16_at(const hid_device::report& r, std::size_t at)
{
    return r[at] | r[at + 1] << 8;
}

bool append(std::ostream& stream, const hid_device::report& r, std::size_t from, std::size_t count)
{
    stream.write(reinterpret_cast<const char*>(r.data() + from),
                 static_cast<std::streamsize>(count));
    return !stream.fail();
}

} // namespace

// The bytes of one host message after its word or id byte: the request
// (limited to its announced length) and then, for an upload, the payload.
class hid_device::message_source {
public:
    message_source(std::istream* first, std::optional<std::size_t> first_limit,
                   std::istream* second)
        : first_(first)
        , first_left_(first_limit)
        , second_(second)
    {
    }

    // Reads up to room bytes into to. filled() tells whether the room was
    // filled, so that more may follow; failed() whether a stream failed
    // without reaching its end.
    std::size_t read(std::uint8_t* to, std::size_t room)
    {
        std::size_t got = 0;
        if (first_) {
            std::size_t want = room;
            if (first_left_)
                want = std::min(want, *first_left_);
            got = take(*first_, to, want);
            if (first_left_)
                *first_left_ -= got;
            // The request has ended (its length reached or its stream at its
            // end): the payload follows in the same report.
            if (!failed_ && got < room)
                first_ = nullptr;
        }
        if (!failed_ && !first_ && second_ && got < room)
            got += take(*second_, to + got, room - got);
        filled_ = !failed_ && got == room;
        return got;
    }

    bool filled() const { return filled_; }
    bool failed() const { return failed_; }

private:
    std::size_t take(std::istream& stream, std::uint8_t* to, std::size_t count)
    {
        if (count == 0)
            return 0;
        stream.read(reinterpret_cast<char*>(to), static_cast<std::streamsize>(count));
        const auto got = static_cast<std::size_t>(stream.gcount());
        if (got < count && !stream.eof())
            failed_ = true;
        return got;
    }

    std::istream* first_;
    std::optional<std::size_t> first_left_;
    std::istream* second_;
    bool filled_ = false;
    bool failed_ = false;
};

namespace {

// The unread bytes of an in-memory request stream.
std::size_t request_length(std::iostream& request)
{
    const auto put = request.tellp();
    const auto get = request.tellg();
    if (put < 0 || get < 0)
        throw stream_failure();
    if (put - get > static_cast<std::streamoff>(max_request_length))
        throw invalid_parameter();
    return put > get ? static_cast<std::size_t>(put - get) : 0;
}

} // namespace

int hid_device::download(std::iostream& request, std::ostream& response,
                         const platform::event& cancel)
{
    if (cancel.is_set())
        throw operation_canceled();
    const std::size_t length = request_length(request);
    message_source source(&request, length, nullptr);
    return send(message_kind::operation, static_cast<unsigned>(length), source, &response, cancel);
}

int hid_device::upload(std::iostream& request, std::istream& payload, const platform::event& cancel)
{
    if (cancel.is_set())
        throw operation_canceled();
    const std::size_t length = request_length(request);
    message_source source(&request, length, &payload);
    std::stringstream dropped;
    return send(message_kind::operation, static_cast<unsigned>(length), source, &dropped, cancel);
}

int hid_device::query(long id, std::istream* parameters, std::ostream* result,
                      const platform::event& cancel)
{
    if (cancel.is_set())
        throw operation_canceled();
    if (id < 0 || id > static_cast<long>(max_request_length))
        throw invalid_parameter();
    message_source source(parameters, std::nullopt, nullptr);
    std::stringstream dropped;
    return send(message_kind::query, query_flag | static_cast<unsigned>(id), source,
                result ? result : &dropped, cancel);
}

int hid_device::notify(long id, std::istream* parameters, const platform::event& cancel)
{
    if (cancel.is_set())
        throw operation_canceled();
    if (id < 0 || id > 0xFF)
        throw invalid_parameter();
    message_source source(parameters, std::nullopt, nullptr);
    return send(message_kind::notification, static_cast<unsigned>(id), source, nullptr, cancel);
}

int hid_device::send(message_kind kind, unsigned word, message_source& source,
                     std::ostream* response, const platform::event& cancel)
{
    notification_lock lock(*this);
    // Whatever an earlier exchange left queued is not this one's answer.
    drain();
    const bool notification = kind == message_kind::notification;

    report out{};
    out[0] = host_report_id;
    std::uint8_t ring = 0;
    std::size_t offset;
    if (notification) {
        out[3] = static_cast<std::uint8_t>(word);
        offset = 4;
    } else {
        out[3] = static_cast<std::uint8_t>(word);
        out[4] = static_cast<std::uint8_t>(word >> 8);
        offset = 5;
    }
    std::size_t count = source.read(&out[offset], out.size() - offset);

    while (source.filled()) {
        out[1] = notification ? full_notification_header : full_message_header;
        out[2] = ring;
        if (const int code = transmit(out))
            return code;
        ++ring;
        if (cancel.is_set()) {
            write_cancellation(ring, kind);
            throw operation_canceled();
        }
        std::fill(out.begin() + 3, out.end(), 0);
        offset = 3;
        count = source.read(&out[offset], out.size() - offset);
    }
    if (source.failed()) {
        write_cancellation(ring, kind);
        throw stream_failure();
    }

    // The last report: ring, the remaining bytes, the footer; N counts them.
    const std::size_t footer_at = offset + count;
    const bool cancelled = cancel.is_set();
    out[1] =
        static_cast<std::uint8_t>((footer_at - 1) << 2 | (notification ? notification_bit : 0));
    out[2] = ring;
    out[footer_at] = cancelled ? 1 : 0;
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(footer_at) + 1, out.end(), 0);
    transmit(out);
    if (cancelled)
        throw operation_canceled();
    if (notification)
        return 0;
    return receive(*response, cancel);
}

void hid_device::write_cancellation(std::uint8_t ring, message_kind kind)
{
    report out{};
    out[0] = host_report_id;
    out[1] =
        kind == message_kind::notification ? notification_cancellation_header : cancellation_header;
    out[2] = ring;
    out[3] = 1;
    transmit(out);
}

int hid_device::transmit(const report& out)
{
    const auto written = write_report(out.data(), report_timeout_ms_);
    if (!written.ok())
        fail_sending(written);
    if (!(out[1] & more_follows))
        return 0;
    report in{};
    const auto read = read_past_notifications(in);
    if (!read.ok())
        fail_sending(read);
    // Only an acknowledgement of this very report is taken: anything else
    // (a report of an earlier response, a malformed acknowledgement) means
    // the link is out of step. The device's own answer may still be on its
    // way, so the link settles and the message is cancelled before failing.
    const auto out_of_step = [&] {
        settle();
        write_cancellation(static_cast<std::uint8_t>(out[2] + 1), out[1] & notification_bit
                                                                      ? message_kind::notification
                                                                      : message_kind::operation);
    };
    if (in[1] == continue_header || in[1] == device_stop_header) {
        if (in[2] != out[2]) {
            out_of_step();
            throw checksum_failure("Ring counter mismatch.");
        }
        if (in[1] == continue_header)
            return 0;
        if (const unsigned code = u16_at(in, 3))
            return static_cast<int>(code);
        ZARVO_TRACE("zarvo::usb::hid_device::transmit", "Expected non-zero error code.");
        return 0;
    }
    out_of_step();
    throw bad_response("Expected acknowledgement frame.");
}

platform::transfer_result hid_device::read_past_notifications(report& in)
{
    return read_past_notifications(in, report_timeout_ms_);
}

platform::transfer_result hid_device::read_past_notifications(report& in, int timeout_ms)
{
    for (;;) {
        const auto read = read_report(in.data(), timeout_ms);
        if (!read.ok() || !(in[1] & notification_bit))
            return read;
        const auto rest = reassemble_notification(in);
        if (!rest.ok())
            return rest;
    }
}

void hid_device::receive(report& in, const platform::event& cancel, bool first)
{
    const auto read = read_past_notifications(in);
    if (!read.ok())
        fail_receiving(read);
    if (first && in[2] != 0) {
        // Not the start of a response. When it announces more, a device
        // whose first report came corrupted waits for an answer to it: it is
        // stopped, as any abandoned response is, so that it does not take
        // the next host message for that answer.
        if (in[1] & more_follows)
            write_acknowledgement(stop_header, in[2]);
        settle();
        throw bad_response("Expected first response frame.");
    }
    if (in[1] & more_follows) {
        // Acknowledged before its content is looked at.
        const bool cancelled = cancel.is_set();
        write_acknowledgement(cancelled ? stop_header : continue_header, in[2]);
        if (cancelled) {
            // A device that goes on after the stop is not heard next time.
            settle();
            throw operation_canceled();
        }
    }
}

void hid_device::write_acknowledgement(std::uint8_t header, std::uint8_t ring)
{
    report ack{};
    ack[0] = host_report_id;
    ack[1] = header;
    ack[2] = ring;
    if (header == stop_header)
        stopped_next_ring_ = static_cast<std::uint8_t>(ring + 1);
    const auto written = write_report(ack.data(), report_timeout_ms_);
    if (!written.ok())
        fail_receiving(written);
}

int hid_device::receive(std::ostream& stream, const platform::event& cancel)
{
    report in{};
    receive(in, cancel, true);
    unsigned n = content_length(in);
    if (n < 3) {
        abandon_reception(in);
        throw bad_response("Expected preceding error code or 0 in response.");
    }
    // The status word lies at fixed bytes 3-4, whatever N says beyond that.
    if (const unsigned status = u16_at(in, 3)) {
        // A first report that announced more had its continue: the rest of
        // the response is not left for the next exchange.
        abandon_reception(in);
        return static_cast<int>(status);
    }

    std::uint8_t expected = 0;
    bool first = true;
    for (;;) {
        n = content_length(in);
        if (!first && n == 0) {
            abandon_reception(in);
            throw bad_response("Expected ring counter.");
        }
        if (in[2] != expected) {
            abandon_reception(in);
            throw checksum_failure("Ring counter mismatch.");
        }
        // A report's content ends at byte 63; a first report that ends the
        // message needs room for status and footer.
        const bool last = !(in[1] & more_follows);
        if (n > max_content || (first && last && n < 4)) {
            abandon_reception(in);
            throw bad_response("Expected message footer.");
        }
        const std::size_t from = first ? 5 : 3;
        if (!last) {
            if (!append(stream, in, from, n + 2 - from)) {
                abandon_reception(in);
                throw stream_failure();
            }
            receive(in, cancel, false);
            ++expected;
            first = false;
            continue;
        }
        if (n == 1)
            throw bad_response("Expected message footer.");
        const std::uint8_t footer = in[n + 1];
        if (footer > 1)
            throw bad_response("Unknown message footer flags.");
        if (footer == 1) {
            // The code must follow the ring counter and, in a first report,
            // the status word.
            if (n < (first ? 6u : 4u))
                throw bad_response("Expected error code in message footer.");
            const unsigned code = u16_at(in, n - 1);
            if (code == 0)
                ZARVO_TRACE("zarvo::usb::hid_device::receive", "Expected non-zero error code.");
            return static_cast<int>(code);
        }
        if (!append(stream, in, from, n + 1 - from))
            throw stream_failure();
        return 0;
    }
}

} // namespace zarvo::usb
