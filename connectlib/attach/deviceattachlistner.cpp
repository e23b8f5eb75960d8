#include "connectlib/attach/deviceattachlistner.h"
#include "connectlib/attach/usb_attach_source.h"
#include "connectlib/logging/log_prefix.h"
#include "connectlib/logging/logger.h"

#include "devicelib/usb/vendor_id.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

using ConnectLib::UsbAttachEvent;
using ConnectLib::UsbAttachSource;

namespace {

// The network-attached family's USB product id.
constexpr quint16 dorvaneProductId = 9;

bool isDorvane(const UsbAttachEvent& event)
{
    return event.ids.vendorId == zarvo::usb::device_vendor_id &&
           event.ids.productId == dorvaneProductId;
}

// One run of the watch thread, from the first subscriber to the last.
struct Watch {
    std::unique_ptr<UsbAttachSource> source;
    int wakeFd = -1;
    bool stopping = false; // under the listener's mutex
    std::thread thread;

    ~Watch()
    {
        if (thread.joinable())
            thread.join();
        if (wakeFd >= 0)
            ::close(wakeFd);
    }

    void wake()
    {
        const uint64_t one = 1;
        while (::write(wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
        }
    }
};

} // namespace

struct deviceattachlistner::Private {
    mutable std::mutex mutex;
    std::condition_variable callbackDone;
    std::vector<deviceattach_subscriber*> subscribers;
    // The subscriber being called now, and on which thread.
    deviceattach_subscriber* calling = nullptr;
    std::thread::id callingThread;
    std::unique_ptr<Watch> watch;
    // A watch stopped from its own callback; joined by the next start or at
    // exit, since a thread cannot join itself.
    std::unique_ptr<Watch> retired;

    std::unique_ptr<Watch> start();
    void run(Watch* watch);
    void deliver(Watch* watch, const UsbAttachEvent& event);
};

std::unique_ptr<Watch> deviceattachlistner::Private::start()
{
    QString failure;
    auto started = std::make_unique<Watch>();
    started->source = ConnectLib::openUsbAttachSource(failure);
    if (started->source) {
        started->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (started->wakeFd < 0)
            failure = QStringLiteral("eventfd failed");
    }
    if (!started->source || started->wakeFd < 0) {
        ConnectLib::Logger::instance()->logPrint(
            ConnectLib::appendLogPrefix(QStringLiteral("USB attach listener idle: ") + failure));
        return nullptr;
    }
    Watch* raw = started.get();
    started->thread = std::thread([this, raw] { run(raw); });
    return started;
}

void deviceattachlistner::Private::run(Watch* watch)
{
    struct pollfd fds[2] = {{watch->wakeFd, POLLIN, 0}, {watch->source->fd(), POLLIN, 0}};
    for (;;) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents != 0)
            return;
        if (fds[1].revents & POLLIN) {
            for (const UsbAttachEvent& event : watch->source->readEvents()) {
                if (isDorvane(event))
                    deliver(watch, event);
            }
        } else if (fds[1].revents != 0) {
            return; // the source broke: nothing more will come
        }
    }
}

void deviceattachlistner::Private::deliver(Watch* watch, const UsbAttachEvent& event)
{
    std::unique_lock<std::mutex> lock(mutex);
    const std::vector<deviceattach_subscriber*> snapshot = subscribers;
    for (deviceattach_subscriber* subscriber : snapshot) {
        // One that left meanwhile is not called any more.
        if (watch->stopping ||
            std::find(subscribers.begin(), subscribers.end(), subscriber) == subscribers.end())
            continue;
        calling = subscriber;
        callingThread = std::this_thread::get_id();
        lock.unlock();
        if (event.arrival)
            subscriber->dorvane_device_attached();
        else
            subscriber->dorvane_device_detached();
        lock.lock();
        calling = nullptr;
        callbackDone.notify_all();
    }
}

deviceattachlistner::deviceattach_subscriber::~deviceattach_subscriber() = default;

deviceattachlistner& deviceattachlistner::instance()
{
    static deviceattachlistner listener;
    return listener;
}

deviceattachlistner::deviceattachlistner()
    : d(std::make_unique<Private>())
{
}

deviceattachlistner::~deviceattachlistner()
{
    std::unique_ptr<Watch> running;
    std::unique_ptr<Watch> retired;
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->subscribers.clear();
        running = std::move(d->watch);
        retired = std::move(d->retired);
        if (running) {
            running->stopping = true;
            running->wake();
        }
    }
    // Both joined here, outside the lock their callbacks take. A process
    // ending inside a callback cannot join that thread; it is left alone.
    for (std::unique_ptr<Watch>* watch : {&running, &retired}) {
        if (*watch && (*watch)->thread.get_id() == std::this_thread::get_id())
            watch->release();
    }
}

void deviceattachlistner::subscribe(deviceattach_subscriber* subscriber)
{
    if (!subscriber)
        return;
    // A retired watch has been told to stop, but may still wait for the
    // lock; it is joined once the lock is released.
    std::unique_ptr<Watch> retired;
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->subscribers.push_back(subscriber);
        if (d->subscribers.size() == 1) {
            if (d->retired && d->retired->thread.get_id() != std::this_thread::get_id())
                retired = std::move(d->retired);
            d->watch = d->start();
        }
    }
}

void deviceattachlistner::unsubscribe(deviceattach_subscriber* subscriber)
{
    std::unique_ptr<Watch> stopped;
    {
        std::unique_lock<std::mutex> lock(d->mutex);
        d->subscribers.erase(std::remove(d->subscribers.begin(), d->subscribers.end(), subscriber),
                             d->subscribers.end());
        // From within its own callback the call cannot be waited for.
        d->callbackDone.wait(lock, [this, subscriber] {
            return d->calling != subscriber || d->callingThread == std::this_thread::get_id();
        });
        if (!d->subscribers.empty() || !d->watch)
            return;
        d->watch->stopping = true;
        d->watch->wake();
        if (d->watch->thread.get_id() == std::this_thread::get_id()) {
            stopped = std::move(d->retired); // an older one, long told to stop
            d->retired = std::move(d->watch);
        } else {
            stopped = std::move(d->watch);
        }
    }
    // Joined outside the lock.
}

bool deviceattachlistner::isRunning() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->watch != nullptr;
}
