// The block lock on sleep and shutdown that long device operations hold,
// against a bus daemon and a fake logind of the test's own.
#include "devicelib/platform/sleep_block.h"
#include "tests/support/fake_logind.h"
#include "tests/support/private_bus.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

namespace zarvo::test {
namespace {

using zarvo::platform::block_sleep;
using zarvo::platform::sleep_block;

TEST(sleep_block, holds_one_block_lock_on_sleep_and_shutdown_until_destroyed)
{
    private_bus bus;
    fake_logind logind{bus.address()};
    {
        sleep_block block = block_sleep("Updating a device");
        EXPECT_TRUE(block.held());
        ASSERT_EQ(logind.inhibit_calls(), 1);
        const inhibit_call call = logind.calls()[0];
        EXPECT_EQ(call.what, "sleep:shutdown");
        EXPECT_EQ(call.mode, "block");
        EXPECT_EQ(call.who, program_invocation_short_name);
        EXPECT_EQ(call.why, "Updating a device");
        EXPECT_EQ(logind.locks_held(), 1);

        // Moved, the lock stays held once.
        sleep_block moved = std::move(block);
        EXPECT_FALSE(block.held());
        EXPECT_TRUE(moved.held());
        EXPECT_EQ(logind.locks_held(), 1);
    }
    ASSERT_TRUE(logind.wait_releases(1));
    EXPECT_EQ(logind.locks_held(), 0);
}

TEST(sleep_block, release_lets_go_at_once)
{
    private_bus bus;
    fake_logind logind{bus.address()};
    sleep_block block = block_sleep("Restoring a backup");
    ASSERT_TRUE(block.held());
    block.release();
    EXPECT_FALSE(block.held());
    ASSERT_TRUE(logind.wait_releases(1));
    EXPECT_EQ(logind.locks_held(), 0);
}

// Where logind cannot be reached the operation goes on without a lock.
enum class reach { no_bus, no_logind, refused };

class sleep_block_unreachable : public testing::TestWithParam<reach> {};

TEST_P(sleep_block_unreachable, gives_an_empty_guard)
{
    std::unique_ptr<private_bus> bus;
    std::unique_ptr<fake_logind> logind;
    if (GetParam() != reach::no_bus)
        bus = std::make_unique<private_bus>();
    else
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/zarvo-system-bus", 1);
    if (GetParam() == reach::refused) {
        logind = std::make_unique<fake_logind>(bus->address());
        logind->set_refuse(true);
    }
    sleep_block block = block_sleep("Updating a device");
    EXPECT_FALSE(block.held());
    if (logind) {
        EXPECT_EQ(logind->locks_held(), 0);
    }
}

std::string name_of(const testing::TestParamInfo<reach>& info)
{
    const char* const names[] = {"no_bus", "no_logind", "refused"};
    return names[int(info.param)];
}

INSTANTIATE_TEST_SUITE_P(cases, sleep_block_unreachable,
                         testing::Values(reach::no_bus, reach::no_logind, reach::refused), name_of);

} // namespace
} // namespace zarvo::test
