#pragma once

// The per-device input/output object of the USB HID transport. It owns one
// open HID interface and moves messages over it as 64-byte reports: it sends
// the four kinds of host message, answers and reassembles the device's
// response, answers the device's acknowledgements, and reassembles device
// notifications, during an exchange and, between exchanges, on a
// notification thread of its own.
//
// Report layout (both directions): byte 0 report id (1 when the host writes);
// byte 1 header, bits 7..2 = N content bytes after the header (0..62), bit 1
// notification, bit 0 more follows / continue; byte 2 ring counter; bytes
// 3..N+1 the rest of the content, the last of them the footer in the last
// report of a message.

#include "devicelib/platform/hid_channel.h"
#include "devicelib/platform/hid_open.h"
#include "devicelib/platform/pause_handshake.h"
#include "devicelib/usb/hid_callbacks.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <thread>

namespace zarvo::usb {

class hid_device {
public:
    using report = std::array<std::uint8_t, platform::report_size>;

    static constexpr int default_report_timeout_ms = 60000;

    // Opens the interface at path. A path that cannot be opened leaves a
    // closed device with zero attributes, which the driver rejects.
    hid_device(hid_removal_sink* driver, const std::string& path);
    // Over a channel that is already open (a socketpair in tests).
    hid_device(hid_removal_sink* driver, const std::string& path, platform::hid_channel channel,
               platform::hid_identity identity);
    // A second handle on the same device: a duplicated descriptor and the
    // same stop signal, with no owner and no thread.
    hid_device(const hid_device& other);
    hid_device& operator=(const hid_device&) = delete;
    ~hid_device();

    // Stops the notification thread and closes the interface.
    void close();

    // A scoped pause of the notification thread. Every sender holds it from
    // before its first report until it returns, on every path.
    class notification_lock {
    public:
        explicit notification_lock(hid_device& device);
        ~notification_lock();
        notification_lock(const notification_lock&) = delete;
        notification_lock& operator=(const notification_lock&) = delete;

    private:
        hid_device& device_;
    };

    // One transfer of one report, aborted by the stop signal.
    platform::transfer_result read_report(std::uint8_t* report, int timeout_ms);
    platform::transfer_result write_report(const std::uint8_t* report, int timeout_ms);
    // The notification thread's read: no time-out, also woken by a pause
    // request (paused).
    platform::transfer_result wait_report(std::uint8_t* report);

    // Senders. Each returns 0 on success or the device's code (from a stop
    // acknowledgement, the response's status word or its cancelling footer)
    // and throws the library's errors otherwise.
    // An operation request (the request stream's unread bytes, at most
    // 0x7FFF) whose response payload goes to response.
    int download(std::iostream& request, std::ostream& response, const platform::event& cancel);
    // An operation request followed by the payload stream's bytes; the
    // response's payload is dropped.
    int upload(std::iostream& request, std::istream& payload, const platform::event& cancel);
    // A query (id 0..0x7FFF); parameters and result may be null.
    int query(long id, std::istream* parameters, std::ostream* result,
              const platform::event& cancel);
    // A host notification (id 0..255); no response. Returns 0, or the code
    // of the device's stop when it refuses a notification of several
    // reports.
    int notify(long id, std::istream* parameters, const platform::event& cancel);

    // Stores the owner and starts the notification thread.
    void start_notification_thread(hid_notification_sink* owner);
    // Sets the stop signal (seen by every copy), waits for the thread and
    // clears owner and thread. Does nothing when no thread runs.
    void stop_thread();

    bool is_open() const { return channel_.is_open(); }
    // Whether both are copies of one opened device (a device plugged in again
    // at the same path is another one).
    bool same_device(const hid_device& other) const { return stop_ == other.stop_; }
    const std::string& path() const { return path_; }
    std::uint16_t vendor_id() const { return identity_.vendor_id; }
    std::uint16_t product_id() const { return identity_.product_id; }
    std::uint16_t version_number() const { return identity_.version; }
    const std::string& serial_number() const { return identity_.serial; }

