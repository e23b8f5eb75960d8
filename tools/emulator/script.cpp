#include "tools/emulator/script.h"

namespace zarvo::emulator {

const char* to_string(exchange_kind kind)
{
    switch (kind) {
    case exchange_kind::file_operation:
        return "file operation";
    case exchange_kind::query:
        return "query";
    case exchange_kind::host_notification:
        return "host notification";
    case exchange_kind::device_notification:
        return "device notification";
    }
    return "?";
}

match match::file(command c, std::optional<std::string> path)
{
    return {exchange_kind::file_operation, static_cast<int>(c), std::move(path)};
}

match match::query(int id)
{
    return {exchange_kind::query, id, std::nullopt};
}

match match::notification(int id)
{
    return {exchange_kind::host_notification, id, std::nullopt};
}

bool match::matches(exchange_kind k, int c, const std::string& p) const
{
    return kind == k && code == c && (!path || *path == p);
}

void stall::release()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
    }
    cond_.notify_all();
}

bool stall::wait_reached(int count, std::chrono::milliseconds limit) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return cond_.wait_for(lock, limit, [&] { return reached_ >= count; });
}

int stall::reached() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return reached_;
}

void stall::on_reached(std::function<void()> action)
{
    std::lock_guard<std::mutex> lock(mutex_);
    on_reached_ = std::move(action);
}

void stall::hold()
{
    std::function<void()> action;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++reached_;
        action = on_reached_;
    }
    cond_.notify_all();
    // Outside the lock: the action may release the stall at once.
    if (action)
        action();
    std::unique_lock<std::mutex> lock(mutex_);
    cond_.wait(lock, [&] { return released_; });
}

void script::answer(const match& m, int code, int times, std::optional<std::string> payload)
{
    rule r;
    r.when = m;
    r.remaining = times;
    r.scripted.answer = code;
    if (payload)
        r.scripted.payload = std::move(*payload);
    rules_.push_back(std::move(r));
}

void script::add_stall(const match& m, std::shared_ptr<emulator::stall> s, int times)
{
    rule r;
    r.when = m;
    r.remaining = times;
    r.held = std::move(s);
    rules_.push_back(std::move(r));
}

script::outcome script::take(exchange_kind kind, int code, const std::string& path)
{
    for (auto& r : rules_) {
        if (r.remaining == 0 || !r.when.matches(kind, code, path))
            continue;
        if (r.remaining > 0)
            --r.remaining;
        outcome out;
        if (r.held)
            out.stall = r.held;
        else
            out.scripted = r.scripted;
        return out;
    }
    return {};
}

void script::clear()
{
    release_all();
    rules_.clear();
}

void script::release_all()
{
    for (auto& r : rules_)
        if (r.held)
            r.held->release();
}

} // namespace zarvo::emulator
