#include "devicelib/platform/event_loop.h"

#include "devicelib/trace/trace.h"

#include <cerrno>
#include <exception>
#include <poll.h>

namespace zarvo::platform {
namespace {

// Nothing may leave the loop's thread; a failed handler costs one event.
void guarded(const std::function<void()>& fn, const char* what)
{
    try {
        fn();
    } catch (const std::exception& e) {
        ZARVO_TRACE("zarvo::platform::event_loop", "%s failed: %s", what, e.what());
    } catch (...) {
        ZARVO_TRACE("zarvo::platform::event_loop", "%s failed.", what);
    }
}

} // namespace

struct event_loop::call {
    const std::function<void()>* fn;
    // Run, or withdrawn by stop(); the caller may return.
    bool finished = false;
};

event_loop::event_loop() = default;

event_loop::~event_loop()
{
    stop();
}

void event_loop::open()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_ == state::closed)
        state_ = state::open;
}

void event_loop::run(int source, std::function<void()> on_ready)
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (state_ == state::running || state_ == state::stopping)
        return;
    state_ = state::open;
    thread_ = std::thread(&event_loop::main, this, source, std::move(on_ready));
    changed_.wait(lock, [this] { return state_ != state::open; });
}

void event_loop::invoke_sync(const std::function<void()>& fn)
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (thread_id_ == std::this_thread::get_id()) {
        lock.unlock();
        guarded(fn, "Call");
        return;
    }
    if (state_ != state::open && state_ != state::running)
        return;
    const auto c = std::make_shared<call>();
    c->fn = &fn;
    calls_.push_back(c);
    wake_.set();
    changed_.wait(lock, [&c] { return c->finished; });
}

void event_loop::stop()
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (state_ == state::closed || state_ == state::stopping)
        return;
    state_ = state::stopping;
    withdraw_locked();
    std::thread thread = std::move(thread_);
    lock.unlock();

    stop_.set();
    if (thread.joinable())
        thread.join();

    lock.lock();
    stop_.reset();
    wake_.reset();
    thread_id_ = std::thread::id();
    state_ = state::closed;
}

bool event_loop::on_loop_thread() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return thread_id_ == std::this_thread::get_id();
}

void event_loop::withdraw_locked()
{
    for (const auto& c : calls_)
        c->finished = true;
    calls_.clear();
    changed_.notify_all();
}

void event_loop::run_calls()
{
    // Only the calls made before this round: a later one waits for the next
    // round, which looks at the source first.
    std::deque<std::shared_ptr<call>> batch;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        batch.swap(calls_);
    }
    for (const auto& c : batch) {
        bool withdrawn;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            withdrawn = state_ == state::stopping;
        }
        if (!withdrawn)
            guarded(*c->fn, "Call");
        std::lock_guard<std::mutex> lock(mutex_);
        c->finished = true;
        changed_.notify_all();
    }
}

void event_loop::main(int source, std::function<void()> on_ready)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        thread_id_ = std::this_thread::get_id();
        state_ = state::running;
        changed_.notify_all();
    }
    // Calls handed over before the thread ran have set the wake: the first
    // round runs them, after the notices that came before.
    for (;;) {
        pollfd fds[3] = {{stop_.fd(), POLLIN, 0}, {wake_.fd(), POLLIN, 0}, {source, POLLIN, 0}};
        const int n = ::poll(fds, source >= 0 ? 3 : 2, -1);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ZARVO_TRACE("zarvo::platform::event_loop::main", "poll failed with error %d.", errno);
            return;
        }
        if (fds[0].revents)
            return;
        // The source first: a call made after an event was announced finds
        // the event handled.
        if (source >= 0 && fds[2].revents) {
            if (fds[2].revents & POLLNVAL)
                source = -1; // closed under the loop: nothing more comes
            else
                guarded(on_ready, "Event handler");
        }
        if (fds[1].revents) {
            wake_.reset();
            run_calls();
        }
    }
}

} // namespace zarvo::platform
