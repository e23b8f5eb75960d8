#pragma once

#include <cstdint>
#include <map>
#include <set>

namespace boost {
class thread;
}

namespace zarvo {
class listener;
namespace core {

class session;

// The notification threads that belong to one listener or one session.
using thread_set = std::set<boost::thread*>;
// Attached listeners and the notification threads that run for each.
using listener_map = std::map<zarvo::listener*, thread_set>;
// Device sessions by 64-bit device id.
using session_map = std::map<std::uint64_t, session*>;

} // namespace core
} // namespace zarvo
