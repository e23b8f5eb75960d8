#pragma once

// The network driver over the fake DNS-SD library, with emulated devices on
// ::1 served by the emulator's TCP front end. The driver's address lookup
// maps each announced target to ::1 with the scope id the test chose (a
// connect to ::1 ignores it), so distinct scope ids give distinct devices.

#include "devicelib/dorvane/sd_driver.h"
#include "tests/devicelib/dorvane/net_device.h"
#include "tests/support/fake_dnssd/fake_dnssd.h"
#include "tests/support/recording_poster.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zarvo::test {

class sd_rig {
public:
    sd_rig();
    ~sd_rig();

    // A scope id for map_target: the interface the lookup is asked on, as a
    // link-local address has.
    static constexpr std::uint32_t interface_scope = 0xFFFFFFFF;

    // The device as the service name on the interface: the resolve answers
    // "<name>.local." and its port, the lookup that scope id (by default the
    // interface's; 0 as a routable address has).
    void announce(const std::string& name, const net_device& device, std::uint32_t interface_index);
    void announce(const std::string& name, const net_device& device, std::uint32_t interface_index,
                  std::uint32_t scope_id);
    // The resolve answer without the announcement.
    void prepare(const std::string& name, const net_device& device, std::uint32_t interface_index,
                 std::uint32_t scope_id);
    void prepare(const std::string& name, const net_device& device, std::uint32_t interface_index)
    {
        prepare(name, device, interface_index, interface_index);
    }
    // The target's address and scope id for the lookup.
    void map_target(const std::string& target, std::uint32_t scope_id);

    // The driver's text of the device's link on ::1 with that scope id.
    static std::string link_of(const net_device& device, std::uint32_t scope_id);

    // Ends the driver and the clients it published (before the devices go).
    void finish();

    recording_poster poster;
    std::unique_ptr<dorvane::sd_driver> driver;

private:
    std::mutex mutex_;
    std::map<std::string, std::uint32_t> targets_;
};

} // namespace zarvo::test
