#pragma once

// The network front end of the device emulator: it serves one emulated
// device over TCP (::1 unless told otherwise, an ephemeral port), one thread
// per accepted connection against one message handler. It sends the server
// greeting, reassembles host frames into messages, acknowledges them with
// device statuses, frames the handler's answers as responses, sends device
// notifications, injects faults and keeps a transcript of every frame and
// status both ways. Written from the link's frame tables alone.
//
// Frame: u16 little-endian header (bits 15..2 the body length L, 16383 means
// more follows; bit 1 host notification; bit 0 host continuation, or a device
// frame the host must refuse), then L body bytes; a device frame with L = 0
// carries a u16 result code. Status: u16 flags (bit 0 error), u16 code.

#include "tools/emulator/message_handler.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>

namespace zarvo::emulator {

// The greeting line a server of this version and device id sends.
std::string greeting_line(const std::string& version, const std::string& id);
// A device notification frame.
std::string notification_frame(std::uint8_t id, const std::string& parameters);
// A device frame: header (L << 2 | flags) and body.
std::string device_frame(const std::string& body, std::uint16_t flags = 0);
// The frame that ends a response with a result code (L = 0).
std::string code_frame(std::uint16_t code);

class tcp_front_end {
public:
    enum class closing { fin, reset };

    // Serves handler as the device whose greeting id is serial (eight hex
    // digits), on address (IPv6 text) and an ephemeral port.
    tcp_front_end(std::string serial, message_handler& handler, const std::string& address = "::1");
    ~tcp_front_end();
    tcp_front_end(const tcp_front_end&) = delete;
    tcp_front_end& operator=(const tcp_front_end&) = delete;

    sockaddr_in6 address() const;
    // A new host socket connected to the front end (blocking), owned by
    // the caller.
    int connect_host() const;

    // The greeting of the next connections. The version ("2.0.5") also
    // sets the framing expected: major 2 and up the newer upload framing.
    void set_version(std::string version);
    // These bytes instead of the greeting line (none at all: empty), with
    // the framing expected given.
    void set_greeting(std::string bytes, bool newer_framing);
    // Sent in the same write as the greeting.
    void set_greeting_tail(std::string bytes);
    // The greeting in two writes, the first of this many bytes; between
    // (when given) runs on the serving thread between them, so a test may
    // hold the second until the host has taken the first.
    void set_greeting_split(std::size_t first, std::function<void()> between = {});
    // Instead of anything after the greeting, close.
    void close_after_greeting(closing how);

    // Every device write byte by byte.
    void set_byte_by_byte(bool on);
    // Bytes to every connection now, in one write.
    void inject(const std::string& bytes);
    void notify(std::uint8_t id, const std::string& parameters);
    // Sent in the same write as the end of the next response.
    void append_to_next_response(std::string bytes);
    // The next response's first frame asks to be refused (header bit 0).
    void refuse_next_response();

    // Faults, counted over the front end's life (0-based).
    void close_after_host_frame(unsigned index, closing how);
    void close_after_device_frame(unsigned index, closing how);
    // The index-th device status carries these flags and code; an error
    // status with a non-zero code ends the exchange.
    void script_status(unsigned index, std::uint16_t flags, std::uint16_t code);
    // Called on the serving thread before each response is sent (a test's
    // stall).
    void set_before_response(std::function<void()> hook);
    // Called on the serving thread after each whole host frame ('H') is
    // read and each device frame ('D') is written, with its index counted
    // over the front end's life: lets a test act at an exact frame.
    void set_frame_hook(std::function<void(char who, unsigned long index)> hook);
    void close_connections();

    // Transcript: "H<c> F <header hex> <L>" and "D<c> F ..." for frames,
    // "H<c> S <flags> <code>" and "D<c> S ..." for statuses, "D<c> G <n>"
    // for greeting bytes, "D<c> R <n>" for raw bytes, "D<c> X" when the
    // device dropped an answer the host had cancelled, "C<c> fin|reset".
    std::vector<std::string> transcript() const;
    void clear_transcript();
    // Off: no transcript lines and no host messages are kept (long runs).
    void set_recording(bool on);
    // Host protocol violations.
    std::vector<std::string> violations() const;
    std::vector<host_message> messages() const;
    unsigned long host_frame_count() const;
    bool wait(const std::function<bool(const std::vector<std::string>&)>& done,
              std::chrono::milliseconds limit = std::chrono::seconds(10)) const;
    bool wait_messages(std::size_t count,
                       std::chrono::milliseconds limit = std::chrono::seconds(10)) const;

private:
    struct connection;

    void accept_loop();
    void serve(std::shared_ptr<connection> c);
    bool serve_message(connection& c, std::uint16_t header);
    bool read_exact(connection& c, void* to, std::size_t n);
    bool write_bytes(connection& c, const std::string& bytes);
    bool write_status(connection& c, std::uint16_t flags, std::uint16_t code, bool& ended);
    bool read_host_status(connection& c, std::uint16_t& flags, std::uint16_t& code);
    bool read_continuations(connection& c, std::string& into, bool status_after_last, bool& ended);
    bool send_answer(connection& c, const device_answer& answer);
    bool send_device_frame(connection& c, const std::string& frame, bool last_of_answer);
    void close_connection(connection& c, closing how);
    void record(const connection& c, char who, std::string line);
    // Counts a whole frame, runs the hook and any scripted close; false
    // when the connection was closed.
    bool frame_done(connection& c, char who);
    void violation(std::string text);

    std::string serial_;
    message_handler& handler_;
    int listener_ = -1;
    sockaddr_in6 address_{};

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::shared_ptr<connection>> connections_;
    unsigned next_connection_ = 0;
    std::string version_ = "2.0.5";
    std::optional<std::string> greeting_;
    bool greeting_v2_ = true;
    std::string greeting_tail_;
    std::size_t greeting_split_ = 0;
    std::function<void()> greeting_between_;
    std::optional<closing> close_after_greeting_;
    bool byte_by_byte_ = false;
    std::string append_next_;
    bool refuse_next_ = false;
    std::map<unsigned long, closing> close_after_host_;
    std::map<unsigned long, closing> close_after_device_;
    std::map<unsigned long, std::pair<std::uint16_t, std::uint16_t>> status_scripts_;
    std::function<void()> before_response_;
    std::function<void(char, unsigned long)> frame_hook_;
    unsigned long host_frames_ = 0;
    unsigned long device_frames_ = 0;
    unsigned long device_statuses_ = 0;
    bool recording_ = true;
    std::size_t message_count_ = 0;
    std::vector<std::string> transcript_;
    std::vector<std::string> violations_;
    std::vector<host_message> messages_;
    bool stopping_ = false;
    std::thread acceptor_;
    std::vector<std::thread> servers_;
};

} // namespace zarvo::emulator
