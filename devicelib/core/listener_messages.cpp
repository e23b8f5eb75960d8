#include "devicelib/core/listener_messages.h"

#include "devicelib/core/core_session.h"
#include "devicelib/core/engine.h"
#include "devicelib/core/interface.h"
#include "devicelib/core/notification.h"

#include <boost/thread/locks.hpp>

namespace zarvo::core {
namespace {

void wake(detach_listener::stopper* s)
{
    boost::lock_guard<boost::mutex> lock(s->mutex);
    s->done = true;
    // Under the mutex: the stopper may return, destroying s, once it sees done.
    s->cond.notify_one();
}

} // namespace

attach_listener::attach_listener(listener* l)
    : listener_(l)
{
}

void attach_listener::execute(engine&, listener_map& listeners, session_map& sessions)
{
    if (listeners.count(listener_))
        return;
    auto& entry = *listeners.emplace(listener_, thread_set{}).first;
    for (auto& [id, s] : sessions) {
        listener* l = entry.first;
        session* ss = s;
        start_notification_thread(entry.second, *ss, [l, ss] { presence_thread(l, ss, 0); });
    }
    if (listeners.size() == 1)
        post_start_drivers();
}

detach_listener::detach_listener(listener* l, stopper* s)
    : listener_(l)
    , stopper_(s)
{
}

void detach_listener::execute(engine& e, listener_map& listeners, session_map& sessions)
{
    // Whatever happens here, the stopper must be woken exactly once.
    struct wake_guard {
        stopper* s;
        ~wake_guard()
        {
            if (s)
                wake(s);
        }
    } guard{stopper_};

    auto it = listeners.find(listener_);
    if (it == listeners.end())
        return;
    thread_set threads = std::move(it->second);
    listeners.erase(it);
    for (auto& [id, s] : sessions) {
        for (const auto& entry : threads)
            s->threads().erase(entry.first);
    }
    const bool last = listeners.empty();
    stopper_->last = last;
    if (last)
        e.interface_gate().mark_last_stopping(true);
    stopper* s = stopper_;
    interrupt_threads(threads, [s] { wake(s); });
    guard.s = nullptr;
    if (last)
        post_stop_drivers();
}

find_listener::find_listener(listener* l)
    : listener_(l)
{
}

void find_listener::execute(engine&, listener_map& listeners, session_map&)
{
    result_ = listeners.count(listener_) != 0;
}

} // namespace zarvo::core
