#pragma once

// The network device driver: finds the devices announced on the local network
// by DNS service discovery ("_zarvo-ftp._tcp" in "local"), connects to each
// device's server over IPv6, identifies it from the server's greeting (or its
// device information file) and publishes one zftp_client per device.
//
// A device is known by its link: the address, scope id and port it was
// reached at. Two devices never share one, and a device announced on two
// interfaces with one routable address is one link. A device identified
// again through another link (its link-local address on a second
// interface, or a new port while its old link is still published) is not
// published twice: that link waits, and is connected once the published
// one is withdrawn. Each client gets a unique id of its own, the driver's
// key for it. A discovery thread waits on the DNS-SD connection's
// descriptor and the stop event and runs every DNS-SD callback, address
// lookup and connection attempt, one at a time.
//
// Clients' listening threads call disconnected(), which takes the lock: the
// lock is never held while a client is deleted or its thread joined. When
// the host itself ended a link (an abandoned exchange), the device is still
// there and nothing new would be announced for it: the driver connects to
// the same address again, a few times with the retry pause between. A
// device that answered nothing on its link before the host ended it is
// connected again that many times in a row at most, then left withdrawn
// (traced once). A link the device closed, or a service DNS-SD reported
// gone, stays withdrawn.

#include "devicelib/core/connection_poster.h"
#include "devicelib/core/driver.h"
#include "devicelib/dorvane/zftp_client.h"
#include "devicelib/platform/address_lookup.h"
#include "devicelib/platform/dnssd_adapter.h"
#include "devicelib/platform/event.h"

#include <netinet/in.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace zarvo::dorvane {

