#include "devicelib/platform/dnssd_adapter.h"

#include "tests/support/fake_dnssd/fake_dnssd.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <poll.h>
#include <stdlib.h>

#include <string>
#include <vector>

namespace zarvo::platform {
namespace {

constexpr const char* service_type = "_zarvo-ftp._tcp";

struct browse_seen {
    DNSServiceRef ref;
    DNSServiceFlags flags;
    std::uint32_t interface_index;
    DNSServiceErrorType error;
    std::string name, type, domain;
};

struct resolve_seen {
    DNSServiceRef ref;
    std::uint32_t interface_index;
    DNSServiceErrorType error;
    std::string target;
    std::uint16_t port;
};

struct replies {
    std::vector<browse_seen> browses;
    std::vector<resolve_seen> resolves;
};

void on_browse(DNSServiceRef ref, DNSServiceFlags flags, std::uint32_t interface_index,
               DNSServiceErrorType error, const char* name, const char* type, const char* domain,
               void* context)
{
    static_cast<replies*>(context)->browses.push_back(
        {ref, flags, interface_index, error, name, type, domain});
}

void on_resolve(DNSServiceRef ref, DNSServiceFlags, std::uint32_t interface_index,
                DNSServiceErrorType error, const char*, const char* target, std::uint16_t port,
                std::uint16_t, const unsigned char*, void* context)
{
    static_cast<replies*>(context)->resolves.push_back({ref, interface_index, error, target, port});
}

bool readable(int fd)
{
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, 0) == 1;
}

class dnssd_adapter_test : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        fake_dnssd::reset();
        fake_dnssd::set_shared_connections(GetParam());
        adapter = dnssd_adapter::load("libdns_sd.so.1");
        ASSERT_NE(adapter, nullptr);
        baseline = fake_dnssd::live_references();
    }

    // References alive in the library beyond those of earlier tests.
    int live() const { return fake_dnssd::live_references() - baseline; }

    // A connection with a shared browse of the service type.
    void browse()
    {
        ASSERT_EQ(adapter->DNSServiceCreateConnection(&connection), kDNSServiceErr_NoError);
        browse_ref = connection;
        ASSERT_EQ(adapter->DNSServiceBrowse(&browse_ref, kDNSServiceFlagsShareConnection, 0,
                                            service_type, "local", &on_browse, &seen),
                  kDNSServiceErr_NoError);
    }

    std::unique_ptr<dnssd_adapter> adapter;
    DNSServiceRef connection = nullptr;
    DNSServiceRef browse_ref = nullptr;
    replies seen;
    int baseline = 0;
};

TEST_P(dnssd_adapter_test, shared_browse_and_resolve_reach_their_callbacks_through_the_connection)
{
    browse();
    EXPECT_EQ(adapter->emulated(), !GetParam());
    int fd = adapter->DNSServiceRefSockFD(connection);
    ASSERT_GE(fd, 0);
    EXPECT_FALSE(readable(fd));

    fake_dnssd::set_resolve("dev", "dev-host.local.", 4021, 3);
    fake_dnssd::announce("dev", service_type, "local", 3);
    EXPECT_TRUE(readable(fd));
    ASSERT_EQ(adapter->DNSServiceProcessResult(connection), kDNSServiceErr_NoError);
    ASSERT_EQ(seen.browses.size(), 1u);
    const browse_seen& found = seen.browses[0];
    EXPECT_EQ(found.ref, browse_ref);
    EXPECT_NE(found.flags & kDNSServiceFlagsAdd, 0u);
    EXPECT_EQ(found.interface_index, 3u);
    EXPECT_EQ(found.name, "dev");
    EXPECT_EQ(found.type, "_zarvo-ftp._tcp.");
    EXPECT_EQ(found.domain, "local.");
    EXPECT_FALSE(readable(fd));

    DNSServiceRef resolve_ref = connection;
    ASSERT_EQ(adapter->DNSServiceResolve(&resolve_ref, kDNSServiceFlagsShareConnection, 3, "dev",
                                         found.type.c_str(), found.domain.c_str(), &on_resolve,
                                         &seen),
              kDNSServiceErr_NoError);
    EXPECT_TRUE(readable(fd));
    ASSERT_EQ(adapter->DNSServiceProcessResult(connection), kDNSServiceErr_NoError);
    ASSERT_EQ(seen.resolves.size(), 1u);
    EXPECT_EQ(seen.resolves[0].ref, resolve_ref);
    EXPECT_EQ(seen.resolves[0].target, "dev-host.local.");
    EXPECT_EQ(ntohs(seen.resolves[0].port), 4021);
    EXPECT_EQ(seen.resolves[0].interface_index, 3u);

    // A lost service arrives with the add flag clear.
    fake_dnssd::withdraw("dev");
    ASSERT_EQ(adapter->DNSServiceProcessResult(connection), kDNSServiceErr_NoError);
    ASSERT_EQ(seen.browses.size(), 2u);
    EXPECT_EQ(seen.browses[1].flags & kDNSServiceFlagsAdd, 0u);

    // Ending one operation leaves the others; ending the connection ends all.
    EXPECT_EQ(live(), GetParam() ? 3 : 2);
    adapter->DNSServiceRefDeallocate(resolve_ref);
    EXPECT_EQ(live(), GetParam() ? 2 : 1);
    adapter->DNSServiceRefDeallocate(connection);
    EXPECT_EQ(live(), 0);
}

