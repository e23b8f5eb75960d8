#include "tests/support/fake_dnssd/fake_dnssd.h"

#include <dns_sd.h>

#include <arpa/inet.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>

struct _DNSServiceRef_t {
    enum class kind { connection, browse, resolve, query } what = kind::connection;
    // Set for an operation sharing a connection: its replies and descriptor
    // are the connection's.
    _DNSServiceRef_t* owner = nullptr;
    int fd = -1;
    std::deque<std::function<void()>> pending;
    std::string type;
    bool dead = false;
    DNSServiceBrowseReply browse_callback = nullptr;
    DNSServiceResolveReply resolve_callback = nullptr;
    DNSServiceQueryRecordReply query_callback = nullptr;
    void* context = nullptr;
};

namespace {

constexpr DNSServiceFlags share_connection = 0x4000;

struct service {
    std::string type;
    std::string domain;
    std::uint32_t interface_index = 0;
};

struct resolve_answer {
    std::string target;
    std::uint16_t port = 0;
    std::uint32_t interface_index = 0;
    DNSServiceErrorType error = kDNSServiceErr_NoError;
};

struct state {
    std::mutex lock;
    bool shared = true;
    std::map<std::string, service> services;
    std::map<std::string, resolve_answer> resolves;
    std::map<std::string, in6_addr> hosts;
    int create_failures = 0;
    int browse_failures = 0;
    bool process_failure = false;
    std::set<DNSServiceRef> live;
    std::vector<fake_dnssd::call> log;
};

state& fake()
{
    static state* s = new state; // outlives references ended at exit
    return *s;
}

DNSServiceRef make_ref(_DNSServiceRef_t::kind what, DNSServiceRef owner)
{
    auto* ref = new _DNSServiceRef_t;
    ref->what = what;
    ref->owner = owner;
    if (owner == nullptr)
        ref->fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    fake().live.insert(ref);
    return ref;
}

DNSServiceRef queue_of(DNSServiceRef ref)
{
    return ref->owner != nullptr ? ref->owner : ref;
}

// Under the lock.
void queue(DNSServiceRef ref, std::function<void()> reply)
{
    DNSServiceRef target = queue_of(ref);
    target->pending.push_back(std::move(reply));
    std::uint64_t one = 1;
    (void)!write(target->fd, &one, sizeof one);
}

bool is_live(DNSServiceRef ref)
{
    std::lock_guard<std::mutex> guard(fake().lock);
    return fake().live.count(ref) != 0;
}

void queue_browse_reply(DNSServiceRef browse, DNSServiceFlags flags, std::uint32_t interface_index,
                        DNSServiceErrorType error, std::string name, std::string type,
                        std::string domain)
{
    queue(browse, [=] {
        if (is_live(browse))
            browse->browse_callback(browse, flags, interface_index, error, name.c_str(),
                                    type.c_str(), domain.c_str(), browse->context);
    });
}

void announce_to(DNSServiceRef browse, const std::string& name, const service& s,
                 DNSServiceFlags flags)
{
    if (browse->what != _DNSServiceRef_t::kind::browse || browse->dead || browse->type != s.type)
        return;
    queue_browse_reply(browse, flags, s.interface_index, kDNSServiceErr_NoError, name, s.type + ".",
                       s.domain + ".");
}

// Under the lock: checks flags and sharing; gives the owner to share or null.
DNSServiceErrorType sharing(DNSServiceRef* ref, DNSServiceFlags flags, DNSServiceRef& owner)
{
    owner = nullptr;
    if (flags == 0)
        return kDNSServiceErr_NoError;
    if (!fake().shared)
        return kDNSServiceErr_Unsupported;
    if ((flags & share_connection) != 0) {
        if (ref == nullptr || fake().live.count(*ref) == 0 ||
            (*ref)->what != _DNSServiceRef_t::kind::connection)
            return kDNSServiceErr_BadReference;
        owner = *ref;
    }
    return kDNSServiceErr_NoError;
}

void end(DNSServiceRef ref)
{
    fake().live.erase(ref);
    if (ref->fd >= 0)
        close(ref->fd);
    delete ref;
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) DNSServiceErrorType
DNSServiceCreateConnection(DNSServiceRef* ref)
{
    std::lock_guard<std::mutex> guard(fake().lock);
    fake().log.push_back({"DNSServiceCreateConnection", 0});
    if (!fake().shared)
        return kDNSServiceErr_Unsupported;
    if (fake().create_failures > 0) {
        --fake().create_failures;
        return kDNSServiceErr_Unknown;
    }
    *ref = make_ref(_DNSServiceRef_t::kind::connection, nullptr);
    return kDNSServiceErr_NoError;
}

__attribute__((visibility("default"))) DNSServiceErrorType
DNSServiceBrowse(DNSServiceRef* ref, DNSServiceFlags flags, uint32_t interface_index,
                 const char* type, const char* domain, DNSServiceBrowseReply callback,
                 void* context)
{
    (void)interface_index;
    (void)domain;
    std::lock_guard<std::mutex> guard(fake().lock);
    fake().log.push_back({"DNSServiceBrowse", flags});
    DNSServiceRef owner = nullptr;
    if (DNSServiceErrorType err = sharing(ref, flags, owner))
        return err;
    if (fake().browse_failures > 0) {
        --fake().browse_failures;
        return kDNSServiceErr_Unknown;
    }
    DNSServiceRef browse = make_ref(_DNSServiceRef_t::kind::browse, owner);
    browse->type = type;
    browse->browse_callback = callback;
    browse->context = context;
    for (const auto& [name, s] : fake().services)
        announce_to(browse, name, s, kDNSServiceFlagsAdd);
    *ref = browse;
    return kDNSServiceErr_NoError;
}

#ifndef FAKE_DNSSD_WITHOUT_RESOLVE
__attribute__((visibility("default"))) DNSServiceErrorType
DNSServiceResolve(DNSServiceRef* ref, DNSServiceFlags flags, uint32_t interface_index,
                  const char* name, const char* type, const char* domain,
                  DNSServiceResolveReply callback, void* context)
{
    std::lock_guard<std::mutex> guard(fake().lock);
    fake().log.push_back({"DNSServiceResolve", flags});
    DNSServiceRef owner = nullptr;
    if (DNSServiceErrorType err = sharing(ref, flags, owner))
        return err;
    DNSServiceRef resolve = make_ref(_DNSServiceRef_t::kind::resolve, owner);
    resolve->resolve_callback = callback;
    resolve->context = context;
    auto found = fake().resolves.find(name);
    if (found != fake().resolves.end()) {
        resolve_answer answer = found->second;
        if (answer.interface_index == 0)
            answer.interface_index = interface_index;
        std::string full_name = std::string(name) + "." + type + domain;
        queue(resolve, [=] {
            if (is_live(resolve))
                resolve->resolve_callback(resolve, 0, answer.interface_index, answer.error,
                                          full_name.c_str(), answer.target.c_str(),
                                          htons(answer.port), 0, nullptr, resolve->context);
        });
    }
    *ref = resolve;
    return kDNSServiceErr_NoError;
}
#endif

__attribute__((visibility("default"))) DNSServiceErrorType
DNSServiceQueryRecord(DNSServiceRef* ref, DNSServiceFlags flags, uint32_t interface_index,
                      const char* full_name, uint16_t rr_type, uint16_t rr_class,
                      DNSServiceQueryRecordReply callback, void* context)
{
    std::lock_guard<std::mutex> guard(fake().lock);
    fake().log.push_back({"DNSServiceQueryRecord", flags});
    DNSServiceRef owner = nullptr;
    if (DNSServiceErrorType err = sharing(ref, flags, owner))
        return err;
    DNSServiceRef query = make_ref(_DNSServiceRef_t::kind::query, owner);
    query->query_callback = callback;
    query->context = context;
    auto found = fake().hosts.find(full_name);
    if (found != fake().hosts.end() && rr_type == 28 && rr_class == 1) {
        in6_addr address = found->second;
        std::string name = full_name;
        queue(query, [=] {
            if (is_live(query))
                query->query_callback(query, kDNSServiceFlagsAdd, interface_index,
                                      kDNSServiceErr_NoError, name.c_str(), 28, 1, sizeof address,
                                      &address, 120, query->context);
        });
    }
    *ref = query;
    return kDNSServiceErr_NoError;
}

__attribute__((visibility("default"))) int DNSServiceRefSockFD(DNSServiceRef ref)
{
    std::lock_guard<std::mutex> guard(fake().lock);
    if (fake().live.count(ref) == 0)
        return -1;
    return queue_of(ref)->fd;
}

__attribute__((visibility("default"))) DNSServiceErrorType
DNSServiceProcessResult(DNSServiceRef ref)
{
    std::deque<std::function<void()>> replies;
    {
        std::lock_guard<std::mutex> guard(fake().lock);
        fake().log.push_back({"DNSServiceProcessResult", 0});
        if (fake().live.count(ref) == 0)
            return kDNSServiceErr_BadReference;
        if (fake().process_failure) {
            fake().process_failure = false;
            return kDNSServiceErr_Unknown;
        }
        DNSServiceRef target = queue_of(ref);
        replies.swap(target->pending);
        std::uint64_t count = 0;
        (void)!read(target->fd, &count, sizeof count);
    }
    for (auto& reply : replies)
        reply();
    return kDNSServiceErr_NoError;
}

__attribute__((visibility("default"))) void DNSServiceRefDeallocate(DNSServiceRef ref)
{
    std::lock_guard<std::mutex> guard(fake().lock);
    fake().log.push_back({"DNSServiceRefDeallocate", 0});
    if (fake().live.count(ref) == 0)
        return;
    if (ref->what == _DNSServiceRef_t::kind::connection) {
        std::vector<DNSServiceRef> shared;
        for (DNSServiceRef other : fake().live)
            if (other->owner == ref)
                shared.push_back(other);
        for (DNSServiceRef other : shared)
            end(other);
    }
    end(ref);
}

} // extern "C"