class sd_driver : public core::driver,
                  public zftp_client_observer::zftp_client_disconnection_observer {
public:
    // Waits the tests lower.
    struct timing {
        // Between a failed DNS-SD connection or browse and the next attempt.
        std::chrono::milliseconds retry_pause{5000};
        int connect_timeout_ms = 10000;
        // The record query of a ".local" target.
        std::chrono::milliseconds lookup_wait{5000};
        // The clients' own waits; 0 keeps the client's default.
        int greeting_timeout_ms = 0;
        int callback_timeout_ms = 0;
        // A resolve not answered by then is ended (the daemon may never
        // answer it).
        std::chrono::milliseconds resolve_wait{10000};
        // Connection attempts after the host itself ended a device's link,
        // the retry pause between them; also how many links in a row a
        // device that answers nothing is given.
        int reconnect_attempts = 5;
    };

    // poster null: the core's post functions.
    explicit sd_driver(core::connection_poster* poster = nullptr);
    // Ends discovery and joins its thread when the driver still runs. Tells
    // the core nothing: the engine deletes its drivers at process exit
    // without stopping them, and the published clients are the core's.
    ~sd_driver() override;
    sd_driver(const sd_driver&) = delete;
    sd_driver& operator=(const sd_driver&) = delete;

    // Loads the DNS-SD library (by the name the setting gives, looked up
    // again at every start) and starts the discovery thread. Without the
    // library the driver stays idle.
    void start() override;
    // Network devices keep their sessions across a system suspend.
    void suspend() override {}
    void resume() override {}
    // Cancels the device being identified, ends the discovery thread, then
    // withdraws every published client.
    void stop() override;

    // A client's link broke: its withdrawal, when it is the one published
    // under its unique id.
    void disconnected(zftp_client* client) override;

    // 0 published, -1 failed, -2 that link, or the device it leads to, is
    // published already.
    // On the discovery thread (tests may call it while discovery is off).
    int create_server_connection_ipv6(const sockaddr_in6& address, std::uint32_t interface_index);

    // Settings; change them while the driver is stopped.
    void set_library_name(std::optional<std::string> name) { library_name_ = std::move(name); }
    void set_lookup(platform::address_lookup lookup) { lookup_ = std::move(lookup); }
    timing& waits() { return timing_; }

    // The published links as "[address%scope]:port" ("%scope" only when not
    // 0), in order (tests).
    std::vector<std::string> links() const;
    // Reconnections queued and links waiting for their device's slot (tests).
    std::size_t queued_reconnects() const;
    std::size_t waiting_links() const;
    // Called on the discovery thread once a device has been identified,
    // before it is published (tests: something to happen right then).
    void set_identified_hook(std::function<void()> hook) { identified_hook_ = std::move(hook); }

private:
    class relay;

    static void DNSSD_API browse_reply(DNSServiceRef ref, DNSServiceFlags flags,
                                       std::uint32_t interface_index, DNSServiceErrorType error,
                                       const char* name, const char* type, const char* domain,
                                       void* context);
    static void DNSSD_API resolve_reply(DNSServiceRef ref, DNSServiceFlags flags,
                                        std::uint32_t interface_index, DNSServiceErrorType error,
                                        const char* full_name, const char* target,
                                        std::uint16_t port, std::uint16_t text_length,
                                        const unsigned char* text, void* context);
    void on_browse(DNSServiceFlags flags, std::uint32_t interface_index, DNSServiceErrorType error,
                   const char* name, const char* type, const char* domain);
    void on_resolve(DNSServiceRef ref, DNSServiceFlags flags, std::uint32_t interface_index,
                    DNSServiceErrorType error, const char* target, std::uint16_t port);

    void process_dns_result();
    // Sets the stop, cancels the device being identified, joins the thread.
    void end_discovery();
    // One connection's life: false when stop ended it.
    bool serve_connection();
    // Waits the retry pause; false when stop came first.
    bool pause_before_retry();
    // Under the lock: ends the connection with every operation on it.
    void drop_connection();
    // Ends the resolves whose first reply has been handled.
    void end_finished_resolves();
    // Ends the resolves that were not answered within the resolve wait.
    void end_expired_resolves();
    // Connects again to the devices whose attempt is due.
    void run_due_reconnects();
    // The wait (ms) until the next resolve ends or attempt is due; -1 none.
    int next_timer_ms() const;
    // Waits for the stop, the wake, the descriptor fd (when not -1) or the
    // next timer; runs what became due. The fd's readiness, or false on stop.
    bool wait_for_work(int fd, int limit_ms, bool& readable);
    int connect_device(const sockaddr_in6& address, std::uint32_t interface_index,
                       const std::string& service);
    bool lookup(const std::string& target, std::uint32_t interface_index, sockaddr_in6& address);

    core::connection_poster* poster_;
    // What the clients tell a broken link through: published clients are the
    // core's and may outlive the driver.
    relay* relay_;
    bool published_any_ = false;
    std::optional<std::string> library_name_;
    platform::address_lookup lookup_;
    timing timing_;

    mutable std::mutex lock_;
    // Where a device was reached.
    struct link_key {
        std::array<std::uint8_t, 16> address{};
        std::uint32_t scope = 0;
        std::uint16_t port = 0;
        bool operator<(const link_key& other) const
        {
            return std::tie(address, scope, port) <
                   std::tie(other.address, other.scope, other.port);
        }
    };
    static link_key key_of(const sockaddr_in6& address);
    // A published client and where it was found.
    struct link {
        zftp_client* client = nullptr;
        sockaddr_in6 address{};
        // The DNS-SD service (empty when none) and the interface it was seen on.
        std::string service;
        std::uint32_t interface_index = 0;
        // DNS-SD reported the service gone: the device is not connected again.
        bool service_gone = false;
    };
    // A device to connect again to, once due.
    struct reconnect {
        unsigned long number = 0;
        sockaddr_in6 address{};
        std::string service;
        std::uint32_t interface_index = 0;
        int attempts = 0;
        // Attempts it is given.
        int limit = 0;
        std::chrono::steady_clock::time_point due;
    };
    // A link to a device published through another one: connected once that
    // one is withdrawn.
    struct waiting {
        std::uint64_t device_id = 0;
        sockaddr_in6 address{};
        std::string service;
        std::uint32_t interface_index = 0;
    };
    // A resolve waiting for its first reply.
    struct pending_resolve {
        std::string service;
        std::uint32_t interface_index = 0;
        std::chrono::steady_clock::time_point deadline;
    };

    // Published clients by link; the core owns them.
    std::map<link_key, link> clients_;
    std::uint64_t next_unique_id_ = 1;
    std::vector<waiting> waiting_;
    // Links in a row, per device link, that the host ended before the device
    // answered anything.
    std::map<link_key, int> silent_links_;
    std::function<void()> identified_hook_;
    // The client being connected and identified (not published yet), which
    // stop cancels; lost is set when its link broke meanwhile.
    zftp_client* identifying_ = nullptr;
    bool identifying_lost_ = false;

    std::unique_ptr<platform::dnssd_adapter> adapter_;
    DNSServiceRef connection_ = nullptr;
    DNSServiceRef browse_ = nullptr;
    // Resolves waiting for their first reply, and those whose reply came.
    std::map<DNSServiceRef, pending_resolve> resolves_;
    std::vector<DNSServiceRef> finished_resolves_;
    // A browse reported an error: the daemon went away.
    bool browse_failed_ = false;

    // Devices whose link the host ended, to connect again; wake_ tells the
    // discovery thread of a new one.
    std::vector<reconnect> reconnects_;
    unsigned long next_reconnect_ = 0;
    platform::event wake_;

    platform::event stop_;
    std::thread discovery_;
};

// The driver registry's factory: a new sd_driver that posts to the core.
core::driver* create_sd_driver();

} // namespace zarvo::dorvane
