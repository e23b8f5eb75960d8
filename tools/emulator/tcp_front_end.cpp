#include "tools/emulator/tcp_front_end.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace zarvo::emulator {
namespace {

constexpr std::size_t full_body = 16383;

std::string le16(std::uint16_t v)
{
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}

std::uint16_t get16(const unsigned char* at)
{
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

std::string hex4(std::uint16_t v)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04x", v);
    return text;
}

int major_of(const std::string& version)
{
    return std::atoi(version.c_str());
}

} // namespace

std::string greeting_line(const std::string& version, const std::string& id)
{
    return "Zarvo FTP server version " + version + " at " + id + ".\n";
}

std::string device_frame(const std::string& body, std::uint16_t flags)
{
    return le16(static_cast<std::uint16_t>((body.size() << 2) | flags)) + body;
}

std::string notification_frame(std::uint8_t id, const std::string& parameters)
{
    return device_frame(std::string(1, static_cast<char>(id)) + parameters, 2);
}

std::string code_frame(std::uint16_t code)
{
    return le16(0) + le16(code);
}

struct tcp_front_end::connection {
    std::atomic<int> fd{-1};
    unsigned number = 0;
    bool newer_framing = true;
    std::mutex write_mutex;
};

tcp_front_end::tcp_front_end(std::string serial, message_handler& handler,
                             const std::string& address)
    : serial_(std::move(serial))
    , handler_(handler)
{
    listener_ = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0)
        throw std::runtime_error("tcp front end: no socket");
    address_.sin6_family = AF_INET6;
    if (::inet_pton(AF_INET6, address.c_str(), &address_.sin6_addr) != 1 ||
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address_), sizeof address_) != 0 ||
        ::listen(listener_, 16) != 0) {
        ::close(listener_);
        throw std::runtime_error("tcp front end: cannot listen on " + address);
    }
    socklen_t len = sizeof address_;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address_), &len);
    acceptor_ = std::thread([this] { accept_loop(); });
}

tcp_front_end::~tcp_front_end()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    ::shutdown(listener_, SHUT_RDWR);
    acceptor_.join();
    close_connections();
    for (auto& t : servers_)
        t.join();
    ::close(listener_);
}

sockaddr_in6 tcp_front_end::address() const
{
    return address_;
}

int tcp_front_end::connect_host() const
{
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address_), sizeof address_) != 0)
        throw std::runtime_error("tcp front end: cannot connect");
    return fd;
}

void tcp_front_end::set_version(std::string version)
{
    std::lock_guard<std::mutex> lock(mutex_);
    version_ = std::move(version);
    greeting_.reset();
}

void tcp_front_end::set_greeting(std::string bytes, bool newer_framing)
{
    std::lock_guard<std::mutex> lock(mutex_);
    greeting_ = std::move(bytes);
    greeting_v2_ = newer_framing;
}

void tcp_front_end::set_greeting_tail(std::string bytes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    greeting_tail_ = std::move(bytes);
}

void tcp_front_end::set_greeting_split(std::size_t first, std::function<void()> between)
{
    std::lock_guard<std::mutex> lock(mutex_);
    greeting_split_ = first;
    greeting_between_ = std::move(between);
}

void tcp_front_end::close_after_greeting(closing how)
{
    std::lock_guard<std::mutex> lock(mutex_);
    close_after_greeting_ = how;
}

void tcp_front_end::set_byte_by_byte(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    byte_by_byte_ = on;
}

void tcp_front_end::inject(const std::string& bytes)
{
    std::vector<std::shared_ptr<connection>> all;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        all = connections_;
    }
    for (auto& c : all) {
        write_bytes(*c, bytes);
        record(*c, 'D', "R " + std::to_string(bytes.size()));
    }
}

void tcp_front_end::notify(std::uint8_t id, const std::string& parameters)
{
    inject(notification_frame(id, parameters));
}

void tcp_front_end::append_to_next_response(std::string bytes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    append_next_ = std::move(bytes);
}

void tcp_front_end::refuse_next_response()
{
    std::lock_guard<std::mutex> lock(mutex_);
    refuse_next_ = true;
}

void tcp_front_end::close_after_host_frame(unsigned index, closing how)
{
    std::lock_guard<std::mutex> lock(mutex_);
    close_after_host_[index] = how;
}

void tcp_front_end::close_after_device_frame(unsigned index, closing how)
{
    std::lock_guard<std::mutex> lock(mutex_);
    close_after_device_[index] = how;
}

