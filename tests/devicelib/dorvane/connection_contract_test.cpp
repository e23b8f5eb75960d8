// The connection contract over a real zftp_client: the session's only
// connection talks over ::1 to the emulator's TCP front end, which answers
// from the contract's script.

#include "devicelib/core/posting.h"
#include "devicelib/core/session.h"
#include "devicelib/dorvane/zftp_client.h"
#include "tests/support/connection_contract.h"
#include "tests/support/contract_device.h"
#include "tests/support/engine_messages.h"
#include "tests/support/fake_listener.h"
#include "tests/support/recording_logger.h"
#include "tests/support/usb_test_device.h"
#include "tools/emulator/device_model.h"
#include "tools/emulator/tcp_front_end.h"
#include "tools/emulator/usb_device.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <sstream>

namespace zarvo::test {
namespace {

using namespace std::chrono_literals;
using emulator::device_answer;
using emulator::host_message;

const auto* const idle_at_end = ::testing::AddGlobalTestEnvironment(new engine_idle_at_end);

// The real client, telling the rig of cancels and counting notifications.
class observed_client : public dorvane::zftp_client {
public:
    observed_client(int socket, std::uint64_t unique, contract_device& peer)
        : zftp_client(socket, 0, unique, nullptr)
        , peer_(peer)
    {
    }

    void cancel() override
    {
        zftp_client::cancel();
        peer_.cancelled();
    }
    void reset_cancel() override
    {
        zftp_client::reset_cancel();
        peer_.cancel_reset();
    }
    int notify(int id, std::istream& parameters) override
    {
        const int result = zftp_client::notify(id, parameters);
        ++notified_;
        return result;
    }
    std::size_t notified() const { return notified_; }

private:
    contract_device& peer_;
    std::atomic<std::size_t> notified_{0};
};

std::size_t seen(const recording_logger& log)
{
    std::size_t n = 0;
    for (const auto& m : log.messages())
        n += m.find("Device to host notification received") != std::string::npos;
    return n;
}

class tcp_rig : public contract_rig {
public:
    tcp_rig()
        : front_(device_.serial(), peer_)
    {
        add_trace_logger(&log_);
        link_ = new observed_client(front_.connect_host(), 1, peer_);
        std::string greeting;
        EXPECT_EQ(link_->read_greeting(greeting), 0);
        link_->set_device_id(device_.id());
        link_->set_server_version(2);
        listener_.start();
        core::post_publish_connection(device_.id(), link_, 0);
        if (listener_.wait_for(callback::established, device_.id()))
            session_ = listener_.session_of(device_.id());
    }

    ~tcp_rig() override
    {
        core::post_withdraw_connection(device_.id(), link_);
        listener_.stop();
        remove_trace_logger(&log_);
        EXPECT_TRUE(front_.violations().empty()) << front_.violations().front();
    }

    bool ready() const { return session_ != nullptr; }
    zarvo::session& session() override { return *session_; }
    void answer(exchange_answer a) override { peer_.script.answer(std::move(a)); }
    void answer_always(exchange_answer a) override { peer_.script.set_default(std::move(a)); }
    std::vector<exchange_request> sent() const override
    {
        eventually([&] { return peer_.notifications() >= link_->notified(); });
        return peer_.script.requests();
    }
    // The client acts on the idle notification only.
    bool device_notification(int id, const std::string& parameters) override
    {
        const std::size_t before = seen(log_);
        front_.notify(static_cast<std::uint8_t>(id), parameters);
        eventually([&] { return seen(log_) > before; });
        return id == 2;
    }
    fake_listener& listener() override { return listener_; }

private:
    usb_test_device device_;
    contract_device peer_;
    emulator::tcp_front_end front_;
    recording_logger log_;
    observed_client* link_ = nullptr;
    fake_listener listener_;
    zarvo::session* session_ = nullptr;
};

class ZftpClientContract : public contract_test {};

TEST_P(ZftpClientContract, Holds)
{
    tcp_rig rig;
    ASSERT_TRUE(rig.ready());
    GetParam().c.run(rig);
}

INSTANTIATE_TEST_SUITE_P(Net, ZftpClientContract,
                         ::testing::ValuesIn(contract_params(contract_kind::net)),
                         contract_case_name);

} // namespace
} // namespace zarvo::test
