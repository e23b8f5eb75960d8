#include "devicelib/dorvane/sd_driver.h"

#include "devicelib/dorvane/device_identity.h"
#include "devicelib/platform/socket_errors.h"
#include "devicelib/platform/tcp_stream.h"
#include "devicelib/trace/trace.h"

#include <arpa/inet.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <sstream>

namespace zarvo::dorvane {
namespace {

const char* const service_type = "_zarvo-ftp._tcp";
const char* const service_domain = "local";
// The type as browse replies name it.
const char* const reply_type = "_zarvo-ftp._tcp.";

} // namespace

class sd_driver::relay : public zftp_client_observer::zftp_client_disconnection_observer {
public:
    explicit relay(sd_driver* driver)
        : driver_(driver)
    {
    }
    void disconnected(zftp_client* client) override
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (driver_ != nullptr)
            driver_->disconnected(client);
    }
    void revoke()
    {
        std::lock_guard<std::mutex> guard(mutex_);
        driver_ = nullptr;
    }

private:
    std::mutex mutex_;
    sd_driver* driver_;
};

sd_driver::sd_driver(core::connection_poster* poster)
    : poster_(poster ? poster : &core::core_poster())
    , relay_(new relay(this))
{
}

sd_driver::~sd_driver()
{
    if (discovery_.joinable())
        end_discovery();
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (adapter_ != nullptr)
            drop_connection();
        // The published clients belong to the core.
        clients_.clear();
    }
    relay_->revoke();
    // A client published once may still be alive at the core, and may report
    // its link through the relay: the relay stays (the engine deletes its
    // drivers at process exit only).
    if (!published_any_)
        delete relay_;
}

void sd_driver::start()
{
    if (discovery_.joinable())
        return;
    adapter_ = platform::dnssd_adapter::load(
        library_name_ ? *library_name_ : platform::default_dnssd_library_name());
    if (adapter_ == nullptr)
        return; // idle: USB devices only
    stop_.reset();
    wake_.reset();
    discovery_ = std::thread([this] { process_dns_result(); });
}

void sd_driver::stop()
{
    if (!discovery_.joinable())
        return;
    end_discovery();
    std::lock_guard<std::mutex> guard(lock_);
    for (const auto& [key, entry] : clients_)
        poster_->withdraw(entry.client->device_id(), entry.client);
    clients_.clear();
    reconnects_.clear();
    waiting_.clear();
    silent_links_.clear();
    drop_connection();
    // The library stays loaded; the next start looks it up again.
    adapter_.reset();
}

void sd_driver::end_discovery()
{
    // A device being identified is cancelled first: its greeting wait and
    // file read end, and it is never published.
    stop_.set();
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (identifying_ != nullptr)
            identifying_->cancel();
    }
    discovery_.join();
}

void sd_driver::disconnected(zftp_client* client)
{
    const char* const where = "zarvo::dorvane::sd_driver::disconnected";
    std::lock_guard<std::mutex> guard(lock_);
    if (client == identifying_) {
        ZARVO_TRACE(where, "link lost while the device was being identified");
        identifying_lost_ = true;
        return;
    }
    auto found = std::find_if(clients_.begin(), clients_.end(),
                              [&](const auto& entry) { return entry.second.client == client; });
    if (found == clients_.end()) {
        // An older client of the same link reporting late: the one
        // published now is not its to withdraw.
        ZARVO_TRACE(where, "client of unique id %llu is not the published one",
                    static_cast<unsigned long long>(client->unique_id()));
        return;
    }
    const link_key key = found->first;
    const link ended = found->second;
    clients_.erase(found);
    poster_->withdraw(client->device_id(), client);
    if (stop_.is_set())
        return;
    const auto now = std::chrono::steady_clock::now();
    // Links of this device that waited for its slot are tried now.
    for (auto w = waiting_.begin(); w != waiting_.end();) {
        if (w->device_id != client->device_id()) {
            ++w;
            continue;
        }
        ZARVO_TRACE(where, "the device's slot is free, connecting its waiting link");
        reconnect slot;
        slot.number = next_reconnect_++;
        slot.address = w->address;
        slot.service = w->service;
        slot.interface_index = w->interface_index;
        slot.limit = 1;
        slot.due = now;
        reconnects_.push_back(std::move(slot));
        w = waiting_.erase(w);
        wake_.set();
    }
    if (!client->ended_by_host() || ended.service_gone)
        return;
    if (client->answered()) {
        silent_links_.erase(key);
    } else if (++silent_links_[key] >= timing_.reconnect_attempts) {
        ZARVO_TRACE(where, "device answered nothing on %d links in a row, left withdrawn",
                    silent_links_[key]);
        return;
    }
    ZARVO_TRACE(where, "link ended by the host, connecting to the device again");
    reconnect again;
    again.number = next_reconnect_++;
    again.address = ended.address;
    again.service = ended.service;
    again.interface_index = ended.interface_index;
    again.limit = timing_.reconnect_attempts;
    again.due = now;
    reconnects_.push_back(std::move(again));
    wake_.set();
}