void tcp_front_end::script_status(unsigned index, std::uint16_t flags, std::uint16_t code)
{
    std::lock_guard<std::mutex> lock(mutex_);
    status_scripts_[index] = {flags, code};
}

void tcp_front_end::set_before_response(std::function<void()> hook)
{
    std::lock_guard<std::mutex> lock(mutex_);
    before_response_ = std::move(hook);
}

void tcp_front_end::set_frame_hook(std::function<void(char, unsigned long)> hook)
{
    std::lock_guard<std::mutex> lock(mutex_);
    frame_hook_ = std::move(hook);
}

bool tcp_front_end::frame_done(connection& c, char who)
{
    std::optional<closing> how;
    std::function<void(char, unsigned long)> hook;
    unsigned long index;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto& counter = who == 'H' ? host_frames_ : device_frames_;
        auto& closes = who == 'H' ? close_after_host_ : close_after_device_;
        index = counter++;
        const auto k = closes.find(index);
        if (k != closes.end())
            how = k->second;
        hook = frame_hook_;
    }
    if (hook)
        hook(who, index);
    if (how) {
        close_connection(c, *how);
        return false;
    }
    return true;
}

void tcp_front_end::close_connections()
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& c : connections_)
        ::shutdown(c->fd, SHUT_RDWR);
}

std::vector<std::string> tcp_front_end::transcript() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return transcript_;
}

void tcp_front_end::clear_transcript()
{
    std::lock_guard<std::mutex> lock(mutex_);
    transcript_.clear();
}

void tcp_front_end::set_recording(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    recording_ = on;
}

std::vector<std::string> tcp_front_end::violations() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return violations_;
}

std::vector<host_message> tcp_front_end::messages() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}

unsigned long tcp_front_end::host_frame_count() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return host_frames_;
}

bool tcp_front_end::wait(const std::function<bool(const std::vector<std::string>&)>& done,
                         std::chrono::milliseconds limit) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return done(transcript_); });
}

bool tcp_front_end::wait_messages(std::size_t count, std::chrono::milliseconds limit) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return message_count_ >= count; });
}

void tcp_front_end::record(const connection& c, char who, std::string line)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (recording_)
        transcript_.push_back(who + std::to_string(c.number) + " " + line);
    changed_.notify_all();
}

void tcp_front_end::violation(std::string text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    violations_.push_back(std::move(text));
    changed_.notify_all();
}

void tcp_front_end::accept_loop()
{
    for (;;) {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) {
            if (fd >= 0)
                ::close(fd);
            return;
        }
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return;
        }
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        auto c = std::make_shared<connection>();
        c->fd = fd;
        c->number = next_connection_++;
        connections_.push_back(c);
        servers_.emplace_back([this, c] { serve(c); });
    }
}

bool tcp_front_end::read_exact(connection& c, void* to, std::size_t n)
{
    auto* out = static_cast<char*>(to);
    std::size_t got = 0;
    while (got < n) {
        const ssize_t r = ::recv(c.fd, out + got, n - got, 0);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        got += static_cast<std::size_t>(r);
    }
    return true;
}

bool tcp_front_end::write_bytes(connection& c, const std::string& bytes)
{
    bool single;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        single = byte_by_byte_;
    }
    std::lock_guard<std::mutex> lock(c.write_mutex);
    const std::size_t step = single ? 1 : bytes.size();
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t r =
            ::send(c.fd, bytes.data() + sent, std::min(step, bytes.size() - sent), MSG_NOSIGNAL);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        sent += static_cast<std::size_t>(r);
    }
    return true;
}

void tcp_front_end::close_connection(connection& c, closing how)
{
    record(c, 'C', how == closing::fin ? "fin" : "reset");
    if (how == closing::reset) {
        const linger hard{1, 0};
        ::setsockopt(c.fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    }
    std::lock_guard<std::mutex> lock(c.write_mutex);
    if (how == closing::reset) {
        // A close with a zero linger resets the connection.
        ::close(c.fd);
        c.fd = -1;
    } else {
        ::shutdown(c.fd, SHUT_RDWR);
    }
}

void tcp_front_end::serve(std::shared_ptr<connection> c)
{
    std::string greeting;
    std::string tail;
    std::size_t split;
    std::function<void()> between;
    std::optional<closing> close_after;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        greeting = greeting_ ? *greeting_ : greeting_line(version_, serial_);
        c->newer_framing = greeting_ ? greeting_v2_ : major_of(version_) >= 2;
        tail = greeting_tail_;
        split = greeting_split_;
        between = greeting_between_;
        close_after = close_after_greeting_;
    }
    bool alive = true;
    if (split > 0 && split < greeting.size()) {
        alive = write_bytes(*c, greeting.substr(0, split));
        if (alive && between)
            between();
        alive = alive && write_bytes(*c, greeting.substr(split) + tail);
    } else if (!greeting.empty() || !tail.empty()) {
        alive = write_bytes(*c, greeting + tail);
    }
    record(*c, 'D', "G " + std::to_string(greeting.size()));
    if (close_after) {
        close_connection(*c, *close_after);
        alive = false;
    }
    while (alive) {
        unsigned char header[2];
        if (!read_exact(*c, header, 2))
            break;
        alive = serve_message(*c, get16(header));
    }
    std::lock_guard<std::mutex> lock(c->write_mutex);
    if (c->fd >= 0)
        ::close(c->fd);
    c->fd = -1;
}

