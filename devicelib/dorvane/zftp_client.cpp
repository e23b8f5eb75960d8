#include "devicelib/dorvane/zftp_client.h"

#include "devicelib/core/listing.h"
#include "devicelib/core/posting.h"
#include "devicelib/dorvane/zftp_answers.h"
#include "devicelib/errors/errors.h"
#include "devicelib/platform/socket_errors.h"
#include "devicelib/proto/message_io.h"
#include "devicelib/proto/zftp_request.pb.h"
#include "devicelib/proto/zftp_response.pb.h"
#include "devicelib/trace/trace.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <sstream>
#include <sys/socket.h>

namespace zarvo::dorvane {
namespace {

using operation = protocol::PbZFtpOperation;
using platform::stream_status;

constexpr int idling = 2;
// Header bit 1: a device frame that is a notification, never an answer.
constexpr std::uint16_t notification_bit = 2;
constexpr std::size_t greeting_limit = 255;
// How long a greeting that already matches waits for its line end.
constexpr int line_end_wait_ms = 1000;

std::uint16_t get16(const unsigned char* at)
{
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

// Body bytes behind a device frame's header: L, or the result code behind a
// response's end (L = 0). A notification's body is always L bytes.
std::size_t device_body(std::uint16_t header)
{
    const std::size_t length = header >> 2;
    if (header & notification_bit)
        return length;
    return length == 0 ? 2 : length;
}

// A line ending in "\r\n" is the same line.
std::string without_carriage_return(const std::string& line)
{
    if (!line.empty() && line.back() == '\r')
        return line.substr(0, line.size() - 1);
    return line;
}

std::string directory_path(const std::string& path)
{
    return path == "/" ? path : path + "/";
}

void check_id(int id)
{
    if (id < 0 || id > 255)
        throw invalid_parameter("id");
}

} // namespace

const boost::regex& greeting_regex()
{
    static const boost::regex expression(
        "^Zarvo FTP server version ([0-9.]+(-.+)?) at ([0-9a-fA-F]{8})\\.$", boost::regex::perl);
    return expression;
}

// Pauses the listening thread for one exchange. An exchange that left the
// stream out of step ends the link before the pause is let go.
class zftp_client::listening_lock {
public:
    explicit listening_lock(zftp_client& client)
        : client_(client)
    {
        ZARVO_TRACE("zarvo::dorvane::zftp_client::listening_lock", "pausing listening");
        ZARVO_TRACE("zarvo::dorvane::zftp_client::listening_lock", "waiting pause listening");
        client_.handshake_.acquire();
    }
    ~listening_lock()
    {
        client_.settle_stream();
        ZARVO_TRACE("zarvo::dorvane::zftp_client::listening_lock", "about to continue listening");
        client_.handshake_.release();
    }
    listening_lock(const listening_lock&) = delete;
    listening_lock& operator=(const listening_lock&) = delete;

private:
    zftp_client& client_;
};

zftp_client::zftp_client(int socket, std::uint64_t device_id, std::uint64_t unique_id,
                         observer_type* observer)
    : socket_(socket)
    , observer_(observer)
    , unique_id_(unique_id)
    , device_id_(device_id)
{
    platform::set_no_delay(socket_.fd());
    zftp_tcpip_callbacks callbacks;
    callbacks.read_ack = [this](unsigned char* status, int timeout_ms) {
        return read_ack_cb(status, timeout_ms);
    };
    callbacks.read_frame = [this](unsigned char* frame, int timeout_ms) {
        return read_frame_cb(frame, timeout_ms);
    };
    callbacks.write = [this](const unsigned char* bytes, std::size_t length, int timeout_ms) {
        return write_cb(bytes, length, timeout_ms);
    };
    controller_ = std::make_unique<zftp_tcpip_controller>(std::move(callbacks));
}

zftp_client::~zftp_client()
{
    // The socket is closed only once the thread that polls it has ended: a
    // close does not wake a poll elsewhere, and the number may be reused.
    abort_.set();
    stop_.set();
    if (listening_.joinable()) {
        if (std::this_thread::get_id() == listening_.get_id())
            listening_.detach();
        else
            listening_.join();
    }
    socket_.close();
}

void zftp_client::set_callback_timeout(int ms)
{
    controller_->set_timeout(ms);
}

void zftp_client::set_server_version(std::uint8_t major)
{
    controller_->set_framing_v2(major >= 2);
}

void zftp_client::tell_observer()
{
    if (!observer_told_.exchange(true) && observer_)
        observer_->disconnected(this);
}

void zftp_client::settle_stream()
{
    if (!out_of_step_)
        return;
    out_of_step_ = false;
    // The device may still send its answer to the abandoned exchange; the
    // next exchange would take it for its own. Ending the link is the only
    // proof that it never will.
    ZARVO_TRACE("zarvo::dorvane::zftp_client::settle_stream",
                "exchange abandoned with device bytes possibly in flight, closing the link");
    // A link the device already broke keeps reporting that.
    if (!observer_told_) {
        host_end_code_ = out_of_step_code_;
        ended_by_host_ = true;
    }
    ::shutdown(socket_.fd(), SHUT_RDWR);
    tell_observer();
}

int zftp_client::host_end_code(const char* where) const
{
    const int code = host_end_code_;
    if (code == zftp_tcpip_controller::timed_out)
        ZARVO_TRACE(where, "link ended by the host after its time-out (220), not by the device");
    else if (code == zftp_tcpip_controller::aborted)
        ZARVO_TRACE(where, "link ended by the host after a cancel (440), not by the device");
    else if (code != 0)
        ZARVO_TRACE(where, "link ended by the host after a failed transfer (%d)", code);
    return code;
}

int zftp_client::receive_code(const platform::stream_result& r)
{
    switch (r.status) {
    case stream_status::done:
        return 0;
    case stream_status::aborted:
        ZARVO_TRACE("zarvo::dorvane::zftp_client::receive_bytes",
                    "zftp client read operation cancelled from user");
        abort_.reset();
        return zftp_tcpip_controller::aborted;
    case stream_status::timed_out:
        ZARVO_TRACE("zarvo::dorvane::zftp_client::receive_bytes",
                    "zftp client read operation cancelled TIMEOUT");
        return zftp_tcpip_controller::timed_out;
    case stream_status::closed:
        ZARVO_TRACE("zarvo::dorvane::zftp_client::receive_bytes",
                    "Connection reseted during read killing zftp client");
        tell_observer();
        return platform::connection_reset_code;
    case stream_status::failed: {
        const int code = platform::socket_error_code(r.error);
        if (platform::is_connection_loss(code)) {
            ZARVO_TRACE("zarvo::dorvane::zftp_client::receive_bytes",
                        "Connection reseted killing zftp client");
            tell_observer();
        } else {
            ZARVO_TRACE("zarvo::dorvane::zftp_client::receive_bytes",
                        "Listening failed due to error: %d.", code);
        }
        return code;
    }
    default:
        return -100;
    }
}

int zftp_client::read_ack_cb(unsigned char* status, int timeout_ms)
{
    if (!socket_.is_open()) {
        ZARVO_TRACE("zarvo::dorvane::zftp_client::read_ack", "Cannot read ack socket is invalid");
        return -1;
    }
    if (const int ended = host_end_code("zarvo::dorvane::zftp_client::read_ack"))
        return ended;
    unsigned char frame[zftp_tcpip_controller::frame_capacity];
    const int code = read_answer(frame, true, timeout_ms);
    if (code != 0) {
        out_of_step_ = true;
        out_of_step_code_ = code;
        return code;
    }
    std::copy(frame, frame + 4, status);
    return 0;
}

int zftp_client::read_frame_cb(unsigned char* frame, int timeout_ms)
{
    if (!socket_.is_open()) {
        ZARVO_TRACE("zarvo::dorvane::zftp_client::read_frame",
                    "Cannot read frame socket is invalid");
        return -1;
    }
    if (const int ended = host_end_code("zarvo::dorvane::zftp_client::read_frame"))
        return ended;
    const int code = read_answer(frame, false, timeout_ms);
    if (code != 0) {
        out_of_step_ = true;
        out_of_step_code_ = code;
    }
    return code;
}

int zftp_client::read_answer(unsigned char* frame, bool status, int timeout_ms)
{
    platform::stream_wakes wakes;
    wakes.abort = &abort_;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
    int wait = timeout_ms;
    for (;;) {
        int code = receive_code(socket_.recv_exact(frame, 2, wait, wakes));
        if (code != 0)
            return code;
        const std::uint16_t header = get16(frame);
        // A status is 4 bytes whatever its flags say; a notification header
        // never reads as one (a status has no notification bit).
        const bool notification = (header & notification_bit) != 0;
        const std::size_t body = status && !notification ? 2 : device_body(header);
        code = receive_code(socket_.recv_exact(frame + 2, body, timeout_ms, wakes));
        if (code != 0)
            return code;
        if (!notification) {
            ZARVO_TRACE("zarvo::dorvane::zftp_client::read_frame", "RX (bytes: %i) -->",
                        static_cast<int>(2 + body));
            answered_ = true;
            return 0;
        }
        // The device told something of its own before answering: the answer
        // still comes, within the wait that began before the notification.
        dispatch_notification(frame);
        if (timeout_ms >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0) {
                ZARVO_TRACE("zarvo::dorvane::zftp_client::read_frame",
                            "zftp client read operation cancelled TIMEOUT");
                return zftp_tcpip_controller::timed_out;
            }
            wait = static_cast<int>(left);
        }
    }
}

void zftp_client::dispatch_notification(const unsigned char* frame)
{
    ZARVO_TRACE("zarvo::dorvane::zftp_client::socket_receive",
                "Device to host notification received");
    const std::size_t length = get16(frame) >> 2;
    if (length > 0 && frame[2] == idling) {
        core::post_device_idle(device_id_);
        return;
    }
    // Battery, file system and other notifications are not acted on here.
    ZARVO_TRACE("zarvo::dorvane::zftp_client::socket_receive", "notification id %d not acted on",
                length > 0 ? static_cast<int>(frame[2]) : -1);
}

int zftp_client::write_cb(const unsigned char* bytes, std::size_t length, int timeout_ms)
{
    ZARVO_TRACE("zarvo::dorvane::zftp_client::write", "total s: %i ( 0x%x ) ",
                static_cast<int>(length), static_cast<unsigned>(length));
    if (!socket_.is_open()) {
        ZARVO_TRACE("zarvo::dorvane::zftp_client::write",
                    "cannot send payload to socket, connection closed");
        return -1;
    }
    if (const int ended = host_end_code("zarvo::dorvane::zftp_client::write"))
        return ended;
    const auto r = socket_.send_all(bytes, length, timeout_ms, &abort_);
    switch (r.status) {
    case stream_status::done:
        ZARVO_TRACE("zarvo::dorvane::zftp_client::write", "TX -->");
        return 0;
    case stream_status::aborted:
        // Nothing of this frame went out.
        ZARVO_TRACE("zarvo::dorvane::zftp_client::write", "aborting payload sending");
        abort_.reset();
        return zftp_tcpip_controller::aborted;
    case stream_status::timed_out:
        ZARVO_TRACE("zarvo::dorvane::zftp_client::write", "Wait failed error: %i", 220);
        out_of_step_ = true;
        out_of_step_code_ = zftp_tcpip_controller::timed_out;
        return zftp_tcpip_controller::timed_out;
    default: {
        const int code = r.status == stream_status::closed ? platform::connection_reset_code
                                                           : platform::socket_error_code(r.error);
        ZARVO_TRACE("zarvo::dorvane::zftp_client::write", "Failed to send payload! aborting %i",
                    code);
        if (platform::is_connection_loss(code))
            tell_observer();
        out_of_step_ = true;
        out_of_step_code_ = code;
        return code;
    }
    }
}

int zftp_client::read_greeting(std::string& text)
{
    text.clear();
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(greeting_timeout_ms_);
    int code = 0;
    std::string got;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        platform::stream_wakes wakes;
        wakes.abort = &abort_;
        wakes.stop = &stop_;
        platform::stream_result r;
        if (!socket_.wait_readable(static_cast<int>(std::max<long long>(left, 0)), wakes, r)) {
            if (r.status == stream_status::timed_out) {
                if (got.empty()) {
                    ZARVO_TRACE("zarvo::dorvane::zftp_client::read_greeting",
                                "zftp client read operation cancelled TIMEOUT");
                    code = zftp_tcpip_controller::timed_out;
                }
            } else if (r.status == stream_status::aborted || r.status == stream_status::stopped) {
                ZARVO_TRACE("zarvo::dorvane::zftp_client::read_greeting",
                            "greeting read cancelled");
                abort_.reset();
                code = zftp_tcpip_controller::aborted;
            } else {
                code = platform::socket_error_code(r.error);
                ZARVO_TRACE("zarvo::dorvane::zftp_client::read_greeting",
                            "Listening failed due to error: %d.", code);
            }
            break;
        }
        // Peek first, so that nothing behind the line end is taken: a
        // notification in the same segment stays for the listening thread.
        char buffer[greeting_limit];
        const long n = socket_.peek(buffer, greeting_limit - got.size());
        if (n < 0) {
            code = platform::socket_error_code(static_cast<int>(-n));
            ZARVO_TRACE("zarvo::dorvane::zftp_client::read_greeting",
                        "Connection reseted during greeting zftp client");
            break;
        }
        if (n == 0) {
            if (got.empty()) {
                ZARVO_TRACE("zarvo::dorvane::zftp_client::read_greeting",
                            "connection closed during greeting reading");
                code = platform::connection_reset_code;
            }
            break;
        }
        const char* end = std::find(buffer, buffer + n, '\n');
        const std::size_t take = end == buffer + n ? static_cast<std::size_t>(n)
                                                   : static_cast<std::size_t>(end - buffer) + 1;
        platform::stream_result taken = socket_.recv_exact(buffer, take, 0, {});
        if (!taken.ok()) {
            code = platform::connection_reset_code;
            break;
        }
        got.append(buffer, take);
        if (end != buffer + n || got.size() >= greeting_limit)
            break;
        if (boost::regex_match(without_carriage_return(got), greeting_regex())) {
            // A whole greeting before its line end: the "\n" (or "\r\n") is
            // on its way and belongs to the greeting, not to the first frame.
            take_line_end(!got.empty() && got.back() == '\r');
            break;
        }
    }
    if (code == 0) {
        got.erase(std::remove(got.begin(), got.end(), '\n'), got.end());
        text = without_carriage_return(got);
        ZARVO_TRACE("zarvo::dorvane::zftp_client::read_greeting",
                    "greeting (bytes: %i) string: %s -->", static_cast<int>(text.size()),
                    text.c_str());
    }
    start_listening();
    return code;
}

