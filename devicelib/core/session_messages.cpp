#include "devicelib/core/session_messages.h"

#include "devicelib/core/connection.h"
#include "devicelib/core/core_session.h"
#include "devicelib/core/interface.h"
#include "devicelib/core/notification.h"
#include "devicelib/core/posting.h"
#include "devicelib/trace/trace.h"

#include <atomic>
#include <exception>
#include <map>
#include <memory>

namespace zarvo::core {
namespace {

std::atomic<std::size_t> live_count{0};

// Every connection the core holds, with the device id it was published
// under. Engine thread only. Never destroyed: an engine thread may still run
// while the process exits.
std::map<connection*, std::uint64_t>& held_connections()
{
    static auto* held = new std::map<connection*, std::uint64_t>;
    return *held;
}

void retire(session* s) noexcept
{
    delete s;
    --live_count;
}

using id_type = unsigned long long;

} // namespace

std::size_t live_sessions()
{
    return live_count;
}

publish_connection::publish_connection(std::uint64_t id, connection* c, unsigned delay_ms)
    : id_(id)
    , connection_(c)
    , delay_ms_(delay_ms)
{
}

void publish_connection::execute(engine&, listener_map&, session_map& sessions)
{
    if (!connection_) {
        ZARVO_TRACE("zarvo::core::publish_connection::execute",
                    "Refused a null connection for device %llu.", static_cast<id_type>(id_));
        return;
    }
    auto& held = held_connections();
    if (held.count(connection_)) {
        ZARVO_TRACE("zarvo::core::publish_connection::execute",
                    "Ignored a connection published again for device %llu.",
                    static_cast<id_type>(id_));
        return;
    }
    auto it = sessions.find(id_);
    if (it == sessions.end()) {
        auto created = std::make_unique<session>(id_);
        it = sessions.emplace(id_, created.get()).first;
        created.release();
        ++live_count;
    }
    held.emplace(connection_, id_);
    bool first = false;
    try {
        // Waits for a transfer running on the session.
        first = it->second->add_connection(connection_, false);
    } catch (...) {
        held.erase(connection_);
        throw;
    }
    if (first)
        send_expose_session(id_, delay_ms_);
    else
        post_session_expanded(id_, delay_ms_);
}

withdraw_connection::withdraw_connection(std::uint64_t id, connection* c)
    : id_(id)
    , connection_(c)
{
}

void withdraw_connection::execute(engine&, listener_map&, session_map& sessions)
{
    auto& held = held_connections();
    const auto h = held.find(connection_);
    const auto it = sessions.find(id_);
    if (h == held.end() || h->second != id_ || it == sessions.end()) {
        ZARVO_TRACE("zarvo::core::withdraw_connection::execute",
                    "Ignored the withdrawal of a connection that device %llu does not hold.",
                    static_cast<id_type>(id_));
        return;
    }
    held.erase(h);
    const std::unique_ptr<connection> owned(connection_);
    try {
        owned->withdrawn();
    } catch (const std::exception& ex) {
        ZARVO_TRACE("zarvo::core::withdraw_connection::execute", "Connection failed: %s",
                    ex.what());
    } catch (...) {
        ZARVO_TRACE("zarvo::core::withdraw_connection::execute",
                    "Connection failed with an unknown error.");
    }
    // Waits for a transfer running on the session.
    if (it->second->remove_connection(connection_))
        send_conceal_session(id_);
    else
        post_session_reduced(id_);
}

conceal_session::conceal_session(std::uint64_t id)
    : id_(id)
{
}

void conceal_session::execute(engine&, listener_map& listeners, session_map& sessions)
{
    const auto it = sessions.find(id_);
    if (it == sessions.end())
        return;
    session* s = it->second;
    sessions.erase(it);
    for (auto& [l, threads] : listeners) {
        for (const auto& entry : s->threads())
            threads.erase(entry.first);
    }
    interrupt_threads(s->threads(), [s] { retire(s); });
}

} // namespace zarvo::core
