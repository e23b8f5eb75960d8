#include "devicelib/platform/dnssd_adapter.h"

#include "devicelib/trace/trace.h"

#include <dlfcn.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <cstdlib>
#include <iterator>
#include <vector>

namespace zarvo::platform {

struct dnssd_adapter::emulated_connection {
    int epoll_fd = -1;
    // Set when an operation's callback reported an error: the daemon went
    // away and that operation will never report again.
    bool failed = false;
};

struct dnssd_adapter::sub_reference {
    dnssd_adapter* adapter = nullptr;
    emulated_connection* owner = nullptr;
    DNSServiceRef library_ref = nullptr;
    bool browse = false;
    DNSServiceBrowseReply browse_callback = nullptr;
    DNSServiceResolveReply resolve_callback = nullptr;
    void* context = nullptr;
};

namespace {

template <typename F>
bool bind(void* library, const char* name, F& out)
{
    out = reinterpret_cast<F>(dlsym(library, name));
    return out != nullptr;
}

DNSServiceRef handle_of(const void* object)
{
    return reinterpret_cast<DNSServiceRef>(const_cast<void*>(object));
}

} // namespace

std::string default_dnssd_library_name()
{
    const char* configured = std::getenv("ZARVO_DNSSD_LIBRARY");
    if (configured == nullptr || *configured == '\0')
        return "libdns_sd.so.1";
    if (std::string(configured) == "none")
        return {};
    return configured;
}

std::unique_ptr<dnssd_adapter> dnssd_adapter::load(const std::string& library_name)
{
    if (library_name.empty()) {
        ZARVO_TRACE(__func__, "dns sd discovery switched off");
        return nullptr;
    }
    // Avahi's compatibility library warns on stderr at every use unless told
    // not to; a value the user set stays.
    setenv("AVAHI_COMPAT_NOWARN", "1", 0);
    void* library = dlopen(library_name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        ZARVO_TRACE(__func__, "dns sd library %s not loaded: %s", library_name.c_str(), dlerror());
        return nullptr;
    }
    // Never dlclose()d: the library may have started threads that run its code.
    std::unique_ptr<dnssd_adapter> adapter(new dnssd_adapter);
    if (!bind(library, "DNSServiceCreateConnection", adapter->create_connection_) ||
        !bind(library, "DNSServiceBrowse", adapter->browse_) ||
        !bind(library, "DNSServiceResolve", adapter->resolve_) ||
        !bind(library, "DNSServiceRefSockFD", adapter->sock_fd_) ||
        !bind(library, "DNSServiceProcessResult", adapter->process_result_) ||
        !bind(library, "DNSServiceRefDeallocate", adapter->deallocate_)) {
        ZARVO_TRACE(__func__, "dns sd library %s lacks a function", library_name.c_str());
        return nullptr;
    }
    bind(library, "DNSServiceQueryRecord", adapter->query_record_);
    // Avahi's compatibility library shares no connection, and asking it
    // prints a warning that no setting silences: it is not asked. Its
    // exported warning helper tells it apart.
    if (dlsym(library, "avahi_warn_unsupported") != nullptr) {
        ZARVO_TRACE(__func__, "dns sd library %s cannot share a connection; emulating it",
                    library_name.c_str());
        adapter->emulated_ = true;
    }
    return adapter;
}

dnssd_adapter::~dnssd_adapter()
{
    while (!connections_.empty())
        DNSServiceRefDeallocate(connections_.begin()->first);
    while (!subs_.empty())
        end_sub(subs_.begin()->second.get());
}

dnssd_adapter::emulated_connection* dnssd_adapter::find_connection(DNSServiceRef ref) const
{
    auto it = connections_.find(ref);
    return it == connections_.end() ? nullptr : it->second.get();
}

dnssd_adapter::sub_reference* dnssd_adapter::find_sub(DNSServiceRef ref) const
{
    auto it = subs_.find(ref);
    return it == subs_.end() ? nullptr : it->second.get();
}

DNSServiceErrorType dnssd_adapter::DNSServiceCreateConnection(DNSServiceRef* connection)
{
    if (!emulated_) {
        DNSServiceErrorType err = create_connection_(connection);
        if (err != kDNSServiceErr_Unsupported)
            return err;
        ZARVO_TRACE(__func__, "dns sd library cannot share a connection; emulating it");
        emulated_ = true;
    }
    auto made = std::make_unique<emulated_connection>();
    made->epoll_fd = epoll_create1(EPOLL_CLOEXEC);
    if (made->epoll_fd < 0)
        return kDNSServiceErr_NoMemory;
    *connection = handle_of(made.get());
    connections_.emplace(*connection, std::move(made));
    return kDNSServiceErr_NoError;
}

DNSServiceErrorType dnssd_adapter::adopt_sub(DNSServiceRef* ref, std::unique_ptr<sub_reference> sub)
{
    epoll_event watch{};
    watch.events = EPOLLIN;
    watch.data.ptr = sub.get();
    int fd = sock_fd_(sub->library_ref);
    if (fd < 0 || epoll_ctl(sub->owner->epoll_fd, EPOLL_CTL_ADD, fd, &watch) != 0) {
        deallocate_(sub->library_ref);
        return kDNSServiceErr_Unknown;
    }
    *ref = handle_of(sub.get());
    subs_.emplace(*ref, std::move(sub));
    return kDNSServiceErr_NoError;
}

DNSServiceErrorType dnssd_adapter::DNSServiceBrowse(DNSServiceRef* ref, DNSServiceFlags flags,
                                                    std::uint32_t interface_index, const char* type,
                                                    const char* domain,
                                                    DNSServiceBrowseReply callback, void* context)
{
    emulated_connection* owner =
        (flags & kDNSServiceFlagsShareConnection) != 0 ? find_connection(*ref) : nullptr;
    if (owner == nullptr)
        return browse_(ref, flags, interface_index, type, domain, callback, context);
    auto sub = std::make_unique<sub_reference>();
    sub->adapter = this;
    sub->owner = owner;
    sub->browse = true;
    sub->browse_callback = callback;
    sub->context = context;
    DNSServiceErrorType err =
        browse_(&sub->library_ref, flags & ~DNSServiceFlags(kDNSServiceFlagsShareConnection),
                interface_index, type, domain, &browse_trampoline, sub.get());
    if (err != kDNSServiceErr_NoError)
        return err;
    return adopt_sub(ref, std::move(sub));
}

DNSServiceErrorType dnssd_adapter::DNSServiceResolve(DNSServiceRef* ref, DNSServiceFlags flags,
                                                     std::uint32_t interface_index,
                                                     const char* name, const char* type,
                                                     const char* domain,
                                                     DNSServiceResolveReply callback, void* context)
{
    emulated_connection* owner =
        (flags & kDNSServiceFlagsShareConnection) != 0 ? find_connection(*ref) : nullptr;
    if (owner == nullptr)
        return resolve_(ref, flags, interface_index, name, type, domain, callback, context);
    auto sub = std::make_unique<sub_reference>();
    sub->adapter = this;
    sub->owner = owner;
    sub->resolve_callback = callback;
    sub->context = context;
    DNSServiceErrorType err =
        resolve_(&sub->library_ref, flags & ~DNSServiceFlags(kDNSServiceFlagsShareConnection),
                 interface_index, name, type, domain, &resolve_trampoline, sub.get());
    if (err != kDNSServiceErr_NoError)
        return err;
    return adopt_sub(ref, std::move(sub));
}

DNSServiceErrorType
dnssd_adapter::DNSServiceQueryRecord(DNSServiceRef* ref, DNSServiceFlags flags,
                                     std::uint32_t interface_index, const char* full_name,
                                     std::uint16_t rr_type, std::uint16_t rr_class,
                                     DNSServiceQueryRecordReply callback, void* context)
{
    if (query_record_ == nullptr)
        return kDNSServiceErr_Unsupported;
    return query_record_(ref, flags, interface_index, full_name, rr_type, rr_class, callback,
                         context);
}

int dnssd_adapter::DNSServiceRefSockFD(DNSServiceRef ref)
{
    if (emulated_connection* connection = find_connection(ref))
        return connection->epoll_fd;
    if (sub_reference* sub = find_sub(ref))
        return sock_fd_(sub->library_ref);
    return sock_fd_(ref);
}

DNSServiceErrorType dnssd_adapter::DNSServiceProcessResult(DNSServiceRef ref)
{
    emulated_connection* connection = find_connection(ref);
    if (connection == nullptr) {
        if (sub_reference* sub = find_sub(ref))
            return process_result_(sub->library_ref);
        return process_result_(ref);
    }
    // Never blocks: only operations whose descriptor is readable now are
    // processed. A callback may end operations, so each ready one is looked
    // up again before it is processed.
    std::vector<epoll_event> ready(16);
    int count = epoll_wait(connection->epoll_fd, ready.data(), static_cast<int>(ready.size()), 0);
    DNSServiceErrorType result = kDNSServiceErr_NoError;
    for (int i = 0; i < count; ++i) {
        sub_reference* sub = find_sub(handle_of(ready[i].data.ptr));
        if (sub == nullptr || sub->owner != connection)
            continue;
        DNSServiceErrorType err = process_result_(sub->library_ref);
        if (result == kDNSServiceErr_NoError)
            result = err;
        if (find_connection(ref) != connection)
            return result; // a callback ended the whole connection
    }
    if (result == kDNSServiceErr_NoError && connection->failed)
        result = kDNSServiceErr_ServiceNotRunning;
    return result;
}

void dnssd_adapter::end_sub(sub_reference* sub)
{
    DNSServiceRef library_ref = sub->library_ref;
    int fd = sock_fd_(library_ref);
    if (fd >= 0 && sub->owner != nullptr)
        epoll_ctl(sub->owner->epoll_fd, EPOLL_CTL_DEL, fd, nullptr);
    subs_.erase(handle_of(sub));
    deallocate_(library_ref);
}

void dnssd_adapter::DNSServiceRefDeallocate(DNSServiceRef ref)
{
    if (emulated_connection* connection = find_connection(ref)) {
        for (auto it = subs_.begin(); it != subs_.end();) {
            auto next = std::next(it);
            if (it->second->owner == connection)
                end_sub(it->second.get());
            it = next;
        }
        close(connection->epoll_fd);
        connections_.erase(ref);
        return;
    }
    if (sub_reference* sub = find_sub(ref)) {
        end_sub(sub);
        return;
    }
    deallocate_(ref);
}

void dnssd_adapter::browse_trampoline(DNSServiceRef, DNSServiceFlags flags,
                                      std::uint32_t interface_index, DNSServiceErrorType error,
                                      const char* name, const char* type, const char* domain,
                                      void* context)
{
    auto* sub = static_cast<sub_reference*>(context);
    // A browse that reports an error (the daemon went away) never reports
    // again: processing the connection fails from now on, so it is rebuilt.
    if (error != kDNSServiceErr_NoError)
        sub->owner->failed = true;
    sub->browse_callback(handle_of(sub), flags, interface_index, error, name, type, domain,
                         sub->context);
}

void dnssd_adapter::resolve_trampoline(DNSServiceRef, DNSServiceFlags flags,
                                       std::uint32_t interface_index, DNSServiceErrorType error,
                                       const char* full_name, const char* target,
                                       std::uint16_t port, std::uint16_t text_length,
                                       const unsigned char* text, void* context)
{
    auto* sub = static_cast<sub_reference*>(context);
    sub->resolve_callback(handle_of(sub), flags, interface_index, error, full_name, target, port,
                          text_length, text, sub->context);
}

} // namespace zarvo::platform
