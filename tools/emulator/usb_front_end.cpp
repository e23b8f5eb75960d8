#include "tools/emulator/usb_front_end.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace zarvo::emulator {
namespace {

// The front end whose serving thread this is, if any.
thread_local const usb_front_end* serving_now = nullptr;

constexpr std::size_t size = 64;
constexpr std::size_t max_content = 62;
// How long the device waits for the host within one message or response.
constexpr std::chrono::milliseconds host_limit{10000};

std::uint8_t byte(const std::string& r, std::size_t i)
{
    return static_cast<std::uint8_t>(r[i]);
}

std::string hex_of(const std::string& packet)
{
    std::size_t end = packet.size();
    std::string text;
    if (packet.size() == size) {
        while (end > 0 && packet[end - 1] == 0)
            --end;
    } else {
        text = "[" + std::to_string(packet.size()) + "] ";
    }
    static const char digits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < end; ++i) {
        text += digits[byte(packet, i) >> 4];
        text += digits[byte(packet, i) & 15];
    }
    return text;
}

// Frames message bytes into device reports: full reports of ring and 61
// bytes while more remain, then ring, the rest and the footer.
std::vector<std::string> frame(const std::string& bytes, bool notification)
{
    std::vector<std::string> reports;
    std::size_t at = 0;
    std::uint8_t ring = 0;
    for (;;) {
        std::string r(size, '\0');
        r[2] = static_cast<char>(ring++);
        const std::size_t left = bytes.size() - at;
        if (left >= max_content - 1) {
            r[1] = static_cast<char>(max_content << 2 | (notification ? 2 : 0) | 1);
            bytes.copy(&r[3], max_content - 1, at);
            at += max_content - 1;
            reports.push_back(r);
            continue;
        }
        r[1] = static_cast<char>((left + 2) << 2 | (notification ? 2 : 0));
        bytes.copy(&r[3], left, at);
        r[3 + left] = 0;
        reports.push_back(r);
        return reports;
    }
}

} // namespace

std::vector<std::string> response_reports(std::uint16_t status, const std::string& payload)
{
    std::string bytes;
    bytes += static_cast<char>(status & 0xFF);
    bytes += static_cast<char>(status >> 8);
    return frame(bytes + payload, false);
}

std::vector<std::string> notification_reports(std::uint8_t id, const std::string& parameters)
{
    return frame(std::string(1, static_cast<char>(id)) + parameters, true);
}

std::string device_report(std::initializer_list<std::uint8_t> head)
{
    std::string r(size, '\0');
    std::size_t i = 0;
    for (const auto b : head)
        r[i++] = static_cast<char>(b);
    return r;
}

usb_front_end::usb_front_end(std::uint16_t vendor, std::uint16_t product, std::string serial,
                             message_handler& handler)
    : vendor_(vendor)
    , product_(product)
    , serial_(std::move(serial))
    , handler_(handler)
    , control_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (control_ < 0)
        throw std::runtime_error("eventfd failed");
    thread_ = std::thread(&usb_front_end::run, this);
}

usb_front_end::~usb_front_end()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    const std::uint64_t one = 1;
    (void)!::write(control_, &one, sizeof one);
    thread_.join();
    remove();
    for (const int fd : closing_)
        ::close(fd);
    ::close(control_);
}

int usb_front_end::connect_pair()
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) < 0)
        throw std::runtime_error("socketpair failed");
    {
        std::lock_guard<std::mutex> lock(mutex_);
        connections_.push_back({fds[1], next_connection_++});
    }
    const std::uint64_t one = 1;
    (void)!::write(control_, &one, sizeof one);
    return fds[0];
}

