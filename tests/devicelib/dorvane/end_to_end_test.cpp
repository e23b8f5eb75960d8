// The real core, the registered network driver and a listener, through the
// shared library as a client loads it: the driver loads the fake DNS-SD
// library by the installed library's name and finds an emulated device on ::1.
#include "devicelib/core/session.h"
#include "tests/devicelib/dorvane/net_device.h"
#include "tests/support/fake_dnssd/fake_dnssd.h"
#include "tests/support/fake_listener.h"

#include <gtest/gtest.h>

#include <netinet/in.h>

#include <cstdlib>
#include <sstream>

namespace zarvo::test {
namespace {

TEST(NetworkEndToEnd, AnnouncedDeviceIsEstablishedServesASessionIdlesAndCloses)
{
    // Only while no listener is started; the driver looks the name up at
    // each start.
    ::setenv("ZARVO_DNSSD_LIBRARY", "libdns_sd.so.1", 1);
    fake_dnssd::reset();
    net_device d;
    // The host name is answered by the record query, with the interface as
    // scope id.
    fake_dnssd::set_aaaa("e2e.local.", in6addr_loopback);
    fake_dnssd::set_resolve("e2e", "e2e.local.", d.port(), 1);
    fake_dnssd::announce("e2e", service_type, "local", 1);

    fake_listener listener;
    listener.start();
    ASSERT_TRUE(listener.wait_for(callback::established, d.id()));
    auto* session = listener.session_of(d.id());
    ASSERT_NE(session, nullptr);
    std::ostringstream info;
    session->read("/DEVICE.BPB", info);
    EXPECT_TRUE(info.str() == d.model.file("/DEVICE.BPB"));
    d.front.notify(2, "");
    EXPECT_TRUE(listener.wait_for(callback::idling, d.id()));
    d.front.close_connections();
    EXPECT_TRUE(listener.wait_for(callback::disconnected, d.id()));
    listener.stop();
    EXPECT_TRUE(d.front.violations().empty());
    ::unsetenv("ZARVO_DNSSD_LIBRARY");
}

} // namespace
} // namespace zarvo::test
