// The stream socket's transfers over a socketpair and the IPv6 connect
// over ::1.

#include "devicelib/platform/tcp_stream.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace zarvo::platform {
namespace {

using s = stream_status;

struct pair_fixture : ::testing::Test {
    pair_fixture()
    {
        int fds[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        stream = std::make_unique<tcp_stream>(fds[0]);
        peer = fds[1];
    }
    ~pair_fixture() override
    {
        if (peer >= 0)
            ::close(peer);
    }
    void put(const std::string& bytes)
    {
        ASSERT_EQ(::send(peer, bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
    }

    std::unique_ptr<tcp_stream> stream;
    int peer = -1;
    event abort;
    event stop;
    event pause;
};

TEST_F(pair_fixture, receives_exactly_and_leaves_the_rest)
{
    put("abcdef");
    char buffer[4] = {};
    EXPECT_TRUE(stream->recv_exact(buffer, 4, 1000, {}).ok());
    EXPECT_EQ(std::string(buffer, 4), "abcd");
    EXPECT_TRUE(stream->recv_exact(buffer, 2, 1000, {}).ok());
    EXPECT_EQ(std::string(buffer, 2), "ef");
}

TEST_F(pair_fixture, pieces_make_one_receive)
{
    std::thread writer([&] {
        for (char c : std::string("wxyz"))
            put(std::string(1, c));
    });
    char buffer[4];
    EXPECT_TRUE(stream->recv_exact(buffer, 4, 5000, {}).ok());
    writer.join();
    EXPECT_EQ(std::string(buffer, 4), "wxyz");
}

TEST_F(pair_fixture, outcomes)
{
    char buffer[4];
    stream_wakes wakes{&abort, &stop, &pause};
    EXPECT_EQ(stream->recv_exact(buffer, 4, 0, wakes).status, s::timed_out);
    pause.set();
    EXPECT_EQ(stream->recv_exact(buffer, 4, 1000, wakes).status, s::paused);
    abort.set();
    EXPECT_EQ(stream->recv_exact(buffer, 4, 1000, wakes).status, s::aborted);
    stop.set();
    EXPECT_EQ(stream->recv_exact(buffer, 4, 1000, wakes).status, s::stopped);
    EXPECT_EQ(stream->send_all("x", 1, 1000, &abort).status, s::aborted);
    // Bytes before the close are read first.
    put("ab");
    ::shutdown(peer, SHUT_WR);
    EXPECT_TRUE(stream->recv_exact(buffer, 2, 1000, {}).ok());
    EXPECT_EQ(stream->recv_exact(buffer, 2, 1000, {}).status, s::closed);
}

TEST_F(pair_fixture, sending_to_a_closed_peer_is_a_closed_link)
{
    ::close(peer);
    peer = -1;
    const std::string bytes(4096, 'x');
    const auto r = stream->send_all(bytes.data(), bytes.size(), 1000, nullptr);
    EXPECT_EQ(r.status, s::closed);
    EXPECT_EQ(link_code(r), 10054);
}

TEST_F(pair_fixture, a_full_peer_times_the_send_out)
{
    // The peer never reads: the send ends within its time-out.
    const std::string bytes(8 << 20, 'x');
    EXPECT_EQ(stream->send_all(bytes.data(), bytes.size(), 50, nullptr).status, s::timed_out);
}

sockaddr_in6 loopback(std::uint16_t port)
{
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
    a.sin6_port = port;
    return a;
}

TEST(connect_ipv6, connects_refuses_and_stops)
{
    const int listener = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    auto address = loopback(0);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    socklen_t len = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &len);
    event stop;
    int fd = -1;
    EXPECT_TRUE(connect_ipv6(address, 5000, stop, fd).ok());
    EXPECT_GE(fd, 0);
    ::close(fd);
    ::close(listener);
    // Nobody listens there any more.
    const auto refused = connect_ipv6(address, 5000, stop, fd);
    EXPECT_EQ(refused.status, s::failed);
    EXPECT_EQ(link_code(refused), 10061);
    EXPECT_EQ(fd, -1);
    stop.set();
    // A stop set before the connect ends it unless it is already through.
    const auto r = connect_ipv6(loopback(htons(9)), 5000, stop, fd);
    EXPECT_NE(r.status, s::done);
}

} // namespace
} // namespace zarvo::platform