TEST_P(dnssd_adapter_test, the_library_sees_non_zero_flags_only_when_it_shares_connections)
{
    browse();
    fake_dnssd::set_resolve("dev", "h.local.", 1, 1);
    DNSServiceRef resolve_ref = connection;
    ASSERT_EQ(adapter->DNSServiceResolve(&resolve_ref, kDNSServiceFlagsShareConnection, 1, "dev",
                                         "_zarvo-ftp._tcp.", "local.", &on_resolve, &seen),
              kDNSServiceErr_NoError);
    // A second connection made after the library refused once is not asked for.
    DNSServiceRef second = nullptr;
    ASSERT_EQ(adapter->DNSServiceCreateConnection(&second), kDNSServiceErr_NoError);
    int creates = 0;
    for (const fake_dnssd::call& c : fake_dnssd::calls()) {
        creates += c.function == "DNSServiceCreateConnection";
        if (c.function == "DNSServiceBrowse" || c.function == "DNSServiceResolve") {
            EXPECT_EQ(c.flags, GetParam() ? unsigned(kDNSServiceFlagsShareConnection) : 0u)
                << c.function;
        }
    }
    EXPECT_EQ(creates, GetParam() ? 2 : 1);
    adapter->DNSServiceRefDeallocate(second);
    adapter->DNSServiceRefDeallocate(connection);
    EXPECT_EQ(live(), 0);
}

TEST_P(dnssd_adapter_test, a_failed_processing_is_reported)
{
    browse();
    fake_dnssd::announce("dev", service_type, "local", 1);
    fake_dnssd::fail_process_result_once();
    EXPECT_NE(adapter->DNSServiceProcessResult(connection), kDNSServiceErr_NoError);
    adapter->DNSServiceRefDeallocate(connection);
}

TEST_P(dnssd_adapter_test, a_browse_failure_is_returned)
{
    fake_dnssd::fail_browse(1);
    ASSERT_EQ(adapter->DNSServiceCreateConnection(&connection), kDNSServiceErr_NoError);
    browse_ref = connection;
    EXPECT_EQ(adapter->DNSServiceBrowse(&browse_ref, kDNSServiceFlagsShareConnection, 0,
                                        service_type, "local", &on_browse, &seen),
              kDNSServiceErr_Unknown);
    adapter->DNSServiceRefDeallocate(connection);
    EXPECT_EQ(live(), 0);
}

INSTANTIATE_TEST_SUITE_P(modes, dnssd_adapter_test, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "shared" : "emulated"; });

class emulated_connection_test : public dnssd_adapter_test {};

TEST_P(emulated_connection_test, processing_with_nothing_ready_returns_at_once)
{
    browse();
    EXPECT_EQ(adapter->DNSServiceProcessResult(connection), kDNSServiceErr_NoError);
    EXPECT_TRUE(seen.browses.empty());
    adapter->DNSServiceRefDeallocate(connection);
}

