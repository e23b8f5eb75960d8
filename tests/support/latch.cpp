#include "tests/support/latch.h"

namespace zarvo::test {

void latch::open()
{
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
    cond_.notify_all();
}

bool latch::is_open() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return open_;
}

bool latch::wait(std::chrono::milliseconds limit) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (cond_.wait_for(lock, limit, [this] { return open_; }))
        return true;
    ADD_FAILURE() << "latch not opened within " << limit.count() << " ms";
    return false;
}

} // namespace zarvo::test
