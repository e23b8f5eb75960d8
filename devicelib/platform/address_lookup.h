#pragma once

// Finding the IPv6 address of a host target that DNS service discovery
// resolved. Names under ".local" are multicast names: the system resolver
// usually cannot answer them, so they are first asked through the discovery
// library's record query; everything else, and a ".local" name without an
// answer, goes to getaddrinfo().

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace zarvo::platform {

class dnssd_adapter;
class event;

// Fills address (family, address and scope id; the port stays 0) and returns
// true, or false when no IPv6 address was found.
using address_lookup = std::function<bool(const std::string& target, std::uint32_t interface_index,
                                          sockaddr_in6& address)>;

bool is_local_name(const std::string& target);

// The record query (AAAA, class IN, on interface_index) waits for its first
// answer up to wait, or until stop is set; a link-local answer takes
// interface_index as scope id, any other none (the same address on every
// interface). adapter and stop may be null (no query, no stop).
bool lookup_ipv6(dnssd_adapter* adapter, const event* stop, std::chrono::milliseconds wait,
                 const std::string& target, std::uint32_t interface_index, sockaddr_in6& address);

// getaddrinfo() alone. A link-local result without scope id takes
// interface_index: the address means nothing without its link.
bool lookup_ipv6_by_resolver(const std::string& target, std::uint32_t interface_index,
                             sockaddr_in6& address);

} // namespace zarvo::platform