TEST_P(emulated_connection_test, a_lost_daemon_makes_processing_fail_so_the_connection_is_rebuilt)
{
    browse();
    fake_dnssd::lose_daemon();
    EXPECT_EQ(adapter->DNSServiceProcessResult(connection), kDNSServiceErr_ServiceNotRunning);
    ASSERT_EQ(seen.browses.size(), 1u);
    EXPECT_EQ(seen.browses[0].error, kDNSServiceErr_Unknown);
    EXPECT_EQ(adapter->DNSServiceProcessResult(connection), kDNSServiceErr_ServiceNotRunning);
    adapter->DNSServiceRefDeallocate(connection);

    seen.browses.clear();
    fake_dnssd::announce("dev", service_type, "local", 1);
    browse();
    EXPECT_EQ(adapter->DNSServiceProcessResult(connection), kDNSServiceErr_NoError);
    EXPECT_EQ(seen.browses.size(), 1u);
    adapter->DNSServiceRefDeallocate(connection);
    EXPECT_EQ(live(), 0);
}

TEST_P(emulated_connection_test, destroying_the_adapter_ends_the_connections_it_made)
{
    browse();
    adapter.reset();
    EXPECT_EQ(live(), 0);
}

INSTANTIATE_TEST_SUITE_P(modes, emulated_connection_test, ::testing::Values(false),
                         [](const auto&) { return "emulated"; });

struct load_case {
    const char* label;
    std::string name;
    bool loads;
};

class dnssd_load_test : public ::testing::TestWithParam<load_case> {};

TEST_P(dnssd_load_test, loads_only_a_library_with_the_six_functions)
{
    EXPECT_EQ(dnssd_adapter::load(GetParam().name) != nullptr, GetParam().loads);
}

INSTANTIATE_TEST_SUITE_P(
    libraries, dnssd_load_test,
    ::testing::Values(load_case{"present", "libdns_sd.so.1", true},
                      load_case{"missing", "libzarvo_no_such_dnssd.so.1", false},
                      load_case{"without_resolve", FAKE_DNSSD_WITHOUT_RESOLVE_PATH, false},
                      load_case{"switched_off", "", false}),
    [](const auto& info) { return info.param.label; });

struct quiet_case {
    const char* label;
    const char* user_value; // null: unset
    const char* value;
};

class dnssd_quiet_test : public ::testing::TestWithParam<quiet_case> {};

TEST_P(dnssd_quiet_test, loading_silences_the_compatibility_warning_unless_the_user_chose)
{
    if (GetParam().user_value == nullptr)
        unsetenv("AVAHI_COMPAT_NOWARN");
    else
        setenv("AVAHI_COMPAT_NOWARN", GetParam().user_value, 1);
    EXPECT_NE(dnssd_adapter::load("libdns_sd.so.1"), nullptr);
    const char* value = std::getenv("AVAHI_COMPAT_NOWARN");
    ASSERT_NE(value, nullptr);
    EXPECT_STREQ(value, GetParam().value);
    unsetenv("AVAHI_COMPAT_NOWARN");
}

INSTANTIATE_TEST_SUITE_P(settings, dnssd_quiet_test,
                         ::testing::Values(quiet_case{"unset", nullptr, "1"},
                                           quiet_case{"user_value", "0", "0"}),
                         [](const auto& info) { return info.param.label; });

struct name_case {
    const char* label;
    const char* environment; // null: unset
    const char* name;
};

class dnssd_library_name_test : public ::testing::TestWithParam<name_case> {};

TEST_P(dnssd_library_name_test, the_environment_names_the_library_or_switches_discovery_off)
{
    if (GetParam().environment == nullptr)
        unsetenv("ZARVO_DNSSD_LIBRARY");
    else
        setenv("ZARVO_DNSSD_LIBRARY", GetParam().environment, 1);
    EXPECT_EQ(default_dnssd_library_name(), GetParam().name);
    unsetenv("ZARVO_DNSSD_LIBRARY");
}

INSTANTIATE_TEST_SUITE_P(
    settings, dnssd_library_name_test,
    ::testing::Values(name_case{"unset", nullptr, "libdns_sd.so.1"},
                      name_case{"empty", "", "libdns_sd.so.1"}, name_case{"none", "none", ""},
                      name_case{"named", "/opt/x/libdns_sd.so.1", "/opt/x/libdns_sd.so.1"}),
    [](const auto& info) { return info.param.label; });

} // namespace
} // namespace zarvo::platform
