// The power driver with the real network driver over the fake DNS-SD library
// and an emulated device on ::1: a sleep leaves the device's session alone.
#include "devicelib/core/session.h"
#include "devicelib/dorvane/sd_driver.h"
#include "tests/devicelib/dorvane/net_device.h"
#include "tests/devicelib/pwr_mgt/power_fixture.h"
#include "tests/support/fake_dnssd/fake_dnssd.h"
#include "tests/support/test_power_source.h"

#include <netinet/in.h>

#include <sstream>

namespace zarvo::test {
namespace {

constexpr std::uint32_t device_interface = 5;

// The fake library under the installed library's name; the device's host
// name is ::1 on the device's interface.
zarvo::core::driver* create_network_driver()
{
    auto* d = new zarvo::dorvane::sd_driver;
    d->set_library_name(std::string("libdns_sd.so.1"));
    d->set_lookup([](const std::string&, std::uint32_t, sockaddr_in6& address) {
        address = sockaddr_in6{};
        address.sin6_family = AF_INET6;
        address.sin6_addr = in6addr_loopback;
        address.sin6_scope_id = device_interface;
        return true;
    });
    return d;
}

const zarvo::core::driver_registration network_registration{&create_network_driver};

class power_with_network : public power_fixture {
protected:
    void SetUp() override
    {
        power_fixture::SetUp();
        zarvo::platform::install_power_source(source);
        fake_dnssd::reset();
    }

    net_device device;
    std::shared_ptr<test_power_source> source = std::make_shared<test_power_source>();
};

TEST_F(power_with_network, TheDeviceKeepsItsSessionAcrossASleep)
{
    fake_dnssd::set_resolve("dev", "dev.local.", device.port(), device_interface);
    fake_dnssd::announce("dev", service_type, "local", device_interface);
    start();
    const std::uint64_t id = device.id();
    ASSERT_TRUE(listener().wait_for(callback::established, id));

    auto suspended = source->deliver(zarvo::platform::power_suspend);
    ASSERT_EQ(outcome(suspended), notice_outcome::handled);
    auto resumed = source->deliver(zarvo::platform::power_resume_automatic);
    ASSERT_EQ(outcome(resumed), notice_outcome::handled);
    ASSERT_EQ(probe().resumes.size(), 1u);

    // The same session still serves; the device was neither withdrawn nor
    // published again.
    auto* session = listener().session_of(id);
    ASSERT_NE(session, nullptr);
    std::ostringstream info;
    session->read("/DEVICE.BPB", info);
    EXPECT_TRUE(info.str() == device.model.file("/DEVICE.BPB"));
    EXPECT_EQ(listener().count(callback::disconnected, id), 0);
    EXPECT_EQ(listener().count(callback::established, id), 1);
}

} // namespace
} // namespace zarvo::test
