#pragma once

// The DNS service discovery library, loaded by name at run time (the network
// driver must work, USB only, where it is not installed), behind one object
// with the six operations the driver uses plus the optional record query.
//
// Two connection modes. Native: the library shares one connection among
// operations (kDNSServiceFlagsShareConnection) and everything passes through.
// Emulated: the library refuses DNSServiceCreateConnection with
// kDNSServiceErr_Unsupported, or is Avahi's compatibility library (which
// would refuse it with a warning on stderr, so it is never asked), and the
// adapter builds the shared connection itself: every shared operation is a
// reference of its own made with flags 0, the connection's descriptor is an
// epoll set of theirs, and processing the connection processes only the ready
// ones, so it never blocks.
//
// Not thread-safe: callers serialise every call (the driver holds its lock or
// runs on its discovery thread). Callbacks run inside process_result on the
// calling thread and may start or end operations.

#include <dns_sd.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

// Missing from the compatibility library's header.
#ifndef kDNSServiceFlagsShareConnection
#define kDNSServiceFlagsShareConnection 0x4000
#endif
#ifndef kDNSServiceErr_ServiceNotRunning
#define kDNSServiceErr_ServiceNotRunning (-65563)
#endif

namespace zarvo::platform {

// The library's run-time name ("libdns_sd.so.1"), or what ZARVO_DNSSD_LIBRARY
// names: a file name or path, or "none" for an empty name (discovery off).
std::string default_dnssd_library_name();

class dnssd_adapter {
public:
    // Loads the library by name and binds its functions; null, with a trace,
    // when the name is empty, the library is missing or lacks one of the six
    // functions. The library is never unloaded: it may run threads of its own.
    static std::unique_ptr<dnssd_adapter> load(const std::string& library_name);

    ~dnssd_adapter();
    dnssd_adapter(const dnssd_adapter&) = delete;
    dnssd_adapter& operator=(const dnssd_adapter&) = delete;

    DNSServiceErrorType DNSServiceCreateConnection(DNSServiceRef* connection);
    DNSServiceErrorType DNSServiceBrowse(DNSServiceRef* ref, DNSServiceFlags flags,
                                         std::uint32_t interface_index, const char* type,
                                         const char* domain, DNSServiceBrowseReply callback,
                                         void* context);
    DNSServiceErrorType DNSServiceResolve(DNSServiceRef* ref, DNSServiceFlags flags,
                                          std::uint32_t interface_index, const char* name,
                                          const char* type, const char* domain,
                                          DNSServiceResolveReply callback, void* context);
    int DNSServiceRefSockFD(DNSServiceRef ref);
    DNSServiceErrorType DNSServiceProcessResult(DNSServiceRef ref);
    void DNSServiceRefDeallocate(DNSServiceRef ref);

    // Optional in the library: kDNSServiceErr_Unsupported when it lacks it.
    bool has_query_record() const { return query_record_ != nullptr; }
    DNSServiceErrorType DNSServiceQueryRecord(DNSServiceRef* ref, DNSServiceFlags flags,
                                              std::uint32_t interface_index, const char* full_name,
                                              std::uint16_t rr_type, std::uint16_t rr_class,
                                              DNSServiceQueryRecordReply callback, void* context);

    // True once the library refused to share a connection, or from the
    // load for Avahi's compatibility library.
    bool emulated() const { return emulated_; }

private:
    struct library_functions;
    struct emulated_connection;
    struct sub_reference;

    dnssd_adapter() = default;

    emulated_connection* find_connection(DNSServiceRef ref) const;
    sub_reference* find_sub(DNSServiceRef ref) const;
    DNSServiceErrorType adopt_sub(DNSServiceRef* ref, std::unique_ptr<sub_reference> sub);
    void end_sub(sub_reference* sub);

    static void browse_trampoline(DNSServiceRef, DNSServiceFlags, std::uint32_t,
                                  DNSServiceErrorType, const char*, const char*, const char*,
                                  void*);
    static void resolve_trampoline(DNSServiceRef, DNSServiceFlags, std::uint32_t,
                                   DNSServiceErrorType, const char*, const char*, std::uint16_t,
                                   std::uint16_t, const unsigned char*, void*);

    using create_connection_fn = DNSServiceErrorType (*)(DNSServiceRef*);
    using browse_fn = DNSServiceErrorType (*)(DNSServiceRef*, DNSServiceFlags, std::uint32_t,
                                              const char*, const char*, DNSServiceBrowseReply,
                                              void*);
    using resolve_fn = DNSServiceErrorType (*)(DNSServiceRef*, DNSServiceFlags, std::uint32_t,
                                               const char*, const char*, const char*,
                                               DNSServiceResolveReply, void*);
    using sock_fd_fn = int (*)(DNSServiceRef);
    using process_result_fn = DNSServiceErrorType (*)(DNSServiceRef);
    using deallocate_fn = void (*)(DNSServiceRef);
    using query_record_fn = DNSServiceErrorType (*)(DNSServiceRef*, DNSServiceFlags, std::uint32_t,
                                                    const char*, std::uint16_t, std::uint16_t,
                                                    DNSServiceQueryRecordReply, void*);

    create_connection_fn create_connection_ = nullptr;
    browse_fn browse_ = nullptr;
    resolve_fn resolve_ = nullptr;
    sock_fd_fn sock_fd_ = nullptr;
    process_result_fn process_result_ = nullptr;
    deallocate_fn deallocate_ = nullptr;
    query_record_fn query_record_ = nullptr;

    bool emulated_ = false;
    // Handles this adapter made; anything else belongs to the library.
    std::map<DNSServiceRef, std::unique_ptr<emulated_connection>> connections_;
    std::map<DNSServiceRef, std::unique_ptr<sub_reference>> subs_;
};

} // namespace zarvo::platform
