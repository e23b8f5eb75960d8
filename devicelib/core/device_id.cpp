#include "devicelib/core/device_id.h"

#include <limits>

namespace zarvo::core {
namespace {

// The value of an ASCII hexadecimal digit, -1 for any other character.
int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::uint64_t device_id_from_serial(const std::string& serial)
{
    constexpr std::uint32_t saturated = std::numeric_limits<std::uint32_t>::max();
    std::uint32_t id = 0;
    for (std::size_t at = serial.find_first_not_of('0'); at < serial.size(); ++at) {
        const int digit = hex_value(serial[at]);
        if (digit < 0)
            break;
        if (id > (saturated >> 4))
            return saturated;
        id = id << 4 | static_cast<std::uint32_t>(digit);
    }
    return id;
}

} // namespace zarvo::core
