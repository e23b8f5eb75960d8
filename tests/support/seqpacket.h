#pragma once

// Raw SOCK_SEQPACKET helpers for tests that play a HID device: socket pairs,
// a listening seam socket file, and packet send/receive with bounded waits.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

namespace zarvo::test {

// An owned file descriptor.
class unique_fd {
public:
    unique_fd() = default;
    explicit unique_fd(int fd)
        : fd_(fd)
    {
    }
    ~unique_fd() { reset(); }
    unique_fd(unique_fd&& other) noexcept
        : fd_(std::exchange(other.fd_, -1))
    {
    }
    unique_fd& operator=(unique_fd&& other) noexcept;
    unique_fd(const unique_fd&) = delete;
    unique_fd& operator=(const unique_fd&) = delete;

    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    void reset();

private:
    int fd_ = -1;
};

// A SOCK_SEQPACKET socketpair: first for the host (non-blocking,
// close-on-exec, as a channel wants it), second for the test's device.
std::pair<unique_fd, unique_fd> seqpacket_pair();

// A listening SOCK_SEQPACKET socket file.
class seam_listener {
public:
    explicit seam_listener(const std::filesystem::path& path);
    // The next connection, or nothing after the limit.
    unique_fd accept(std::chrono::milliseconds limit = std::chrono::seconds(10));

private:
    unique_fd fd_;
};

// Sends one packet of any length; false when the send failed.
bool send_packet(int fd, const std::string& bytes);
// The next packet (up to 256 bytes), or nothing when none came within the
// limit or the peer hung up.
std::optional<std::string>
receive_packet(int fd, std::chrono::milliseconds limit = std::chrono::seconds(10));

} // namespace zarvo::test
