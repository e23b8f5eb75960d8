// The connection interface's defaults, through the test double that later
// tests script.
#include "devicelib/core/connection.h"
#include "devicelib/errors/errors.h"
#include "tests/support/fake_connection.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using zarvo::test::connection_action;
using zarvo::test::connection_op;
using zarvo::test::fake_connection;

TEST(Connection, PlacementIsNotKnown)
{
    fake_connection c;
    zarvo::core::connection& base = c;
    try {
        base.placement();
        FAIL() << "placement returned";
    } catch (const zarvo::not_implemented& e) {
        EXPECT_STREQ(e.what(), "Device's placement is not known.");
    }
    static_assert(sizeof(zarvo::core::connection::placement_type) == 8);
}

TEST(FakeConnection, RecordsCallsAndAnswersFromItsScripts)
{
    auto probe = std::make_shared<zarvo::test::connection_probe>();
    {
        fake_connection c(probe);
        c.script(connection_op::read, connection_action::returns_bytes("content"));
        c.script(connection_op::query, connection_action::returns_code(7));
        c.script(connection_op::remove, connection_action::throws(zarvo::not_implemented()));

        std::ostringstream read;
        c.read("/A/B.BPB", read);
        EXPECT_EQ(read.str(), "content");
        std::istringstream written("\x01\x02");
        c.write("/W", written);
        std::istringstream params("pq");
        std::ostringstream result;
        EXPECT_EQ(c.query(3, params, result), 7);
        EXPECT_THROW(c.remove("/R"), zarvo::not_implemented);
        EXPECT_TRUE(c.remove("/R")); // the script is used up: success again

        c.cancel();
        c.cancel();
        EXPECT_TRUE(c.cancel_requested());
        c.reset_cancel();
        EXPECT_FALSE(c.cancel_requested());
        c.withdrawn();

        const auto calls = c.calls();
        ASSERT_EQ(calls.size(), 9u);
        EXPECT_EQ(calls[0].path, "/A/B.BPB");
        EXPECT_EQ(calls[0].bytes, "content");
        EXPECT_EQ(calls[1].bytes, "\x01\x02");
        EXPECT_EQ(calls[2].id, 3);
        EXPECT_EQ(calls[2].bytes, "pq");
        EXPECT_EQ(calls[5].op, connection_op::cancel);
        EXPECT_EQ(calls[7].op, connection_op::reset_cancel);
    }
    EXPECT_EQ(probe->withdrawn, 1);
    EXPECT_EQ(probe->destroyed, 1);
}

} // namespace
