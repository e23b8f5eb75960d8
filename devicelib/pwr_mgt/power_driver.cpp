#include "devicelib/pwr_mgt/power_driver.h"

#include "devicelib/core/interface.h"
#include "devicelib/core/running_operations.h"
#include "devicelib/trace/trace.h"

#include <boost/thread/locks.hpp>

namespace zarvo::pwr_mgt {

driver::driver() = default;

driver::~driver()
{
    {
        std::lock_guard<std::mutex> lock(closing_mutex_);
        closing_ = true;
    }
    closing_cond_.notify_all();
    loop_.stop();
    if (source_)
        source_->close();
}

void driver::start()
{
    if (source_)
        return;
    {
        std::lock_guard<std::mutex> lock(closing_mutex_);
        closing_ = false;
    }
    suspended_ = false;
    // Chosen again at every start: a test may have installed another one.
    source_ = platform::choose_power_source();
    platform::power_source* source = source_.get();
    const int fd = source->open(*this);
    // No call into the loop from here: a notice it handles may wait for
    // the engine, which is this very thread.
    loop_.run(fd, [source] { source->dispatch(); });
}

void driver::suspend()
{
    ZARVO_TRACE("zarvo::pwr_mgt::driver::suspend", "Drivers are being suspended.");
}

void driver::resume()
{
    ZARVO_TRACE("zarvo::pwr_mgt::driver::resume", "Drivers are being resumed.");
}

void driver::stop()
{
    loop_.stop();
    if (source_) {
        source_->close();
        source_.reset();
    }
    suspended_ = false;
}

bool driver::power_broadcast(unsigned code)
{
    switch (code) {
    case platform::power_query_suspend:
        return true;
    case platform::power_suspend:
        suspend_drivers();
        return true;
    case platform::power_resume_automatic:
        resume_drivers();
        return true;
    default:
        return false;
    }
}

void driver::suspend_drivers()
{
    // Released last, once the drivers are suspended: then the system sleeps.
    const std::unique_ptr<platform::awake_guard> awake = source_->keep_awake();
    if (!awake) {
        ZARVO_TRACE("zarvo::pwr_mgt::driver::suspend_drivers",
                    "Cannot keep the system awake; the drivers are left running.");
        return;
    }
    {
        boost::unique_lock<boost::mutex> lock(mutex_);
        suspended_ = core::post_suspend_drivers(mutex_, cond_);
        if (suspended_)
            cond_.wait(lock);
    }
    settle_operations();
}

void driver::settle_operations()
{
    // A transfer still running would cross the sleep: cut midway by the
    // withdrawn connections, or reported done after the system let go.
    const int running = core::running_operation_count();
    if (running == 0)
        return;
    ZARVO_TRACE("zarvo::pwr_mgt::driver::settle_operations",
                "Waiting for %d device operation%s before sleep.", running,
                running == 1 ? "" : "s");
    if (!core::settle_running_operations(operation_wait_.load(), cancel_grace))
        ZARVO_TRACE("zarvo::pwr_mgt::driver::settle_operations",
                    "Device operations still running after their cancel; the system sleeps.");
}

void driver::resume_drivers()
{
    if (!suspended_)
        return;
    {
        std::unique_lock<std::mutex> lock(closing_mutex_);
        // Destroyed meanwhile: the core is going away with the process.
        if (closing_cond_.wait_for(lock, resume_delay_.load(), [this] { return closing_; }))
            return;
    }
    boost::unique_lock<boost::mutex> lock(mutex_);
    core::post_resume_drivers(mutex_, cond_);
    cond_.wait(lock);
    suspended_ = false;
}

core::driver* create_power_driver()
{
    return new driver;
}

} // namespace zarvo::pwr_mgt
