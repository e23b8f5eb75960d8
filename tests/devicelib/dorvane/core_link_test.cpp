// A network client published to the real core, serving the device model:
// a session reads through it, the device's idle reaches the listener, and a
// closing device leads through the observer to the withdrawal.

#include "devicelib/core/posting.h"
#include "devicelib/core/session.h"
#include "devicelib/dorvane/zftp_client.h"
#include "tests/support/usb_test_device.h"
#include "tests/support/engine_messages.h"
#include "tests/support/fake_listener.h"
#include "tools/emulator/device_model.h"
#include "tools/emulator/tcp_front_end.h"
#include "tools/emulator/usb_device.h"

#include <gtest/gtest.h>

#include <sstream>

namespace zarvo::test {
namespace {

const auto* const idle_at_end = ::testing::AddGlobalTestEnvironment(new engine_idle_at_end);

// What the driver does when a link breaks: post the withdrawal.
class withdrawing_observer
    : public dorvane::zftp_client_observer::zftp_client_disconnection_observer {
public:
    void disconnected(dorvane::zftp_client* client) override
    {
        core::post_withdraw_connection(client->device_id(), client);
    }
};

TEST(ZftpClientWithCore, SessionIdleAndWithdrawal)
{
    usb_test_device id;
    emulator::device_model model;
    emulator::model_handler handler(model);
    emulator::tcp_front_end front(id.serial(), handler);
    withdrawing_observer observer;
    auto* client = new dorvane::zftp_client(front.connect_host(), 0, 1, &observer);
    std::string greeting;
    ASSERT_EQ(client->read_greeting(greeting), 0);
    EXPECT_NE(greeting.find(id.serial()), std::string::npos);
    client->set_device_id(id.id());
    client->set_server_version(2);
    fake_listener listener;
    listener.start();
    core::post_publish_connection(id.id(), client, 0);
    ASSERT_TRUE(listener.wait_for(callback::established, id.id()));
    auto* session = listener.session_of(id.id());
    ASSERT_NE(session, nullptr);
    std::ostringstream info;
    session->read("/DEVICE.BPB", info);
    EXPECT_TRUE(info.str() == model.file("/DEVICE.BPB"));
    front.notify(2, "");
    EXPECT_TRUE(listener.wait_for(callback::idling, id.id()));
    front.close_connections();
    EXPECT_TRUE(listener.wait_for(callback::disconnected, id.id()));
    listener.stop();
    EXPECT_TRUE(front.violations().empty());
}

} // namespace
} // namespace zarvo::test
