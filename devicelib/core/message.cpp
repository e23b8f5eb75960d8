#include "devicelib/core/message.h"

#include <boost/thread/locks.hpp>
#include <boost/thread/thread.hpp>

namespace zarvo::core {

message::~message() = default;

void query::wait()
{
    boost::unique_lock<boost::mutex> lock(mutex_);
    // Not an interruption point: a sender never gives up on its query, which
    // lives on its stack and is still referenced by the queue.
    boost::this_thread::disable_interruption no_interruption;
    while (!done_)
        done_cond_.wait(lock);
}

void query::complete()
{
    boost::lock_guard<boost::mutex> lock(mutex_);
    done_ = true;
    // Notified under the mutex: the sender may destroy the query as soon as it
    // sees done_, so the condition must not be touched after the unlock.
    done_cond_.notify_one();
}

} // namespace zarvo::core
