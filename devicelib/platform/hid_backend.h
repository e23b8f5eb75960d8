#pragma once

// The HID driver's view of the system: the interfaces present, a monitor
// whose notices reach the driver on one event thread, and a way to run a
// call on that thread from any other. The monitor is chosen again at every
// prepare(), so that the environment may change between starts.

#include "devicelib/platform/event_loop.h"
#include "devicelib/platform/hid_monitor.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zarvo::platform {

class hid_backend {
public:
    hid_backend();
    // Ends the event thread when it still runs.
    ~hid_backend();
    hid_backend(const hid_backend&) = delete;
    hid_backend& operator=(const hid_backend&) = delete;

    // Sets up and enables the monitor, so that nothing plugged from now on
    // is missed, and accepts calls; both wait until run().
    void prepare();
    // The interfaces present now.
    std::vector<std::string> enumerate();
    // Starts the event thread, which hands the monitor's notices to events,
    // and returns once it runs. Notices and calls that waited come first.
    void run(hid_events& events);
    // As event_loop::invoke_sync: runs fn on the event thread and waits,
    // directly when on it; returns at once once stop() has begun or the
    // thread has ended.
    void invoke_sync(const std::function<void()>& fn);
    // Ends and joins the event thread and drops the monitor.
    void stop();

    bool on_event_thread() const { return loop_.on_loop_thread(); }

private:
    event_loop loop_;
    std::unique_ptr<hid_monitor> monitor_;
};

} // namespace zarvo::platform