sd_driver::link_key sd_driver::key_of(const sockaddr_in6& address)
{
    link_key key;
    std::memcpy(key.address.data(), &address.sin6_addr, key.address.size());
    key.scope = address.sin6_scope_id;
    key.port = ntohs(address.sin6_port);
    return key;
}

std::vector<std::string> sd_driver::links() const
{
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<std::string> texts;
    for (const auto& entry : clients_) {
        char text[INET6_ADDRSTRLEN] = {};
        inet_ntop(AF_INET6, entry.first.address.data(), text, sizeof text);
        std::string link = std::string("[") + text;
        if (entry.first.scope != 0)
            link += "%" + std::to_string(entry.first.scope);
        texts.push_back(link + "]:" + std::to_string(entry.first.port));
    }
    return texts;
}

std::size_t sd_driver::queued_reconnects() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return reconnects_.size();
}

std::size_t sd_driver::waiting_links() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return waiting_.size();
}

bool sd_driver::pause_before_retry()
{
    const auto deadline = std::chrono::steady_clock::now() + timing_.retry_pause;
    while (!stop_.is_set()) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return true;
        bool unused = false;
        if (!wait_for_work(-1, static_cast<int>(left.count()), unused))
            return false;
    }
    return false;
}

int sd_driver::next_timer_ms() const
{
    std::lock_guard<std::mutex> guard(lock_);
    std::optional<std::chrono::steady_clock::time_point> next;
    for (const auto& [ref, pending] : resolves_) {
        if (!next || pending.deadline < *next)
            next = pending.deadline;
    }
    for (const reconnect& r : reconnects_) {
        if (!next || r.due < *next)
            next = r.due;
    }
    if (!next)
        return -1;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          *next - std::chrono::steady_clock::now())
                          .count();
    // Rounded up: a timer is never polled for before it is due.
    return static_cast<int>(std::max<long long>(left + 1, 0));
}

bool sd_driver::wait_for_work(int fd, int limit_ms, bool& readable)
{
    readable = false;
    int wait = next_timer_ms();
    if (limit_ms >= 0 && (wait < 0 || limit_ms < wait))
        wait = limit_ms;
    pollfd fds[3] = {{stop_.fd(), POLLIN, 0}, {wake_.fd(), POLLIN, 0}, {fd, POLLIN, 0}};
    const int ready = poll(fds, fd >= 0 ? 3 : 2, wait);
    if (stop_.is_set())
        return false;
    if (ready < 0) {
        if (errno != EINTR)
            ZARVO_TRACE("zarvo::dorvane::sd_driver::process_dns_result",
                        "Listening failed due to error: %lu.", static_cast<unsigned long>(errno));
        return true;
    }
    if (fds[1].revents != 0)
        wake_.reset();
    end_expired_resolves();
    run_due_reconnects();
    readable = fd >= 0 && fds[2].revents != 0;
    return !stop_.is_set();
}

void sd_driver::end_expired_resolves()
{
    std::lock_guard<std::mutex> guard(lock_);
    const auto now = std::chrono::steady_clock::now();
    for (auto r = resolves_.begin(); r != resolves_.end();) {
        if (r->second.deadline > now) {
            ++r;
            continue;
        }
        // A resolve the daemon never answers would stay open for ever, and
        // one left open across a daemon restart is not safe to keep.
        ZARVO_TRACE("zarvo::dorvane::sd_driver::resolve_reply",
                    "resolve of %s on interface %u not answered in time, ended",
                    r->second.service.c_str(), static_cast<unsigned>(r->second.interface_index));
        adapter_->DNSServiceRefDeallocate(r->first);
        r = resolves_.erase(r);
    }
}

