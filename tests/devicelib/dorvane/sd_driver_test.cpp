// The network driver over the fake DNS-SD library with emulated devices on
// ::1: identification, identity by scope id, withdrawal, the library's modes,
// recovery of the DNS-SD connection, address lookup and stopping.

#include "devicelib/dorvane/sd_driver.h"
#include "devicelib/errors/errors.h"
#include "devicelib/proto/device.pb.h"
#include "tests/devicelib/dorvane/sd_rig.h"
#include "tests/support/latch.h"
#include "tests/support/recording_logger.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <sstream>
#include <thread>

namespace zarvo::test {
namespace {

using namespace std::chrono_literals;

class sd_driver_test : public trace_fixture {
protected:
    void TearDown() override
    {
        rig.finish();
        trace_fixture::TearDown();
    }

    net_device& device(const std::string& version = "2.0.5")
    {
        devices_.push_back(std::make_unique<net_device>(version));
        return *devices_.back();
    }
    bool has_trace(const std::string& text) const
    {
        for (const auto& m : log.messages()) {
            if (m.find(text) != std::string::npos)
                return true;
        }
        return false;
    }
    bool traced(const std::string& text, int times = 1) const
    {
        return eventually([&] {
            int seen = 0;
            for (const auto& m : log.messages())
                seen += m.find(text) != std::string::npos ? 1 : 0;
            return seen >= times;
        });
    }
    bool refused() const { return traced("Failed to read device bpb or greeting closing socket"); }
    // d, just withdrawn, is not connected again: once another device is
    // published, no attempt for d has come before it.
    void expect_left_withdrawn(const net_device& d)
    {
        ASSERT_TRUE(rig.poster.wait_posts(2));
        net_device& other = device();
        rig.announce("other", other, 6);
        ASSERT_TRUE(rig.poster.wait_posts(3));
        EXPECT_EQ(rig.poster.posts(),
                  (std::vector<post_record>{published(d.id(), 0), withdrawn(d.id()),
                                            published(other.id(), 0)}));
        EXPECT_FALSE(has_trace("connecting to the device again"));
    }

