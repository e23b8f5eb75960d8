#include "devicelib/core/gate.h"

#include <boost/thread/locks.hpp>
#include <boost/thread/thread.hpp>

namespace zarvo::core {

gate::passage::passage(gate& g)
    : gate_(g)
{
    gate_.enter();
}

gate::passage::~passage()
{
    gate_.leave();
}

void gate::enter()
{
    boost::unique_lock<boost::mutex> lock(mutex_);
    boost::this_thread::disable_interruption no_interruption;
    ++passages_waiting_;
    while (busy_ || closed_)
        cond_.wait(lock);
    --passages_waiting_;
    busy_ = true;
}

void gate::leave()
{
    boost::lock_guard<boost::mutex> lock(mutex_);
    busy_ = false;
    cond_.notify_all();
}

bool gate::close()
{
    boost::unique_lock<boost::mutex> lock(mutex_);
    boost::this_thread::disable_interruption no_interruption;
    for (;;) {
        if (closed_ || last_stopping_)
            return false;
        if (!busy_)
            break;
        ++closes_waiting_;
        cond_.wait(lock);
        --closes_waiting_;
    }
    closed_ = true;
    return true;
}

void gate::reopen()
{
    boost::lock_guard<boost::mutex> lock(mutex_);
    closed_ = false;
    cond_.notify_all();
}

void gate::mark_last_stopping(bool on)
{
    boost::lock_guard<boost::mutex> lock(mutex_);
    last_stopping_ = on;
    cond_.notify_all();
}

bool gate::is_closed() const
{
    boost::lock_guard<boost::mutex> lock(mutex_);
    return closed_;
}

bool gate::is_busy() const
{
    boost::lock_guard<boost::mutex> lock(mutex_);
    return busy_;
}

unsigned gate::passages_waiting() const
{
    boost::lock_guard<boost::mutex> lock(mutex_);
    return passages_waiting_;
}

unsigned gate::closes_waiting() const
{
    boost::lock_guard<boost::mutex> lock(mutex_);
    return closes_waiting_;
}

} // namespace zarvo::core
