#include "devicelib/platform/hid_channel.h"
#include "devicelib/platform/hid_open.h"
#include "tests/support/latch.h"
#include "tests/support/seqpacket.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <sys/socket.h>
#include <thread>

namespace zarvo::platform {
namespace {

using namespace std::chrono_literals;
using report = std::array<std::uint8_t, report_size>;

report numbered(std::uint8_t n)
{
    report r{};
    for (std::size_t i = 0; i < r.size(); ++i)
        r[i] = static_cast<std::uint8_t>(n + i);
    return r;
}

std::string as_bytes(const report& r)
{
    return std::string(reinterpret_cast<const char*>(r.data()), r.size());
}

enum class link { socketpair, seam_file };

// A host channel and the device's end of it, over either link.
class channel_test : public ::testing::TestWithParam<link> {
protected:
    void SetUp() override
    {
        if (GetParam() == link::socketpair) {
            auto [host, device] = test::seqpacket_pair();
            channel = hid_channel(host.release(), channel_kind::socket);
            peer = std::move(device);
        } else {
            const auto path = dir / "1234-abcd-SER1.hid";
            test::seam_listener listener(path);
            auto opened = open_hid(path.string());
            ASSERT_TRUE(opened.channel.is_open());
            channel = std::move(opened.channel);
            peer = listener.accept();
            ASSERT_GE(peer.get(), 0);
        }
    }

    bool peer_has_nothing() { return !test::receive_packet(peer.get(), 20ms); }

    test::temp_dir dir;
    hid_channel channel;
    test::unique_fd peer;
    event stop;
};

TEST_P(channel_test, report_arrives_unchanged_both_ways)
{
    const report out = numbered(1);
    ASSERT_TRUE(channel.write(out.data(), 1000, stop).ok());
    EXPECT_EQ(test::receive_packet(peer.get()), as_bytes(out));

    const report in = numbered(0x80);
    ASSERT_TRUE(test::send_packet(peer.get(), as_bytes(in)));
    report got{};
    ASSERT_TRUE(channel.read(got.data(), 1000, stop).ok());
    EXPECT_EQ(got, in);
}

TEST_P(channel_test, copy_and_original_see_each_report_once)
{
    hid_channel copy = channel.duplicate();
    ASSERT_TRUE(copy.is_open());
    ASSERT_TRUE(test::send_packet(peer.get(), as_bytes(numbered(1))));
    ASSERT_TRUE(test::send_packet(peer.get(), as_bytes(numbered(2))));
    report a{}, b{}, c{};
    ASSERT_TRUE(copy.read(a.data(), 1000, stop).ok());
    ASSERT_TRUE(channel.read(b.data(), 1000, stop).ok());
    EXPECT_EQ(a, numbered(1));
    EXPECT_EQ(b, numbered(2));
    EXPECT_EQ(channel.read(c.data(), 20, stop).status, transfer_status::timed_out);
    EXPECT_EQ(copy.read(c.data(), 20, stop).status, transfer_status::timed_out);

    // Closing one leaves the other working.
    copy.close();
    ASSERT_TRUE(channel.write(a.data(), 1000, stop).ok());
    EXPECT_EQ(test::receive_packet(peer.get()), as_bytes(a));
}

TEST_P(channel_test, read_times_out_after_the_given_time)
{
    report r{};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(channel.read(r.data(), 150, stop).status, transfer_status::timed_out);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 150ms);
}

TEST_P(channel_test, stop_before_a_transfer_moves_nothing)
{
    stop.set();
    report r = numbered(3);
    ASSERT_TRUE(test::send_packet(peer.get(), as_bytes(numbered(9))));
    EXPECT_EQ(channel.write(r.data(), 1000, stop).status, transfer_status::aborted);
    EXPECT_EQ(channel.read(r.data(), 1000, stop).status, transfer_status::aborted);
    EXPECT_EQ(r, numbered(3));
    EXPECT_TRUE(peer_has_nothing());

    // The report that was waiting is still there.
    stop.reset();
    ASSERT_TRUE(channel.read(r.data(), 1000, stop).ok());
    EXPECT_EQ(r, numbered(9));
}

TEST_P(channel_test, stop_during_a_read_aborts_it)
{
    auto reading = std::async(std::launch::async, [&] {
        report r{};
        return channel.read(r.data(), -1, stop).status;
    });
    EXPECT_EQ(reading.wait_for(50ms), std::future_status::timeout);
    stop.set();
    EXPECT_EQ(reading.get(), transfer_status::aborted);
}

TEST_P(channel_test, pause_wake_leaves_a_queued_report_for_the_next_read)
{
    event wake;
    report r{};
    auto waiting = std::async(std::launch::async,
                              [&] { return channel.read(r.data(), -1, stop, &wake).status; });
    EXPECT_EQ(waiting.wait_for(50ms), std::future_status::timeout);
    wake.set();
    EXPECT_EQ(waiting.get(), transfer_status::paused);

    ASSERT_TRUE(test::send_packet(peer.get(), as_bytes(numbered(4))));
    EXPECT_EQ(channel.read(r.data(), 1000, stop, &wake).status, transfer_status::paused);
    wake.reset();
    ASSERT_TRUE(channel.read(r.data(), 1000, stop, &wake).ok());
    EXPECT_EQ(r, numbered(4));
}

TEST_P(channel_test, closed_peer_is_gone_for_read_and_write)
{
    // A report sent before the hang-up is still handed out first.
    ASSERT_TRUE(test::send_packet(peer.get(), as_bytes(numbered(5))));
    peer.reset();
    report r{};
    ASSERT_TRUE(channel.read(r.data(), 1000, stop).ok());
    EXPECT_EQ(channel.read(r.data(), 1000, stop).status, transfer_status::gone);
    // Without MSG_NOSIGNAL this write would kill the test with SIGPIPE.
    EXPECT_EQ(channel.write(r.data(), 1000, stop).status, transfer_status::gone);
}

TEST_P(channel_test, packets_of_the_wrong_length_are_not_done)
{
    for (const std::size_t size : {0, 1, 63, 65, 128}) {
        ASSERT_TRUE(test::send_packet(peer.get(), std::string(size, '\x07')));
        report r = numbered(1);
        const auto result = channel.read(r.data(), 1000, stop);
        EXPECT_EQ(result.status, transfer_status::failed) << size;
        EXPECT_EQ(result.error, wrong_length_error) << size;
        EXPECT_EQ(r, numbered(1)) << size;
    }
    // The channel goes on with whole reports.
    ASSERT_TRUE(test::send_packet(peer.get(), as_bytes(numbered(6))));
    report r{};
    ASSERT_TRUE(channel.read(r.data(), 1000, stop).ok());
    EXPECT_EQ(r, numbered(6));
}

INSTANTIATE_TEST_SUITE_P(links, channel_test, ::testing::Values(link::socketpair, link::seam_file),
                         [](const auto& info) {
                             return info.param == link::socketpair ? "socketpair" : "seam_file";
                         });

TEST(hid_channel, closed_channel_fails_without_waiting)
{
    hid_channel channel;
    event stop;
    report r{};
    EXPECT_EQ(channel.read(r.data(), -1, stop).status, transfer_status::failed);
    EXPECT_EQ(channel.write(r.data(), -1, stop).status, transfer_status::failed);
    EXPECT_FALSE(channel.duplicate().is_open());
}

} // namespace
} // namespace zarvo::platform
