// The device model behind a published connection, through the engine, a fake
// driver and a listener.
#include "devicelib/core/session.h"
#include "tests/devicelib/core/fake_drivers_registered.h"
#include "tests/devicelib/core/listener_fixture.h"
#include "tests/support/latch.h"
#include "tests/support/model_links.h"
#include "tools/emulator/device_model.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>

namespace zarvo::test {
namespace {

class model_through_the_engine : public listener_fixture {
protected:
    std::shared_ptr<emulator::device_model> make_model(emulator::device_profile p)
    {
        p.id = device();
        return std::make_shared<emulator::device_model>(p);
    }

    // Reads the device information inside established.
    void read_info_when_established()
    {
        listener().on(callback::established, [this](zarvo::session& s) {
            const device_info read = s.info();
            std::lock_guard<std::mutex> lock(mutex_);
            info_ = read;
        });
    }

    device_info info() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return info_;
    }

    bool wait_returned(callback kind)
    {
        return eventually([&] { return listener().returned(kind, device()) >= 1; });
    }

private:
    mutable std::mutex mutex_;
    device_info info_;
};

TEST_F(model_through_the_engine, usb_like_device_events_and_withdrawal)
{
    const auto model = make_model(emulator::device_profile::usb_device());
    read_info_when_established();
    start();
    model_on_bus plugged(usb(), model);
    ASSERT_TRUE(listener().wait_for(callback::established, device()));
    ASSERT_TRUE(wait_returned(callback::established));
    EXPECT_EQ(info().model(), model->profile().model_name);
    EXPECT_EQ(info().product_color(), model->profile().product_color);

    model->idle();
    model->battery(55);
    model->sync_required();
    ASSERT_TRUE(listener().wait_for(callback::idling, device()));
    ASSERT_TRUE(listener().wait_for(callback::battery_status, device()));
    ASSERT_TRUE(listener().wait_for(callback::sync_required, device()));
    EXPECT_EQ(listener().records(callback::battery_status, device()).at(0).level, 55);

    log.clear();
    model->filesystem_modified(1, "/U/0/S/");
    EXPECT_EQ(log.messages(),
              std::vector<std::string>{"zarvo::test::usb_like_connection::device_notification: "
                                       "FIXME: implement."});

    plugged.unplug();
    EXPECT_TRUE(listener().wait_for(callback::disconnected, device()));
}

TEST_F(model_through_the_engine, net_like_device_reports_only_idling)
{
    const auto model = make_model(emulator::device_profile::network_device());
    read_info_when_established();
    start();
    model_on_bus plugged(net(), model);
    ASSERT_TRUE(listener().wait_for(callback::established, device()));
    ASSERT_TRUE(wait_returned(callback::established));
    EXPECT_EQ(info().model(), model->profile().model_name);

    model->battery(55);
    model->sync_required();
    model->filesystem_modified(0, "/A");
    model->idle();
    ASSERT_TRUE(listener().wait_for(callback::idling, device()));
    EXPECT_EQ(listener().count(callback::battery_status, device()), 0);
    EXPECT_EQ(listener().count(callback::sync_required, device()), 0);

    plugged.unplug();
    EXPECT_TRUE(listener().wait_for(callback::disconnected, device()));
}

} // namespace
} // namespace zarvo::test
