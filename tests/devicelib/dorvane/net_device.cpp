#include "tests/devicelib/dorvane/net_device.h"

#include <arpa/inet.h>

#include <gtest/gtest.h>

#include <sstream>

namespace zarvo::test {

const char* const service_type = "_zarvo-ftp._tcp";

namespace {

emulator::device_profile profile_with(std::uint64_t id)
{
    auto profile = emulator::device_profile::network_device();
    profile.id = id;
    return profile;
}

} // namespace

net_device::net_device(const std::string& version, const std::string& address)
    : model(profile_with(test_id.id()))
    , front(model.profile().serial(), handler, address)
{
    front.set_version(version);
}

std::uint16_t net_device::port() const
{
    return ntohs(front.address().sin6_port);
}

bool upload_in_expected_framing(core::connection* c, emulator::tcp_front_end& front)
{
    // Larger than one frame, so the framing of continuations shows.
    std::istringstream content(std::string(40000, 'x'));
    c->write("/FRAMING.BIN", content);
    const auto violations = front.violations();
    for (const auto& v : violations)
        ADD_FAILURE() << v;
    return violations.empty();
}

} // namespace zarvo::test
