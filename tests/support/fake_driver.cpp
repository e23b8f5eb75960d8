#include "tests/support/fake_driver.h"

namespace zarvo::test {
namespace {

// Nesting depth of fake driver calls on this thread: the default suspend
// calls stop, which is one operation, not an overlap.
thread_local int depth = 0;

} // namespace

const char* to_string(driver_op op)
{
    switch (op) {
    case driver_op::start:
        return "start";
    case driver_op::stop:
        return "stop";
    case driver_op::suspend:
        return "suspend";
    case driver_op::resume:
        return "resume";
    case driver_op::destroy:
        return "destroy";
    }
    return "?";
}

fake_driver_control& fake_driver_control::instance()
{
    static fake_driver_control* const control = new fake_driver_control;
    return *control;
}

void fake_driver_control::on(int slot, driver_op op, std::function<void()> hook)
{
    std::lock_guard<std::mutex> lock(mutex_);
    hooks_[{slot, op}] = std::move(hook);
}

void fake_driver_control::no_op_suspend(int slot)
{
    std::lock_guard<std::mutex> lock(mutex_);
    no_op_suspend_[slot] = true;
}

std::vector<driver_call> fake_driver_control::calls() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

std::vector<driver_op> fake_driver_control::ops(int slot) const
{
    std::vector<driver_op> out;
    for (const driver_call& c : calls()) {
        if (c.slot == slot)
            out.push_back(c.op);
    }
    return out;
}

int fake_driver_control::created(int slot) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = created_.find(slot);
    return it == created_.end() ? 0 : it->second;
}

bool fake_driver_control::overlapped() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return overlapped_;
}

void fake_driver_control::record(int slot, driver_op op)
{
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back({slot, op, std::this_thread::get_id()});
}

std::function<void()> fake_driver_control::hook(int slot, driver_op op) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = hooks_.find({slot, op});
    return it == hooks_.end() ? std::function<void()>() : it->second;
}

bool fake_driver_control::is_no_op_suspend(int slot) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = no_op_suspend_.find(slot);
    return it != no_op_suspend_.end() && it->second;
}

void fake_driver_control::enter()
{
    if (depth++ > 0)
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (in_flight_++ > 0)
        overlapped_ = true;
}

void fake_driver_control::leave()
{
    if (--depth > 0)
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    --in_flight_;
}

void fake_driver_control::created_one(int slot)
{
    std::lock_guard<std::mutex> lock(mutex_);
    ++created_[slot];
}

fake_driver::fake_driver(int slot)
    : slot_(slot)
{
    fake_driver_control::instance().created_one(slot);
}

fake_driver::~fake_driver()
{
    fake_driver_control& control = fake_driver_control::instance();
    control.record(slot_, driver_op::destroy);
    if (auto hook = control.hook(slot_, driver_op::destroy))
        hook();
}

void fake_driver::call(driver_op op, const std::function<void()>& body)
{
    fake_driver_control& control = fake_driver_control::instance();
    control.record(slot_, op);
    control.enter();
    struct leave_on_exit {
        fake_driver_control& c;
        ~leave_on_exit() { c.leave(); }
    } leave{control};
    if (auto hook = control.hook(slot_, op))
        hook();
    if (body)
        body();
}

void fake_driver::start()
{
    call(driver_op::start);
}

void fake_driver::stop()
{
    call(driver_op::stop);
}

void fake_driver::suspend()
{
    if (fake_driver_control::instance().is_no_op_suspend(slot_))
        call(driver_op::suspend);
    else
        call(driver_op::suspend, [this] { driver::suspend(); });
}

void fake_driver::resume()
{
    if (fake_driver_control::instance().is_no_op_suspend(slot_))
        call(driver_op::resume);
    else
        call(driver_op::resume, [this] { driver::resume(); });
}

} // namespace zarvo::test
