// A network client published to the real core, serving the device model:
// a session reads through it, the device's idle reaches the listener, and a
// closing device leads through the observer to the withdrawal.

#include "devicelib/core/posting.h"
#include "devicelib/core/session.h"
#include "devicelib/dorvane/zftp_client.h"
#include "devicelib/errors/errors.h"
#include "tests/support/engine_messages.h"
#include "tests/support/fake_listener.h"
#include "tests/support/usb_test_device.h"
#include "tools/emulator/device_model.h"
#include "tools/emulator/tcp_front_end.h"
#include "tools/emulator/usb_device.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
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

class counting_observer : public dorvane::zftp_client_observer::zftp_client_disconnection_observer {
public:
    void disconnected(dorvane::zftp_client*) override { ++calls; }
    std::atomic<int> calls{0};
};

// A client published to the core over the front end, with the framing of
// the server's version.
struct published_link {
    explicit published_link(const std::string& version)
        : front(id.serial(), handler)
    {
        front.set_version(version);
        auto* made = new dorvane::zftp_client(front.connect_host(), 0, 1, &observer);
        // The link's own 10 s is no test's limit on a loaded machine.
        made->set_callback_timeout(60000);
        std::string greeting;
        EXPECT_EQ(made->read_greeting(greeting), 0);
        made->set_device_id(id.id());
        made->set_server_version(static_cast<std::uint8_t>(std::atoi(version.c_str())));
        client = made;
        listener.start();
        core::post_publish_connection(id.id(), client, 0);
        if (listener.wait_for(callback::established, id.id()))
            session = listener.session_of(id.id());
    }
    ~published_link()
    {
        core::post_withdraw_connection(id.id(), client);
        listener.stop();
        EXPECT_TRUE(front.violations().empty()) << front.violations().front();
    }

    usb_test_device id;
    emulator::device_model model;
    emulator::model_handler handler{model};
    emulator::tcp_front_end front;
    counting_observer observer;
    dorvane::zftp_client* client = nullptr;
    fake_listener listener;
    zarvo::session* session = nullptr;
};

// Where the device's notifications come in the middle of an exchange.
enum class inside { response, refusal_code, status };

struct inside_row {
    const char* name;
    const char* version;
    inside where;
};

void PrintTo(const inside_row& row, std::ostream* os)
{
    *os << row.name;
}

class ZftpClientNotificationInside : public ::testing::TestWithParam<inside_row> {};

// A battery level, an unknown id and the idle, in one write where the device
// owes an answer: each is a notification, only the idle makes an event, and
// the exchange gets its own answer.
TEST_P(ZftpClientNotificationInside, IsDispatchedAndTheAnswerStillRead)
{
    const inside_row& row = GetParam();
    published_link link(row.version);
    ASSERT_NE(link.session, nullptr);
    const std::string notifications = emulator::notification_frame(3, std::string(1, '\x37')) +
                                      emulator::notification_frame(7, "") +
                                      emulator::notification_frame(2, "");
    std::atomic<bool> sent{false};
    auto send_once = [&] {
        if (!sent.exchange(true))
            link.front.inject(notifications);
    };
    link.model.put_file("/ONE.BIN", "first file");
    link.model.put_file("/TWO.BIN", "second file");
    const std::string content(40000, 'w');
    std::istringstream in(content);
    switch (row.where) {
    case inside::response: {
        link.front.set_before_response(send_once);
        std::ostringstream out;
        link.session->read("/ONE.BIN", out);
        EXPECT_EQ(out.str(), "first file");
        break;
    }
    case inside::refusal_code:
        link.model.script_answer(emulator::match::file(emulator::command::put, "/FULL.BIN"), 205,
                                 1);
        link.front.set_before_response(send_once);
        EXPECT_THROW(link.session->write("/FULL.BIN", in), disk_full);
        EXPECT_FALSE(link.model.file("/FULL.BIN"));
        break;
    case inside::status: {
        // After the first host frame of a write that needs several.
        const unsigned long first = link.front.host_frame_count();
        link.front.set_frame_hook([&, first](char who, unsigned long index) {
            if (who == 'H' && index == first)
                send_once();
        });
        link.session->write("/W.BIN", in);
        EXPECT_TRUE(link.model.file("/W.BIN") == content);
        break;
    }
    }
    EXPECT_TRUE(sent);
    ASSERT_TRUE(link.listener.wait_for(callback::idling, link.id.id()));
    // The next exchange gets its own answer, and the link stayed up.
    std::ostringstream next;
    link.session->read("/TWO.BIN", next);
    EXPECT_EQ(next.str(), "second file");
    EXPECT_EQ(link.listener.count(callback::idling, link.id.id()), 1);
    EXPECT_EQ(link.listener.count(callback::battery_status, link.id.id()), 0);
    EXPECT_EQ(link.observer.calls, 0);
}

const inside_row inside_rows[] = {
    {"before_a_response_newer", "2.0.5", inside::response},
    {"before_a_response_older", "1.4", inside::response},
    {"before_a_refusal_code_newer", "2.0.5", inside::refusal_code},
    {"before_a_refusal_code_older", "1.4", inside::refusal_code},
    {"before_a_status_newer", "2.0.5", inside::status},
    {"before_a_status_older", "1.4", inside::status},
};

INSTANTIATE_TEST_SUITE_P(Rows, ZftpClientNotificationInside, ::testing::ValuesIn(inside_rows),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace zarvo::test
