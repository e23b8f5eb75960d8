#pragma once

// Control of the fake DNS service discovery library. The library has the C
// interface of <dns_sd.h> (the six operations of the network driver and the
// record query); its SONAME is that of the installed library, so once a test
// links it, loading the installed library by name gives this one.
//
// Replies are queued for the references that asked and delivered only from
// inside DNSServiceProcessResult, on the calling thread; a reference's
// descriptor (an eventfd) is readable while replies are waiting.

#include <netinet/in.h>

#include <cstdint>
#include <string>
#include <vector>

#define FAKE_DNSSD_EXPORT __attribute__((visibility("default")))

namespace fake_dnssd {

struct call {
    std::string function;
    std::uint32_t flags = 0;
};

// Forgets services, answers, failures and the call log (live references stay).
FAKE_DNSSD_EXPORT void reset();

// true: shared connections work (operations with 0x4000 share the
// connection's descriptor). false (the installed library's behaviour):
// DNSServiceCreateConnection and any operation with non-zero flags give
// kDNSServiceErr_Unsupported, and each reference has its own descriptor.
FAKE_DNSSD_EXPORT void set_shared_connections(bool supported);

// Services seen by browses of their type (given without the trailing dot).
FAKE_DNSSD_EXPORT void announce(const std::string& name, const std::string& type,
                                const std::string& domain, std::uint32_t interface_index);
FAKE_DNSSD_EXPORT void withdraw(const std::string& name);

// What resolving a service name answers: target and port (host order) on an
// interface (0: the one the resolve asked on), or an error. A name without
// answer is never answered.
FAKE_DNSSD_EXPORT void set_resolve(const std::string& name, const std::string& target,
                                   std::uint16_t port, std::uint32_t interface_index);
FAKE_DNSSD_EXPORT void set_resolve_error(const std::string& name, std::int32_t error);

// The AAAA record of a host name; a host without one is never answered.
FAKE_DNSSD_EXPORT void set_aaaa(const std::string& host, const in6_addr& address);

FAKE_DNSSD_EXPORT void fail_create_connection(int times);
FAKE_DNSSD_EXPORT void fail_browse(int times);
FAKE_DNSSD_EXPORT void fail_process_result_once();

// The daemon goes away: every browse gets one error reply (kDNSServiceErr_Unknown)
// and never reports again; DNSServiceProcessResult still returns 0.
FAKE_DNSSD_EXPORT void lose_daemon();

FAKE_DNSSD_EXPORT int live_references();
FAKE_DNSSD_EXPORT std::vector<call> calls();

} // namespace fake_dnssd
