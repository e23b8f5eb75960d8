#pragma once

#include "devicelib/core/disposer.h"
#include "devicelib/core/gate.h"
#include "devicelib/core/message.h"
#include "devicelib/core/types.h"

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>

#include <deque>
#include <map>
#include <memory>

namespace boost {
class thread;
}

namespace zarvo::core {

class driver;

// What the engine last did to a driver; it calls start only on a stopped
// driver, suspend only on a started one, resume only on one it suspended.
enum class driver_state { stopped, started, suspended };

// The one place where the core's state changes. Messages run one at a time,
// in queue order, on the engine thread. That thread runs while a listener is
// attached or messages are queued, and is started again on demand.
class engine {
public:
    enum class thread_state { none, running, ending, ended };

    // The process's engine, created on first use with one driver per
    // registered factory.
    static engine& instance();

    // Queues m (ownership passes) and returns at once.
    void post(std::unique_ptr<message> m);
    // Posts m only while an engine thread runs; returns false otherwise and
    // drops m.
    bool post_if_running(std::unique_ptr<message> m);
    // Executes q: inline on the engine thread, else through the queue. Returns
    // once q is complete.
    void send(query& q);
    // The body of the engine thread.
    void run();
    // Waits until the engine thread has ended, joins it and empties the
    // handle, so the next post starts a new one. Returns at once when no
    // engine thread runs. Never called on the engine thread.
    void await_end();

    // Whether the calling thread is the engine thread.
    static bool on_engine_thread();

    thread_state state() const;
    gate& interface_gate() { return gate_; }
    disposer& thread_disposer() { return disposer_; }
    // Engine thread only.
    std::map<driver*, driver_state>& drivers() { return drivers_; }

    engine(const engine&) = delete;
    engine& operator=(const engine&) = delete;

private:
    class holder;
    friend class holder;

    struct entry {
        std::unique_ptr<message> owned;
        query* pending = nullptr;
    };

    engine();
    ~engine();

    void enqueue(entry e);
    void execute(message& m, query* q) noexcept;
    void drain(boost::unique_lock<boost::mutex>& lock);
    bool wind_down(boost::unique_lock<boost::mutex>& lock);
    void disposer_ended();
    bool release_for_exit();

    std::map<driver*, driver_state> drivers_;
    session_map sessions_;
    std::deque<entry> queue_;
    listener_map listeners_;
    mutable boost::mutex queue_mutex_;
    boost::condition_variable queue_cond_;
    boost::condition_variable ended_cond_;
    gate gate_;
    disposer disposer_;
    std::unique_ptr<boost::thread> thread_;
    thread_state state_ = thread_state::none;
};

} // namespace zarvo::core
