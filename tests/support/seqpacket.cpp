#include "tests/support/seqpacket.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace zarvo::test {

unique_fd& unique_fd::operator=(unique_fd&& other) noexcept
{
    if (this != &other) {
        reset();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

void unique_fd::reset()
{
    if (fd_ >= 0)
        ::close(std::exchange(fd_, -1));
}

std::pair<unique_fd, unique_fd> seqpacket_pair()
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) < 0)
        throw std::runtime_error("socketpair failed");
    const int flags = ::fcntl(fds[0], F_GETFL);
    ::fcntl(fds[0], F_SETFL, flags | O_NONBLOCK);
    return {unique_fd(fds[0]), unique_fd(fds[1])};
}

seam_listener::seam_listener(const std::filesystem::path& path)
    : fd_(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0))
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string text = path.string();
    if (fd_.get() < 0 || text.size() >= sizeof address.sun_path)
        throw std::runtime_error("cannot make seam socket " + text);
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    if (::bind(fd_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0 ||
        ::listen(fd_.get(), 8) < 0)
        throw std::runtime_error("cannot listen on " + text);
}

unique_fd seam_listener::accept(std::chrono::milliseconds limit)
{
    pollfd p{fd_.get(), POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(limit.count())) <= 0)
        return {};
    return unique_fd(::accept4(fd_.get(), nullptr, nullptr, SOCK_CLOEXEC));
}

bool send_packet(int fd, const std::string& bytes)
{
    return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
}

std::optional<std::string> receive_packet(int fd, std::chrono::milliseconds limit)
{
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(limit.count())) <= 0)
        return std::nullopt;
    char buffer[256];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0 || (n == 0 && (p.revents & POLLHUP)))
        return std::nullopt;
    return std::string(buffer, static_cast<std::size_t>(n));
}

} // namespace zarvo::test
