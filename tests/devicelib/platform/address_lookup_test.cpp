#include "devicelib/platform/address_lookup.h"

#include "devicelib/platform/dnssd_adapter.h"
#include "devicelib/platform/event.h"
#include "tests/support/fake_dnssd/fake_dnssd.h"
#include "tests/support/param_name.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <chrono>
#include <string>

namespace zarvo::platform {
namespace {

using namespace std::chrono_literals;

std::string text_of(const sockaddr_in6& address)
{
    char text[INET6_ADDRSTRLEN] = {};
    inet_ntop(AF_INET6, &address.sin6_addr, text, sizeof text);
    return text;
}

in6_addr address_of(const char* text)
{
    in6_addr address{};
    inet_pton(AF_INET6, text, &address);
    return address;
}

class address_lookup_test : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake_dnssd::reset();
        adapter = dnssd_adapter::load("libdns_sd.so.1");
        ASSERT_NE(adapter, nullptr);
    }

    std::unique_ptr<dnssd_adapter> adapter;
    event stop;
    sockaddr_in6 found{};
};

struct answer_case {
    const char* label;
    const char* answer;
    std::uint32_t scope;
};

class record_query_test : public address_lookup_test,
                          public ::testing::WithParamInterface<answer_case> {};

// Only a link-local answer is tied to the interface it came on: the same
// device seen on two interfaces has one address.
TEST_P(record_query_test, a_local_name_is_answered_by_the_record_query)
{
    fake_dnssd::set_aaaa("dev-host.local.", address_of(GetParam().answer));
    ASSERT_TRUE(lookup_ipv6(adapter.get(), &stop, 1h, "dev-host.local.", 7, found));
    EXPECT_EQ(found.sin6_family, AF_INET6);
    EXPECT_EQ(text_of(found), GetParam().answer);
    EXPECT_EQ(found.sin6_scope_id, GetParam().scope);
    EXPECT_EQ(found.sin6_port, 0);
    EXPECT_EQ(fake_dnssd::live_references(), 0);
    for (const fake_dnssd::call& c : fake_dnssd::calls())
        EXPECT_EQ(c.flags, 0u) << c.function;
}

INSTANTIATE_TEST_SUITE_P(answers, record_query_test,
                         ::testing::Values(answer_case{"link_local", "fe80::5a", 7},
                                           answer_case{"unique_local", "fd00:5a::1", 0},
                                           answer_case{"global", "2001:db8::1", 0},
                                           answer_case{"loopback", "::1", 0}),
                         [](const auto& info) { return info.param.label; });

TEST_F(address_lookup_test, other_names_go_to_the_resolver_without_a_query)
{
    ASSERT_TRUE(lookup_ipv6(adapter.get(), &stop, 1h, "::1", 7, found));
    EXPECT_EQ(text_of(found), "::1");
    EXPECT_EQ(found.sin6_scope_id, 0u);
    for (const fake_dnssd::call& c : fake_dnssd::calls())
        EXPECT_NE(c.function, "DNSServiceQueryRecord");
}

TEST_F(address_lookup_test, a_set_stop_ends_an_unanswered_query)
{
    stop.set();
    EXPECT_FALSE(lookup_ipv6(adapter.get(), &stop, 1h, "silent-host.local.", 7, found));
    EXPECT_EQ(fake_dnssd::live_references(), 0);
}

TEST_F(address_lookup_test, an_unanswered_local_name_falls_back_to_the_resolver)
{
    EXPECT_FALSE(lookup_ipv6(adapter.get(), &stop, 0ms, "silent-host.local.", 7, found));
    EXPECT_FALSE(lookup_ipv6(adapter.get(), &stop, 0ms, "no-such-host.invalid.", 7, found));
}

struct scope_case {
    const char* label;
    const char* target;
    std::uint32_t scope;
};

class resolver_scope_test : public ::testing::TestWithParam<scope_case> {};

TEST_P(resolver_scope_test, a_link_local_result_without_scope_takes_the_interface)
{
    sockaddr_in6 found{};
    ASSERT_TRUE(lookup_ipv6_by_resolver(GetParam().target, 9, found));
    EXPECT_EQ(found.sin6_scope_id, GetParam().scope);
}

INSTANTIATE_TEST_SUITE_P(results, resolver_scope_test,
                         ::testing::Values(scope_case{"link_local", "fe80::1", 9},
                                           scope_case{"link_local_with_scope", "fe80::1%1", 1},
                                           scope_case{"loopback", "::1", 0},
                                           scope_case{"global", "fd00:5a::1", 0}),
                         [](const auto& info) { return info.param.label; });

struct local_case {
    const char* name;
    bool local;
};

class local_name_test : public ::testing::TestWithParam<local_case> {};

TEST_P(local_name_test, only_names_under_local_are_multicast_names)
{
    EXPECT_EQ(is_local_name(GetParam().name), GetParam().local) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(names, local_name_test,
                         ::testing::Values(local_case{"dev.local", true},
                                           local_case{"dev.local.", true},
                                           local_case{"local", false}, local_case{".local", false},
                                           local_case{"dev.locals", false},
                                           local_case{"dev.example.", false},
                                           local_case{"", false}),
                         [](const auto& info) { return zarvo::test::param_name(info.param.name); });

} // namespace
} // namespace zarvo::platform