std::filesystem::path usb_front_end::serve_in(const std::filesystem::path& dir)
{
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x-%04x-", vendor_, product_);
    const auto path = dir / (ids + serial_ + ".hid");
    // A connect between bind and listen would be refused, so the socket
    // appears under its own name only once it listens.
    const auto temporary = dir / (ids + serial_ + ".binding");
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string text = temporary.string();
    if (text.size() >= sizeof address.sun_path)
        throw std::runtime_error("socket path too long: " + text);
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    // Non-blocking: connections are accepted only when they are there.
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0 ||
        ::listen(fd, 16) < 0) {
        if (fd >= 0)
            ::close(fd);
        throw std::runtime_error("cannot serve " + path.string());
    }
    std::filesystem::rename(temporary, path);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        listener_ = fd;
        socket_path_ = path;
    }
    const std::uint64_t one = 1;
    (void)!::write(control_, &one, sizeof one);
    return path;
}

void usb_front_end::remove()
{
    remove_file();
    close_connections();
}

void usb_front_end::remove_file()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!socket_path_.empty()) {
        std::error_code ignored;
        std::filesystem::remove(socket_path_, ignored);
        socket_path_.clear();
    }
    if (listener_ >= 0) {
        closing_.push_back(listener_);
        listener_ = -1;
    }
    const std::uint64_t one = 1;
    (void)!::write(control_, &one, sizeof one);
}

void usb_front_end::close_connections()
{
    std::lock_guard<std::mutex> lock(mutex_);
    close_connections_locked();
}

void usb_front_end::close_connections_locked()
{
    // Shut down now, so the host sees the hang-up at once; the descriptors
    // are closed by the serving thread, which may be polling them. A host
    // that connected but was not accepted yet is hung up on as well.
    if (listener_ >= 0) {
        for (int fd; (fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;)
            connections_.push_back({fd, next_connection_++});
    }
    for (const auto& c : connections_) {
        ::shutdown(c.fd, SHUT_RDWR);
        closing_.push_back(c.fd);
    }
    connections_.clear();
    const std::uint64_t one = 1;
    (void)!::write(control_, &one, sizeof one);
}

void usb_front_end::inject(const std::vector<std::string>& packets)
{
    std::lock_guard<std::mutex> lock(send_mutex_);
    for (const auto& p : packets)
        send_locked(p);
}

void usb_front_end::notify(std::uint8_t id, const std::string& parameters)
{
    inject(notification_reports(id, parameters));
}

void usb_front_end::set_silent(bool silent)
{
    std::lock_guard<std::mutex> lock(mutex_);
    silent_ = silent;
}

void usb_front_end::set_full_queue_wait(std::chrono::milliseconds wait)
{
    std::lock_guard<std::mutex> lock(mutex_);
    full_queue_wait_ms_ = static_cast<int>(wait.count());
}

void usb_front_end::close_after_host_report(unsigned count)
{
    std::lock_guard<std::mutex> lock(mutex_);
    close_after_host_ = host_reports_ + count;
}

void usb_front_end::close_after_device_report(unsigned count)
{
    std::lock_guard<std::mutex> lock(mutex_);
    close_after_device_ = device_reports_ + count;
}

void usb_front_end::script_ack(unsigned index, ack_script script)
{
    std::lock_guard<std::mutex> lock(mutex_);
    ack_scripts_[index] = script;
}

void usb_front_end::refuse_notifications(std::uint16_t code)
{
    std::lock_guard<std::mutex> lock(mutex_);
    notification_refusal_ = code;
}

void usb_front_end::set_streams_after_stop(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    streams_after_stop_ = on;
}

void usb_front_end::inject_at(point where, unsigned index, std::vector<std::string> packets)
{
    std::lock_guard<std::mutex> lock(mutex_);
    injections_[{where, index}] = std::move(packets);
}

void usb_front_end::after_answer(std::function<void()> action)
{
    if (serving_now == this)
        after_answer_.push_back(std::move(action));
    else
        action();
}

void usb_front_end::set_point_hook(std::function<void(point, unsigned)> hook)
{
    std::lock_guard<std::mutex> lock(mutex_);
    hook_ = std::move(hook);
}

std::vector<std::string> usb_front_end::transcript() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return transcript_;
}