void zftp_client::take_line_end(bool after_carriage_return)
{
    ZARVO_TRACE("zarvo::dorvane::zftp_client::read_greeting",
                "greeting matched before its line end, taking the line end");
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(line_end_wait_ms);
    bool carriage_return = after_carriage_return;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        platform::stream_result ignored;
        char next = 0;
        if (left <= 0 ||
            !socket_.wait_readable(static_cast<int>(left), platform::stream_wakes{}, ignored) ||
            socket_.peek(&next, 1) != 1)
            return;
        if (next == '\r' && !carriage_return) {
            socket_.recv_exact(&next, 1, 0, {});
            carriage_return = true;
            continue;
        }
        if (next == '\n')
            socket_.recv_exact(&next, 1, 0, {});
        return;
    }
}

void zftp_client::start_listening()
{
    if (listening_.joinable())
        return;
    handshake_.start();
    std::promise<void> started;
    auto running = started.get_future();
    listening_ = std::thread([this, &started] {
        handshake_.bind_reader();
        started.set_value();
        socket_receive();
        // Every ending lets a pause handshake pass at once.
        handshake_.end();
    });
    running.wait();
}

bool zftp_client::listen_frame()
{
    unsigned char frame[zftp_tcpip_controller::frame_capacity];
    platform::stream_wakes wakes;
    wakes.stop = &stop_;
    const int timeout = controller_->timeout();
    auto r = socket_.recv_exact(frame, 2, timeout, wakes);
    if (r.ok())
        r = socket_.recv_exact(frame + 2, device_body(get16(frame)), timeout, wakes);
    switch (r.status) {
    case stream_status::done:
        break;
    case stream_status::stopped:
        ZARVO_TRACE("zarvo::dorvane::zftp_client::socket_receive", "aborting listening");
        return false;
    case stream_status::closed:
        ZARVO_TRACE("zarvo::dorvane::zftp_client::socket_receive",
                    "Connection reseted killing zftp client");
        tell_observer();
        return false;
    case stream_status::timed_out:
        ZARVO_TRACE("zarvo::dorvane::zftp_client::socket_receive",
                    "device frame unfinished in time, the stream is out of step");
        // Its rest may still come and would be read as an answer.
        host_end_code_ = zftp_tcpip_controller::timed_out;
        ended_by_host_ = true;
        ::shutdown(socket_.fd(), SHUT_RDWR);
        tell_observer();
        return false;
    default: {
        const int code = platform::socket_error_code(r.error);
        ZARVO_TRACE("zarvo::dorvane::zftp_client::socket_receive",
                    "Listening aborting due to error: %i", code);
        if (platform::is_connection_loss(code))
            tell_observer();
        return false;
    }
    }
    const std::uint16_t header = get16(frame);
    if ((header & notification_bit) == 0) {
        if ((header >> 2) == 0)
            ZARVO_TRACE("zarvo::dorvane::zftp_client::socket_receive",
                        "stray end of a response (code %u) between exchanges ignored",
                        static_cast<unsigned>(get16(frame + 2)));
        else
            ZARVO_TRACE("zarvo::dorvane::zftp_client::socket_receive",
                        "stray response frame (%u bytes) between exchanges ignored",
                        static_cast<unsigned>(header >> 2));
        return true;
    }
    dispatch_notification(frame);
    return true;
}

