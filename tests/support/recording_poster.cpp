#include "tests/support/recording_poster.h"

#include "tests/support/latch.h"

#include <gtest/gtest.h>

namespace zarvo::test {

bool operator==(const post_record& a, const post_record& b)
{
    // Connections are compared where a test needs it.
    return a.publish == b.publish && a.id == b.id && a.delay == b.delay;
}

std::ostream& operator<<(std::ostream& out, const post_record& r)
{
    out << (r.publish ? "publish " : "withdraw ") << std::hex << r.id << std::dec;
    if (r.publish)
        out << " delay " << r.delay;
    return out;
}

recording_poster::~recording_poster() = default;

void recording_poster::publish(std::uint64_t id, core::connection* c, unsigned delay_ms)
{
    std::lock_guard<std::mutex> lock(mutex_);
    posts_.push_back({true, id, c, delay_ms});
    owned_.emplace_back(c);
    changed_.notify_all();
}

void recording_poster::withdraw(std::uint64_t id, core::connection* c)
{
    std::lock_guard<std::mutex> lock(mutex_);
    posts_.push_back({false, id, c, 0});
    changed_.notify_all();
}

std::vector<post_record> recording_poster::posts() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return posts_;
}

bool recording_poster::wait_posts(std::size_t count) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (changed_.wait_for(lock, latch::default_limit, [&] { return posts_.size() >= count; }))
        return true;
    ADD_FAILURE() << "only " << posts_.size() << " of " << count << " posts came";
    return false;
}

core::connection* recording_poster::connection(std::uint64_t id) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = posts_.rbegin(); it != posts_.rend(); ++it) {
        if (it->publish && it->id == id)
            return it->c;
    }
    return nullptr;
}

void recording_poster::clear()
{
    std::vector<std::unique_ptr<core::connection>> ending;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ending.swap(owned_);
    }
    // Outside the lock: a connection's thread may be posting its withdrawal.
    ending.clear();
}

post_record published(std::uint64_t id, unsigned delay)
{
    return {true, id, nullptr, delay};
}

post_record withdrawn(std::uint64_t id)
{
    return {false, id, nullptr, 0};
}

} // namespace zarvo::test
