#include "devicelib/dorvane/device_identity.h"

#include "devicelib/proto/device.pb.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace zarvo::dorvane {
namespace {

struct greeting_case {
    const char* label;
    std::string greeting;
    std::uint64_t id; // 0: refused
    const char* version;
    unsigned framing;
};

class greeting_identity_test : public ::testing::TestWithParam<greeting_case> {};

TEST_P(greeting_identity_test, gives_id_and_version_or_refuses)
{
    const greeting_case& row = GetParam();
    auto found = identify_from_greeting(row.greeting);
    if (row.id == 0) {
        EXPECT_FALSE(found.has_value());
        return;
    }
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->device_id, row.id);
    EXPECT_EQ(found->server_version.string(), row.version);
    EXPECT_EQ(framing_major(found->server_version), row.framing);
}

std::string greeting(const std::string& version, const std::string& id)
{
    return "Zarvo FTP server version " + version + " at " + id + ".";
}

INSTANTIATE_TEST_SUITE_P(
    greetings, greeting_identity_test,
    ::testing::Values(
        greeting_case{"newer", greeting("2.0.5", "0000012A"), 0x12A, "2.0.5", 2},
        greeting_case{"specifier", greeting("2.0.5-beta", "0000012a"), 0x12A, "2.0.5-beta", 2},
        greeting_case{"older", greeting("1.4", "C0FFEE01"), 0xC0FFEE01, "1.4", 1},
        greeting_case{"major_above_8_bits", greeting("256.0", "00000001"), 1, "256.0", 255},
        greeting_case{"all_ones", greeting("3.1.0", "FFFFFFFF"), 0xFFFFFFFF, "3.1.0", 3},
        greeting_case{"id_zero", greeting("2.0.5", "00000000"), 0, "", 0},
        greeting_case{"version_without_number", greeting("..", "0000012A"), 0, "", 0},
        greeting_case{"short_id", greeting("2.0.5", "12A"), 0, "", 0},
        greeting_case{"line_end_kept", greeting("2.0.5", "0000012A") + "\r\n", 0, "", 0},
        greeting_case{"line_end_only", "\r\n", 0, "", 0},
        greeting_case{"other_server", "FTP server ready.", 0, "", 0},
        greeting_case{"empty", "", 0, "", 0}),
    [](const auto& info) { return info.param.label; });

struct device_info_case {
    const char* label;
    std::string file;
    std::uint64_t id; // 0: refused
};

std::string info_file(const char* device_id)
{
    data::PbDeviceInfo info;
    if (device_id != nullptr)
        info.set_deviceid(device_id);
    info.set_model_name("model");
    return info.SerializeAsString();
}

class device_info_identity_test : public ::testing::TestWithParam<device_info_case> {};

TEST_P(device_info_identity_test, gives_a_non_zero_id_or_refuses)
{
    auto found = identify_from_device_info(GetParam().file);
    if (GetParam().id == 0)
        EXPECT_FALSE(found.has_value());
    else
        EXPECT_EQ(found.value_or(0), GetParam().id);
}

INSTANTIATE_TEST_SUITE_P(files, device_info_identity_test,
                         ::testing::Values(device_info_case{"id", info_file("0000012A"), 0x12A},
                                           device_info_case{"empty_id", info_file(""), 0},
                                           device_info_case{"zero_id", info_file("0000"), 0},
                                           device_info_case{"no_hex_digits", info_file("XYZ"), 0},
                                           device_info_case{"no_id", info_file(nullptr), 0},
                                           device_info_case{"unparsable",
                                                            std::string("\xff\xff\xff", 3), 0}),
                         [](const auto& info) { return info.param.label; });

} // namespace
} // namespace zarvo::dorvane