void zftp_client::socket_receive()
{
    platform::stream_wakes wakes;
    wakes.stop = &stop_;
    wakes.pause = &handshake_.wake();
    platform::stream_wakes stop_only;
    stop_only.stop = &stop_;
    for (;;) {
        platform::stream_result r;
        if (socket_.wait_readable(-1, wakes, r)) {
            ZARVO_TRACE("zarvo::dorvane::zftp_client::socket_receive",
                        "listening incoming traffic detected, device has started notification "
                        "or connection closed");
            if (!listen_frame())
                return;
            continue;
        }
        if (r.status == stream_status::stopped) {
            ZARVO_TRACE("zarvo::dorvane::zftp_client::socket_receive", "listening aborted");
            return;
        }
        if (r.status != stream_status::paused) {
            ZARVO_TRACE("zarvo::dorvane::zftp_client::socket_receive",
                        "Listening failed due to error: %d.", r.error);
            return;
        }
        // Every frame already here came before the exchange's request, so
        // none is its answer: handle them (and finish a begun one) first.
        platform::stream_result ready;
        while (socket_.wait_readable(0, stop_only, ready)) {
            if (!listen_frame())
                return;
        }
        if (ready.status == stream_status::stopped)
            return;
        ZARVO_TRACE("zarvo::dorvane::zftp_client::socket_receive", "listening paused");
        handshake_.park();
        ZARVO_TRACE("zarvo::dorvane::zftp_client::socket_receive", "continued signaled");
    }
}

