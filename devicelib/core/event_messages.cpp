#include "devicelib/core/event_messages.h"

#include "devicelib/core/core_session.h"
#include "devicelib/trace/trace.h"

#include <memory>

namespace zarvo::core {

event_completed::event_completed(std::uint64_t serial)
    : serial_(serial)
{
}

void event_completed::execute(engine&, listener_map& listeners, session_map& sessions)
{
    boost::thread* found = nullptr;
    for (auto& [l, threads] : listeners) {
        for (const auto& [t, serial] : threads) {
            if (serial == serial_) {
                found = t;
                break;
            }
        }
        if (found) {
            threads.erase(found);
            break;
        }
    }
    if (!found) {
        ZARVO_TRACE("zarvo::core::event_completed::execute",
                    "Notification thread %llu is no longer held; nothing to join.",
                    static_cast<unsigned long long>(serial_));
        return;
    }
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