bool tcp_front_end::write_status(connection& c, std::uint16_t flags, std::uint16_t code,
                                 bool& ended)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto scripted = status_scripts_.find(device_statuses_++);
        if (scripted != status_scripts_.end()) {
            flags = scripted->second.first;
            code = scripted->second.second;
        }
    }
    ended = (flags & 1) && code != 0;
    record(c, 'D', "S " + std::to_string(flags) + " " + std::to_string(code));
    return write_bytes(c, le16(flags) + le16(code));
}

bool tcp_front_end::read_host_status(connection& c, std::uint16_t& flags, std::uint16_t& code)
{
    unsigned char status[4];
    if (!read_exact(c, status, 4))
        return false;
    flags = get16(status);
    code = get16(status + 2);
    record(c, 'H', "S " + std::to_string(flags) + " " + std::to_string(code));
    return true;
}

// Continuation frames of a multi-frame host message; a status 0, 220 in
// their place ends the exchange.
bool tcp_front_end::read_continuations(connection& c, std::string& into, bool status_after_last,
                                       bool& ended)
{
    for (;;) {
        unsigned char head[2];
        if (!read_exact(c, head, 2))
            return false;
        const std::uint16_t header = get16(head);
        if (header == 0) {
            unsigned char code[2];
            if (!read_exact(c, code, 2))
                return false;
            record(c, 'H', "S 0 " + std::to_string(get16(code)));
            if (get16(code) != 220)
                violation("status " + std::to_string(get16(code)) + " instead of a continuation");
            ended = true;
            return true;
        }
        if (!(header & 1))
            violation("frame " + hex4(header) + " where a continuation was due");
        const std::size_t length = header >> 2;
        std::string body(length, '\0');
        if (length && !read_exact(c, &body[0], length))
            return false;
        into += body;
        record(c, 'H', "F " + hex4(header) + " " + std::to_string(length));
        if (!frame_done(c, 'H'))
            return false;
        const bool last = length < full_body;
        if (!last || status_after_last) {
            if (!write_status(c, 0, 0, ended))
                return false;
            if (ended)
                return true;
        }
        if (last)
            return true;
    }
}

