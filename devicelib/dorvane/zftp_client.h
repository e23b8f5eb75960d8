#pragma once

#include "devicelib/core/connection.h"
#include "devicelib/dorvane/zftp_tcpip_controller.h"
#include "devicelib/platform/event.h"
#include "devicelib/platform/pause_handshake.h"
#include "devicelib/platform/tcp_stream.h"

#include <boost/regex.hpp>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace zarvo::dorvane {

class zftp_client;

namespace zftp_client_observer {
// Told, at most once and on whichever thread saw it, that the client's link
// broke. Must not block (the driver posts the withdrawal).
class zftp_client_disconnection_observer {
public:
    virtual ~zftp_client_disconnection_observer() = default;
    virtual void disconnected(zftp_client* client) = 0;
};
} // namespace zftp_client_observer

// The device server's greeting line, matched whole: group 1 the server
// version, group 3 the device id as eight hex digits.
const boost::regex& greeting_regex();

// The device link of one network-attached device over its connected TCP
// socket. A listening thread watches the socket between exchanges for device
// notifications; each operation pauses it for its exchange, which the frame
// controller runs through this client's socket callbacks.
//
// An exchange that ends while device bytes may still be on their way (a
// read that timed out or was cancelled, a failed send) leaves the stream out
// of step: the client then ends the link (the observer is told once), and
// the driver connects again, so no answer of an abandoned exchange is ever
// taken for a later one.
class zftp_client : public core::connection {
public:
    using observer_type = zftp_client_observer::zftp_client_disconnection_observer;

    // Owns socket from here on. observer (not owned) may be null.
    zftp_client(int socket, std::uint64_t device_id, std::uint64_t unique_id,
                observer_type* observer);
    ~zftp_client() override;
    zftp_client(const zftp_client&) = delete;
    zftp_client& operator=(const zftp_client&) = delete;

    bool transport(std::string& name) override;
    bool family(std::string& name) override;
    zarvo::disk_space disk_space() override;
    bool fetch(const boost::filesystem::path& directory, std::set<zarvo::entry>& entries) override;
    bool create(const boost::filesystem::path& directory) override;
    void read(const boost::filesystem::path& file, std::ostream& content) override;
    void write(const boost::filesystem::path& file, std::istream& content) override;
    void merge(const boost::filesystem::path& file, std::istream& content) override;
    bool remove(const boost::filesystem::path& p) override;
    void cancel() override;
    void reset_cancel() override;
    // Raw codes, transport codes included.
    int query(int id, std::istream& parameters, std::ostream& result) override;
    // The write's result: the device answers no notification.
    int notify(int id, std::istream& parameters) override;
    int readiness() override;
    void withdrawn() override;

    // The host itself ended the link (an abandoned exchange or an unfinished
    // device frame), not the device: the device may well still be there.
    // Set before the observer is told. Every later operation then fails
    // with what made the host end it (operation_timed_out or
    // operation_canceled), not as a reset by the device.
    bool ended_by_host() const { return ended_by_host_; }

    // The device has answered an exchange (a response frame or a status)
    // on this link.
    bool answered() const { return answered_; }

    std::uint64_t unique_id() const { return unique_id_; }
    std::uint64_t device_id() const { return device_id_; }
    void set_device_id(std::uint64_t id) { device_id_ = id; }
    // Major version 2 and up: the newer upload framing.
    void set_server_version(std::uint8_t major);
    // Reads the server's greeting line (without its "\n" or "\r\n") within the
    // greeting time-out: 0 (also for a time-out after some bytes), 220 when
    // nothing came, 440 when cancelled, 10054 when the peer closed, or the
    // socket's code. Starts the listening thread on every path.
    int read_greeting(std::string& text);

    // Time-outs of the controller's callbacks and of the greeting (ms).
    void set_callback_timeout(int ms);
    void set_greeting_timeout(int ms) { greeting_timeout_ms_ = ms; }
    bool framing_v2() const { return controller_->framing_v2(); }

private:
    class listening_lock;

    int read_ack_cb(unsigned char* status, int timeout_ms);
    int read_frame_cb(unsigned char* frame, int timeout_ms);
    int write_cb(const unsigned char* bytes, std::size_t length, int timeout_ms);
    // The device's next frame, or its next status (4 bytes) when status is
    // set. Notifications that come first are dispatched and read past, within
    // the one time-out.
    int read_answer(unsigned char* frame, bool status, int timeout_ms);
    // A whole device notification frame: the idle one becomes a device idle.
    void dispatch_notification(const unsigned char* frame);
    // A transfer's outcome as a link code, with its traces; a lost link
    // tells the observer.
    int receive_code(const platform::stream_result& r);

    // After a greeting that matched before its line end: takes the "\n"
    // or "\r\n" that follows, waiting a moment for it.
    void take_line_end(bool after_carriage_return);
    void start_listening();
    void socket_receive();
    // One whole device frame between exchanges; false ends the thread.
    bool listen_frame();
    // Tells the observer once; safe from any thread.
    void tell_observer();
    // After an exchange that left the stream out of step: ends the link.
    void settle_stream();
    // Once the host ended the link: the code of what made it (its time-out
    // or cancel), traced, for every later transfer; 0 while the link is up.
    int host_end_code(const char* where) const;

    void begin_file_operation();
    int exchange_request(int command, const std::string& path, std::ostream* download,
                         std::istream* upload);

    platform::tcp_stream socket_;
    std::thread listening_;
    std::unique_ptr<zftp_tcpip_controller> controller_;
    observer_type* observer_;
    std::uint64_t unique_id_;
    std::atomic<std::uint64_t> device_id_;
    std::atomic<bool> cancelled_{false};
    platform::event stop_;
    platform::event abort_;
    platform::pause_handshake handshake_;
    std::atomic<bool> observer_told_{false};
    std::atomic<bool> ended_by_host_{false};
    std::atomic<bool> answered_{false};
    // Why the host ended the link (220 its time-out, 440 a cancel, or the
    // code of the transfer it gave up); 0 while it has not.
    std::atomic<int> host_end_code_{0};
    // Set by the operation thread only, while it holds the exchange.
    bool out_of_step_ = false;
    int out_of_step_code_ = 0;
    bool link_ended_ = false;
    int greeting_timeout_ms_ = 10000;
};

} // namespace zarvo::dorvane
