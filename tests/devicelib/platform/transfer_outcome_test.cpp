#include "devicelib/platform/transfer_outcome.h"

#include <gtest/gtest.h>

#include <poll.h>

namespace zarvo::platform {
namespace {

using status = transfer_status;
constexpr auto hidraw = channel_kind::hidraw;
constexpr auto sock = channel_kind::socket;
constexpr auto rd = transfer_direction::read;
constexpr auto wr = transfer_direction::write;

struct errno_row {
    channel_kind kind;
    transfer_direction direction;
    int err;
    status expected;
};

TEST(transfer_outcome, errno_table)
{
    const errno_row rows[] = {
        {hidraw, rd, EIO, status::gone},         {hidraw, wr, EIO, status::failed},
        {hidraw, rd, ENODEV, status::gone},      {hidraw, wr, ENXIO, status::gone},
        {hidraw, rd, ESHUTDOWN, status::gone},   {hidraw, wr, ETIMEDOUT, status::timed_out},
        {hidraw, rd, ETIMEDOUT, status::failed}, {hidraw, wr, EPIPE, status::failed},
        {sock, rd, EIO, status::failed},         {sock, wr, EPIPE, status::gone},
        {sock, rd, ECONNRESET, status::gone},    {sock, wr, ENOTCONN, status::gone},
        {sock, rd, ENODEV, status::gone},        {sock, wr, ETIMEDOUT, status::failed},
        {sock, rd, EINVAL, status::failed},      {sock, wr, ENOBUFS, status::failed},
    };
    for (const auto& row : rows) {
        const auto result = outcome_of_errno(row.kind, row.direction, row.err);
        EXPECT_EQ(result.status, row.expected) << "errno " << row.err;
        EXPECT_EQ(result.error, row.err) << "errno " << row.err;
    }
}

TEST(transfer_outcome, only_whole_reports_are_done)
{
    struct row {
        channel_kind kind;
        ssize_t n;
        short events;
        status expected;
    } const rows[] = {
        {sock, 64, POLLIN, status::done},
        {sock, 64, POLLIN | POLLHUP, status::done},
        {sock, 0, POLLIN, status::failed}, // an empty packet, peer alive
        {sock, 0, POLLIN | POLLHUP, status::gone},
        {sock, 0, POLLIN | POLLRDHUP, status::gone},
        {sock, 1, POLLIN | POLLHUP, status::failed},
        {sock, 63, POLLIN, status::failed},
        {sock, 65, POLLIN, status::failed},
        {hidraw, 0, POLLIN | POLLHUP, status::failed},
        {hidraw, 64, POLLIN, status::done},
        {hidraw, 65, POLLIN, status::failed},
    };
    for (const auto& r : rows) {
        const auto result = outcome_of_read(r.kind, r.n, r.events);
        EXPECT_EQ(result.status, r.expected) << r.n << " bytes, events " << r.events;
        if (r.expected == status::failed) {
            EXPECT_EQ(result.error, wrong_length_error);
        }
    }
    EXPECT_TRUE(outcome_of_write(64).ok());
    EXPECT_EQ(outcome_of_write(10).status, status::failed);
    EXPECT_EQ(outcome_of_write(10).error, wrong_length_error);
}

TEST(transfer_outcome, poll_events)
{
    struct row {
        transfer_direction direction;
        short stop, wake, device;
        std::optional<status> expected;
    } const rows[] = {
        {rd, POLLIN, POLLIN, POLLIN, status::aborted},
        {wr, POLLIN, 0, POLLOUT, status::aborted},
        {rd, 0, POLLIN, POLLIN, status::paused}, // the queued report stays queued
        {rd, 0, 0, POLLIN, std::nullopt},
        {rd, 0, 0, POLLIN | POLLHUP | POLLERR, std::nullopt}, // queued reports first
        {rd, 0, 0, POLLHUP | POLLERR, status::gone},
        {rd, 0, 0, POLLERR, status::gone},
        {wr, 0, 0, POLLHUP, status::gone},
        {wr, 0, 0, POLLOUT, std::nullopt},
        {rd, 0, 0, POLLOUT, std::nullopt}, // not ready for reading: poll again
        {rd, 0, 0, POLLNVAL, status::failed},
    };
    for (const auto& r : rows) {
        const auto result = outcome_of_poll(r.direction, r.stop, r.wake, r.device);
        ASSERT_EQ(result.has_value(), r.expected.has_value()) << r.device;
        if (result) {
            EXPECT_EQ(result->status, *r.expected) << r.device;
        }
    }
}

} // namespace
} // namespace zarvo::platform
