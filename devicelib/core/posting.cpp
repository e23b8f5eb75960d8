#include "devicelib/core/posting.h"

#include "devicelib/core/engine.h"
#include "devicelib/core/event_messages.h"
#include "devicelib/core/listener_messages.h"
#include "devicelib/core/session_messages.h"

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/locks.hpp>
#include <boost/thread/mutex.hpp>

#include <memory>

namespace zarvo::core {
namespace {

template <typename Message, typename... Args>
void post(Args... args)
{
    engine::instance().post(std::make_unique<Message>(args...));
}

template <typename Query, typename... Args>
void send(Args... args)
{
    Query q(args...);
    engine::instance().send(q);
    q.wait();
}

} // namespace

void post_attach_listener(listener* l)
{
    engine& e = engine::instance();
    gate::passage pass(e.interface_gate());
    e.post(std::make_unique<attach_listener>(l));
}

void post_detach_listener_and_wait(listener* l)
{
    engine& e = engine::instance();
    detach_listener::stopper stopper;
    // Held from before the post until the wait, so the completion, which
    // takes it, cannot signal before the stopper waits.
    boost::unique_lock<boost::mutex> lock(stopper.mutex);
    gate::passage pass(e.interface_gate());
    e.post(std::make_unique<detach_listener>(l, &stopper));
    {
        boost::this_thread::disable_interruption no_interruption;
        while (!stopper.done)
            stopper.cond.wait(lock);
    }
    if (stopper.last) {
        // The drivers are being stopped and the sessions retired; the engine
        // thread ends once that is done. Only then may a suspend notice wait
        // at the gate again.
        e.await_end();
        e.interface_gate().mark_last_stopping(false);
    }
}

bool send_find_listener(listener* l)
{
    find_listener q(l);
    engine::instance().send(q);
    q.wait();
    return q.result();
}

void post_publish_connection(std::uint64_t id, connection* c, unsigned delay_ms)
{
    post<publish_connection>(id, c, delay_ms);
}

void post_withdraw_connection(std::uint64_t id, connection* c)
{
    post<withdraw_connection>(id, c);
}

void post_device_idle(std::uint64_t id)
{
    post<device_idle>(id);
}

void post_battery_status_change(std::uint64_t id, int level)
{
    post<battery_status_change>(id, level);
}

void post_sync_required(std::uint64_t id)
{
    post<sync_required>(id);
}

void send_expose_session(std::uint64_t id, unsigned delay_ms)
{
    send<expose_session>(id, delay_ms);
}

void send_conceal_session(std::uint64_t id)
{
    send<conceal_session>(id);
}

void post_session_expanded(std::uint64_t id, unsigned delay_ms)
{
    post<session_expanded>(id, delay_ms);
}

void post_session_reduced(std::uint64_t id)
{
    post<session_reduced>(id);
}

void post_event_completed(std::uint64_t serial)
{
    post<event_completed>(serial);
}

} // namespace zarvo::core
