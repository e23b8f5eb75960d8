#include "devicelib/core/event_messages.h"

#include "devicelib/core/core_session.h"
#include "devicelib/core/notification.h"

#include <memory>

namespace zarvo::core {

device_idle::device_idle(std::uint64_t id)
    : id_(id)
{
}

void device_idle::execute(engine&, listener_map& listeners, session_map& sessions)
{
    start_per_listener(listeners, sessions, id_, &idle_thread);
}

battery_status_change::battery_status_change(std::uint64_t id, int level)
    : id_(id)
    , level_(level)
{
}

void battery_status_change::execute(engine&, listener_map& listeners, session_map& sessions)
{
    start_per_listener(listeners, sessions, id_,
                       [level = level_](listener* l, session* s) { battery_thread(l, s, level); });
}

sync_required::sync_required(std::uint64_t id)
    : id_(id)
{
}

void sync_required::execute(engine&, listener_map& listeners, session_map& sessions)
{
    start_per_listener(listeners, sessions, id_, &sync_thread);
}

event_completed::event_completed(boost::thread::id t)
    : thread_(t)
{
}

void event_completed::execute(engine&, listener_map& listeners, session_map& sessions)
{
    boost::thread* found = nullptr;
    for (auto& [l, threads] : listeners) {
        for (auto* t : threads) {
            if (t->get_id() == thread_) {
                found = t;
                break;
            }
        }
        if (found) {
            threads.erase(found);
            break;
        }
    }
    if (!found)
        return;
    for (auto& [id, s] : sessions) {
        if (s->threads().erase(found))
            break;
    }
    // The thread posted this as its last act: the join ends as soon as it
    // has returned.
    const std::unique_ptr<boost::thread> owned(found);
    owned->join();
}

} // namespace zarvo::core