void sd_driver::run_due_reconnects()
{
    const char* const where = "zarvo::dorvane::sd_driver::run_due_reconnects";
    while (!stop_.is_set()) {
        reconnect due;
        {
            std::lock_guard<std::mutex> guard(lock_);
            const auto now = std::chrono::steady_clock::now();
            auto found = std::find_if(reconnects_.begin(), reconnects_.end(),
                                      [&](const reconnect& r) { return r.due <= now; });
            if (found == reconnects_.end())
                return;
            due = *found;
            // Pushed back past the pause while it runs; a service reported
            // gone meanwhile takes it out.
            found->due = now + timing_.retry_pause;
            found->attempts = due.attempts + 1;
        }
        const int result = connect_device(due.address, due.interface_index, due.service);
        std::lock_guard<std::mutex> guard(lock_);
        auto still = std::find_if(reconnects_.begin(), reconnects_.end(),
                                  [&](const reconnect& r) { return r.number == due.number; });
        if (still == reconnects_.end())
            continue;
        if (result != -1) {
            ZARVO_TRACE(where, "device connected again (%d)", result);
            reconnects_.erase(still);
        } else if (still->attempts >= still->limit) {
            ZARVO_TRACE(where, "device not reached after %d attempts, left withdrawn",
                        still->attempts);
            reconnects_.erase(still);
        } else {
            still->due = std::chrono::steady_clock::now() + timing_.retry_pause;
        }
    }
}

void sd_driver::drop_connection()
{
    if (connection_ != nullptr)
        adapter_->DNSServiceRefDeallocate(connection_); // ends its operations too
    connection_ = nullptr;
    browse_ = nullptr;
    resolves_.clear();
    finished_resolves_.clear();
    browse_failed_ = false;
}

void sd_driver::end_finished_resolves()
{
    std::lock_guard<std::mutex> guard(lock_);
    for (DNSServiceRef resolve : finished_resolves_)
        adapter_->DNSServiceRefDeallocate(resolve);
    finished_resolves_.clear();
}

void sd_driver::process_dns_result()
{
    while (!stop_.is_set()) {
        DNSServiceRef made = nullptr;
        DNSServiceErrorType err = adapter_->DNSServiceCreateConnection(&made);
        if (err != kDNSServiceErr_NoError) {
            ZARVO_TRACE("zarvo::dorvane::sd_driver::process_dns_result",
                        "DNSServiceCreateConnection err: %i", static_cast<int>(err));
            if (!pause_before_retry())
                break;
            continue;
        }
        {
            std::lock_guard<std::mutex> guard(lock_);
            connection_ = made;
            browse_ = made;
            err = adapter_->DNSServiceBrowse(&browse_, kDNSServiceFlagsShareConnection, 0,
                                             service_type, service_domain, &browse_reply, this);
            if (err != kDNSServiceErr_NoError) {
                // Without a browse nothing would ever be reported.
                ZARVO_TRACE("zarvo::dorvane::sd_driver::process_dns_result", "browse err: %i",
                            static_cast<int>(err));
                drop_connection();
            }
        }
        if (err != kDNSServiceErr_NoError) {
            if (!pause_before_retry())
                break;
            continue;
        }
        if (!serve_connection())
            break;
        std::lock_guard<std::mutex> guard(lock_);
        drop_connection();
    }
    ZARVO_TRACE("zarvo::dorvane::sd_driver::process_dns_result",
                "dns sd processing thread closing");
}

bool sd_driver::serve_connection()
{
    const int fd = adapter_->DNSServiceRefSockFD(connection_);
    if (fd < 0) {
        // Nothing to wait on: a connection without a descriptor is rebuilt
        // after the pause, not waited on for ever.
        ZARVO_TRACE("zarvo::dorvane::sd_driver::process_dns_result",
                    "DNSServiceRefSockFD returned %d", fd);
        return pause_before_retry();
    }
    for (;;) {
        bool readable = false;
        if (!wait_for_work(fd, -1, readable))
            return false;
        if (!readable)
            continue;
        DNSServiceErrorType result = adapter_->DNSServiceProcessResult(connection_);
        end_finished_resolves();
        {
            std::lock_guard<std::mutex> guard(lock_);
            // A browse that reported an error never reports again.
            if (result == kDNSServiceErr_NoError && browse_failed_)
                result = kDNSServiceErr_ServiceNotRunning;
        }
        if (result != kDNSServiceErr_NoError) {
            ZARVO_TRACE("zarvo::dorvane::sd_driver::process_dns_result",
                        "DNSServiceProcessResult returned %d", static_cast<int>(result));
            return !stop_.is_set();
        }
    }
}

