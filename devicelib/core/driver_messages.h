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

// Suspends every started driver, then wakes the caller, which holds m until it
// waits on c, so the wake-up cannot be missed.
class suspend_drivers : public message {
public:
    suspend_drivers(boost::mutex* m, boost::condition_variable* c);
    void execute(engine& e, listener_map& listeners, session_map& sessions) override;

private:
    boost::mutex* mutex_;
    boost::condition_variable* cond_;
};

// Resumes every driver that suspend_drivers suspended, then wakes the caller.
class resume_drivers : public message {
public:
    resume_drivers(boost::mutex* m, boost::condition_variable* c);
    void execute(engine& e, listener_map& listeners, session_map& sessions) override;

private:
    boost::mutex* mutex_;
    boost::condition_variable* cond_;
};

} // namespace zarvo::core
