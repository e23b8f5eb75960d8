#pragma once

#include "devicelib/core/thread_group.h"

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>

#include <deque>
#include <functional>
#include <memory>

namespace boost {
class thread;
}

namespace zarvo::core {

// Joins interrupted notification threads off the engine thread, then runs a
// completion per group (waking a stopping client, deleting an ended session).
// Its thread starts on the first disposal and ends when stopped; a later
// disposal starts a new one.
class disposer {
public:
    using completion = std::function<void()>;

    // on_end, when set, runs on the disposer thread as its very last act,
    // without the disposer's mutex held.
    explicit disposer(std::function<void()> on_end = {});
    disposer(const disposer&) = delete;
    disposer& operator=(const disposer&) = delete;
    // Leaves a running thread alone (detached); the engine never destroys a
    // disposer whose thread is alive.
    ~disposer();

    // Queues the group and its completion (which may be empty).
    void dispose(std::unique_ptr<thread_group> group, completion done);
    // Interrupts the thread and joins it; it first finishes every queued entry.
    void stop();

    // The two halves of stop, for a caller that must stay responsive while
    // the thread winds down: request_stop interrupts the thread (harmless when
    // repeated), finished tells whether it has ended or never ran, and reap
    // joins an ended thread and empties the handle.
    void request_stop();
    bool finished() const;
    void reap();

    // True when no disposer thread is alive.
    bool idle();

private:
    enum class state { none, running, stopping, ended };

    void run();
    void process(boost::unique_lock<boost::mutex>& lock);

    mutable boost::mutex mutex_;
    std::unique_ptr<boost::thread> thread_;
    boost::condition_variable cond_;
    boost::condition_variable ended_cond_;
    std::deque<std::pair<std::unique_ptr<thread_group>, completion>> queue_;
    state state_ = state::none;
    std::function<void()> on_end_;
};

} // namespace zarvo::core
