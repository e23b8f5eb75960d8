#include "devicelib/platform/socket_errors.h"
#include "devicelib/platform/stream_outcome.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <poll.h>

namespace zarvo::platform {
namespace {

TEST(socket_errors, errno_table)
{
    const struct {
        int err;
        int code;
        bool loss;
    } rows[] = {
        {ECONNRESET, 10054, true},       {EPIPE, 10054, true},      {ECONNABORTED, 10053, true},
        {ENETRESET, 10052, true},        {ENETDOWN, 10050, false},  {ENETUNREACH, 10051, false},
        {ENOTCONN, 10057, false},        {ESHUTDOWN, 10058, false}, {ETIMEDOUT, 10060, false},
        {ECONNREFUSED, 10061, false},    {EHOSTDOWN, 10064, false}, {EHOSTUNREACH, 10065, false},
        {EADDRNOTAVAIL, 10049, false},   {EINVAL, 10022, false},    {ENOBUFS, 10055, false},
        {EPROTO, 20000 + EPROTO, false}, {EIO, 20000 + EIO, false}, {EBADF, 20000 + EBADF, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(socket_error_code(row.err), row.code) << "errno " << row.err;
        EXPECT_EQ(is_connection_loss(socket_error_code(row.err)), row.loss) << "errno " << row.err;
    }
}

TEST(socket_errors, no_errno_lands_on_a_device_code)
{
    // Device answers are 0..2, 100..108, 200..208, 220 and 440.
    for (int err = 1; err < 200; ++err) {
        const int code = socket_error_code(err);
        EXPECT_GE(code, 10000) << "errno " << err;
    }
}

TEST(stream_outcome, waits)
{
    using s = stream_status;
    const struct {
        short stop, abort, pause;
        bool begun;
        std::optional<s> expected;
    } rows[] = {
        {0, 0, 0, false, std::nullopt},
        {POLLIN, POLLIN, POLLIN, false, s::stopped},
        {0, POLLIN, POLLIN, false, s::aborted},
        {0, POLLIN, 0, true, s::aborted},
        {0, 0, POLLIN, false, s::paused},
        // A begun frame is finished before a pause.
        {0, 0, POLLIN, true, std::nullopt},
    };
    for (const auto& row : rows) {
        const auto r = outcome_of_wait(row.stop, row.abort, row.pause, row.begun);
        ASSERT_EQ(r.has_value(), row.expected.has_value());
        if (r) {
            EXPECT_EQ(r->status, *row.expected);
        }
    }
}

TEST(stream_outcome, receives_and_sends)
{
    using s = stream_status;
    EXPECT_FALSE(outcome_of_recv(5, 0));
    EXPECT_FALSE(outcome_of_recv(-1, EAGAIN));
    EXPECT_FALSE(outcome_of_recv(-1, EINTR));
    EXPECT_EQ(outcome_of_recv(0, 0)->status, s::closed);
    EXPECT_EQ(outcome_of_recv(-1, ECONNRESET)->status, s::closed);
    EXPECT_EQ(outcome_of_recv(-1, EIO)->status, s::failed);
    EXPECT_EQ(outcome_of_recv(-1, EIO)->error, EIO);
    EXPECT_FALSE(outcome_of_send(0, 0));
    EXPECT_FALSE(outcome_of_send(-1, EAGAIN));
    EXPECT_EQ(outcome_of_send(-1, EPIPE)->status, s::closed);
    EXPECT_EQ(outcome_of_send(-1, ENOBUFS)->status, s::failed);
}

TEST(stream_outcome, link_codes)
{
    using s = stream_status;
    EXPECT_EQ(link_code({s::done, 0}), 0);
    EXPECT_EQ(link_code({s::aborted, 0}), 440);
    EXPECT_EQ(link_code({s::timed_out, 0}), 220);
    EXPECT_EQ(link_code({s::closed, 0}), 10054);
    EXPECT_EQ(link_code({s::failed, ENETRESET}), 10052);
    EXPECT_EQ(link_code({s::failed, EPROTO}), 20000 + EPROTO);
    EXPECT_EQ(link_code({s::stopped, 0}), -100);
}

} // namespace
} // namespace zarvo::platform