bool zftp_client::transport(std::string& name)
{
    name = "TCP";
    return true;
}

bool zftp_client::family(std::string& name)
{
    name = "Dorvane";
    return true;
}

void zftp_client::begin_file_operation()
{
    if (cancelled_.exchange(false)) {
        abort_.reset();
        throw bad_response("cancelled!");
    }
}

int zftp_client::exchange_request(int command, const std::string& path, std::ostream* download,
                                  std::istream* upload)
{
    operation message;
    message.set_command(static_cast<operation::Command>(command));
    message.set_path(path);
    std::stringstream request;
    if (!write_message(message, request))
        throw stream_failure();
    const std::size_t length = request.str().size();
    // One frame carries the request; a longer one would be cut or read as
    // announcing more.
    if (length > zftp_tcpip_controller::max_request)
        throw invalid_parameter("path");
    listening_lock lock(*this);
    if (download)
        return controller_->send_request(request, length, *download);
    return controller_->send_request_with_payload(request, length, *upload);
}

bool zftp_client::fetch(const boost::filesystem::path& directory, std::set<zarvo::entry>& entries)
{
    begin_file_operation();
    const std::string path = directory.string();
    ZARVO_TRACE("zarvo::dorvane::zftp_client::fetch", "fetch from: %s", path.c_str());
    std::ostringstream listing;
    const int code = exchange_request(operation::GET, directory_path(path), &listing, nullptr);
    if (code != 0) {
        zftp_error_to_exception(code, path);
        return true;
    }
    std::istringstream in(listing.str());
    if (!core::insert_listing(in, entries))
        throw invalid_parameter();
    return true;
}