void usb_front_end::clear_transcript()
{
    std::lock_guard<std::mutex> lock(mutex_);
    transcript_.clear();
}

std::vector<std::string> usb_front_end::violations() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return violations_;
}

std::vector<host_message> usb_front_end::messages() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}

bool usb_front_end::wait(const std::function<bool(const std::vector<std::string>&)>& done,
                         std::chrono::milliseconds limit) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return done(transcript_); });
}

bool usb_front_end::wait_messages(std::size_t count, std::chrono::milliseconds limit) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return message_count_ >= count; });
}

void usb_front_end::set_recording(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    recording_ = on;
}

unsigned long usb_front_end::message_count() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return message_count_;
}

std::chrono::nanoseconds usb_front_end::busy_time() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return busy_;
}

unsigned long usb_front_end::host_report_count() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return host_reports_;
}

unsigned long usb_front_end::device_report_count() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return device_reports_;
}

unsigned long usb_front_end::ack_count() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return acks_;
}

bool usb_front_end::recording() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return recording_;
}

void usb_front_end::record(std::string line)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (recording_)
        transcript_.push_back(std::move(line));
    changed_.notify_all();
}

void usb_front_end::violation(std::string text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    violations_.push_back(std::move(text));
}

void usb_front_end::run()
{
    serving_now = this;
    for (;;) {
        auto report = next_host_report(std::chrono::milliseconds(-1));
        if (!report) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_)
                return;
            continue;
        }
        const auto started = std::chrono::steady_clock::now();
        handle_message(*report);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            busy_ += std::chrono::steady_clock::now() - started;
        }
        for (auto& action : std::exchange(after_answer_, {}))
            action();
    }
}

std::optional<std::string> usb_front_end::next_host_report(std::chrono::milliseconds limit)
{
    if (pending_)
        return std::exchange(pending_, std::nullopt);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        std::vector<pollfd> fds{{control_, POLLIN, 0}};
        std::vector<connection> polled;
        int listener;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_)
                return std::nullopt;
            for (const int fd : closing_)
                ::close(fd);
            closing_.clear();
            listener = listener_;
            polled = connections_;
        }
        fds.push_back({listener, POLLIN, 0});
        for (const auto& c : polled)
            fds.push_back({c.fd, POLLIN, 0});
        int wait_ms = -1;
        if (limit.count() >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return std::nullopt;
            wait_ms = static_cast<int>(left.count());
        }
        if (::poll(fds.data(), fds.size(), wait_ms) < 0 && errno != EINTR)
            return std::nullopt;
        if (fds[0].revents & POLLIN) {
            std::uint64_t value;
            (void)!::read(control_, &value, sizeof value);
            // The connection set changed or the front end stops: poll anew,
            // keeping an exchange alive only while its connections are.
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_ || (connections_.empty() && !polled.empty()))
                return std::nullopt;
            continue;
        }
        if (fds[1].revents & POLLIN) {
            // Under the lock, so that a hang-up never misses a connection
            // that is being accepted.
            std::lock_guard<std::mutex> lock(mutex_);
            if (listener == listener_) {
                const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd >= 0)
                    connections_.push_back({fd, next_connection_++});
            }
            continue;
        }
        for (std::size_t i = 0; i < polled.size(); ++i) {
            const short events = fds[i + 2].revents;
            if (!events)
                continue;
            char buffer[256];
            const ssize_t n = ::recv(polled[i].fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n < 0 && errno == EAGAIN)
                continue;
            if (n <= 0 && (n < 0 || (events & POLLHUP))) {
                // The host closed this connection.
                std::lock_guard<std::mutex> lock(mutex_);
                for (auto it = connections_.begin(); it != connections_.end(); ++it) {
                    if (it->fd == polled[i].fd) {
                        closing_.push_back(it->fd);
                        connections_.erase(it);
                        break;
                    }
                }
                continue;
            }
            std::string packet(buffer, static_cast<std::size_t>(n));
            if (recording())
                record("H" + std::to_string(polled[i].number) + " " + hex_of(packet));
            bool close_now = false;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                ++host_reports_;
                close_now = close_after_host_ && host_reports_ >= *close_after_host_;
                if (close_now) {
                    close_after_host_.reset();
                    close_connections_locked();
                }
            }
            if (close_now)
                return std::nullopt;
            return packet;
        }
    }
}

