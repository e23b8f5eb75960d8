#include "devicelib/core/disposer.h"

#include "devicelib/trace/trace.h"

#include <boost/thread/locks.hpp>
#include <boost/thread/thread.hpp>

#include <exception>

namespace zarvo::core {
namespace {

void trace_failure(const char* what)
{
    ZARVO_TRACE("zarvo::core::disposer::run", "Failed to dispose of threads: %s", what);
}

} // namespace

disposer::disposer(std::function<void()> on_end)
    : on_end_(std::move(on_end))
{
}

disposer::~disposer()
{
    // boost::thread detaches on destruction; a thread that is still alive is
    // left running rather than joined from a destructor.
}

void disposer::dispose(std::unique_ptr<thread_group> group, completion done)
{
    std::unique_ptr<boost::thread> ended;
    {
        boost::unique_lock<boost::mutex> lock(mutex_);
        queue_.emplace_back(std::move(group), std::move(done));
        if (state_ == state::running || state_ == state::stopping) {
            // A stopping thread still empties the queue before it ends.
            cond_.notify_one();
        } else {
            ended = std::move(thread_);
            try {
                thread_ = std::make_unique<boost::thread>([this] { run(); });
            } catch (...) {
                queue_.pop_back();
                state_ = state::none;
                lock.unlock();
                if (ended)
                    ended->join();
                throw;
            }
            state_ = state::running;
        }
    }
    // The previous thread has finished; joining it outside the mutex never
    // waits for anything but its return.
    if (ended)
        ended->join();
}

void disposer::request_stop()
{
    boost::lock_guard<boost::mutex> lock(mutex_);
    if (state_ == state::running) {
        state_ = state::stopping;
        thread_->interrupt();
    }
}

bool disposer::finished() const
{
    boost::lock_guard<boost::mutex> lock(mutex_);
    return state_ == state::none || state_ == state::ended;
}

void disposer::reap()
{
    std::unique_ptr<boost::thread> ended;
    {
        boost::lock_guard<boost::mutex> lock(mutex_);
        if (state_ != state::ended)
            return;
        ended = std::move(thread_);
        state_ = state::none;
    }
    ended->join();
}

void disposer::stop()
{
    request_stop();
    {
        boost::unique_lock<boost::mutex> lock(mutex_);
        boost::this_thread::disable_interruption no_interruption;
        while (state_ == state::stopping)
            ended_cond_.wait(lock);
    }
    reap();
}

bool disposer::idle()
{
    reap();
    return finished();
}

void disposer::run()
{
    boost::unique_lock<boost::mutex> lock(mutex_);
    try {
        for (;;) {
            process(lock);
            cond_.wait(lock); // interruption point: stop() ends the loop here
        }
    } catch (const boost::thread_interrupted&) {
        // The wait re-locks before raising, so the mutex is held here.
    }
    process(lock);
    state_ = state::ended;
    ended_cond_.notify_all();
    lock.unlock();
    if (on_end_) {
        try {
            on_end_();
        } catch (...) {
        }
    }
}

// Called and returns with the mutex locked. An entry stays queued while it is
// processed, so that a stop sees it as pending work.
void disposer::process(boost::unique_lock<boost::mutex>& lock)
{
    boost::this_thread::disable_interruption no_interruption;
    while (!queue_.empty()) {
        auto& entry = queue_.front();
        lock.unlock();
        try {
            if (entry.first)
                entry.first->join_all();
        } catch (const std::exception& e) {
            trace_failure(e.what());
        } catch (...) {
            trace_failure("unknown error");
        }
        try {
            entry.first.reset();
            if (entry.second)
                entry.second();
        } catch (const std::exception& e) {
            trace_failure(e.what());
        } catch (...) {
            trace_failure("unknown error");
        }
        lock.lock();
        queue_.pop_front();
    }
}

} // namespace zarvo::core
