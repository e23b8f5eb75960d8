#include "tests/support/fake_device_drivers.h"

#include "devicelib/core/interface.h"
#include "devicelib/core/posting.h"
#include "devicelib/trace/trace.h"
#include "tests/support/fake_links.h"

#include <boost/thread/locks.hpp>

#include <atomic>

namespace zarvo::test {
namespace {

std::atomic<unsigned> plug_in_delay{500};
std::atomic<long long> resume_pause_ms{2000};
std::atomic<int> power_starts{0};

std::mutex power_mutex;
power_like_driver* running_power = nullptr;

} // namespace

// fake_bus

fake_bus::fake_bus(maker make, std::function<unsigned()> later_delay, bool withdraw_from_own_thread)
    : make_(std::move(make))
    , later_delay_(std::move(later_delay))
    , withdraw_from_own_thread_(withdraw_from_own_thread)
{
}

void fake_bus::plug(std::uint64_t id, fake_device device)
{
    std::lock_guard<std::mutex> lock(mutex_);
    present_[id] = device;
    if (started_ && !published_.count(id))
        publish(id, device, later_delay_());
}

void fake_bus::unplug(std::uint64_t id)
{
    std::lock_guard<std::mutex> lock(mutex_);
    present_.erase(id);
    const auto it = published_.find(id);
    if (it == published_.end())
        return;
    fake_link* c = it->second;
    published_.erase(it);
    if (withdraw_from_own_thread_)
        std::thread([id, c] { zarvo::core::post_withdraw_connection(id, c); }).join();
    else
        withdraw(id, c);
}

bool fake_bus::notify(std::uint64_t id, int notification, const std::string& parameters)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = published_.find(id);
    return it != published_.end() && it->second->device_notification(notification, parameters);
}

void fake_bus::with_connection(std::uint64_t id, const std::function<void(fake_link*)>& f)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = published_.find(id);
    f(it == published_.end() ? nullptr : it->second);
}

int fake_bus::starts() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return starts_;
}

int fake_bus::stops() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return stops_;
}

bool fake_bus::started() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return started_;
}

void fake_bus::start_publishing()
{
    std::lock_guard<std::mutex> lock(mutex_);
    ++starts_;
    started_ = true;
    for (const auto& [id, device] : present_) {
        if (!published_.count(id))
            publish(id, device, 0);
    }
}

void fake_bus::stop_publishing()
{
    std::lock_guard<std::mutex> lock(mutex_);
    ++stops_;
    for (const auto& [id, c] : published_)
        withdraw(id, c);
    published_.clear();
    started_ = false;
}

void fake_bus::withdraw(std::uint64_t id, fake_link* c)
{
    zarvo::core::post_withdraw_connection(id, c);
}

void fake_bus::publish(std::uint64_t id, const fake_device& device, unsigned delay)
{
    fake_link* c = make_(id, device);
    published_[id] = c;
    zarvo::core::post_publish_connection(id, c, delay);
}

// usb_like_driver

fake_bus& usb_like_driver::bus()
{
    static fake_bus b(
        [](std::uint64_t id, const fake_device& d) {
            return new usb_like_connection(id, d.backend, d.probe);
        },
        [] { return plug_in_delay.load(); }, false);
    return b;
}

void usb_like_driver::set_plug_in_delay(unsigned ms)
{
    plug_in_delay = ms;
}

void usb_like_driver::start()
{
    bus().start_publishing();
}

void usb_like_driver::stop()
{
    bus().stop_publishing();
}

// net_like_driver

fake_bus& net_like_driver::bus()
{
    static fake_bus b(
        [](std::uint64_t id, const fake_device& d) {
            return new net_like_connection(id, d.backend, d.probe);
        },
        [] { return 0u; }, true);
    return b;
}

void net_like_driver::start()
{
    bus().start_publishing();
}

void net_like_driver::stop()
{
    bus().stop_publishing();
}

// power_protocol

bool power_protocol::suspend()
{
    boost::unique_lock<boost::mutex> lock(mutex_);
    const bool suspended = zarvo::core::post_suspend_drivers(mutex_, cond_);
    if (suspended)
        cond_.wait(lock);
    suspended_ = suspended;
    return suspended;
}

bool power_protocol::resume(std::chrono::milliseconds pause)
{
    if (!suspended_)
        return false;
    std::this_thread::sleep_for(pause);
    boost::unique_lock<boost::mutex> lock(mutex_);
    zarvo::core::post_resume_drivers(mutex_, cond_);
    cond_.wait(lock);
    suspended_ = false;
    return true;
}

// power_like_driver

power_like_driver::~power_like_driver()
{
    stop();
}

void power_like_driver::set_resume_pause(std::chrono::milliseconds pause)
{
    resume_pause_ms = pause.count();
}

std::future<bool> power_like_driver::queue(std::function<bool(power_protocol&)> step)
{
    std::lock_guard<std::mutex> global(power_mutex);
    if (!running_power)
        return {};
    power_like_driver* d = running_power;
    std::packaged_task<bool()> task([d, step] { return step(d->protocol_); });
    auto result = task.get_future();
    std::lock_guard<std::mutex> lock(d->mutex_);
    d->tasks_.push_back(std::move(task));
    d->cond_.notify_all();
    return result;
}

std::future<bool> power_like_driver::request_suspend()
{
    return queue([](power_protocol& p) { return p.suspend(); });
}

std::future<bool> power_like_driver::request_resume()
{
    return queue([](power_protocol& p) {
        return p.resume(std::chrono::milliseconds(resume_pause_ms.load()));
    });
}

int power_like_driver::starts()
{
    return power_starts;
}

void power_like_driver::start()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = false;
        running_ = false;
    }
    thread_ = std::thread([this] { run(); });
    {
        std::unique_lock<std::mutex> lock(mutex_);
        cond_.wait(lock, [this] { return running_; });
    }
    ++power_starts;
    std::lock_guard<std::mutex> global(power_mutex);
    running_power = this;
}

void power_like_driver::suspend()
{
    ZARVO_TRACE("zarvo::test::power_like_driver::suspend", "Drivers are being suspended.");
}

void power_like_driver::resume()
{
    ZARVO_TRACE("zarvo::test::power_like_driver::resume", "Drivers are being resumed.");
}

void power_like_driver::stop()
{
    {
        std::lock_guard<std::mutex> global(power_mutex);
        if (running_power == this)
            running_power = nullptr;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
        cond_.notify_all();
    }
    if (thread_.joinable())
        thread_.join();
}

void power_like_driver::run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    running_ = true;
    cond_.notify_all();
    for (;;) {
        cond_.wait(lock, [this] { return quit_ || !tasks_.empty(); });
        if (tasks_.empty())
            break;
        auto task = std::move(tasks_.front());
        tasks_.pop_front();
        lock.unlock();
        task();
        lock.lock();
    }
    // Requests that came too late break their promise.
    tasks_.clear();
}

} // namespace zarvo::test
