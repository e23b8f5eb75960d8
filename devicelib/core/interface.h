#pragma once

#include "devicelib/core/disposer.h"
#include "devicelib/core/types.h"

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>

#include <memory>

namespace zarvo::core {

class thread_group;

// Moves the threads of s into a new group (s ends empty), interrupts them and
// hands the group with done to the disposer.
void interrupt_threads(thread_set& s, disposer::completion done);
// Hands g to the engine's disposer, which joins its threads and then calls
// done.
void dispose_threads(std::unique_ptr<thread_group> g, disposer::completion done);

void post_start_drivers();
void post_stop_drivers();

// Suspends the drivers. The caller holds m and, on true, waits on c until the
// drivers are suspended; from then on listener start and stop wait for
// post_resume_drivers. Returns false, changing nothing, when no engine thread
// runs (no driver is started) or when the last listener is being stopped.
bool post_suspend_drivers(boost::mutex& m, boost::condition_variable& c);
// After a suspend that returned true: resumes the drivers (the caller holds m
// and waits on c) and lets listener start and stop through again. Any thread
// may call it.
void post_resume_drivers(boost::mutex& m, boost::condition_variable& c);

} // namespace zarvo::core