    // How long each report transfer of an exchange may wait.
    void set_report_timeout(int ms) { report_timeout_ms_ = ms; }
    int report_timeout() const { return report_timeout_ms_; }

    // Keeping the link in step after an abandoned reception: how long the
    // device may take to send the report that answers the host's last
    // continue, and how long the link must stay quiet before the next
    // exchange may start.
    static constexpr int default_answer_wait_ms = 2000;
    static constexpr int default_quiet_ms = 10;
    void set_settle_times(int answer_wait_ms, int quiet_ms)
    {
        answer_wait_ms_ = answer_wait_ms;
        quiet_ms_ = quiet_ms;
    }

private:
    class message_source;
    enum class message_kind { operation, query, notification };

    int send(message_kind kind, unsigned word, message_source& source, std::ostream* response,
             const platform::event& cancel);
    void write_cancellation(std::uint8_t ring, message_kind kind);
    // Writes a report; when it announces more, awaits the device's
    // acknowledgement and returns the code of a stop (0 to go on).
    int transmit(const report& out);
    // Reads the next report that is not part of a device notification; the
    // notifications met on the way are reassembled and dispatched.
    platform::transfer_result read_past_notifications(report& in);
    platform::transfer_result read_past_notifications(report& in, int timeout_ms);

    // Keeping the link in step (hid_device_step.cpp). No report of an
    // earlier exchange is ever taken as part of a later one.
    // Before a new host message: reads what is queued without waiting,
    // dispatching notifications and discarding anything else.
    void drain();
    // The host gives up a response whose report last_read it has already
    // acknowledged (with continue when it announced more): the device's
    // answer to that continue is read and stopped in turn, then the rest is
    // discarded until the link is quiet.
    void abandon_reception(const report& last_read);
    // An exchange found a report out of step (a stale report, a report in
    // place of an acknowledgement): discards until the link is quiet.
    void settle();
    // Reads and discards until the link has been quiet for quiet_ms (a
    // bounded number of reports); notifications are dispatched. Returns the
    // count discarded.
    unsigned discard_until_quiet(int quiet_ms);
    // Reads one queued report within timeout_ms and discards it; the first
    // report of a response that announces more waits for an answer and is
    // stopped. False when none came.
    bool discard_one(int timeout_ms);
    void trace_discarded(const char* where, unsigned count);
    // Reads one response report, acknowledging it when it announces more.
    // The first report of a response must carry ring counter 0.
    void receive(report& in, const platform::event& cancel, bool first);
    // Receives a whole response into the stream and returns its result.
    int receive(std::ostream& stream, const platform::event& cancel);
    void write_acknowledgement(std::uint8_t header, std::uint8_t ring);

    // Reassembles and dispatches the device notification that starts with
    // first. Faults are traced and the notification dropped; only a failed
    // continuation read is returned.
    platform::transfer_result reassemble_notification(report& first);
    // Hands a complete notification to the owner, when there is one.
    void dispatch(unsigned id, std::iostream& parameters);

    [[noreturn]] void fail_sending(const platform::transfer_result& result);
    [[noreturn]] void fail_receiving(const platform::transfer_result& result);
    void report_removal();

    void main();

    std::string path_;
    hid_removal_sink* driver_;
    std::atomic<hid_notification_sink*> owner_{nullptr};
    platform::hid_channel channel_;
    std::thread thread_;
    std::shared_ptr<platform::event> stop_;
    platform::pause_handshake pause_;
    platform::hid_identity identity_;
    // Read by the notification thread too.
    std::atomic<int> report_timeout_ms_{default_report_timeout_ms};
    // The removal is reported once, whichever thread finds the device gone
    // first.
    std::atomic<bool> removal_reported_{false};
    int answer_wait_ms_ = default_answer_wait_ms;
    int quiet_ms_ = default_quiet_ms;
    // The ring counter with which a response the host stopped goes on when
    // its device streams on after the stop (-1 none): such reports wait for
    // no answer. Set by the exchange's thread only.
    int stopped_next_ring_ = -1;
};

} // namespace zarvo::usb
