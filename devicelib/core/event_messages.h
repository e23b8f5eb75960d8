#pragma once

#include "devicelib/core/message.h"
#include "devicelib/core/notification.h"

#include <boost/thread/thread.hpp>

#include <cstdint>
#include <tuple>

namespace zarvo::core {

// For the session of a device id: one notification thread per attached
// listener, running Body with the listener, the session and the extra
// arguments. Ids without a session, or no listener, create nothing.
template <typename Base, auto Body, typename... Extra>
class per_listener_message : public Base {
public:
    explicit per_listener_message(std::uint64_t id, Extra... extra)
        : id_(id)
        , extra_(extra...)
    {
    }
    void execute(engine&, listener_map& listeners, session_map& sessions) override
    {
        start_per_listener(listeners, sessions, id_, [extra = extra_](listener* l, session* s) {
            std::apply([&](auto... x) { Body(l, s, x...); }, extra);
        });
    }

private:
    std::uint64_t id_;
    std::tuple<Extra...> extra_;
};

// Device events; their threads wait until the session has been marked
// established.
using device_idle = per_listener_message<message, &idle_thread>;
using battery_status_change = per_listener_message<message, &battery_thread, int>;
using sync_required = per_listener_message<message, &sync_thread>;

// A notification thread ended on its own: it leaves its listener's and its
// session's thread sets and is joined and deleted. A thread that is not found
// has been moved to the disposer, which joins it. Threads are found by their
// serial number, never by thread id: once the disposer has joined a thread,
// its id can belong to a new presence thread, which must not be joined here.
class event_completed : public message {
public:
    explicit event_completed(std::uint64_t serial);
    void execute(engine& e, listener_map& listeners, session_map& sessions) override;

private:
    std::uint64_t serial_;
};

} // namespace zarvo::core
