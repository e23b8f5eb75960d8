#pragma once

// The USB report front end of the device emulator: it serves one emulated
// device (vendor, product, serial) over 64-byte reports on SOCK_SEQPACKET
// connections, either socketpair ends or a seam socket file
// "<vid>-<pid>-<serial>.hid". It reassembles host messages, acknowledges
// them, frames the handler's answers as responses, sends device
// notifications, injects faults and keeps a transcript of every report.
//
// Report: byte 0 report id, byte 1 header (bits 7..2 N content bytes after
// the header, bit 1 notification, bit 0 more follows / continue), byte 2 ring
// counter, then content up to byte N+1; the last content byte of a message's
// last report is its footer (0 complete, 1 cancelled).

#include "tools/emulator/message_handler.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zarvo::emulator {

// How one acknowledgement the device writes deviates from a plain continue.
struct ack_script {
    std::uint8_t header = 0x05;
    int ring_delta = 0;
    // Written at bytes 3-4 when set.
    std::optional<std::uint16_t> code;

    static ack_script stop(std::uint16_t code) { return {0x0C, 0, code}; }
};

// Device report framing, written from the report tables alone.
std::vector<std::string> response_reports(std::uint16_t status, const std::string& payload);
std::vector<std::string> notification_reports(std::uint8_t id, const std::string& parameters);
// A report from its leading bytes, zero-padded to 64 bytes.
std::string device_report(std::initializer_list<std::uint8_t> head);

class usb_front_end {
public:
    enum class point { before_ack, before_response_report };

    usb_front_end(std::uint16_t vendor, std::uint16_t product, std::string serial,
                  message_handler& handler);
    ~usb_front_end();
    usb_front_end(const usb_front_end&) = delete;
    usb_front_end& operator=(const usb_front_end&) = delete;

    // A new connection on a socketpair; returns the host's end (blocking,
    // close-on-exec), which the caller owns.
    int connect_pair();
    // Serves the device on "<vid>-<pid>-<serial>.hid" in dir: bound under a
    // temporary name, listening, then renamed into place. Returns its path.
    std::filesystem::path serve_in(const std::filesystem::path& dir);
    // Unplug: unlinks the socket file and closes every connection.
    void remove();
    // Unplug's first half: unlinks the socket file and accepts no more
    // connections; the open ones stay.
    void remove_file();
    void close_connections();

    // Sends the reports to every connection now, all together: another
    // device report never comes between them.
    void inject(const std::vector<std::string>& packets);
    void notify(std::uint8_t id, const std::string& parameters);

    // Faults.
    void set_silent(bool silent);
    // How long a full connection may hold up a device report before it
    // loses it (200 ms unless set).
    void set_full_queue_wait(std::chrono::milliseconds wait);
    void close_after_host_report(unsigned count);
    void close_after_device_report(unsigned count);
    // The index-th acknowledgement (0-based, counted over the front end's
    // life) deviates as scripted.
    void script_ack(unsigned index, ack_script script);
    // A host notification of several reports is refused at its first
    // report with a stop carrying code (0: accepted, the default).
    void refuse_notifications(std::uint16_t code);
    // A device that does not notice the host's stop: once the host stops a
    // response, the rest of it is sent all the same, without awaiting
    // acknowledgements. A device always sends its next response report as
    // soon as the host's continue arrives, before it could see what the
    // host sends after it.
    void set_streams_after_stop(bool on);
    // A device that hangs up while its socket file stays: close_connections
    // without remove_file.
    // Packets sent at the index-th time the given point is reached.
    void inject_at(point where, unsigned index, std::vector<std::string> packets);
    // Called on the serving thread at every point, before its injection;
    // lets a test act at an exact moment of the exchange.
    void set_point_hook(std::function<void(point, unsigned index)> hook);
    // On the serving thread (from the handler, say): runs action once the
    // answer to the message in hand is out, or would have been. From any
    // other thread: runs it at once.
    void after_answer(std::function<void()> action);

    // Transcript: one line per report, "H<c> <hex>" from the host on
    // connection c, "D<c> <hex>" to it, "L<c> <hex>" for a report lost on a
    // full connection; the hex leaves out trailing zero bytes of a 64-byte
    // report and is preceded by "[n] " for a packet of another length.
    std::vector<std::string> transcript() const;
    // Off: no transcript lines and no host messages are kept (long runs);
    // the counts go on.
    void set_recording(bool on);
    // Reports received from the host and sent to it so far.
    unsigned long host_report_count() const;
    // Host messages so far, and the time the link spent on them: from each
    // message's first report to its answer's last.
    unsigned long message_count() const;
    std::chrono::nanoseconds busy_time() const;
    unsigned long device_report_count() const;
    // Acknowledgements the device has written so far (the index of the next
    // one for script_ack).
    unsigned long ack_count() const;
    void clear_transcript();
    // Host protocol violations: wrong report id, ring, header, padding or
    // acknowledgement.
    std::vector<std::string> violations() const;
    std::vector<host_message> messages() const;
    // Waits until the transcript satisfies done or the limit passes.
    bool wait(const std::function<bool(const std::vector<std::string>&)>& done,
              std::chrono::milliseconds limit = std::chrono::seconds(10)) const;
    // Waits until count host messages have been completed.
    bool wait_messages(std::size_t count,
                       std::chrono::milliseconds limit = std::chrono::seconds(10)) const;

private:
    struct connection {
        int fd;
        unsigned number;
    };

    void run();
    std::optional<std::string> next_host_report(std::chrono::milliseconds limit);
    void handle_message(std::string first);
    void send_answer(const device_answer& answer);
    void send_ack(const std::string& host_report, bool notification);
    void send_to_all(const std::string& packet);
    void send_locked(const std::string& packet);
    void reach(point where);
    bool recording() const;
    void record(std::string line);
    void violation(std::string text);
    void close_connections_locked();

    std::uint16_t vendor_;
    std::uint16_t product_;
    std::string serial_;
    message_handler& handler_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<connection> connections_;
    unsigned next_connection_ = 0;
    int listener_ = -1;
    std::filesystem::path socket_path_;
    std::vector<std::string> transcript_;
    std::vector<std::string> violations_;
    std::vector<host_message> messages_;
    bool silent_ = false;
    std::optional<unsigned long> close_after_host_;
    std::optional<unsigned long> close_after_device_;
    bool recording_ = true;
    int full_queue_wait_ms_ = 200;
    unsigned long host_reports_ = 0;
    unsigned long message_count_ = 0;
    std::chrono::nanoseconds busy_{0};
    unsigned long device_reports_ = 0;
    unsigned acks_ = 0;
    std::map<unsigned, ack_script> ack_scripts_;
    std::uint16_t notification_refusal_ = 0;
    bool streams_after_stop_ = false;
    std::map<std::pair<point, unsigned>, std::vector<std::string>> injections_;
    std::map<point, unsigned> reached_;
    std::function<void(point, unsigned)> hook_;
    // Serving thread only: a host report that ended a response or a stopped
    // message and starts the next message.
    std::optional<std::string> pending_;
    bool stopped_ = false;
    std::vector<int> closing_;
    std::vector<std::function<void()>> after_answer_;

    // Serialises whole device sends: a response report, an acknowledgement,
    // an injected notification.
    std::mutex send_mutex_;
    int control_ = -1;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace zarvo::emulator