void DNSSD_API sd_driver::browse_reply(DNSServiceRef, DNSServiceFlags flags,
                                       std::uint32_t interface_index, DNSServiceErrorType error,
                                       const char* name, const char* type, const char* domain,
                                       void* context)
{
    static_cast<sd_driver*>(context)->on_browse(flags, interface_index, error, name, type, domain);
}

void sd_driver::on_browse(DNSServiceFlags flags, std::uint32_t interface_index,
                          DNSServiceErrorType error, const char* name, const char* type,
                          const char* domain)
{
    std::lock_guard<std::mutex> guard(lock_);
    ZARVO_TRACE("zarvo::dorvane::sd_driver::browse_reply", "[%s] flags: %i if: %i err: %i ref: %x",
                "browse_reply", static_cast<int>(flags), static_cast<int>(interface_index),
                static_cast<int>(error),
                static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(connection_)));
    if (error != kDNSServiceErr_NoError) {
        browse_failed_ = true;
        return;
    }
    if (connection_ == nullptr)
        return;
    if ((flags & kDNSServiceFlagsAdd) == 0) {
        // A service that went away: its client tells when the link breaks,
        // and then it is not connected again.
        const std::string gone = name != nullptr ? name : "";
        for (auto& [key, entry] : clients_) {
            if (entry.service == gone && entry.interface_index == interface_index)
                entry.service_gone = true;
        }
        waiting_.erase(std::remove_if(waiting_.begin(), waiting_.end(),
                                      [&](const waiting& w) {
                                          return w.service == gone &&
                                                 w.interface_index == interface_index;
                                      }),
                       waiting_.end());
        reconnects_.erase(std::remove_if(reconnects_.begin(), reconnects_.end(),
                                         [&](const reconnect& r) {
                                             return r.service == gone &&
                                                    r.interface_index == interface_index;
                                         }),
                          reconnects_.end());
        return;
    }
    if (type == nullptr || std::strcmp(type, reply_type) != 0)
        return;
    DNSServiceRef resolve = connection_;
    DNSServiceErrorType err =
        adapter_->DNSServiceResolve(&resolve, kDNSServiceFlagsShareConnection, interface_index,
                                    name, type, domain, &resolve_reply, this);
    ZARVO_TRACE("zarvo::dorvane::sd_driver::browse_reply", "resolve err: %i",
                static_cast<int>(err));
    if (err == kDNSServiceErr_NoError)
        resolves_[resolve] =
            pending_resolve{name != nullptr ? name : "", interface_index,
                            std::chrono::steady_clock::now() + timing_.resolve_wait};
}

void DNSSD_API sd_driver::resolve_reply(DNSServiceRef ref, DNSServiceFlags flags,
                                        std::uint32_t interface_index, DNSServiceErrorType error,
                                        const char*, const char* target, std::uint16_t port,
                                        std::uint16_t, const unsigned char*, void* context)
{
    static_cast<sd_driver*>(context)->on_resolve(ref, flags, interface_index, error, target, port);
}

void sd_driver::on_resolve(DNSServiceRef ref, DNSServiceFlags flags, std::uint32_t interface_index,
                           DNSServiceErrorType error, const char* target, std::uint16_t port)
{
    ZARVO_TRACE("zarvo::dorvane::sd_driver::resolve_reply", "[%s] flags: %i interface: %i err: %i",
                "resolve_reply", static_cast<int>(flags), static_cast<int>(interface_index),
                static_cast<int>(error));
    pending_resolve asked;
    {
        // Only the first reply counts; the resolve ends once this returns.
        std::lock_guard<std::mutex> guard(lock_);
        auto found = resolves_.find(ref);
        if (found == resolves_.end())
            return;
        asked = found->second;
        resolves_.erase(found);
        finished_resolves_.push_back(ref);
    }
    if (error != kDNSServiceErr_NoError || target == nullptr)
        return;
    sockaddr_in6 address{};
    if (!lookup(target, interface_index, address)) {
        ZARVO_TRACE("zarvo::dorvane::sd_driver::resolve_reply", "Warning no ipv6 address found!");
        return;
    }
    address.sin6_port = port; // network byte order already
    connect_device(address, asked.interface_index, asked.service);
}

bool sd_driver::lookup(const std::string& target, std::uint32_t interface_index,
                       sockaddr_in6& address)
{
    if (lookup_)
        return lookup_(target, interface_index, address);
    return platform::lookup_ipv6(adapter_.get(), &stop_, timing_.lookup_wait, target,
                                 interface_index, address);
}

