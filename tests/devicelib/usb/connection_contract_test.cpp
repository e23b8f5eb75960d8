// The connection contract over a real hid_connection: the session's only
// connection talks through the report framing to an emulated device that
// answers from the contract's script.

#include "devicelib/core/posting.h"
#include "devicelib/core/session.h"
#include "devicelib/errors/errors.h"
#include "devicelib/core/device_id.h"
#include "devicelib/usb/hid_connection.h"
#include "tests/devicelib/usb/connection_fixture.h"
#include "tests/support/connection_contract.h"
#include "tests/support/contract_device.h"
#include "tests/support/engine_messages.h"
#include "tests/support/fake_listener.h"
#include "tools/emulator/usb_device.h"
#include "tools/emulator/usb_front_end.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <sstream>
#include <unistd.h>

namespace zarvo::test {
namespace {

using namespace std::chrono_literals;
using emulator::device_answer;
using emulator::host_message;

const auto* const idle_at_end = ::testing::AddGlobalTestEnvironment(new engine_idle_at_end);

// A device id of 32 bits (USB ids come from hex serials) that no other test
// process uses at the same time, since session locks are machine-wide.
std::uint32_t unique_usb_id()
{
    static std::atomic<std::uint32_t> counter{0};
    return 0xC0000000u | (static_cast<std::uint32_t>(::getpid()) << 8) | (counter++ & 0xFF);
}

std::string lock_object(std::uint64_t id)
{
    return "/dev/shm/libzarvo2-session-" + std::to_string(id);
}

// On USB a code travels with a payload in a response that the device
// cancels, and a held exchange that the host cancelled still gets a
// response announcing more, which the host refuses.
class usb_contract_device : public contract_device {
protected:
    device_answer code_with_payload(int code, const std::string& payload) override
    {
        device_answer out;
        out.type = device_answer::kind::raw;
        out.reports = emulator::cancelled_response(payload, static_cast<std::uint16_t>(code));
        return out;
    }
    device_answer cancelled_while_held() override
    {
        return device_answer::ok(std::string(100, 'x'));
    }
};

// The real connection, telling the rig of cancels and of what its
// notification handler answered.
class observed_connection : public usb::hid_connection {
public:
    observed_connection(const usb::hid_device& device, contract_device& peer)
        : hid_connection(nullptr, device)
        , peer_(peer)
    {
    }

    void cancel() override
    {
        hid_connection::cancel();
        peer_.cancelled();
    }

    // A host notification gets no answer on USB, so the host's send ends
    // before the device has read it; the rig counts the ones sent whole.
    int notify(int id, std::istream& parameters) override
    {
        const int result = hid_connection::notify(id, parameters);
        ++notified_;
        return result;
    }
    std::size_t notified() const { return notified_; }

    void reset_cancel() override
    {
        hid_connection::reset_cancel();
        peer_.cancel_reset();
    }

    bool notification(unsigned id, std::istream& parameters) override
    {
        const bool handled = hid_connection::notification(id, parameters);
        std::lock_guard<std::mutex> lock(mutex_);
        results_.push_back(handled);
        changed_.notify_all();
        return handled;
    }

    // What the handler answered to the index-th notification.
    bool result(std::size_t index)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        const bool arrived = changed_.wait_for(lock, 20s, [&] { return results_.size() > index; });
        EXPECT_TRUE(arrived) << "notification " << index << " did not arrive";
        return arrived && results_[index];
    }

private:
    contract_device& peer_;
    std::atomic<std::size_t> notified_{0};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<bool> results_;
};

class hid_rig : public contract_rig {
public:
    hid_rig()
    {
        auto profile = emulator::device_profile::usb_device();
        profile.id = unique_usb_id();
        front_end_ =
            std::make_unique<emulator::usb_front_end>(0xa2c5, 0x0001, profile.serial(), device_);
        id_ = core::device_id_from_serial(profile.serial());
        std::remove(lock_object(id_).c_str());
        host_ = open_pair(*front_end_, profile.serial());
        link_ = new observed_connection(*host_, device_);
        // The notification thread started inside the base's construction;
        // one exchange (it pauses that thread) orders the rest of the
        // construction before the thread's first call into the object.
        std::istringstream none;
        std::ostringstream ignored;
        link_->query(0, none, ignored);
        device_.script.clear();
        listener_.start();
        core::post_publish_connection(id_, link_, 0);
        if (listener_.wait_for(callback::established, id_))
            session_ = listener_.session_of(id_);
    }

    ~hid_rig() override
    {
        core::post_withdraw_connection(id_, link_);
        listener_.stop();
        host_.reset();
        std::remove(lock_object(id_).c_str());
    }

    bool ready() const { return session_ != nullptr; }
    zarvo::session& session() override { return *session_; }
    void answer(exchange_answer a) override { device_.script.answer(std::move(a)); }
    void answer_always(exchange_answer a) override { device_.script.set_default(std::move(a)); }
    std::vector<exchange_request> sent() const override
    {
        eventually([&] { return device_.notifications() >= link_->notified(); });
        return device_.script.requests();
    }
    bool device_notification(int id, const std::string& parameters) override
    {
        front_end_->notify(static_cast<std::uint8_t>(id), parameters);
        return link_->result(notifications_++);
    }
    fake_listener& listener() override { return listener_; }
    bool refuse_long_notifications(int code) override
    {
        front_end_->refuse_notifications(static_cast<std::uint16_t>(code));
        return true;
    }

private:
    usb_contract_device device_;
    std::unique_ptr<emulator::usb_front_end> front_end_;
    std::unique_ptr<usb::hid_device> host_;
    observed_connection* link_ = nullptr;
    std::uint64_t id_ = 0;
    fake_listener listener_;
    zarvo::session* session_ = nullptr;
    std::size_t notifications_ = 0;
};

class HidConnectionContract : public contract_test {};

TEST_P(HidConnectionContract, Holds)
{
    hid_rig rig;
    ASSERT_TRUE(rig.ready());
    GetParam().c.run(rig);
}

// The device refuses a notification of several reports with a stop carrying
// its code; the session maps it as for any command.
TEST(HidStopSync, RefusalOfALongDescriptionIsDeviceBusy)
{
    hid_rig rig;
    ASSERT_TRUE(rig.ready());
    const std::string description(200, 'd');
    rig.refuse_long_notifications(202);
    EXPECT_THROW(rig.session().stop_sync(description.c_str()), zarvo::device_busy);
    // A notification of one report cannot be refused.
    EXPECT_NO_THROW(rig.session().stop_sync());
    EXPECT_NO_THROW(rig.session().start_sync());
    rig.refuse_long_notifications(0);
    EXPECT_NO_THROW(rig.session().stop_sync(description.c_str()));
}

INSTANTIATE_TEST_SUITE_P(Usb, HidConnectionContract,
                         ::testing::ValuesIn(contract_params(contract_kind::usb)),
                         contract_case_name);

} // namespace
} // namespace zarvo::test