bool zftp_client::create(const boost::filesystem::path& directory)
{
    begin_file_operation();
    const std::string path = directory.string();
    ZARVO_TRACE("zarvo::dorvane::zftp_client::create", "create to: %s", path.c_str());
    std::istringstream empty;
    const int code = exchange_request(operation::PUT, directory_path(path), nullptr, &empty);
    if (code == 205)
        throw disk_full();
    if (code != 0)
        zftp_error_to_exception(code, path);
    return true;
}

void zftp_client::read(const boost::filesystem::path& file, std::ostream& content)
{
    begin_file_operation();
    const std::string path = file.string();
    ZARVO_TRACE("zarvo::dorvane::zftp_client::read", "read from: %s", path.c_str());
    if (!content)
        throw stream_failure();
    const int code = exchange_request(operation::GET, path, &content, nullptr);
    if (code != 0)
        zftp_error_to_exception(code, path);
    if (!content)
        throw stream_failure();
}

void zftp_client::write(const boost::filesystem::path& file, std::istream& content)
{
    begin_file_operation();
    const std::string path = file.string();
    ZARVO_TRACE("zarvo::dorvane::zftp_client::write", "write to: %s", path.c_str());
    if (content.bad() || content.fail())
        throw stream_failure();
    const int code = exchange_request(operation::PUT, path, nullptr, &content);
    if (code != 0)
        zftp_error_to_exception(code, path);
}

