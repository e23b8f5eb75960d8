#include "devicelib/core/device_id.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace zarvo::test {
namespace {

TEST(device_id, from_serial)
{
    const std::pair<std::string, std::uint64_t> rows[] = {
        {"0000012A", 0x12A},
        {"12a", 0x12A},
        {"", 0},
        {"0000", 0},
        {"12AZ34", 0x12A},
        {"XYZ", 0},
        {"FFFFFFFF", 0xFFFFFFFF},
        {"00000000FFFFFFFF", 0xFFFFFFFF},
        {"1FFFFFFFF", 0xFFFFFFFF},
        {"123456789ABCDEF0", 0xFFFFFFFF},
        {"1F2E3D4C", 0x1F2E3D4C},
        {"0x12", 0},
        {" 12", 0},
    };
    for (const auto& [serial, id] : rows) {
        SCOPED_TRACE(serial);
        EXPECT_EQ(core::device_id_from_serial(serial), id);
    }
}

} // namespace
} // namespace zarvo::test