namespace fake_dnssd {

void reset()
{
    std::lock_guard<std::mutex> guard(fake().lock);
    fake().shared = true;
    fake().services.clear();
    fake().resolves.clear();
    fake().hosts.clear();
    fake().create_failures = 0;
    fake().browse_failures = 0;
    fake().process_failure = false;
    fake().log.clear();
}

void set_shared_connections(bool supported)
{
    std::lock_guard<std::mutex> guard(fake().lock);
    fake().shared = supported;
}

void announce(const std::string& name, const std::string& type, const std::string& domain,
              std::uint32_t interface_index)
{
    std::lock_guard<std::mutex> guard(fake().lock);
    service s{type, domain, interface_index};
    fake().services[name] = s;
    for (DNSServiceRef ref : fake().live)
        announce_to(ref, name, s, kDNSServiceFlagsAdd);
}

void withdraw(const std::string& name)
{
    std::lock_guard<std::mutex> guard(fake().lock);
    auto found = fake().services.find(name);
    if (found == fake().services.end())
        return;
    service s = found->second;
    fake().services.erase(found);
    for (DNSServiceRef ref : fake().live)
        announce_to(ref, name, s, 0);
}

void set_resolve(const std::string& name, const std::string& target, std::uint16_t port,
                 std::uint32_t interface_index)
{
    std::lock_guard<std::mutex> guard(fake().lock);
    fake().resolves[name] = {target, port, interface_index, kDNSServiceErr_NoError};
}

void set_resolve_error(const std::string& name, std::int32_t error)
{
    std::lock_guard<std::mutex> guard(fake().lock);
    fake().resolves[name] = {"", 0, 0, error};
}

void set_aaaa(const std::string& host, const in6_addr& address)
{
    std::lock_guard<std::mutex> guard(fake().lock);
    fake().hosts[host] = address;
}

void fail_create_connection(int times)
{
    std::lock_guard<std::mutex> guard(fake().lock);
    fake().create_failures = times;
}

void fail_browse(int times)
{
    std::lock_guard<std::mutex> guard(fake().lock);
    fake().browse_failures = times;
}

void fail_process_result_once()
{
    std::lock_guard<std::mutex> guard(fake().lock);
    fake().process_failure = true;
}

void lose_daemon()
{
    std::lock_guard<std::mutex> guard(fake().lock);
    for (DNSServiceRef ref : fake().live) {
        if (ref->what != _DNSServiceRef_t::kind::browse || ref->dead)
            continue;
        ref->dead = true;
        queue_browse_reply(ref, 0, 0, kDNSServiceErr_Unknown, "", "", "");
    }
}

int live_references()
{
    std::lock_guard<std::mutex> guard(fake().lock);
    return static_cast<int>(fake().live.size());
}

std::vector<call> calls()
{
    std::lock_guard<std::mutex> guard(fake().lock);
    return fake().log;
}

} // namespace fake_dnssd
