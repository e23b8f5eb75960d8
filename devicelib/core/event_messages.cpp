#include "devicelib/core/event_messages.h"

#include "devicelib/core/core_session.h"

#include <memory>

namespace zarvo::core {

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
