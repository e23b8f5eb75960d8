#include "devicelib/dorvane/zftp_tcpip_controller.h"

#include <algorithm>
#include <istream>
#include <ostream>
#include <sstream>

namespace {

void put16(unsigned char* at, std::size_t value)
{
    at[0] = static_cast<unsigned char>(value & 0xFF);
    at[1] = static_cast<unsigned char>((value >> 8) & 0xFF);
}

std::uint16_t get16(const unsigned char* at)
{
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

// Reads up to n bytes; fewer than n means the stream is exhausted.
std::size_t read_some(std::istream& in, unsigned char* to, std::size_t n)
{
    if (n == 0 || !in.good())
        return 0;
    in.read(reinterpret_cast<char*>(to), static_cast<std::streamsize>(n));
    return static_cast<std::size_t>(in.gcount());
}

} // namespace

zftp_tcpip_controller::zftp_tcpip_controller(zftp_tcpip_callbacks callbacks)
    : callbacks_(std::move(callbacks))
{
}

zftp_tcpip_controller::~zftp_tcpip_controller() = default;

int zftp_tcpip_controller::write_status(std::uint16_t flags, std::uint16_t code)
{
    unsigned char status[4];
    put16(status, flags);
    put16(status + 2, code);
    return callbacks_.write(status, sizeof status, timeout_ms_);
}

int zftp_tcpip_controller::read_status(std::uint16_t& flags, std::uint16_t& code)
{
    unsigned char status[4] = {};
    const int rc = callbacks_.read_ack(status, timeout_ms_);
    flags = get16(status);
    code = get16(status + 2);
    return rc;
}

int zftp_tcpip_controller::await_go_on()
{
    std::uint16_t flags;
    std::uint16_t code;
    if (const int rc = read_status(flags, code))
        return rc;
    // An error flag with code 0 still means "go on".
    return (flags & 1) ? code : 0;
}

int zftp_tcpip_controller::write_telling_abort(const unsigned char* bytes, std::size_t length)
{
    const int rc = callbacks_.write(bytes, length, timeout_ms_);
    if (rc == aborted)
        write_status(0, timed_out);
    return rc;
}

int zftp_tcpip_controller::write_checked(const unsigned char* bytes, std::size_t length, bool final)
{
    const int rc = callbacks_.write(bytes, length, timeout_ms_);
    if (rc != 0) {
        if (rc == aborted && !final)
            write_status(0, timed_out);
        return rc;
    }
    return await_go_on();
}

int zftp_tcpip_controller::send_request(std::istream& request, std::size_t length,
                                        std::ostream& response)
{
    unsigned char frame[frame_capacity];
    const std::size_t n = read_some(request, frame + 4, std::min(length, max_request + 1));
    put16(frame, (length + 2) << 2);
    put16(frame + 2, length & 0x7FFF);
    if (const int rc = callbacks_.write(frame, 4 + n, timeout_ms_))
        return rc;
    return receive_response(response);
}

int zftp_tcpip_controller::send_query(unsigned id, std::istream& parameters, std::ostream& result)
{
    unsigned char frame[frame_capacity];
    constexpr std::size_t first_capacity = max_body - 3;
    const std::size_t n = read_some(parameters, frame + 5, first_capacity);
    put16(frame + 2, 0x8000 | (n + 1));
    frame[4] = static_cast<unsigned char>(id);
    if (n < first_capacity) {
        put16(frame, (n + 3) << 2);
        if (const int rc = callbacks_.write(frame, 5 + n, timeout_ms_))
            return rc;
        return receive_response(result);
    }
    put16(frame, max_body << 2);
    if (const int rc = callbacks_.write(frame, 2 + max_body, timeout_ms_))
        return rc;
    if (const int rc = await_go_on())
        return rc;
    for (;;) {
        const std::size_t len = read_some(parameters, frame + 2, max_body);
        put16(frame, (len << 2) | 1);
        if (const int rc = write_telling_abort(frame, 2 + len))
            return rc;
        if (const int rc = await_go_on())
            return rc;
        if (len < max_body)
            break;
    }
    return receive_response(result);
}

int zftp_tcpip_controller::upload_continuations(std::istream& payload, unsigned char* frame)
{
    for (;;) {
        const std::size_t len = read_some(payload, frame + 2, max_body);
        put16(frame, (len << 2) | 1);
        if (len < max_body)
            return callbacks_.write(frame, 2 + len, timeout_ms_);
        if (const int rc = write_checked(frame, 2 + len, false))
            return rc;
    }
}

int zftp_tcpip_controller::send_request_with_payload(std::istream& request, std::size_t length,
                                                     std::istream& payload)
{
    unsigned char frame[frame_capacity];
    constexpr std::size_t behind_word = max_body - 2;
    const std::size_t r = read_some(request, frame + 4, std::min(length, behind_word));
    put16(frame + 2, length & 0x7FFF);
    if (framing_v2_) {
        const std::size_t room = behind_word - r;
        const std::size_t p = read_some(payload, frame + 4 + r, room);
        put16(frame, (2 + r + p) << 2);
        if (p < room) {
            if (const int rc = callbacks_.write(frame, 4 + r + p, timeout_ms_))
                return rc;
        } else {
            if (const int rc = write_checked(frame, 4 + r + p, false))
                return rc;
            if (const int rc = upload_continuations(payload, frame))
                return rc;
        }
    } else {
        // The older framing announces a full frame whatever the request's
        // length; the device reads the word and the request only.
        put16(frame, max_body << 2);
        if (const int rc = callbacks_.write(frame, 4 + r, timeout_ms_))
            return rc;
        if (const int rc = await_go_on())
            return rc;
        if (const int rc = upload_continuations(payload, frame))
            return rc;
    }
    std::ostringstream dropped;
    return receive_response(dropped);
}

int zftp_tcpip_controller::send_notification(unsigned id, std::istream& parameters)
{
    unsigned char frame[frame_capacity];
    const std::size_t n = read_some(parameters, frame + 3, max_notification_parameters);
    put16(frame, ((n + 1) << 2) | 2);
    frame[2] = static_cast<unsigned char>(id);
    return callbacks_.write(frame, 3 + n, timeout_ms_);
}

int zftp_tcpip_controller::receive_response(std::ostream& out)
{
    unsigned char frame[frame_capacity];
    if (const int rc = callbacks_.read_frame(frame, timeout_ms_)) {
        if (rc == aborted)
            write_status(0, timed_out);
        return rc;
    }
    const std::uint16_t header = get16(frame);
    if (header & 1) {
        write_status(0, refused);
        return refused;
    }
    for (;;) {
        const std::size_t length = get16(frame) >> 2;
        if (length == 0)
            return get16(frame + 2);
        out.write(reinterpret_cast<const char*>(frame + 2), static_cast<std::streamsize>(length));
        if (length < max_body)
            return 0;
        static const unsigned char go_on[4] = {0, 0, 0, 0};
        if (const int rc = write_telling_abort(go_on, sizeof go_on))
            return rc;
        if (const int rc = callbacks_.read_frame(frame, timeout_ms_))
            return rc;
    }
}
