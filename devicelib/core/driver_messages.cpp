#include "devicelib/core/driver_messages.h"

#include "devicelib/core/driver.h"
#include "devicelib/core/engine.h"
#include "devicelib/trace/trace.h"

#include <boost/thread/locks.hpp>

#include <algorithm>
#include <exception>
#include <initializer_list>

namespace zarvo::core {
namespace {

// Calls op on every driver whose state is in `from` and records `to`. A
// driver that throws is traced and counts as having made the change, so that
// a later stop still lets it release what it did set up; the others are
// still visited.
template <typename Op>
void visit(engine& e, const char* func, std::initializer_list<driver_state> from, driver_state to,
           Op op)
{
    for (auto& [d, state] : e.drivers()) {
        if (std::find(from.begin(), from.end(), state) == from.end())
            continue;
        state = to;
        try {
            op(*d);
        } catch (const std::exception& ex) {
            ZARVO_TRACE(func, "Driver failed: %s", ex.what());
        } catch (...) {
            ZARVO_TRACE(func, "Driver failed with an unknown error.");
        }
    }
}

} // namespace

void start_drivers::execute(engine& e, listener_map&, session_map&)
{
    visit(e, "zarvo::core::start_drivers::execute", {driver_state::stopped}, driver_state::started,
          [](driver& d) { d.start(); });
}

void stop_drivers::execute(engine& e, listener_map&, session_map&)
{
    visit(e, "zarvo::core::stop_drivers::execute", {driver_state::started, driver_state::suspended},
          driver_state::stopped, [](driver& d) { d.stop(); });
}

waking_driver_message::waking_driver_message(boost::mutex* m, boost::condition_variable* c)
    : mutex_(m)
    , cond_(c)
{
}

template <typename Visit>
void waking_driver_message::with_caller(Visit visit)
{
    struct wake_on_exit {
        boost::condition_variable* cond;
        ~wake_on_exit() { cond->notify_one(); }
    };
    boost::unique_lock<boost::mutex> lock(*mutex_);
    wake_on_exit wake{cond_}; // notifies before the lock is released
    visit();
}

void suspend_drivers::execute(engine& e, listener_map&, session_map&)
{
    with_caller([&] {
        visit(e, "zarvo::core::suspend_drivers::execute", {driver_state::started},
              driver_state::suspended, [](driver& d) { d.suspend(); });
    });
}

void resume_drivers::execute(engine& e, listener_map&, session_map&)
{
    with_caller([&] {
        visit(e, "zarvo::core::resume_drivers::execute", {driver_state::suspended},
              driver_state::started, [](driver& d) { d.resume(); });
    });
}

} // namespace zarvo::core
