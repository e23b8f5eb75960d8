#include "devicelib/platform/hid_backend.h"

namespace zarvo::platform {

hid_backend::hid_backend() = default;

hid_backend::~hid_backend()
{
    stop();
}

void hid_backend::prepare()
{
    monitor_ = open_hid_monitor();
    loop_.open();
}

std::vector<std::string> hid_backend::enumerate()
{
    return monitor_ ? monitor_->enumerate() : std::vector<std::string>();
}

void hid_backend::run(hid_events& events)
{
    if (!monitor_)
        prepare();
    hid_monitor* monitor = monitor_.get();
    loop_.run(monitor->fd(), [monitor, &events] { monitor->dispatch(events); });
}

void hid_backend::invoke_sync(const std::function<void()>& fn)
{
    loop_.invoke_sync(fn);
}

void hid_backend::stop()
{
    loop_.stop();
    monitor_.reset();
}

} // namespace zarvo::platform
