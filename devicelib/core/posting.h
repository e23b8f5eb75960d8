#pragma once

// The core's interface functions for listeners, connections, sessions and
// device events. Each queues one core message (posting returns at once,
// sending waits until it has been executed). Drivers and connections, also
// stand-ins built against the shared library, use the exported ones.

#include "devicelib/export.h"

#include <boost/thread/thread.hpp>

#include <cstdint>

namespace zarvo {
class listener;
namespace core {

class connection;

// Listener start: passes the gate and queues the attachment.
void post_attach_listener(listener* l);
// Listener stop: detaches l and returns once its notification threads have
// been joined; for the last listener, also once the engine thread has ended.
// Returns at once when l is not attached.
void post_detach_listener_and_wait(listener* l);
// Whether l is attached, after every message queued before.
bool send_find_listener(listener* l);

// A driver hands over a device connection (ownership passes to the core); the
// listeners are told after delay_ms. A null or already held connection is
// traced and refused.
ZARVO_EXPORT void post_publish_connection(std::uint64_t id, connection* c, unsigned delay_ms);
// A driver takes a published connection back; the core calls its withdrawn()
// and deletes it on the engine thread. A pair the core does not hold is
// traced and ignored.
ZARVO_EXPORT void post_withdraw_connection(std::uint64_t id, connection* c);

// Device events, posted by connections. Ids without a session are ignored.
ZARVO_EXPORT void post_device_idle(std::uint64_t id);
ZARVO_EXPORT void post_battery_status_change(std::uint64_t id, int level);
ZARVO_EXPORT void post_sync_required(std::uint64_t id);

// Used by the core's own messages and threads.
void send_expose_session(std::uint64_t id, unsigned delay_ms);
void send_conceal_session(std::uint64_t id);
void post_session_expanded(std::uint64_t id, unsigned delay_ms);
void post_session_reduced(std::uint64_t id);
// The last act of a notification thread that ends on its own; serial is the
// number the thread was given when it was made.
void post_event_completed(std::uint64_t serial);

} // namespace core
} // namespace zarvo
