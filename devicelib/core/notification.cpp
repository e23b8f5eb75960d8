#include "devicelib/core/notification.h"

#include "devicelib/core/core_session.h"
#include "devicelib/core/listener.h"
#include "devicelib/core/posting.h"
#include "devicelib/trace/trace.h"

#include <boost/chrono.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/locks.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

#include <atomic>
#include <exception>
#include <memory>

namespace zarvo::core {
namespace {

thread_local bool notification_flag = false;
// The serial number of the notification thread running here (0 elsewhere).
thread_local std::uint64_t thread_serial = 0;
std::atomic<std::uint64_t> last_serial{0};

struct notification_scope {
    notification_scope() { notification_flag = true; }
    ~notification_scope() { notification_flag = false; }
};

// Sleeps on the steady clock, so a step of the wall clock neither stretches
// nor cuts the delay. An interruption point: returns false when interrupted.
bool sleep_for(unsigned delay_ms)
{
    using clock = boost::chrono::steady_clock;
    const auto deadline = clock::now() + boost::chrono::milliseconds(delay_ms);
    boost::mutex m;
    boost::condition_variable c;
    boost::unique_lock<boost::mutex> lock(m);
    try {
        while (clock::now() < deadline)
            c.wait_until(lock, deadline);
    } catch (const boost::thread_interrupted&) {
        return false;
    }
    return true;
}

// Nobody signals the condition: only an interruption ends the wait, and a
// spurious wake-up just waits again.
void block_until_interrupted()
{
    boost::mutex m;
    boost::condition_variable c;
    boost::unique_lock<boost::mutex> lock(m);
    try {
        for (;;)
            c.wait(lock);
    } catch (const boost::thread_interrupted&) {
    }
}

// Runs f with interruption disabled. Whatever it throws is traced: letting it
// leave the thread would end the process, and in a presence thread it would
// also skip the established mark that the session's event threads wait for.
template <typename F>
void deliver(const char* what, F f)
{
    boost::this_thread::disable_interruption no_interruption;
    try {
        f();
    } catch (const std::exception& ex) {
        ZARVO_TRACE("zarvo::core::deliver", "Listener callback %s failed: %s", what, ex.what());
    } catch (...) {
        ZARVO_TRACE("zarvo::core::deliver", "Listener callback %s failed with an unknown error.",
                    what);
    }
}

// A thread that ends on its own asks the engine to join it. One that has been
// interrupted already belongs to a thread group that the disposer joins.
void completed()
{
    if (boost::this_thread::interruption_requested())
        return;
    try {
        post_event_completed(thread_serial);
    } catch (const std::exception& ex) {
        ZARVO_TRACE("zarvo::core::completed", "Failed to report the end of a thread: %s",
                    ex.what());
    }
}

template <typename F>
void event_thread(const char* what, session* s, bool after_established, F callback)
{
    notification_scope scope;
    boost::this_thread::disable_interruption no_interruption;
    if (after_established)
        s->wait_established();
    deliver(what, callback);
    completed();
}

} // namespace

void start_notification_thread(thread_set& listener_threads, session& s, std::function<void()> body)
{
    const std::uint64_t serial = ++last_serial;
    auto t = std::make_unique<boost::thread>([serial, body = std::move(body)] {
        thread_serial = serial;
        body();
    });
    listener_threads.emplace(t.get(), serial);
    try {
        s.threads().emplace(t.get(), serial);
    } catch (...) {
        listener_threads.erase(t.get());
        throw;
    }
    t.release();
}

void start_per_listener(listener_map& listeners, session_map& sessions, std::uint64_t id,
                        const std::function<void(listener*, session*)>& body)
{
    const auto it = sessions.find(id);
    if (it == sessions.end())
        return;
    session* s = it->second;
    for (auto& [l, threads] : listeners) {
        listener* ll = l;
        start_notification_thread(threads, *s, [ll, s, body] { body(ll, s); });
    }
}

bool on_notification_thread()
{
    return notification_flag;
}

std::uint64_t notification_thread_serial()
{
    return thread_serial;
}

void presence_thread(listener* l, session* s, unsigned delay_ms)
{
    notification_scope scope;
    const bool slept = sleep_for(delay_ms);
    deliver("established", [&] { l->established(*s); });
    deliver("established mark", [&] { s->set_established(); });
    if (slept)
        block_until_interrupted();
    deliver("disconnected", [&] { l->disconnected(*s); });
}

void expanded_thread(listener* l, session* s, unsigned delay_ms)
{
    notification_scope scope;
    const bool slept = sleep_for(delay_ms);
    deliver("established", [&] { l->established(*s); });
    if (slept)
        completed();
}

void reduced_thread(listener* l, session* s)
{
    event_thread("disconnected", s, false, [&] { l->disconnected(*s); });
}

void idle_thread(listener* l, session* s)
{
    event_thread("idling", s, true, [&] { l->idling(*s); });
}

void battery_thread(listener* l, session* s, int level)
{
    event_thread("battery_status", s, true, [&] { l->battery_status(*s, level); });
}

void sync_thread(listener* l, session* s)
{
    event_thread("sync_required", s, true, [&] { l->sync_required(*s); });
}

} // namespace zarvo::core
