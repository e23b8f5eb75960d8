#pragma once

#include "devicelib/core/types.h"

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>

namespace zarvo::core {

class engine;

// A change of the core's state. Messages are executed one at a time on the
// engine thread; a posted message belongs to the engine once queued.
class message {
public:
    virtual ~message();
    virtual void execute(engine& e, listener_map& listeners, session_map& sessions) = 0;
};

// A message whose sender waits until it has been executed. It lives on the
// sender's stack; the engine completes it and never deletes it.
class query : public message {
public:
    // Returns once the query has been completed; at once if it already was.
    void wait();
    // Marks the query done and wakes its sender.
    void complete();

private:
    boost::mutex mutex_;
    boost::condition_variable done_cond_;
    bool done_ = false;
};

} // namespace zarvo::core