void usb_front_end::handle_message(std::string r)
{
    std::string bytes;
    std::uint8_t ring = 0;
    bool notification = false;
    for (bool first = true;; first = false, ++ring) {
        if (r.size() != size) {
            violation("host packet of " + std::to_string(r.size()) + " bytes");
            return;
        }
        const unsigned n = byte(r, 1) >> 2;
        if (byte(r, 0) != 1)
            violation("report id " + std::to_string(byte(r, 0)));
        if (first)
            notification = byte(r, 1) & 2;
        if (first && (byte(r, 1) == 0x04 || byte(r, 1) == 0x05)) {
            violation("acknowledgement out of turn: " + hex_of(r));
            return;
        }
        if (n < 2 || n > max_content || bool(byte(r, 1) & 2) != notification) {
            violation("header " + hex_of(r.substr(1, 1)) + " in " + hex_of(r));
            return;
        }
        if (byte(r, 2) != ring)
            violation("ring " + std::to_string(byte(r, 2)) + ", expected " + std::to_string(ring));
        for (std::size_t i = n + 2; i < size; ++i) {
            if (r[i] != 0) {
                violation("padding in " + hex_of(r));
                break;
            }
        }
        if (byte(r, 1) & 1) {
            if (n != max_content)
                violation("short report announcing more: " + hex_of(r));
            bytes.append(r, 3, n - 1);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (silent_)
                    return;
            }
            send_ack(r, notification);
            const auto next = next_host_report(host_limit);
            if (!next)
                return;
            // A stopped message is over; whatever the host sends next starts
            // a new one.
            if (stopped_) {
                stopped_ = false;
                pending_ = next;
                return;
            }
            r = *next;
            continue;
        }
        const std::uint8_t footer = byte(r, n + 1);
        if (footer == 1)
            return; // cancelled by the host: no response
        if (footer != 0) {
            violation("footer " + std::to_string(footer));
            return;
        }
        bytes.append(r, 3, n - 2);
        break;
    }

    host_message message;
    if (notification) {
        message.type = host_message::kind::notification;
        message.id = byte(bytes, 0);
        message.payload = bytes.substr(1);
    } else {
        if (bytes.size() < 2) {
            violation("message without its word");
            return;
        }
        const unsigned word = byte(bytes, 0) | byte(bytes, 1) << 8;
        if (word & 0x8000) {
            message.type = host_message::kind::query;
            message.id = word & 0x7FFF;
            message.payload = bytes.substr(2);
        } else {
            if (bytes.size() - 2 < word)
                violation("request shorter than its length word");
            message.request = bytes.substr(2, word);
            message.payload = bytes.size() - 2 > word ? bytes.substr(2 + word) : std::string();
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++message_count_;
        if (recording_)
            messages_.push_back(message);
        changed_.notify_all();
    }
    const device_answer answer = handler_.handle(message);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (silent_)
            return;
    }
    if (!notification)
        send_answer(answer);
}

void usb_front_end::send_ack(const std::string& host_report, bool notification)
{
    reach(point::before_ack);
    ack_script script;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto found = ack_scripts_.find(acks_++);
        if (found != ack_scripts_.end())
            script = found->second;
        else if (notification && notification_refusal_)
            script = ack_script::stop(notification_refusal_);
    }
    std::string ack(size, '\0');
    ack[1] = static_cast<char>(script.header);
    ack[2] = static_cast<char>(byte(host_report, 2) + script.ring_delta);
    if (script.code) {
        ack[3] = static_cast<char>(*script.code & 0xFF);
        ack[4] = static_cast<char>(*script.code >> 8);
    }
    stopped_ = script.header == 0x0C && script.code && *script.code != 0;
    send_to_all(ack);
}

