#include "devicelib/dorvane/device_identity.h"

#include "devicelib/core/device_id.h"
#include "devicelib/dorvane/zftp_client.h"
#include "devicelib/proto/device.pb.h"

#include <boost/regex.hpp>

#include <algorithm>

namespace zarvo::dorvane {

std::optional<greeting_identity> identify_from_greeting(const std::string& greeting)
{
    boost::smatch groups;
    try {
        if (!boost::regex_match(greeting, groups, greeting_regex()))
            return std::nullopt;
    } catch (const std::runtime_error&) {
        return std::nullopt; // the matcher gave up on a pathological text
    }
    greeting_identity found;
    found.device_id = core::device_id_from_serial(groups[3].str());
    found.server_version = version(groups[1].str());
    if (found.device_id == 0 || found.server_version.is_uninitialized())
        return std::nullopt;
    return found;
}

std::optional<std::uint64_t> identify_from_device_info(const std::string& file)
{
    data::PbDeviceInfo info;
    if (!info.ParseFromString(file))
        return std::nullopt;
    const std::uint64_t id = core::device_id_from_serial(info.deviceid());
    if (id == 0)
        return std::nullopt;
    return id;
}

std::uint8_t framing_major(const version& server_version)
{
    return static_cast<std::uint8_t>(std::min(server_version.major(), 255u));
}

} // namespace zarvo::dorvane
