#include "tests/support/test_power_source.h"

#include "tests/support/latch.h"

namespace zarvo::test {

std::future<bool> test_power_source::deliver(unsigned code)
{
    std::promise<bool> p;
    auto f = p.get_future();
    std::lock_guard<std::mutex> lock(mutex_);
    if (!events_)
        return f; // broken at once
    notices_.emplace_back(code, std::move(p));
    ready_.set();
    return f;
}

void test_power_source::set_keep_awake_fails(bool fails)
{
    std::lock_guard<std::mutex> lock(mutex_);
    keep_awake_fails_ = fails;
}

int test_power_source::guards_taken() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return guards_taken_;
}

std::vector<std::chrono::steady_clock::time_point> test_power_source::releases() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return releases_;
}

bool test_power_source::is_open() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return events_ != nullptr;
}

int test_power_source::open(zarvo::platform::power_events& events)
{
    std::lock_guard<std::mutex> lock(mutex_);
    events_ = &events;
    return ready_.fd();
}

void test_power_source::dispatch()
{
    for (;;) {
        std::pair<unsigned, std::promise<bool>> notice;
        zarvo::platform::power_events* events;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (notices_.empty()) {
                ready_.reset();
                return;
            }
            notice = std::move(notices_.front());
            notices_.pop_front();
            events = events_;
        }
        notice.second.set_value(events->power_broadcast(notice.first));
    }
}

std::unique_ptr<zarvo::platform::awake_guard> test_power_source::keep_awake()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (keep_awake_fails_)
        return nullptr;
    ++guards_taken_;
    return std::make_unique<zarvo::platform::awake_guard>([this] {
        std::lock_guard<std::mutex> lock(mutex_);
        releases_.push_back(std::chrono::steady_clock::now());
    });
}

void test_power_source::close()
{
    std::lock_guard<std::mutex> lock(mutex_);
    events_ = nullptr;
    // Notices never handed on break their promise.
    notices_.clear();
    ready_.reset();
}

notice_outcome outcome(std::future<bool>& f)
{
    if (!f.valid() || f.wait_for(latch::default_limit) != std::future_status::ready)
        return notice_outcome::pending;
    try {
        return f.get() ? notice_outcome::handled : notice_outcome::refused;
    } catch (const std::future_error&) {
        return notice_outcome::dropped;
    }
}

} // namespace zarvo::test
