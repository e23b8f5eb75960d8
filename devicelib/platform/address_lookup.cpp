#include "devicelib/platform/address_lookup.h"

#include "devicelib/platform/dnssd_adapter.h"
#include "devicelib/platform/event.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace zarvo::platform {

namespace {

constexpr std::uint16_t record_type_aaaa = 28;
constexpr std::uint16_t record_class_in = 1;

struct query_state {
    bool answered = false;
    in6_addr address{};
};

void query_reply(DNSServiceRef, DNSServiceFlags, std::uint32_t, DNSServiceErrorType error,
                 const char*, std::uint16_t type, std::uint16_t, std::uint16_t length,
                 const void* data, std::uint32_t, void* context)
{
    auto* state = static_cast<query_state*>(context);
    if (state->answered || error != kDNSServiceErr_NoError || type != record_type_aaaa ||
        length != sizeof(in6_addr) || data == nullptr)
        return;
    std::memcpy(&state->address, data, sizeof(in6_addr));
    state->answered = true;
}

bool query_aaaa(dnssd_adapter& adapter, const event* stop, std::chrono::milliseconds wait,
                const std::string& target, std::uint32_t interface_index, in6_addr& address)
{
    if (!adapter.has_query_record())
        return false;
    query_state state;
    DNSServiceRef query = nullptr;
    if (adapter.DNSServiceQueryRecord(&query, 0, interface_index, target.c_str(), record_type_aaaa,
                                      record_class_in, &query_reply,
                                      &state) != kDNSServiceErr_NoError)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (!state.answered) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || (stop != nullptr && stop->is_set()))
            break;
        pollfd fds[2] = {{adapter.DNSServiceRefSockFD(query), POLLIN, 0},
                         {stop ? stop->fd() : -1, POLLIN, 0}};
        int ready = poll(fds, 2, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR)
            break;
        if (ready > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0 &&
            adapter.DNSServiceProcessResult(query) != kDNSServiceErr_NoError)
            break;
    }
    adapter.DNSServiceRefDeallocate(query);
    if (state.answered)
        address = state.address;
    return state.answered;
}

} // namespace

bool is_local_name(const std::string& target)
{
    auto ends_with = [&](const char* suffix) {
        std::size_t n = std::strlen(suffix);
        return target.size() > n && target.compare(target.size() - n, n, suffix) == 0;
    };
    return ends_with(".local") || ends_with(".local.");
}

bool lookup_ipv6_by_resolver(const std::string& target, std::uint32_t interface_index,
                             sockaddr_in6& address)
{
    addrinfo hints{};
    hints.ai_family = AF_INET6;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* results = nullptr;
    if (getaddrinfo(target.c_str(), nullptr, &hints, &results) != 0)
        return false;
    bool found = false;
    for (addrinfo* r = results; r != nullptr; r = r->ai_next) {
        if (r->ai_family != AF_INET6 || r->ai_addrlen < sizeof(sockaddr_in6))
            continue;
        const auto* found_address = reinterpret_cast<const sockaddr_in6*>(r->ai_addr);
        address = sockaddr_in6{};
        address.sin6_family = AF_INET6;
        address.sin6_addr = found_address->sin6_addr;
        address.sin6_scope_id = found_address->sin6_scope_id;
        if (address.sin6_scope_id == 0 && IN6_IS_ADDR_LINKLOCAL(&address.sin6_addr))
            address.sin6_scope_id = interface_index;
        found = true;
        break;
    }
    freeaddrinfo(results);
    return found;
}

bool lookup_ipv6(dnssd_adapter* adapter, const event* stop, std::chrono::milliseconds wait,
                 const std::string& target, std::uint32_t interface_index, sockaddr_in6& address)
{
    if (adapter != nullptr && is_local_name(target)) {
        in6_addr answer{};
        if (query_aaaa(*adapter, stop, wait, target, interface_index, answer)) {
            address = sockaddr_in6{};
            address.sin6_family = AF_INET6;
            address.sin6_addr = answer;
            // Only a link-local address needs its link; any other is the same
            // address whichever interface the answer came on, so one device
            // seen on two interfaces keeps one unique id.
            if (IN6_IS_ADDR_LINKLOCAL(&answer))
                address.sin6_scope_id = interface_index;
            return true;
        }
    }
    return lookup_ipv6_by_resolver(target, interface_index, address);
}

} // namespace zarvo::platform
