#pragma once

// Cuts ZFtp messages into the length-prefixed frames of the network link
// and puts the device's answers back together. It knows no sockets: its
// owner gives it three callbacks (read a 4-byte status, read one frame,
// write bytes) and runs one exchange at a time. Every sender returns 0, a
// device code or the callback's transport code and never throws.
//
// Frame: a little-endian u16 header, bits 15..2 the body length L
// (0..16383; 16383 means another frame of the message follows), bit 1 a
// host notification, bit 0 a continuation (host frames) or a frame the host
// refuses (device frames). Status: u16 flags (bit 0 error), u16 code.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>

struct zftp_tcpip_callbacks {
    // Reads a 4-byte status into the buffer.
    std::function<int(unsigned char* status, int timeout_ms)> read_ack;
    // Reads one frame: the header, then its body, or the two code bytes
    // behind a header with L = 0. The buffer holds 2 + 16384 bytes.
    std::function<int(unsigned char* frame, int timeout_ms)> read_frame;
    std::function<int(const unsigned char* bytes, std::size_t length, int timeout_ms)> write;
};

class zftp_tcpip_controller {
public:
    static constexpr std::size_t max_body = 16383;
    static constexpr std::size_t frame_capacity = 2 + 16384;
    // The longest request one frame carries behind its length word.
    static constexpr std::size_t max_request = 16380;
    static constexpr std::size_t max_notification_parameters = 16382;
    static constexpr int aborted = 440;
    static constexpr int timed_out = 220;
    static constexpr int refused = 204;

    explicit zftp_tcpip_controller(zftp_tcpip_callbacks callbacks);
    virtual ~zftp_tcpip_controller();
    zftp_tcpip_controller(const zftp_tcpip_controller&) = delete;
    zftp_tcpip_controller& operator=(const zftp_tcpip_controller&) = delete;

    // Newer upload framing (servers of major version 2 and up): the first
    // upload frame carries payload behind the request.
    void set_framing_v2(bool on) { framing_v2_ = on; }
    bool framing_v2() const { return framing_v2_; }
    // The time-out handed to every callback call (10000 ms).
    void set_timeout(int ms) { timeout_ms_ = ms; }
    int timeout() const { return timeout_ms_; }

    // request: the serialised request, its length the put position (at
    // most max_request; the caller refuses longer ones).
    int send_request(std::istream& request, std::size_t length, std::ostream& response);
    int send_query(unsigned id, std::istream& parameters, std::ostream& result);
    // The response's body is dropped.
    int send_request_with_payload(std::istream& request, std::size_t length, std::istream& payload);
    int send_notification(unsigned id, std::istream& parameters);
    int receive_response(std::ostream& out);
    // Writes, then reads the device's status for the frame.
    int write_checked(const unsigned char* bytes, std::size_t length, bool final);

private:
    int write_status(std::uint16_t flags, std::uint16_t code);
    int read_status(std::uint16_t& flags, std::uint16_t& code);
    // Reads the device's status for a frame: 0 to go on, the transport's
    // code, or the code of an error status.
    int await_go_on();
    // A write that the abort ended tells the device with the status 0, 220.
    int write_telling_abort(const unsigned char* bytes, std::size_t length);
    int upload_continuations(std::istream& payload, unsigned char* frame);

    zftp_tcpip_callbacks callbacks_;
    bool framing_v2_ = false;
    // Read by the client's listening thread too, while a test may lower it.
    std::atomic<int> timeout_ms_{10000};
};
