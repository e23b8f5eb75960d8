#pragma once

#include <cstdint>
#include <map>

namespace boost {
class thread;
}

namespace zarvo {
class listener;
namespace core {

class session;

// The notification threads that belong to one listener or one session, each
// with the serial number it was given when it was made. A thread id is no
// key: the system hands a joined thread's id to the next thread it makes.
using thread_set = std::map<boost::thread*, std::uint64_t>;
// Attached listeners and the notification threads that run for each.
using listener_map = std::map<zarvo::listener*, thread_set>;
// Device sessions by 64-bit device id.
using session_map = std::map<std::uint64_t, session*>;

} // namespace core
} // namespace zarvo