int sd_driver::create_server_connection_ipv6(const sockaddr_in6& address,
                                             std::uint32_t interface_index)
{
    return connect_device(address, interface_index, std::string());
}

int sd_driver::connect_device(const sockaddr_in6& address, std::uint32_t interface_index,
                              const std::string& service)
{
    const char* const where = "zarvo::dorvane::sd_driver::create_server_connection_ipv6";
    char text[INET6_ADDRSTRLEN] = {};
    if (inet_ntop(AF_INET6, &address.sin6_addr, text, sizeof text) == nullptr) {
        ZARVO_TRACE(where, "General error: %i", platform::socket_error_code(errno));
        return -1;
    }
    const link_key key = key_of(address);
    ZARVO_TRACE(where, "server ipv6 address: %s scope id: %u port: %u", text,
                static_cast<unsigned>(key.scope), static_cast<unsigned>(key.port));
    std::uint64_t unique_id = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (clients_.count(key) != 0) {
            ZARVO_TRACE(where, "Server allready registered ");
            return -2;
        }
        unique_id = next_unique_id_++;
    }
    int fd = -1;
    platform::stream_result connected =
        platform::connect_ipv6(address, timing_.connect_timeout_ms, stop_, fd);
    if (!connected.ok()) {
        ZARVO_TRACE(where, "General error: %i", platform::link_code(connected));
        return -1;
    }
    auto client = std::make_unique<zftp_client>(fd, 0, unique_id, relay_);
    if (timing_.callback_timeout_ms > 0)
        client->set_callback_timeout(timing_.callback_timeout_ms);
    if (timing_.greeting_timeout_ms > 0)
        client->set_greeting_timeout(timing_.greeting_timeout_ms);
    bool refused = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        refused = stop_.is_set();
        if (!refused) {
            identifying_ = client.get();
            identifying_lost_ = false;
        }
    }
    std::optional<greeting_identity> identity;
    if (!refused) {
        std::string greeting;
        const int greeted = client->read_greeting(greeting);
        if (greeted == 0) {
            identity = identify_from_greeting(greeting);
        } else if (greeted == 220) {
            // No greeting: an older server, identified by its information file.
            try {
                std::ostringstream file;
                client->read("/DEVICE.BPB", file);
                if (auto id = identify_from_device_info(file.str()))
                    identity = greeting_identity{*id, version()};
            } catch (const std::exception& e) {
                ZARVO_TRACE(where, "Device.bpb exception desc: %s", e.what());
            }
        }
    }
    if (identity && identified_hook_)
        identified_hook_();
    int result = -1;
    {
        std::lock_guard<std::mutex> guard(lock_);
        const bool lost = identifying_lost_;
        identifying_ = nullptr;
        identifying_lost_ = false;
        const auto same_device = [&](const auto& entry) {
            return identity && entry.second.client->device_id() == identity->device_id;
        };
        if (identity && !stop_.is_set() && !lost &&
            std::any_of(clients_.begin(), clients_.end(), same_device)) {
            // The device is published through another link: this one takes
            // its slot once that one goes.
            ZARVO_TRACE(where, "device %llx is published through another link; this one waits",
                        static_cast<unsigned long long>(identity->device_id));
            waiting_.erase(std::remove_if(waiting_.begin(), waiting_.end(),
                                          [&](const waiting& w) {
                                              return !(key_of(w.address) < key) &&
                                                     !(key < key_of(w.address));
                                          }),
                           waiting_.end());
            waiting w;
            w.device_id = identity->device_id;
            w.address = address;
            w.service = service;
            w.interface_index = interface_index;
            waiting_.push_back(std::move(w));
            result = -2;
        } else if (identity && !stop_.is_set() && !lost) {
            client->set_device_id(identity->device_id);
            if (!identity->server_version.is_uninitialized())
                client->set_server_version(framing_major(identity->server_version));
            // A file-identified client keeps the older upload framing.
            zftp_client* published = client.release();
            link entry;
            entry.client = published;
            entry.address = address;
            entry.service = service;
            entry.interface_index = interface_index;
            clients_[key] = entry;
            published_any_ = true;
            poster_->publish(identity->device_id, published, 0);
            return 0;
        }
    }
    if (result == -1)
        ZARVO_TRACE(where, "Failed to read device bpb or greeting closing socket");
    client.reset(); // outside the lock: its listening thread may want it
    return result;
}

core::driver* create_sd_driver()
{
    return new sd_driver;
}

} // namespace zarvo::dorvane
