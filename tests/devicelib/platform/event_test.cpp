// The event's flag, read without a system call, and its descriptor, polled
// beside a device, always agree.

#include "devicelib/platform/event.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <thread>

namespace zarvo::test {
namespace {

bool readable(const platform::event& e)
{
    pollfd p{e.fd(), POLLIN, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

TEST(event, flag_and_descriptor_agree)
{
    platform::event e;
    EXPECT_FALSE(e.is_set());
    EXPECT_FALSE(readable(e));
    e.set();
    e.set();
    EXPECT_TRUE(e.is_set());
    EXPECT_TRUE(readable(e));
    e.reset();
    EXPECT_FALSE(e.is_set());
    EXPECT_FALSE(readable(e));
}

TEST(event, racing_set_and_reset_leave_them_in_agreement)
{
    platform::event e;
    for (int round = 0; round < 200; ++round) {
        std::thread setter([&] {
            for (int i = 0; i < 50; ++i)
                e.set();
        });
        std::thread resetter([&] {
            for (int i = 0; i < 50; ++i)
                e.reset();
        });
        setter.join();
        resetter.join();
        ASSERT_EQ(e.is_set(), readable(e)) << round;
    }
}

} // namespace
} // namespace zarvo::test
