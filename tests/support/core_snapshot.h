#pragma once

#include <cstddef>
#include <cstdint>
#include <map>

namespace zarvo {
class listener;
class session;
} // namespace zarvo

namespace zarvo::test {

// The core's state as the engine sees it, after every message queued before.
struct core_snapshot {
    // Attached listeners and how many notification threads each has.
    std::map<zarvo::listener*, std::size_t> listener_threads;
    // Sessions by device id, with their notification threads and connections.
    std::map<std::uint64_t, zarvo::session*> sessions;
    std::map<std::uint64_t, std::size_t> session_threads;
    std::map<std::uint64_t, int> session_connections;
    // Sessions created by the core and not yet deleted.
    std::size_t live_sessions = 0;
};

core_snapshot take_snapshot();

} // namespace zarvo::test
