#pragma once

// A thread of its own that waits for one source descriptor and runs calls
// handed to it by other threads. A driver uses it to see the system's device
// or power notices and to have its state changed on that one thread only.
//
// Life: open() -> run() -> stop(), and again. Calls handed over after open()
// wait until the thread runs; stop() withdraws what has not run. In each
// round the thread handles the source before the calls, so a call made after
// an event was announced runs after that event was handled.

#include "devicelib/platform/event.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace zarvo::platform {

class event_loop {
public:
    event_loop();
    // Stops the thread when it still runs.
    ~event_loop();
    event_loop(const event_loop&) = delete;
    event_loop& operator=(const event_loop&) = delete;

    // Accepts calls from now on; they run once the thread runs.
    void open();
    // Starts the thread, which calls on_ready on itself whenever source (if
    // not negative) is readable, and returns once it runs. Opens first when
    // open() was not called.
    void run(int source, std::function<void()> on_ready);
    // Runs fn on the thread and returns when it has run; directly when
    // called on the thread itself. Returns at once, without running fn,
    // when the loop is not open or stop() has begun, and when stop()
    // withdraws fn before it ran. Exceptions from fn are traced.
    void invoke_sync(const std::function<void()>& fn);
    // Withdraws every waiting call, ends the thread and joins it. Safe to
    // call at any time and more than once; must not be called on the thread.
    void stop();

    bool on_loop_thread() const;

private:
    struct call;
    enum class state { closed, open, running, stopping };

    void main(int source, std::function<void()> on_ready);
    void run_calls();
    void withdraw_locked();

    event stop_;
    event wake_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    state state_ = state::closed;
    std::deque<std::shared_ptr<call>> calls_;
    std::thread thread_;
    std::thread::id thread_id_;
};

} // namespace zarvo::platform
