#pragma once

#include "connectlib/export.h"

#include <memory>

// Process-wide watcher for USB plug-in and unplug of the network-attached
// device family. Subscribers are told on the listener's own thread, in
// subscription order; the thread runs while anyone is subscribed.
class KTLIB_EXPORT deviceattachlistner {
public:
    class KTLIB_EXPORT deviceattach_subscriber {
    public:
        virtual ~deviceattach_subscriber();
        virtual void dorvane_device_attached() = 0;
        virtual void dorvane_device_detached() = 0;
    };

    static deviceattachlistner& instance();

    ~deviceattachlistner();
    deviceattachlistner(const deviceattachlistner&) = delete;
    deviceattachlistner& operator=(const deviceattachlistner&) = delete;

    // The first subscriber starts the watch. A source that cannot start is
    // logged once and the listener stays idle.
    void subscribe(deviceattach_subscriber* subscriber);
    // Returns once no callback to subscriber runs any more (unless called
    // from that callback), so the subscriber may then be destroyed. The
    // last subscriber leaving stops the watch.
    void unsubscribe(deviceattach_subscriber* subscriber);

    // Whether the watch thread runs.
    bool isRunning() const;

private:
    deviceattachlistner();

    struct Private;
    std::unique_ptr<Private> d;
};
