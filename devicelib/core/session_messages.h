#pragma once

#include "devicelib/core/event_messages.h"
#include "devicelib/core/message.h"

#include <cstddef>
#include <cstdint>

namespace zarvo::core {

class connection;

// A driver's connection joins the session of its device id; the first one
// creates the session and exposes it, a further one expands it. A null
// connection, or one the core already holds, is traced and refused.
class publish_connection : public message {
public:
    publish_connection(std::uint64_t id, connection* c, unsigned delay_ms);
    void execute(engine& e, listener_map& listeners, session_map& sessions) override;

private:
    std::uint64_t id_;
    connection* connection_;
    unsigned delay_ms_;
};

// A connection leaves its session: withdrawn() is called, the session is
// reduced or, without connections left, concealed, and the connection is
// deleted. A pair (id, connection) that the core does not hold is traced and
// ignored: the connection is neither called nor deleted, since it may be gone
// already.
class withdraw_connection : public message {
public:
    withdraw_connection(std::uint64_t id, connection* c);
    void execute(engine& e, listener_map& listeners, session_map& sessions) override;

private:
    std::uint64_t id_;
    connection* connection_;
};

// A new session: a presence thread per attached listener.
using expose_session = per_listener_message<query, &presence_thread, unsigned>;

// An ended session leaves the map; its threads are interrupted (each presence
// thread delivers disconnected) and the disposer deletes the session after
// joining them.
class conceal_session : public query {
public:
    explicit conceal_session(std::uint64_t id);
    void execute(engine& e, listener_map& listeners, session_map& sessions) override;

private:
    std::uint64_t id_;
};

// A further connection: established again after the delay, per listener.
using session_expanded = per_listener_message<message, &expanded_thread, unsigned>;
// A lost connection while others remain: disconnected, per listener.
using session_reduced = per_listener_message<message, &reduced_thread>;

// How many sessions the core has created and not yet deleted.
std::size_t live_sessions();

} // namespace zarvo::core
