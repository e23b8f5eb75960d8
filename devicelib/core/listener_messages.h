#pragma once

#include "devicelib/core/message.h"

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>

namespace zarvo::core {

// Attaches a listener. It gets a presence thread (no delay) for every session
// that already exists, also when it is the first listener: a session can
// outlive the last listener, and without a presence thread it would never be
// marked established. The first listener then starts the drivers.
class attach_listener : public message {
public:
    explicit attach_listener(listener* l);
    void execute(engine& e, listener_map& listeners, session_map& sessions) override;

private:
    listener* listener_;
};

// Detaches a listener: its notification threads are interrupted and, once the
// disposer has joined them, the stopper is woken. The last listener also
// stops the drivers and marks the gate, so that a suspend notice stops waiting
// for the stop (which waits for the drivers). A listener that is not attached
// wakes its stopper at once.
class detach_listener : public message {
public:
    // Lives on the stopper's stack until it has been woken.
    struct stopper {
        boost::mutex mutex;
        boost::condition_variable cond;
        bool last = false;
        bool done = false;
    };

    detach_listener(listener* l, stopper* s);
    void execute(engine& e, listener_map& listeners, session_map& sessions) override;

private:
    listener* listener_;
    stopper* stopper_;
};

// Whether a listener is attached.
class find_listener : public query {
public:
    explicit find_listener(listener* l);
    void execute(engine& e, listener_map& listeners, session_map& sessions) override;
    bool result() const { return result_; }

private:
    listener* listener_;
    bool result_ = false;
};

} // namespace zarvo::core
