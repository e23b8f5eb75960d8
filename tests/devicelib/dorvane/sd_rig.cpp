#include "tests/devicelib/dorvane/sd_rig.h"

#include <arpa/inet.h>

#include <gtest/gtest.h>

namespace zarvo::test {

sd_rig::sd_rig()
{
    fake_dnssd::reset();
    driver = std::make_unique<dorvane::sd_driver>(&poster);
    driver->set_library_name(std::string("libdns_sd.so.1"));
    driver->set_lookup([this](const std::string& target, std::uint32_t interface_index,
                              sockaddr_in6& address) {
        std::lock_guard<std::mutex> guard(mutex_);
        auto found = targets_.find(target);
        if (found == targets_.end())
            return false;
        address = sockaddr_in6{};
        address.sin6_family = AF_INET6;
        address.sin6_addr = in6addr_loopback;
        address.sin6_scope_id = found->second == interface_scope ? interface_index : found->second;
        return true;
    });
    auto& waits = driver->waits();
    waits.retry_pause = std::chrono::milliseconds(20);
    waits.connect_timeout_ms = 5000;
    waits.lookup_wait = std::chrono::milliseconds(2000);
    waits.callback_timeout_ms = 5000;
}

sd_rig::~sd_rig()
{
    finish();
}

void sd_rig::finish()
{
    driver.reset();
    poster.clear();
}

void sd_rig::map_target(const std::string& target, std::uint32_t scope_id)
{
    std::lock_guard<std::mutex> guard(mutex_);
    targets_[target] = scope_id;
}

void sd_rig::prepare(const std::string& name, const net_device& device,
                     std::uint32_t interface_index, std::uint32_t scope_id)
{
    const std::string target = name + ".local.";
    map_target(target, scope_id);
    fake_dnssd::set_resolve(name, target, device.port(), interface_index);
}

void sd_rig::announce(const std::string& name, const net_device& device,
                      std::uint32_t interface_index)
{
    announce(name, device, interface_index, interface_index);
}

void sd_rig::announce(const std::string& name, const net_device& device,
                      std::uint32_t interface_index, std::uint32_t scope_id)
{
    prepare(name, device, interface_index, scope_id);
    fake_dnssd::announce(name, service_type, "local", interface_index);
}

std::string sd_rig::link_of(const net_device& device, std::uint32_t scope_id)
{
    return "[::1" + (scope_id != 0 ? "%" + std::to_string(scope_id) : std::string()) +
           "]:" + std::to_string(device.port());
}

} // namespace zarvo::test
