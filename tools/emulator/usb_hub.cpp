#include "tools/emulator/usb_hub.h"

#include <atomic>
#include <stdexcept>

namespace zarvo::emulator {

struct usb_hub::port {
    usb_identity identity;
    std::filesystem::path path;
    // Also changed by an armed unplug on the device's serving thread.
    std::atomic<bool> plugged{true};
    // Last, so that it goes first: its serving thread runs the armed unplug,
    // which uses this port.
    std::unique_ptr<usb_device> device;
};

usb_hub::usb_hub(std::filesystem::path dir)
    : dir_(std::move(dir))
{
}

usb_hub::~usb_hub()
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& entry : ports_)
        entry.second->device->front_end().remove();
    ports_.clear();
}

std::filesystem::path usb_hub::plug(const usb_identity& identity, emulator::device_model& model)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = ports_.find(identity.serial);
    if (found != ports_.end()) {
        if (found->second->plugged)
            throw std::invalid_argument("already plugged: " + identity.serial);
        // A device that hung up left its file; it goes before the new one
        // comes.
        found->second->device->front_end().remove();
        ports_.erase(found);
    }
    auto p = std::make_unique<port>();
    p->identity = identity;
    p->device =
        std::make_unique<usb_device>(model, identity.vendor, identity.product, identity.serial);
    if (restart_handler_) {
        // The port outlives its device's serving thread, which runs this.
        p->device->on_restart([raw = p.get(), handler = restart_handler_] {
            if (!raw->plugged)
                return;
            unplug(*raw, unplug_order::file_then_connections);
            handler(raw->identity);
        });
    }
    p->path = p->device->front_end().serve_in(dir_);
    const auto path = p->path;
    ports_.emplace(identity.serial, std::move(p));
    return path;
}

void usb_hub::unplug(const std::string& serial, unplug_order order)
{
    std::lock_guard<std::mutex> lock(mutex_);
    port& p = find(serial);
    if (!p.plugged)
        throw std::invalid_argument("not plugged: " + serial);
    unplug(p, order);
}

void usb_hub::unplug(port& p, unplug_order order)
{
    // First: whoever sees the device go may plug it again at once.
    p.plugged = false;
    usb_front_end& front_end = p.device->front_end();
    switch (order) {
    case unplug_order::file_then_connections:
        front_end.remove_file();
        front_end.close_connections();
        break;
    case unplug_order::connections_then_file:
        front_end.close_connections();
        front_end.remove_file();
        break;
    case unplug_order::connections_only:
        front_end.close_connections();
        break;
    case unplug_order::file_only:
        front_end.remove_file();
        break;
    }
}

void usb_hub::unplug_after_response_reports(const std::string& serial, unsigned count,
                                            unplug_order order)
{
    std::lock_guard<std::mutex> lock(mutex_);
    port* p = &find(serial);
    // The front end copies its hook at every point, so the count lives
    // outside it; only the serving thread touches it.
    auto remaining = std::make_shared<long>(count);
    p->device->front_end().set_point_hook(
        [p, remaining, order](usb_front_end::point where, unsigned) {
            if (where == usb_front_end::point::before_response_report && (*remaining)-- == 0)
                unplug(*p, order);
        });
}

void usb_hub::on_restart(std::function<void(const usb_identity&)> handler)
{
    std::lock_guard<std::mutex> lock(mutex_);
    restart_handler_ = std::move(handler);
}

std::vector<usb_identity> usb_hub::plugged() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<usb_identity> result;
    for (const auto& entry : ports_) {
        if (entry.second->plugged)
            result.push_back(entry.second->identity);
    }
    return result;
}

bool usb_hub::is_plugged(const std::string& serial) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = ports_.find(serial);
    return found != ports_.end() && found->second->plugged;
}

usb_device& usb_hub::device(const std::string& serial)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return *find(serial).device;
}

usb_hub::port& usb_hub::find(const std::string& serial)
{
    const auto found = ports_.find(serial);
    if (found == ports_.end())
        throw std::invalid_argument("no such device: " + serial);
    return *found->second;
}

} // namespace zarvo::emulator
