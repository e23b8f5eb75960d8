#include "tests/devicelib/usb/driver_fixture.h"

#include "tests/support/latch.h"

#include <cstdlib>

namespace zarvo::test {

bool operator==(const post_record& a, const post_record& b)
{
    // Connections are compared where a test needs it.
    return a.publish == b.publish && a.id == b.id && a.delay == b.delay;
}

std::ostream& operator<<(std::ostream& out, const post_record& r)
{
    out << (r.publish ? "publish " : "withdraw ") << std::hex << r.id << std::dec;
    if (r.publish)
        out << " delay " << r.delay;
    return out;
}

recording_poster::~recording_poster() = default;

void recording_poster::publish(std::uint64_t id, core::connection* c, unsigned delay_ms)
{
    std::lock_guard<std::mutex> lock(mutex_);
    posts_.push_back({true, id, c, delay_ms});
    owned_.emplace_back(c);
    changed_.notify_all();
}

void recording_poster::withdraw(std::uint64_t id, core::connection* c)
{
    std::lock_guard<std::mutex> lock(mutex_);
    posts_.push_back({false, id, c, 0});
    changed_.notify_all();
}

std::vector<post_record> recording_poster::posts() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return posts_;
}

bool recording_poster::wait_posts(std::size_t count) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (changed_.wait_for(lock, latch::default_limit, [&] { return posts_.size() >= count; }))
        return true;
    ADD_FAILURE() << "only " << posts_.size() << " of " << count << " posts came";
    return false;
}

usb::hid_connection* recording_poster::connection(std::uint64_t id) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = posts_.rbegin(); it != posts_.rend(); ++it) {
        if (it->publish && it->id == id)
            return static_cast<usb::hid_connection*>(it->c);
    }
    return nullptr;
}

post_record published(std::uint64_t id, unsigned delay)
{
    return {true, id, nullptr, delay};
}

post_record withdrawn(std::uint64_t id)
{
    return {false, id, nullptr, 0};
}

namespace {

std::filesystem::path make_device_dir(const temp_dir& root)
{
    // Upper case on purpose: the driver opens paths as announced.
    const auto dir = root / "Hid-Devices";
    std::filesystem::create_directory(dir);
    return dir;
}

} // namespace

driver_rig::driver_rig()
    : dir(make_device_dir(root))
    , hub(dir)
    , driver(std::make_unique<usb::hid_driver>(&poster))
{
    ::setenv("ZARVO_HID_DIR", dir.c_str(), 1);
}

driver_rig::~driver_rig()
{
    driver.reset();
    ::unsetenv("ZARVO_HID_DIR");
}

std::string driver_rig::plug(const std::string& serial, std::uint16_t product, std::uint16_t vendor)
{
    return hub.plug({serial, vendor, product}, model).string();
}

void driver_rig::unplug(const std::string& serial, emulator::unplug_order order)
{
    hub.unplug(serial, order);
}

namespace {

// The driver's maps belong to its event thread while it runs.
template <typename T>
T read_maps(usb::hid_driver& driver, T (usb::hid_driver::*get)() const)
{
    bool ran = false;
    T value;
    driver.backend().invoke_sync([&] {
        value = (driver.*get)();
        ran = true;
    });
    return ran ? value : (driver.*get)();
}

} // namespace

std::vector<std::string> driver_rig::device_paths()
{
    return read_maps(*driver, &usb::hid_driver::device_paths);
}

std::vector<std::uint64_t> driver_rig::connection_ids()
{
    return read_maps(*driver, &usb::hid_driver::connection_ids);
}

void driver_rig::settle()
{
    driver->backend().invoke_sync([] {});
}

} // namespace zarvo::test