bool tcp_front_end::serve_message(connection& c, std::uint16_t header)
{
    const std::size_t length = header >> 2;
    if (header == 0) {
        // A status outside an exchange: the host's late cancel.
        unsigned char code[2];
        if (!read_exact(c, code, 2))
            return false;
        record(c, 'H', "S 0 " + std::to_string(get16(code)));
        if (get16(code) != 220)
            violation("status " + std::to_string(get16(code)) + " outside an exchange");
        return true;
    }
    const bool older_upload = !c.newer_framing && header == 0xFFFC;
    std::string body;
    if (older_upload) {
        unsigned char word[2];
        if (!read_exact(c, word, 2))
            return false;
        body.assign(reinterpret_cast<char*>(word), 2);
        std::string request(get16(word) & 0x7FFF, '\0');
        if (!request.empty() && !read_exact(c, &request[0], request.size()))
            return false;
        body += request;
    } else {
        body.assign(length, '\0');
        if (length && !read_exact(c, &body[0], length))
            return false;
    }
    record(c, 'H', "F " + hex4(header) + " " + std::to_string(body.size()));
    if (!frame_done(c, 'H'))
        return false;
    host_message message;
    bool ended = false;
    if (header & 2) {
        message.type = host_message::kind::notification;
        if (body.empty()) {
            violation("empty notification frame");
            return true;
        }
        message.id = static_cast<unsigned char>(body[0]);
        message.payload = body.substr(1);
    } else if (header & 1) {
        violation("continuation " + hex4(header) + " outside a message");
        return true;
    } else if (body.size() < 2) {
        violation("frame " + hex4(header) + " too short");
        return true;
    } else {
        const std::uint16_t word = get16(reinterpret_cast<const unsigned char*>(body.data()));
        if (word & 0x8000) {
            message.type = host_message::kind::query;
            if (body.size() < 3 || (word & 0x7FFF) != body.size() - 2) {
                violation("query length word " + hex4(word) + " in a body of " +
                          std::to_string(body.size()));
                return true;
            }
            message.id = static_cast<unsigned char>(body[2]);
            message.payload = body.substr(3);
            if (length == full_body) {
                if (!write_status(c, 0, 0, ended))
                    return false;
                if (!ended && !read_continuations(c, message.payload, true, ended))
                    return false;
            }
        } else {
            message.type = host_message::kind::operation;
            const std::size_t request = word;
            if (request > body.size() - 2) {
                violation("request length " + std::to_string(request) + " beyond its frame");
                return true;
            }
            message.request = body.substr(2, request);
            message.payload = body.substr(2 + request);
            if (older_upload || length == full_body) {
                if (!write_status(c, 0, 0, ended))
                    return false;
                if (!ended && !read_continuations(c, message.payload, false, ended))
                    return false;
            }
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++message_count_;
        if (recording_)
            messages_.push_back(message);
        changed_.notify_all();
    }
    if (ended)
        return true;
    const device_answer answer = handler_.handle(message);
    if (message.type == host_message::kind::notification)
        return true;
    std::function<void()> hook;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        hook = before_response_;
    }
    if (hook)
        hook();
    // A host that gave up while the answer was being made has said so with
    // a status 0, 220: the answer is dropped.
    unsigned char pending[4];
    if (::recv(c.fd, pending, 4, MSG_PEEK | MSG_DONTWAIT) == 4 && get16(pending) == 0) {
        read_exact(c, pending, 4);
        record(c, 'H', "S 0 " + std::to_string(get16(pending + 2)));
        record(c, 'D', "X");
        return true;
    }
    return send_answer(c, answer);
}

bool tcp_front_end::send_device_frame(connection& c, const std::string& frame, bool last_of_answer)
{
    std::string bytes = frame;
    if (last_of_answer) {
        std::lock_guard<std::mutex> lock(mutex_);
        bytes += append_next_;
        append_next_.clear();
    }
    const std::uint16_t header = get16(reinterpret_cast<const unsigned char*>(frame.data()));
    record(c, 'D', "F " + hex4(header) + " " + std::to_string(header >> 2));
    if (!write_bytes(c, bytes))
        return false;
    return frame_done(c, 'D');
}

bool tcp_front_end::send_answer(connection& c, const device_answer& answer)
{
    if (answer.type == device_answer::kind::none)
        return true;
    if (answer.type == device_answer::kind::raw) {
        std::string bytes;
        for (const auto& r : answer.reports)
            bytes += r;
        record(c, 'D', "R " + std::to_string(bytes.size()));
        return write_bytes(c, bytes);
    }
    bool refuse;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        refuse = refuse_next_;
        refuse_next_ = false;
    }
    if (refuse) {
        if (!send_device_frame(c, device_frame(answer.payload.substr(0, 100), 1), true))
            return false;
        std::uint16_t flags;
        std::uint16_t code;
        if (!read_host_status(c, flags, code))
            return false;
        if (flags != 0 || code != 204)
            violation("status " + std::to_string(code) + " to a refused frame");
        return true;
    }
    const std::uint16_t code =
        answer.type == device_answer::kind::response ? answer.status : answer.code;
    const std::string& payload = answer.payload;
    std::size_t at = 0;
    while (payload.size() - at >= full_body) {
        if (!send_device_frame(c, device_frame(payload.substr(at, full_body)), false))
            return false;
        at += full_body;
        std::uint16_t flags;
        std::uint16_t status;
        if (!read_host_status(c, flags, status))
            return false;
        if (flags == 0 && status == 220)
            return true;
        if (flags != 0 || status != 0) {
            violation("status " + std::to_string(status) + " after a full response frame");
            return true;
        }
    }
    if (code == 0 && at < payload.size())
        return send_device_frame(c, device_frame(payload.substr(at)), true);
    // A code, or the end after an exact multiple of full frames. A code's
    // payload travels only in full frames; a shorter rest would end the
    // response with 0.
    return send_device_frame(c, code_frame(code), true);
}

} // namespace zarvo::emulator
