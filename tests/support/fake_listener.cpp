#include "tests/support/fake_listener.h"

#include "devicelib/core/session.h"

namespace zarvo::test {

const char* to_string(callback c)
{
    switch (c) {
    case callback::established:
        return "established";
    case callback::disconnected:
        return "disconnected";
    case callback::idling:
        return "idling";
    case callback::battery_status:
        return "battery_status";
    case callback::sync_required:
        return "sync_required";
    }
    return "?";
}

void fake_listener::on(callback kind, hook h)
{
    std::lock_guard<std::mutex> lock(mutex_);
    hooks_[kind] = std::move(h);
}

std::vector<callback_record> fake_listener::records() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return records_;
}

std::vector<callback_record> fake_listener::records(callback kind, std::uint64_t device) const
{
    std::vector<callback_record> out;
    for (const auto& r : records()) {
        if (r.kind == kind && r.device == device)
            out.push_back(r);
    }
    return out;
}

int fake_listener::count(callback kind, std::uint64_t device) const
{
    return static_cast<int>(records(kind, device).size());
}

int fake_listener::returned(callback kind, std::uint64_t device) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = returned_.find({kind, device});
    return it == returned_.end() ? 0 : it->second;
}

bool fake_listener::wait_for(callback kind, std::uint64_t device, int n,
                             std::chrono::milliseconds limit) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    const bool reached = cond_.wait_for(lock, limit, [&] {
        int seen = 0;
        for (const auto& r : records_)
            seen += r.kind == kind && r.device == device;
        return seen >= n;
    });
    if (!reached)
        ADD_FAILURE() << "no " << n << " x " << to_string(kind) << " for device " << device
                      << " within " << limit.count() << " ms";
    return reached;
}

bool fake_listener::wait_returned(callback kind, std::uint64_t device, int n,
                                  std::chrono::milliseconds limit) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    const bool reached = cond_.wait_for(lock, limit, [&] {
        const auto it = returned_.find({kind, device});
        return it != returned_.end() && it->second >= n;
    });
    if (!reached)
        ADD_FAILURE() << n << " x " << to_string(kind) << " for device " << device
                      << " did not return within " << limit.count() << " ms";
    return reached;
}

zarvo::session* fake_listener::session_of(std::uint64_t device) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = records_.rbegin(); it != records_.rend(); ++it) {
        if (it->device == device)
            return it->session;
    }
    return nullptr;
}

void fake_listener::called(callback kind, zarvo::session& s, int level)
{
    callback_record r;
    r.kind = kind;
    r.device = s.device_id();
    r.session = &s;
    r.thread = std::this_thread::get_id();
    r.at = std::chrono::steady_clock::now();
    r.level = level;
    hook h;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        records_.push_back(r);
        const auto it = hooks_.find(kind);
        if (it != hooks_.end())
            h = it->second;
        cond_.notify_all();
    }
    struct count_return {
        fake_listener* self;
        callback kind;
        std::uint64_t device;
        ~count_return()
        {
            std::lock_guard<std::mutex> lock(self->mutex_);
            ++self->returned_[{kind, device}];
            self->cond_.notify_all();
        }
    } counted{this, kind, r.device};
    if (h)
        h(s);
}

void fake_listener::established(zarvo::session& s)
{
    called(callback::established, s);
}

void fake_listener::rerouted(zarvo::session&) {}

void fake_listener::disconnected(zarvo::session& s)
{
    called(callback::disconnected, s);
}

void fake_listener::idling(zarvo::session& s)
{
    called(callback::idling, s);
}

void fake_listener::battery_status(zarvo::session& s, int level)
{
    called(callback::battery_status, s, level);
}

void fake_listener::sync_required(zarvo::session& s)
{
    called(callback::sync_required, s);
}

} // namespace zarvo::test
