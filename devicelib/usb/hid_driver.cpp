#include "devicelib/usb/hid_driver.h"

#include "devicelib/core/device_id.h"
#include "devicelib/trace/trace.h"
#include "devicelib/usb/hid_connection.h"
#include "devicelib/usb/vendor_id.h"

#include <exception>
#include <set>

namespace zarvo::usb {
namespace {

// Only ASCII letters change: paths are bytes, and the key only has to match
// the same path announced in another case.
std::string lower_case(std::string path)
{
    for (char& c : path) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return path;
}

} // namespace

hid_driver::hid_driver(core::connection_poster* poster)
    : poster_(poster ? poster : &core::core_poster())
    , removal_(std::make_shared<removal_relay>(this))
{
}

hid_driver::~hid_driver()
{
    // No connection's thread reports to this driver any more (a report under
    // way finishes first, while the event thread still runs it); then the
    // event thread must not outlive the maps it uses.
    removal_->revoke();
    backend_.stop();
    devices_.clear();
    connections_.clear();
}

void hid_driver::start()
{
    if (started_)
        return;
    started_ = true;
    // Monitor first: a device plugged while the present ones are listed is
    // then both listed and announced, and the announcement finds it known.
    backend_.prepare();
    if (start_hook_)
        start_hook_();
    for (const std::string& path : backend_.enumerate())
        arrival_from_path(path);
    publish_delay_ = plug_in_delay_ms;
    backend_.run(*this);
}

void hid_driver::stop()
{
    backend_.stop();
    for (const auto& [id, c] : connections_)
        withdraw(id, c);
    connections_.clear();
    devices_.clear();
    publish_delay_ = 0;
    started_ = false;
}

void hid_driver::arrival_from_path(const std::string& path)
{
    device_arrival(path);
}

void hid_driver::device_arrival(const std::string& path)
{
    const std::string key = lower_case(path);
    if (devices_.count(key))
        return;
    try {
        // Opened with the path as announced: Linux paths are case-sensitive.
        const auto entry = devices_.try_emplace(key, removal_.get(), path).first;
        const hid_device& device = entry->second;
        if (device.vendor_id() != device_vendor_id || device.product_id() != accepted_product_id) {
            devices_.erase(entry);
            return;
        }
        // Two interfaces of one device share its id and its one connection.
        const std::uint64_t id = core::device_id_from_serial(device.serial_number());
        if (connections_.count(id))
            return;
        core::connection* c = nullptr;
        try {
            c = new hid_connection(this, device);
        } catch (...) {
            devices_.erase(entry);
            throw;
        }
        connections_.emplace(id, c);
        publish(id, c);
    } catch (const std::exception& e) {
        ZARVO_TRACE("zarvo::usb::hid_driver::device_arrival", "Cannot accept %s: %s", path.c_str(),
                    e.what());
    }
}

void hid_driver::device_removal(const std::string& path)
{
    const auto entry = devices_.find(lower_case(path));
    if (entry == devices_.end())
        return;
    const std::uint64_t id = core::device_id_from_serial(entry->second.serial_number());
    const auto published = connections_.find(id);
    if (published != connections_.end()) {
        withdraw(id, published->second);
        connections_.erase(published);
    }
    devices_.erase(entry);
}

void hid_driver::report_removal(hid_device& device)
{
    const std::string path = device.path();
    backend_.invoke_sync([this, &path, &device] {
        // The path may already name the device plugged in again after this
        // one; that one stays.
        const auto entry = devices_.find(lower_case(path));
        if (entry != devices_.end() && entry->second.same_device(device))
            device_removal(path);
    });
}

std::vector<std::string> hid_driver::device_paths() const
{
    std::vector<std::string> paths;
    for (const auto& entry : devices_)
        paths.push_back(entry.first);
    return paths;
}

std::vector<std::uint64_t> hid_driver::connection_ids() const
{
    std::vector<std::uint64_t> ids;
    for (const auto& entry : connections_)
        ids.push_back(entry.first);
    return ids;
}

void hid_driver::arrival(const std::string& path)
{
    device_arrival(path);
}

void hid_driver::removal(const std::string& path)
{
    device_removal(path);
}

void hid_driver::present(const std::vector<std::string>& paths)
{
    std::set<std::string> keys;
    for (const std::string& path : paths)
        keys.insert(lower_case(path));
    std::vector<std::string> gone;
    for (const auto& entry : devices_) {
        if (!keys.count(entry.first))
            gone.push_back(entry.first);
    }
    for (const std::string& key : gone)
        device_removal(key);
    for (const std::string& path : paths)
        device_arrival(path);
}

void hid_driver::publish(std::uint64_t id, core::connection* c)
{
    poster_->publish(id, c, publish_delay_);
}

void hid_driver::withdraw(std::uint64_t id, core::connection* c)
{
    poster_->withdraw(id, c);
}

core::driver* create_hid_driver()
{
    return new hid_driver;
}

} // namespace zarvo::usb
