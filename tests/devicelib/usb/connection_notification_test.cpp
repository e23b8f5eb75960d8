// Device notifications: handled by direct call, and through the real core to
// a listener.

#include "tests/devicelib/usb/connection_fixture.h"

#include "devicelib/core/posting.h"
#include "devicelib/core/session.h"
#include "devicelib/proto/zftp_notification.pb.h"
#include "devicelib/core/device_id.h"
#include "tests/support/fake_listener.h"

#include <gtest/gtest.h>

#include <sstream>

namespace zarvo::test {
namespace {

bool deliver(usb::hid_connection& link, unsigned id, const std::string& parameters)
{
    std::stringstream in(parameters);
    return link.notification(id, in);
}

TEST_F(hid_connection_test, notifications_by_direct_call)
{
    protocol::PbZFtpFilesystemModifiedParams modified;
    modified.set_action(protocol::CREATED);
    modified.set_path("/A.BPB");
    EXPECT_TRUE(deliver(*link, 0, serialized(modified)));
    EXPECT_TRUE(traced("FIXME: implement."));
    log.clear();
    EXPECT_TRUE(deliver(*link, 0, "\xff"));
    EXPECT_FALSE(traced("FIXME: implement."));

    EXPECT_TRUE(deliver(*link, 1, ""));
    EXPECT_TRUE(log.messages().empty());

    for (const unsigned id : {4u, 5u, 6u, 8u, 9u, 200u}) {
        SCOPED_TRACE(id);
        log.clear();
        EXPECT_FALSE(deliver(*link, id, ""));
        const auto lines = log.messages();
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], "zarvo::usb::hid_connection::notification: Unidentified HID "
                            "notification id " +
                                std::to_string(id) + ".");
        EXPECT_EQ(lines[1],
                  "zarvo::usb::hid_connection::notification: Failed to handle HID notification.");
    }
}

// The connection published under its serial's id, with a listener attached
// to the core.
class hid_connection_core_test : public hid_connection_test {
protected:
    void SetUp() override
    {
        hid_connection_test::SetUp();
        id = core::device_id_from_serial(device.serial());
        listener.start();
        published = link.release();
        core::post_publish_connection(id, published, 0);
        ASSERT_TRUE(listener.wait_for(callback::established, id));
    }

    void TearDown() override
    {
        finish();
        hid_connection_test::TearDown();
    }

    // Withdraws the connection and stops the listener, which joins every
    // callback thread.
    void finish()
    {
        if (published)
            core::post_withdraw_connection(id, published);
        published = nullptr;
        listener.stop();
    }

    std::uint64_t id = 0;
    usb::hid_connection* published = nullptr;
    fake_listener listener;
};

TEST_F(hid_connection_core_test, device_notifications_reach_the_listener)
{
    EXPECT_EQ(id, 0x1F2E3D4Cu);
    device_model.idle();
    EXPECT_TRUE(listener.wait_for(callback::idling, id));

    device_model.battery(55);
    ASSERT_TRUE(listener.wait_for(callback::battery_status, id));
    const auto levels = listener.records(callback::battery_status, id);
    EXPECT_EQ(levels.at(0).level, 55);
    ASSERT_TRUE(levels.at(0).session);
    EXPECT_EQ(levels.at(0).session->device_id(), id);

    device_model.sync_required();
    EXPECT_TRUE(listener.wait_for(callback::sync_required, id));

    // Ids the link does not know, and a test event, post nothing.
    device_model.emit(1, "");
    device_model.emit(5, "");
    device_model.emit(protocol::BATTERY_STATUS, "\xff");
    device_model.battery(20);
    ASSERT_TRUE(listener.wait_for(callback::battery_status, id, 2));
    finish();
    const auto after = listener.records(callback::battery_status, id);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[1].level, 20);
    EXPECT_EQ(listener.count(callback::idling, id), 1);
    EXPECT_EQ(listener.count(callback::sync_required, id), 1);
}

// A notification that arrives while an exchange runs is dispatched on the
// exchanging thread and the exchange goes on.
TEST_F(hid_connection_core_test, notification_during_an_exchange)
{
    device.front_end().inject_at(emulator::usb_front_end::point::before_response_report, 0,
                                 emulator::notification_reports(protocol::IDLING, ""));
    std::ostringstream out;
    published->read("/DEVICE.BPB", out);
    EXPECT_EQ(out.str(), *device_model.file("/DEVICE.BPB"));
    EXPECT_TRUE(listener.wait_for(callback::idling, id));
}

} // namespace
} // namespace zarvo::test