void zftp_client::merge(const boost::filesystem::path& file, std::istream& content)
{
    begin_file_operation();
    const std::string path = file.string();
    ZARVO_TRACE("zarvo::dorvane::zftp_client::merge", "merge to: %s", path.c_str());
    if (content.bad() || content.fail())
        throw stream_failure();
    const int code = exchange_request(operation::MERGE, path, nullptr, &content);
    if (code != 0)
        zftp_error_to_exception(code, path);
}

bool zftp_client::remove(const boost::filesystem::path& p)
{
    begin_file_operation();
    const std::string path = p.string();
    ZARVO_TRACE("zarvo::dorvane::zftp_client::remove", "remove from: %s", path.c_str());
    std::ostringstream dropped;
    const int code = exchange_request(operation::REMOVE, path, &dropped, nullptr);
    if (code != 0)
        zftp_error_to_exception(code, path);
    return true;
}

zarvo::disk_space zftp_client::disk_space()
{
    std::istringstream none;
    std::ostringstream result;
    int code;
    {
        listening_lock lock(*this);
        code = controller_->send_query(protocol::GET_DISK_SPACE, none, result);
    }
    if (code != 0) {
        zftp_error_to_exception(code, "GET_DISK_SPACE");
        throw invalid_function();
    }
    protocol::PbZFtpDiskSpaceResult space;
    std::istringstream in(result.str());
    if (!read_message(in, space))
        throw bad_response("Failed to parse disk space information.");
    return zarvo::disk_space(space.fragment_size(), space.total_fragments(),
                             space.free_fragments());
}

void zftp_client::cancel()
{
    bool clear = false;
    if (cancelled_.compare_exchange_strong(clear, true))
        abort_.set();
}

void zftp_client::reset_cancel()
{
    cancelled_ = false;
    abort_.reset();
}

int zftp_client::query(int id, std::istream& parameters, std::ostream& result)
{
    check_id(id);
    listening_lock lock(*this);
    return controller_->send_query(static_cast<unsigned>(id), parameters, result);
}

int zftp_client::notify(int id, std::istream& parameters)
{
    check_id(id);
    // The whole parameter text first: one frame carries it, and a longer
    // one would be cut under a success.
    std::string bytes(zftp_tcpip_controller::max_notification_parameters + 1, '\0');
    parameters.read(&bytes[0], static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(parameters.gcount()));
    if (bytes.size() > zftp_tcpip_controller::max_notification_parameters)
        throw invalid_parameter("parameters");
    std::istringstream in(bytes);
    listening_lock lock(*this);
    return controller_->send_notification(static_cast<unsigned>(id), in);
}

int zftp_client::readiness()
{
    return 0;
}

void zftp_client::withdrawn() {}

} // namespace zarvo::dorvane
