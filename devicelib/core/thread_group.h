#pragma once

#include "devicelib/core/types.h"

#include <boost/thread/mutex.hpp>

#include <memory>
#include <vector>

namespace zarvo::core {

// An owned list of notification threads on their way to be joined.
class thread_group {
public:
    thread_group();
    thread_group(const thread_group&) = delete;
    thread_group& operator=(const thread_group&) = delete;
    // Deletes every thread object (a thread still running is detached).
    ~thread_group();

    // Takes ownership of t.
    void add(boost::thread* t);
    // Moves every thread of s into the group, in the set's order; s ends empty.
    void take(thread_set& s);
    void interrupt_all();
    // Joins every thread that is still joinable, in the group's order.
    void join_all();
    std::size_t size() const;

private:
    mutable boost::mutex mutex_;
    std::vector<std::unique_ptr<boost::thread>> threads_;
};

} // namespace zarvo::core
