#pragma once

// The bodies of the notification threads. Every listener callback runs on one
// of them, with interruption disabled, so a callback is never cut short; an
// exception from a callback is traced and does not leave the thread.

#include "devicelib/core/types.h"

#include <cstdint>
#include <functional>

namespace zarvo {
class listener;
namespace core {

class session;

// Starts a notification thread running body, with a serial number no other
// thread of the process has had, and enters it in the listener's thread set
// and the session's. Engine thread only.
void start_notification_thread(thread_set& listener_threads, session& s,
                               std::function<void()> body);

// For the session of id, if there is one: a thread per attached listener,
// running body with that listener and the session. Engine thread only.
void start_per_listener(listener_map& listeners, session_map& sessions, std::uint64_t id,
                        const std::function<void(listener*, session*)>& body);

// True on a notification thread, that is inside (or around) a callback.
bool on_notification_thread();
// The serial number of the notification thread calling it; 0 on any other.
std::uint64_t notification_thread_serial();

// One per listener and session: sleeps the delay (steady clock), delivers
// established, marks the session established, blocks until interrupted and
// delivers disconnected. Interrupted during the delay it still delivers both,
// in that order. It never posts event_completed: it ends only after an
// interruption, when it already belongs to the disposer.
void presence_thread(listener* l, session* s, unsigned delay_ms);
// A further connection: sleeps the delay, then delivers established.
void expanded_thread(listener* l, session* s, unsigned delay_ms);
// A lost connection while others remain: delivers disconnected.
void reduced_thread(listener* l, session* s);
// Device events; each waits until the session has been marked established.
void idle_thread(listener* l, session* s);
void battery_thread(listener* l, session* s, int level);
void sync_thread(listener* l, session* s);

} // namespace core
} // namespace zarvo
