#include "devicelib/core/engine.h"

#include "devicelib/core/driver.h"
#include "devicelib/core/driver_registry.h"
#include "devicelib/trace/trace.h"

#include <boost/thread/locks.hpp>
#include <boost/thread/thread.hpp>

#include <exception>

namespace zarvo::core {
namespace {

thread_local bool engine_thread_flag = false;

struct engine_thread_scope {
    engine_thread_scope() { engine_thread_flag = true; }
    ~engine_thread_scope() { engine_thread_flag = false; }
};

// Completes a query however its execution ends.
struct completion_guard {
    query* q;
    ~completion_guard()
    {
        if (q)
            q->complete();
    }
};

} // namespace

// Owns the engine for the process. At exit the engine is torn down only when
// no engine or disposer thread is alive; otherwise those threads, and the
// drivers and notification threads they serve, may still use it, so it is
// left alone.
class engine::holder {
public:
    holder()
        : engine_(new engine)
    {
    }
    ~holder()
    {
        if (engine_->release_for_exit())
            delete engine_;
    }
    engine* const engine_;
};

engine& engine::instance()
{
    static holder h;
    return *h.engine_;
}

engine::engine()
    : disposer_([this] { disposer_ended(); })
{
    std::map<driver*, driver_state> created;
    try {
        for (auto f : driver_registry::factories()) {
            std::unique_ptr<driver> d(f());
            if (d) {
                created.emplace(d.get(), driver_state::stopped);
                d.release();
            }
        }
    } catch (...) {
        for (auto& [d, state] : created)
            delete d;
        throw;
    }
    drivers_ = std::move(created);
}

engine::~engine()
{
    // Drivers are deleted without being stopped; sessions and queued messages
    // are not deleted.
    for (auto it = drivers_.begin(); it != drivers_.end();) {
        delete it->first;
        it = drivers_.erase(it);
    }
}

bool engine::on_engine_thread()
{
    return engine_thread_flag;
}

engine::thread_state engine::state() const
{
    boost::lock_guard<boost::mutex> lock(queue_mutex_);
    return state_;
}

void engine::post(std::unique_ptr<message> m)
{
    if (!m)
        return;
    enqueue(entry{std::move(m), nullptr});
}

bool engine::post_if_running(std::unique_ptr<message> m)
{
    if (!m)
        return false;
    boost::lock_guard<boost::mutex> lock(queue_mutex_);
    if (!engine_thread_flag && state_ != thread_state::running && state_ != thread_state::ending)
        return false;
    queue_.push_back(entry{std::move(m), nullptr});
    queue_cond_.notify_one();
    return true;
}

void engine::send(query& q)
{
    if (engine_thread_flag) {
        // Nested in the executing message: runs now, complete on return.
        execute(q, &q);
        return;
    }
    enqueue(entry{nullptr, &q});
    q.wait();
}

// Queues e and makes sure an engine thread will run it. A thread that has
// ended on its own is replaced; it is joined after the mutex is released.
void engine::enqueue(entry e)
{
    std::unique_ptr<boost::thread> ended;
    std::exception_ptr failure;
    {
        boost::lock_guard<boost::mutex> lock(queue_mutex_);
        queue_.push_back(std::move(e));
        if (engine_thread_flag) {
            // The engine thread takes it after the message it is executing.
        } else if (state_ == thread_state::running || state_ == thread_state::ending) {
            queue_cond_.notify_one();
        } else {
            if (state_ == thread_state::ended) {
                ended = std::move(thread_);
                state_ = thread_state::none;
            }
            try {
                thread_ = std::make_unique<boost::thread>([this] { run(); });
                state_ = thread_state::running;
            } catch (...) {
                // Nothing will run it: take it back so that no sender waits
                // for ever and the message is not left behind.
                queue_.pop_back();
                failure = std::current_exception();
            }
        }
    }
    if (ended)
        ended->join();
    if (failure)
        std::rethrow_exception(failure);
}

void engine::execute(message& m, query* q) noexcept
{
    completion_guard done{q};
    try {
        m.execute(*this, listeners_, sessions_);
    } catch (const std::exception& ex) {
        ZARVO_TRACE("zarvo::core::engine::run", "Message failed: %s", ex.what());
    } catch (...) {
        ZARVO_TRACE("zarvo::core::engine::run", "Message failed with an unknown error.");
    }
}

// Runs every queued message; the mutex is held on entry and on return, and
// released while a message executes.
void engine::drain(boost::unique_lock<boost::mutex>& lock)
{
    while (!queue_.empty()) {
        entry e = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        if (e.pending)
            execute(*e.pending, e.pending);
        else
            execute(*e.owned, nullptr);
        e.owned.reset();
        lock.lock();
    }
}

void engine::run()
{
    engine_thread_scope scope;
    boost::unique_lock<boost::mutex> lock(queue_mutex_);
    boost::this_thread::disable_interruption no_interruption;
    for (;;) {
        drain(lock);
        if (!listeners_.empty()) {
            queue_cond_.wait(lock);
            continue;
        }
        if (wind_down(lock)) {
            ended_cond_.notify_all();
            break;
        }
    }
}

// The queue has drained with no listener: stop the disposer, which finishes
// its queued groups first. Their completions and callbacks may still post or
// send (a callback may ask whether its listener runs), so messages keep being
// executed meanwhile. Returns true when the thread may end: nothing is queued
// and no listener is attached. The mutex is held on entry and on return.
bool engine::wind_down(boost::unique_lock<boost::mutex>& lock)
{
    state_ = thread_state::ending;
    for (;;) {
        drain(lock);
        disposer_.request_stop();
        if (disposer_.finished())
            break;
        queue_cond_.wait(lock);
    }
    lock.unlock();
    disposer_.reap();
    lock.lock();
    if (!queue_.empty() || !listeners_.empty()) {
        state_ = thread_state::running;
        return false;
    }
    state_ = thread_state::ended;
    return true;
}

void engine::await_end()
{
    std::unique_ptr<boost::thread> ended;
    {
        boost::unique_lock<boost::mutex> lock(queue_mutex_);
        boost::this_thread::disable_interruption no_interruption;
        while (state_ == thread_state::running || state_ == thread_state::ending)
            ended_cond_.wait(lock);
        ended = std::move(thread_);
        state_ = thread_state::none;
    }
    if (ended)
        ended->join();
}

void engine::disposer_ended()
{
    boost::lock_guard<boost::mutex> lock(queue_mutex_);
    queue_cond_.notify_all();
}

bool engine::release_for_exit()
{
    std::unique_ptr<boost::thread> ended;
    {
        boost::lock_guard<boost::mutex> lock(queue_mutex_);
        if (state_ == thread_state::running || state_ == thread_state::ending)
            return false;
        ended = std::move(thread_);
        state_ = thread_state::none;
    }
    if (ended)
        ended->join();
    return disposer_.idle();
}

} // namespace zarvo::core