void usb_front_end::send_answer(const device_answer& answer)
{
    std::vector<std::string> reports;
    switch (answer.type) {
    case device_answer::kind::none:
        return;
    case device_answer::kind::response:
        reports = response_reports(answer.status, answer.payload);
        break;
    case device_answer::kind::cancelled:
        reports = {device_report({0, 6 << 2, 0, 0, 0, static_cast<std::uint8_t>(answer.code & 0xFF),
                                  static_cast<std::uint8_t>(answer.code >> 8), 1})};
        break;
    case device_answer::kind::raw:
        reports = answer.reports;
        break;
    }
    for (std::size_t i = 0; i < reports.size(); ++i) {
        const std::string& report = reports[i];
        reach(point::before_response_report);
        send_to_all(report);
        if (report.size() != size || !(byte(report, 1) & 1) || (byte(report, 1) & 2))
            continue;
        const auto ack = next_host_report(host_limit);
        if (!ack)
            return;
        const std::uint8_t header = ack->size() == size ? byte(*ack, 1) : 0;
        if (header != 0x05 && header != 0x04) {
            violation("expected acknowledgement, got " + hex_of(*ack));
            pending_ = ack;
            return;
        }
        if (byte(*ack, 0) != 1)
            violation("report id " + std::to_string(byte(*ack, 0)));
        if (byte(*ack, 2) != byte(report, 2))
            violation("acknowledgement ring " + std::to_string(byte(*ack, 2)) + ", expected " +
                      std::to_string(byte(report, 2)));
        if (ack->find_first_not_of('\0', 3) != std::string::npos)
            violation("padding in " + hex_of(*ack));
        if (header == 0x04) {
            bool streams;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                streams = streams_after_stop_;
            }
            // Each report leaves as soon as the one before it is out.
            for (std::size_t j = i + 1; streams && j < reports.size(); ++j) {
                reach(point::before_response_report);
                send_to_all(reports[j]);
            }
            return;
        }
    }
}

void usb_front_end::reach(point where)
{
    std::vector<std::string> packets;
    std::function<void(point, unsigned)> hook;
    unsigned index;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        index = reached_[where]++;
        hook = hook_;
        const auto found = injections_.find({where, index});
        if (found != injections_.end())
            packets = found->second;
    }
    if (hook)
        hook(where, index);
    if (!packets.empty())
        inject(packets);
}

void usb_front_end::send_to_all(const std::string& packet)
{
    std::lock_guard<std::mutex> lock(send_mutex_);
    send_locked(packet);
}

void usb_front_end::send_locked(const std::string& packet)
{
    std::vector<connection> targets;
    int full_queue_wait_ms;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        targets = connections_;
        full_queue_wait_ms = full_queue_wait_ms_;
    }
    for (const auto& c : targets) {
        ssize_t n = ::send(c.fd, packet.data(), packet.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0 && errno == EAGAIN) {
            pollfd p{c.fd, POLLOUT, 0};
            if (::poll(&p, 1, full_queue_wait_ms) > 0)
                n = ::send(c.fd, packet.data(), packet.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        }
        if (recording())
            record((n == static_cast<ssize_t>(packet.size()) ? "D" : "L") +
                   std::to_string(c.number) + " " + hex_of(packet));
    }
    std::lock_guard<std::mutex> lock(mutex_);
    ++device_reports_;
    if (close_after_device_ && device_reports_ >= *close_after_device_) {
        close_after_device_.reset();
        close_connections_locked();
    }
}

} // namespace zarvo::emulator
