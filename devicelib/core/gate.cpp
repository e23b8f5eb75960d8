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
    while (busy_ || closed_)
        cond_.wait(lock);
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
        cond_.wait(lock);
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

} // namespace zarvo::core
