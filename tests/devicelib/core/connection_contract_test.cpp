// The connection contract over the fake USB-like and network-like kinds,
// each answering from a scripted back-end.
#include "devicelib/core/driver_registry.h"
#include "tests/devicelib/core/fake_drivers_registered.h"
#include "tests/devicelib/core/test_device.h"
#include "tests/support/connection_contract.h"
#include "tests/support/engine_messages.h"
#include "tests/support/fake_device_drivers.h"
#include "tests/support/fake_listener.h"

#include <gtest/gtest.h>

namespace {

using zarvo::test::fake_bus;

enum class kind { usb, net };

// A session whose only connection is a fake of one kind, published by its
// fake driver and established for a listener.
class fake_kind_rig : public zarvo::test::contract_rig {
public:
    fake_kind_rig(kind k, std::uint64_t id)
        : bus_(k == kind::usb ? zarvo::test::usb_like_driver::bus()
                              : zarvo::test::net_like_driver::bus())
        , id_(id)
    {
        zarvo::test::usb_like_driver::set_plug_in_delay(0);
        device_.backend = backend_;
        listener_.start();
        bus_.plug(id, device_);
        if (listener_.wait_for(zarvo::test::callback::established, id))
            session_ = listener_.session_of(id);
    }
    ~fake_kind_rig() override { listener_.stop(); }

    bool ready() const { return session_ != nullptr; }
    zarvo::session& session() override { return *session_; }
    void answer(zarvo::test::exchange_answer a) override { backend_->answer(std::move(a)); }
    void answer_always(zarvo::test::exchange_answer a) override
    {
        backend_->set_default(std::move(a));
    }
    std::vector<zarvo::test::exchange_request> sent() const override
    {
        return backend_->requests();
    }
    bool device_notification(int id, const std::string& parameters) override
    {
        return bus_.notify(id_, id, parameters);
    }
    zarvo::test::fake_listener& listener() override { return listener_; }

private:
    fake_bus& bus_;
    std::uint64_t id_;
    std::shared_ptr<zarvo::test::scripted_backend> backend_ =
        std::make_shared<zarvo::test::scripted_backend>();
    zarvo::test::fake_device device_;
    zarvo::test::fake_listener listener_;
    zarvo::session* session_ = nullptr;
};

using zarvo::test::contract_kind;
using zarvo::test::contract_param;

class ConnectionContract : public zarvo::test::contract_test {};

TEST_P(ConnectionContract, Holds)
{
    zarvo::test::test_device device;
    fake_kind_rig rig(GetParam().kind == contract_kind::usb ? kind::usb : kind::net, device.id());
    ASSERT_TRUE(rig.ready());
    GetParam().c.run(rig);
}

INSTANTIATE_TEST_SUITE_P(UsbLike, ConnectionContract,
                         ::testing::ValuesIn(zarvo::test::contract_params(contract_kind::usb)),
                         zarvo::test::contract_case_name);
INSTANTIATE_TEST_SUITE_P(NetLike, ConnectionContract,
                         ::testing::ValuesIn(zarvo::test::contract_params(contract_kind::net)),
                         zarvo::test::contract_case_name);

} // namespace
