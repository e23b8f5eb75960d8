#include "tests/devicelib/usb/driver_fixture.h"

#include "tests/support/latch.h"

#include <cstdlib>

namespace zarvo::test {

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
