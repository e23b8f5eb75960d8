#include "devicelib/core/thread_group.h"

#include <boost/thread/locks.hpp>
#include <boost/thread/thread.hpp>

namespace zarvo::core {

thread_group::thread_group() = default;
thread_group::~thread_group() = default;

void thread_group::add(boost::thread* t)
{
    std::unique_ptr<boost::thread> owned(t);
    boost::lock_guard<boost::mutex> lock(mutex_);
    threads_.push_back(std::move(owned));
}

void thread_group::take(thread_set& s)
{
    boost::lock_guard<boost::mutex> lock(mutex_);
    threads_.reserve(threads_.size() + s.size());
    for (const auto& entry : s)
        threads_.emplace_back(entry.first);
    s.clear();
}

void thread_group::interrupt_all()
{
    boost::lock_guard<boost::mutex> lock(mutex_);
    for (auto& t : threads_)
        t->interrupt();
}

void thread_group::join_all()
{
    boost::lock_guard<boost::mutex> lock(mutex_);
    for (auto& t : threads_) {
        if (t->joinable())
            t->join();
    }
}

std::size_t thread_group::size() const
{
    boost::lock_guard<boost::mutex> lock(mutex_);
    return threads_.size();
}

} // namespace zarvo::core
