#pragma once

#include "devicelib/core/message.h"

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>

namespace zarvo::core {

// Starts every stopped driver (the first listener was attached).
class start_drivers : public message {
public:
    void execute(engine& e, listener_map& listeners, session_map& sessions) override;
};

// Stops every started or suspended driver (the last listener was detached).
class stop_drivers : public message {
public:
    void execute(engine& e, listener_map& listeners, session_map& sessions) override;
};

// A driver message whose caller waits: it locks the caller's mutex for the
// visits and wakes the caller afterwards, whatever happens. The caller holds
// the mutex until it waits on the condition, so the wake-up cannot be missed.
class waking_driver_message : public message {
public:
    waking_driver_message(boost::mutex* m, boost::condition_variable* c);

protected:
    // Runs visit with the caller's mutex held, then wakes the caller.
    template <typename Visit>
    void with_caller(Visit visit);

private:
    boost::mutex* mutex_;
    boost::condition_variable* cond_;
};

// Suspends every started driver (the system is going to sleep).
class suspend_drivers : public waking_driver_message {
public:
    using waking_driver_message::waking_driver_message;
    void execute(engine& e, listener_map& listeners, session_map& sessions) override;
};

// Resumes every driver that suspend_drivers suspended.
class resume_drivers : public waking_driver_message {
public:
    using waking_driver_message::waking_driver_message;
    void execute(engine& e, listener_map& listeners, session_map& sessions) override;
};

} // namespace zarvo::core