    // Declared before the rig: the driver and its clients go first.
    std::vector<std::unique_ptr<net_device>> devices_;
    sd_rig rig;
};

std::string device_info_with_id(const net_device& d, const std::string& id)
{
    data::PbDeviceInfo info;
    EXPECT_TRUE(info.ParseFromString(*d.model.file("/DEVICE.BPB")));
    info.set_deviceid(id);
    return info.SerializeAsString();
}

// The device's server as it greets; published or refused, and the framing.
struct greeting_row {
    const char* name;
    std::function<void(net_device&)> setup;
    bool published;
    bool newer_framing;
};

void silent(net_device& d)
{
    d.front.set_greeting("", false);
}

const greeting_row greeting_rows[] = {
    {"version_2_0_5", [](net_device& d) { d.front.set_version("2.0.5"); }, true, true},
    {"version_2_0_5_beta", [](net_device& d) { d.front.set_version("2.0.5-beta"); }, true, true},
    {"version_1_4", [](net_device& d) { d.front.set_version("1.4"); }, true, false},
    {"cr_lf",
     [](net_device& d) {
         std::string line = emulator::greeting_line("2.0.5", d.model.profile().serial());
         line.insert(line.size() - 1, "\r");
         d.front.set_greeting(line, true);
     },
     true, true},
    // Narrowed to 8 bits, 256 would read as 0, the older framing.
    {"version_256_0", [](net_device& d) { d.front.set_version("256.0"); }, true, true},
    {"id_00000000",
     [](net_device& d) {
         d.front.set_greeting(emulator::greeting_line("2.0.5", "00000000"), true);
     },
     false, true},
    {"unmatched", [](net_device& d) { d.front.set_greeting("Welcome\n", true); }, false, true},
    {"line_end_only", [](net_device& d) { d.front.set_greeting("\r\n", true); }, false, true},
    {"version_dots",
     [](net_device& d) {
         d.front.set_greeting(emulator::greeting_line("..", d.model.profile().serial()), true);
     },
     false, true},
    {"closed_during_greeting",
     [](net_device& d) {
         d.front.set_greeting("Zarvo FTP ser", true);
         d.front.close_after_greeting(emulator::tcp_front_end::closing::fin);
     },
     false, true},
    {"no_greeting_device_info", silent, true, false},
    {"no_greeting_unparsable_info",
     [](net_device& d) {
         silent(d);
         d.model.put_file("/DEVICE.BPB", std::string("\xff\xff\xff\x07", 4));
     },
     false, false},
    {"no_greeting_empty_id",
     [](net_device& d) {
         silent(d);
         d.model.put_file("/DEVICE.BPB", device_info_with_id(d, ""));
     },
     false, false},
    {"no_greeting_zero_id",
     [](net_device& d) {
         silent(d);
         d.model.put_file("/DEVICE.BPB", device_info_with_id(d, "0000"));
     },
     false, false},
    {"no_greeting_id_without_digits",
     [](net_device& d) {
         silent(d);
         d.model.put_file("/DEVICE.BPB", device_info_with_id(d, "XYZ"));
     },
     false, false},
};

class sd_driver_greeting : public sd_driver_test,
                           public ::testing::WithParamInterface<greeting_row> {};

TEST_P(sd_driver_greeting, IdentifiesOrRefuses)
{
    const greeting_row& row = GetParam();
    net_device& d = device();
    row.setup(d);
    // Lowered only for a silent server: a late greeting on a loaded machine
    // must not read as none.
    if (std::string(row.name).rfind("no_greeting", 0) == 0)
        rig.driver->waits().greeting_timeout_ms = 300;
    rig.announce("dev", d, 5);
    rig.driver->start();
    if (!row.published) {
        ASSERT_TRUE(refused());
        EXPECT_TRUE(rig.poster.posts().empty());
        EXPECT_TRUE(rig.driver->links().empty());
        return;
    }
    ASSERT_TRUE(rig.poster.wait_posts(1));
    EXPECT_EQ(rig.poster.posts(), (std::vector<post_record>{published(d.id(), 0)}));
    EXPECT_EQ(rig.driver->links(), (std::vector<std::string>{sd_rig::link_of(d, 5)}));
    auto* client = static_cast<dorvane::zftp_client*>(rig.poster.connection(d.id()));
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(client->framing_v2(), row.newer_framing);
    EXPECT_TRUE(upload_in_expected_framing(client, d.front));
}

INSTANTIATE_TEST_SUITE_P(Rows, sd_driver_greeting, ::testing::ValuesIn(greeting_rows),
                         [](const auto& info) { return std::string(info.param.name); });

// Each device is known by its link (address, scope id, port): devices that
// share an interface, or a routable address's scope id 0, are each
// published; only the same link again is refused.
TEST_F(sd_driver_test, EveryDeviceIsPublishedTheSameLinkOnlyOnce)
{
    net_device& a = device();
    net_device& b = device();
    net_device& c = device();
    rig.announce("dev-a", a, 5);
    rig.driver->start();
    ASSERT_TRUE(rig.poster.wait_posts(1));
    rig.announce("dev-b", b, 5);
    ASSERT_TRUE(rig.poster.wait_posts(2));
    // Another name that leads to a's link.
    rig.announce("dev-a-again", a, 5);
    ASSERT_TRUE(traced("Server allready registered "));
    rig.announce("dev-c", c, 6);
    ASSERT_TRUE(rig.poster.wait_posts(3));
    EXPECT_EQ(rig.poster.posts(),
              (std::vector<post_record>{published(a.id(), 0), published(b.id(), 0),
                                        published(c.id(), 0)}));
    auto links = rig.driver->links();
    std::sort(links.begin(), links.end());
    std::vector<std::string> expected{sd_rig::link_of(a, 5), sd_rig::link_of(b, 5),
                                      sd_rig::link_of(c, 6)};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(links, expected);

    // Stop withdraws each once.
    rig.driver->stop();
    auto posts = rig.poster.posts();
    ASSERT_EQ(posts.size(), 6u);
    for (const net_device* d : {&a, &b, &c})
        EXPECT_EQ(std::count(posts.begin(), posts.end(), withdrawn(d->id())), 1);
}

// Two devices on routable addresses (the lookup gives them scope id 0), on
// one interface or two: both are published, and each is connected again
// after the host ended its link.
TEST_F(sd_driver_test, TwoDevicesOnRoutableAddressesAreBothPublished)
{
    net_device& a = device();
    net_device& b = device();
    rig.announce("dev-a", a, 5, 0);
    rig.announce("dev-b", b, 6, 0);
    rig.driver->start();
    ASSERT_TRUE(rig.poster.wait_posts(2));
    auto links = rig.driver->links();
    std::sort(links.begin(), links.end());
    std::vector<std::string> expected{sd_rig::link_of(a, 0), sd_rig::link_of(b, 0)};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(links, expected);
    EXPECT_FALSE(has_trace("Server allready registered "));
    // The first leaves; the second stays.
    a.front.close_connections();
    ASSERT_TRUE(rig.poster.wait_posts(3));
    EXPECT_EQ(rig.poster.posts()[2], withdrawn(a.id()));
    EXPECT_EQ(rig.driver->links(), (std::vector<std::string>{sd_rig::link_of(b, 0)}));
}

// One device announced on two interfaces is published once: with a routable
// address both announcements lead to one link; with a link-local one the
// second link leads to the same device, and waits for its slot.
struct two_interfaces_row {
    const char* name;
    std::uint32_t scope;
    const char* refusal;
};

class sd_driver_two_interfaces : public sd_driver_test,
                                 public ::testing::WithParamInterface<two_interfaces_row> {};

TEST_P(sd_driver_two_interfaces, OneDeviceIsPublishedOnce)
{
    net_device& d = device();
    rig.announce("dev", d, 7, GetParam().scope);
    // Answered on the interface each resolve asks on.
    fake_dnssd::set_resolve("dev", "dev.local.", d.port(), 0);
    rig.driver->start();
    ASSERT_TRUE(rig.poster.wait_posts(1));
    fake_dnssd::announce("dev", service_type, "local", 8);
    ASSERT_TRUE(traced(GetParam().refusal));
    EXPECT_EQ(rig.poster.posts(), (std::vector<post_record>{published(d.id(), 0)}));
    EXPECT_EQ(rig.driver->links().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, sd_driver_two_interfaces,
    ::testing::Values(two_interfaces_row{"routable", 0, "Server allready registered "},
                      two_interfaces_row{"link_local", sd_rig::interface_scope,
                                         "is published through another link; this one waits"}),
    [](const auto& info) { return std::string(info.param.name); });

// The device comes back on a new port while its old link is still
// published: the new link waits, and is connected once the old one goes.
TEST_F(sd_driver_test, ADeviceThatReturnsOnANewPortIsConnectedThere)
{
    net_device& d = device();
    rig.announce("dev", d, 5);
    rig.driver->start();
    ASSERT_TRUE(rig.poster.wait_posts(1));
    emulator::tcp_front_end again(d.model.profile().serial(), d.handler);
    const std::uint16_t new_port = ntohs(again.address().sin6_port);
    fake_dnssd::set_resolve("dev", "dev.local.", new_port, 5);
    fake_dnssd::announce("dev", service_type, "local", 5);
    ASSERT_TRUE(traced("is published through another link; this one waits"));
    EXPECT_EQ(rig.poster.posts().size(), 1u);

    d.front.close_connections();
    ASSERT_TRUE(rig.poster.wait_posts(3));
    EXPECT_EQ(rig.poster.posts(), (std::vector<post_record>{published(d.id(), 0), withdrawn(d.id()),
                                                            published(d.id(), 0)}));
    EXPECT_EQ(rig.driver->links(),
              (std::vector<std::string>{"[::1%5]:" + std::to_string(new_port)}));
    EXPECT_EQ(rig.driver->waiting_links(), 0u);
    rig.finish();
}

// The link breaks while the device is being identified: the client tells its
// only disconnection then. Published anyway, it would never be withdrawn.
TEST_F(sd_driver_test, ADeviceClosingWhileIdentifiedIsNeverLeftPublished)
{
    net_device& d = device();
    d.front.close_after_greeting(emulator::tcp_front_end::closing::reset);
    rig.announce("dev", d, 5);
    rig.driver->start();
    // Refused (the reset may even beat the connection's own completion), or
    // published and withdrawn: never left published.
    ASSERT_TRUE(eventually([&] {
        return has_trace("Failed to read device bpb or greeting closing socket") ||
               has_trace("General error: ") || rig.poster.posts().size() == 2;
    }));
    const auto posts = rig.poster.posts();
    if (!posts.empty()) {
        EXPECT_EQ(posts, (std::vector<post_record>{published(d.id(), 0), withdrawn(d.id())}));
    }
    EXPECT_TRUE(rig.driver->links().empty());
}

// The same, made certain: the device closes once it has been identified and
// before it would be published, and its client has told the driver.
TEST_F(sd_driver_test, ADeviceLostWhileIdentifiedIsNotPublished)
{
    net_device& d = device();
    rig.driver->set_identified_hook([&] {
        d.front.close_connections();
        EXPECT_TRUE(traced("link lost while the device was being identified"));
    });
    rig.announce("dev", d, 5);
    rig.driver->start();
    ASSERT_TRUE(refused());
    EXPECT_TRUE(rig.poster.posts().empty());
    EXPECT_TRUE(rig.driver->links().empty());
}

// A device frame left unfinished between exchanges puts the stream out of
// step: the host ends the link, and the device is connected again.
TEST_F(sd_driver_test, AnUnfinishedDeviceFrameEndsTheLinkAndTheDeviceIsConnectedAgain)
{
    net_device& d = device();
    rig.announce("dev", d, 5);
    rig.driver->start();
    ASSERT_TRUE(rig.poster.wait_posts(1));
    auto* first = static_cast<dorvane::zftp_client*>(rig.poster.connection(d.id()));
    first->set_callback_timeout(300);
    d.front.inject(emulator::notification_frame(2, "abc").substr(0, 3));
    ASSERT_TRUE(rig.poster.wait_posts(3));
    EXPECT_EQ(rig.poster.posts(), (std::vector<post_record>{published(d.id(), 0), withdrawn(d.id()),
                                                            published(d.id(), 0)}));
    auto* again = static_cast<dorvane::zftp_client*>(rig.poster.connection(d.id()));
    ASSERT_NE(again, first);
    std::ostringstream info;
    again->read("/DEVICE.BPB", info);
    EXPECT_TRUE(info.str() == *d.model.file("/DEVICE.BPB"));
}

TEST_F(sd_driver_test, BrowseRemovalKeepsTheDeviceItsClosingWithdrawsItOnce)
{
    net_device& d = device();
    rig.announce("dev", d, 5);
    rig.driver->start();
    ASSERT_TRUE(rig.poster.wait_posts(1));
    fake_dnssd::withdraw("dev");
    ASSERT_TRUE(traced("[browse_reply] flags: 0 if: 5"));
    EXPECT_EQ(rig.poster.posts().size(), 1u);

    d.front.close_connections();
    ASSERT_TRUE(rig.poster.wait_posts(2));
    rig.driver->stop();
    EXPECT_EQ(rig.poster.posts(),
              (std::vector<post_record>{published(d.id(), 0), withdrawn(d.id())}));
}

TEST_F(sd_driver_test, LateDisconnectionOfAnOldClientLeavesTheNewOnePublished)
{
    net_device& d = device();
    rig.announce("dev", d, 5);
    rig.driver->start();
    ASSERT_TRUE(rig.poster.wait_posts(1));
    // An old client of the same interface that reports only now.
    dorvane::zftp_client old(d.front.connect_host(), d.id(), 5, nullptr);
    rig.driver->disconnected(&old);
    EXPECT_TRUE(has_trace("is not the published one"));
    EXPECT_EQ(rig.driver->links(), (std::vector<std::string>{sd_rig::link_of(d, 5)}));
    EXPECT_EQ(rig.poster.posts().size(), 1u);

    rig.driver->stop();
    auto posts = rig.poster.posts();
    ASSERT_EQ(posts.size(), 2u);
    EXPECT_EQ(posts[1], withdrawn(d.id()));
    EXPECT_EQ(posts[1].c, posts[0].c);
}

TEST_F(sd_driver_test, WithoutTheLibraryOrWithOneLackingAFunctionNothingIsPublished)
{
    for (const char* name : {"libdns_sd_nowhere.so.1", FAKE_DNSSD_WITHOUT_RESOLVE_PATH}) {
        SCOPED_TRACE(name);
        dorvane::sd_driver driver(&rig.poster);
        driver.set_library_name(std::string(name));
        driver.start();
        driver.stop();
        driver.start();
    }
    EXPECT_TRUE(rig.poster.posts().empty());
    EXPECT_TRUE(fake_dnssd::calls().empty());
}

class sd_driver_modes : public sd_driver_test, public ::testing::WithParamInterface<bool> {};

TEST_P(sd_driver_modes, DiscoversAndEndsEachResolve)
{
    const bool shared = GetParam();
    fake_dnssd::set_shared_connections(shared);
    net_device& d = device();
    rig.announce("dev", d, 5);
    rig.driver->start();
    ASSERT_TRUE(rig.poster.wait_posts(1));
    EXPECT_EQ(rig.poster.posts(), (std::vector<post_record>{published(d.id(), 0)}));
    // What stays is the connection and its browse (without shared
    // connections only the browse is the library's).
    ASSERT_TRUE(eventually([&] { return fake_dnssd::live_references() == (shared ? 2 : 1); }));
    if (!shared) {
        for (const auto& call : fake_dnssd::calls())
            EXPECT_EQ(call.flags, 0u) << call.function;
    }
    rig.driver->stop();
    EXPECT_EQ(fake_dnssd::live_references(), 0);
}

INSTANTIATE_TEST_SUITE_P(Library, sd_driver_modes, ::testing::Values(true, false),
                         [](const auto& info) {
                             return std::string(info.param ? "shared" : "emulated");
                         });

struct recovery_row {
    const char* name;
    bool shared;
    std::function<void()> fault;
};

const recovery_row recovery_rows[] = {
    {"create_connection_fails_twice", true, [] { fake_dnssd::fail_create_connection(2); }},
    {"browse_fails_twice_shared", true, [] { fake_dnssd::fail_browse(2); }},
    {"browse_fails_twice_emulated", false, [] { fake_dnssd::fail_browse(2); }},
};

class sd_driver_recovery : public sd_driver_test,
                           public ::testing::WithParamInterface<recovery_row> {};

TEST_P(sd_driver_recovery, RetriesAfterThePauseThenDiscovers)
{
    fake_dnssd::set_shared_connections(GetParam().shared);
    GetParam().fault();
    net_device& d = device();
    rig.announce("dev", d, 5);
    rig.driver->start();
    ASSERT_TRUE(rig.poster.wait_posts(1));
    EXPECT_EQ(rig.poster.posts(), (std::vector<post_record>{published(d.id(), 0)}));
}

INSTANTIATE_TEST_SUITE_P(Rows, sd_driver_recovery, ::testing::ValuesIn(recovery_rows),
                         [](const auto& info) { return std::string(info.param.name); });

class sd_driver_rebuild : public sd_driver_test, public ::testing::WithParamInterface<bool> {};

TEST_P(sd_driver_rebuild, AFailingConnectionIsRebuiltAndTheClientsStay)
{
    fake_dnssd::set_shared_connections(GetParam());
    net_device& d = device();
    rig.announce("dev", d, 5);
    rig.driver->start();
    ASSERT_TRUE(rig.poster.wait_posts(1));

    // Processing fails once: the connection is built anew, and the device,
    // reported again, is known.
    fake_dnssd::fail_process_result_once();
    rig.announce("other", d, 5);
    ASSERT_TRUE(traced("DNSServiceProcessResult returned"));
    ASSERT_TRUE(traced("Server allready registered "));

    // The daemon goes away: its browse reports one error and then nothing.
    fake_dnssd::lose_daemon();
    ASSERT_TRUE(traced("DNSServiceProcessResult returned", 2));
    ASSERT_TRUE(traced("Server allready registered ", 3));
    EXPECT_EQ(rig.poster.posts(), (std::vector<post_record>{published(d.id(), 0)}));
}

INSTANTIATE_TEST_SUITE_P(Library, sd_driver_rebuild, ::testing::Values(true, false),
                         [](const auto& info) {
                             return std::string(info.param ? "shared" : "emulated");
                         });

TEST_F(sd_driver_test, AddressLookupThroughTheRecordQueryAndTheResolver)
{
    rig.driver->set_lookup(nullptr);
    net_device& local = device();
    fake_dnssd::set_aaaa("dev.local.", in6addr_loopback);
    fake_dnssd::set_resolve("dev", "dev.local.", local.port(), 0);
    fake_dnssd::set_resolve("nowhere", "nowhere.invalid.", 1, 4);
    rig.driver->start();
    // The record query's answer, not link-local, has no scope id.
    fake_dnssd::announce("dev", service_type, "local", 7);
    ASSERT_TRUE(rig.poster.wait_posts(1));
    EXPECT_EQ(rig.driver->links(), (std::vector<std::string>{sd_rig::link_of(local, 0)}));
    // The same service seen on a second interface is the same device.
    fake_dnssd::announce("dev", service_type, "local", 8);
    ASSERT_TRUE(traced("[resolve_reply] flags: 0 interface: 8"));
    ASSERT_TRUE(traced("Server allready registered "));
    fake_dnssd::announce("nowhere", service_type, "local", 4);
    ASSERT_TRUE(traced("Warning no ipv6 address found!"));
    EXPECT_EQ(rig.poster.posts(), (std::vector<post_record>{published(local.id(), 0)}));
    EXPECT_EQ(rig.driver->links(), (std::vector<std::string>{sd_rig::link_of(local, 0)}));
}

// The host ends a device's link itself: a read that timed out or was
// cancelled while the device may still answer.
enum class host_end { stall, cancel };

class sd_driver_host_end : public sd_driver_test, public ::testing::WithParamInterface<host_end> {
protected:
    // Starts the driver and waits for d's publication; its read of /ONE.BIN
    // will stall.
    dorvane::zftp_client* publish(net_device& d)
    {
        d.model.put_file("/ONE.BIN", "first file");
        d.model.put_file("/TWO.BIN", "second file");
        stall_ = d.model.script_stall(emulator::match::file(emulator::command::get, "/ONE.BIN"), 1);
        rig.driver->start();
        if (!rig.poster.wait_posts(1))
            return nullptr;
        return static_cast<dorvane::zftp_client*>(rig.poster.connection(d.id()));
    }

    // A read the host gives up while the device may still answer.
    void end_link(dorvane::zftp_client* client)
    {
        end_link_of(client, [&] { return stall_->wait_reached(); });
        stall_->release();
    }
    // The same, reached() telling when the read's request is at the device.
    void end_link_of(dorvane::zftp_client* client, const std::function<bool()>& reached)
    {
        const bool cancel = GetParam() == host_end::cancel;
        // The stall's wait is short; any other is long, so a loaded machine
        // never ends the link by itself.
        client->set_callback_timeout(cancel ? 60000 : 300);
        std::thread canceller([&] {
            if (cancel && reached())
                client->cancel();
        });
        std::ostringstream out;
        try {
            client->read("/ONE.BIN", out);
            ADD_FAILURE() << "the read was not ended";
        } catch (const operation_timed_out&) {
            EXPECT_FALSE(cancel);
        } catch (const operation_canceled&) {
            EXPECT_TRUE(cancel);
        }
        canceller.join();
    }

    std::shared_ptr<emulator::stall> stall_;
};

TEST_P(sd_driver_host_end, TheDeviceIsConnectedAndPublishedAgain)
{
    net_device& d = device();
    rig.announce("dev", d, 5);
    auto* first = publish(d);
    ASSERT_NE(first, nullptr);
    end_link(first);
    ASSERT_TRUE(rig.poster.wait_posts(3));
    EXPECT_EQ(rig.poster.posts(), (std::vector<post_record>{published(d.id(), 0), withdrawn(d.id()),
                                                            published(d.id(), 0)}));
    EXPECT_EQ(rig.driver->links(), (std::vector<std::string>{sd_rig::link_of(d, 5)}));
    // Nothing stays queued once the device is back.
    EXPECT_TRUE(eventually([&] { return rig.driver->queued_reconnects() == 0; }));
    auto* again = static_cast<dorvane::zftp_client*>(rig.poster.connection(d.id()));
    ASSERT_NE(again, first);
    again->set_callback_timeout(60000);
    for (const char* path : {"/ONE.BIN", "/TWO.BIN"}) {
        std::ostringstream out;
        again->read(path, out);
        EXPECT_EQ(out.str(), *d.model.file(path));
    }
}

// The device is not identified again: a few attempts, then it stays
// withdrawn.
TEST_P(sd_driver_host_end, AttemptsAreBounded)
{
    rig.driver->waits().reconnect_attempts = 3;
    net_device& d = device();
    rig.announce("dev", d, 5);
    d.front.set_frame_hook([&](char, unsigned long) { d.front.set_greeting("Welcome\n", true); });
    auto* first = publish(d);
    ASSERT_NE(first, nullptr);
    end_link(first);
    ASSERT_TRUE(traced("device not reached after 3 attempts, left withdrawn"));
    EXPECT_TRUE(traced("Failed to read device bpb or greeting closing socket", 3));
    EXPECT_EQ(rig.poster.posts(),
              (std::vector<post_record>{published(d.id(), 0), withdrawn(d.id())}));
}

// A reconnection is queued (its next attempt after a long pause) when DNS-SD
// reports the service gone: the reconnection goes with it.
TEST_P(sd_driver_host_end, ARemovalCancelsAQueuedReconnection)
{
    rig.driver->waits().retry_pause = std::chrono::minutes(10);
    net_device& d = device();
    rig.announce("dev", d, 5);
    d.front.set_frame_hook([&](char, unsigned long) { d.front.set_greeting("Welcome\n", true); });
    auto* first = publish(d);
    ASSERT_NE(first, nullptr);
    end_link(first);
    // The first attempt failed; the next waits for the pause.
    ASSERT_TRUE(traced("Failed to read device bpb or greeting closing socket"));
    ASSERT_TRUE(eventually([&] { return has_trace("connecting to the device again"); }));
    EXPECT_EQ(rig.driver->queued_reconnects(), 1u);
    fake_dnssd::withdraw("dev");
    ASSERT_TRUE(traced("[browse_reply] flags: 0 if: 5"));
    EXPECT_EQ(rig.driver->queued_reconnects(), 0u);
}

// A device that connects and greets but answers no operation: each link the
// host ends is followed by a reconnection only so many times in a row.
TEST_P(sd_driver_host_end, ADeviceThatAnswersNothingIsReconnectedBoundedly)
{
    rig.driver->waits().reconnect_attempts = 3;
    net_device& d = device();
    rig.announce("dev", d, 5);
    // Shared with the device's threads, which may still come to the hook
    // after the test; opened on every way out.
    auto release = std::make_shared<latch>();
    auto held = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<void> opener(nullptr, [release](void*) { release->open(); });
    d.front.set_before_response([release, held] {
        ++*held;
        release->wait();
    });
    rig.driver->start();
    for (int link = 0; link < 3; ++link) {
        ASSERT_TRUE(rig.poster.wait_posts(2 * link + 1));
        auto* client = static_cast<dorvane::zftp_client*>(rig.poster.connection(d.id()));
        end_link_of(client, [&] { return eventually([&] { return *held > link; }); });
    }
    ASSERT_TRUE(traced("device answered nothing on 3 links in a row, left withdrawn"));
    EXPECT_EQ(rig.driver->queued_reconnects(), 0u);
    std::vector<post_record> expected;
    for (int i = 0; i < 3; ++i) {
        expected.push_back(published(d.id(), 0));
        expected.push_back(withdrawn(d.id()));
    }
    EXPECT_EQ(rig.poster.posts(), expected);
    const auto messages = log.messages();
    EXPECT_EQ(std::count_if(messages.begin(), messages.end(),
                            [](const std::string& m) {
                                return m.find("answered nothing") != std::string::npos;
                            }),
              1);
}

// DNS-SD reported the service gone before the host ended the link.
TEST_P(sd_driver_host_end, ADeviceWhoseServiceWentAwayStaysWithdrawn)
{
    net_device& d = device();
    rig.announce("dev", d, 5);
    auto* first = publish(d);
    ASSERT_NE(first, nullptr);
    fake_dnssd::withdraw("dev");
    ASSERT_TRUE(traced("[browse_reply] flags: 0 if: 5"));
    end_link(first);
    expect_left_withdrawn(d);
}

INSTANTIATE_TEST_SUITE_P(Ways, sd_driver_host_end,
                         ::testing::Values(host_end::stall, host_end::cancel),
                         [](const auto& info) {
                             return std::string(info.param == host_end::stall ? "stall" : "cancel");
                         });

// A link the device closed itself is not connected again.
TEST_F(sd_driver_test, ADeviceThatClosedItsLinkStaysWithdrawn)
{
    net_device& d = device();
    rig.announce("dev", d, 5);
    rig.driver->start();
    ASSERT_TRUE(rig.poster.wait_posts(1));
    d.front.close_connections();
    expect_left_withdrawn(d);
}

class sd_driver_unanswered : public sd_driver_test, public ::testing::WithParamInterface<bool> {};

// A resolve the daemon never answers is ended after its wait; browsing and
// the other devices go on.
TEST_P(sd_driver_unanswered, AResolveIsEndedAfterItsWait)
{
    const bool shared = GetParam();
    fake_dnssd::set_shared_connections(shared);
    rig.driver->waits().resolve_wait = 200ms;
    fake_dnssd::announce("mute", service_type, "local", 4);
    rig.driver->start();
    ASSERT_TRUE(traced("resolve of mute on interface 4 not answered in time, ended"));
    // What stays is the connection and its browse.
    ASSERT_TRUE(eventually([&] { return fake_dnssd::live_references() == (shared ? 2 : 1); }));
    net_device& d = device();
    rig.announce("dev", d, 5);
    ASSERT_TRUE(rig.poster.wait_posts(1));
    EXPECT_EQ(rig.poster.posts(), (std::vector<post_record>{published(d.id(), 0)}));
}

INSTANTIATE_TEST_SUITE_P(Library, sd_driver_unanswered, ::testing::Values(true, false),
                         [](const auto& info) {
                             return std::string(info.param ? "shared" : "emulated");
                         });

// A listener whose backlog is full: further connects wait.
class full_listener {
public:
    full_listener()
    {
        listener_ = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
        address_.sin6_family = AF_INET6;
        address_.sin6_addr = in6addr_loopback;
        socklen_t length = sizeof address_;
        EXPECT_EQ(bind(listener_, reinterpret_cast<sockaddr*>(&address_), sizeof address_), 0);
        EXPECT_EQ(listen(listener_, 0), 0);
        EXPECT_EQ(getsockname(listener_, reinterpret_cast<sockaddr*>(&address_), &length), 0);
        waiting_ = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
        EXPECT_EQ(connect(waiting_, reinterpret_cast<sockaddr*>(&address_), sizeof address_), 0);
    }
    ~full_listener()
    {
        close(waiting_);
        close(listener_);
    }
    std::uint16_t port() const { return ntohs(address_.sin6_port); }

private:
    int listener_ = -1;
    int waiting_ = -1;
    sockaddr_in6 address_{};
};

enum class hang { connect, greeting, device_info };

class sd_driver_stop : public sd_driver_test, public ::testing::WithParamInterface<hang> {};

TEST_P(sd_driver_stop, EndsAnAttemptInProgressAndPublishesNothing)
{
    // Waits far longer than the test may take: only the stop ends them.
    rig.driver->waits().connect_timeout_ms = 60000;
    rig.driver->waits().greeting_timeout_ms = GetParam() == hang::greeting ? 60000 : 300;
    net_device& d = device();
    silent(d);
    full_listener full;
    std::shared_ptr<emulator::stall> stall;
    if (GetParam() == hang::connect) {
        rig.map_target("dev.local.", 5);
        fake_dnssd::set_resolve("dev", "dev.local.", full.port(), 5);
        fake_dnssd::announce("dev", service_type, "local", 5);
    } else {
        if (GetParam() == hang::device_info)
            stall = d.model.script_stall(
                emulator::match::file(emulator::command::get, "/DEVICE.BPB"), 1);
        rig.announce("dev", d, 5);
    }
    rig.driver->start();
    switch (GetParam()) {
    case hang::connect:
        ASSERT_TRUE(traced("server ipv6 address: ::1 scope id: 5"));
        break;
    case hang::greeting:
        ASSERT_TRUE(d.front.wait([](const std::vector<std::string>& t) {
            return std::find(t.begin(), t.end(), "D0 G 0") != t.end();
        }));
        break;
    case hang::device_info:
        ASSERT_TRUE(stall->wait_reached());
        break;
    }
    const auto began = std::chrono::steady_clock::now();
    rig.driver->stop();
    EXPECT_LT(std::chrono::steady_clock::now() - began, latch::default_limit);
    if (stall)
        stall->release();
    EXPECT_TRUE(rig.poster.posts().empty());
    EXPECT_TRUE(rig.driver->links().empty());
}

INSTANTIATE_TEST_SUITE_P(Hangs, sd_driver_stop,
                         ::testing::Values(hang::connect, hang::greeting, hang::device_info),
                         [](const auto& info) {
                             switch (info.param) {
                             case hang::connect:
                                 return std::string("connect");
                             case hang::greeting:
                                 return std::string("greeting");
                             default:
                                 return std::string("device_info");
                             }
                         });

TEST_F(sd_driver_test, DestroyedWhileRunningTellsTheCoreNothing)
{
    net_device& d = device();
    rig.announce("dev", d, 5);
    rig.driver->start();
    ASSERT_TRUE(rig.poster.wait_posts(1));
    rig.driver.reset();
    EXPECT_EQ(rig.poster.posts(), (std::vector<post_record>{published(d.id(), 0)}));
    // The client, still the core's, may report its link afterwards.
    d.front.close_connections();
    rig.poster.clear();
    EXPECT_EQ(rig.poster.posts().size(), 1u);
}

TEST_F(sd_driver_test, SuspendAndResumeChangeNothing)
{
    net_device& d = device();
    rig.announce("dev", d, 5);
    rig.driver->start();
    ASSERT_TRUE(rig.poster.wait_posts(1));
    rig.driver->suspend();
    rig.driver->resume();
    EXPECT_EQ(rig.driver->links(), (std::vector<std::string>{sd_rig::link_of(d, 5)}));
    EXPECT_EQ(rig.poster.posts().size(), 1u);
}

} // namespace
} // namespace zarvo::test
