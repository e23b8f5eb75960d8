#include "devicelib/proto/device_messages.h"
#include "tests/devicelib/proto/proto_test_util.h"

#include "devicelib/proto/structures.pb.h"
#include "devicelib/proto/types.pb.h"
#include "devicelib/proto/zftp_notification.pb.h"
#include "devicelib/proto/zftp_response.pb.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace zarvo::test {
namespace {

struct parse_case {
    const char* message; // full name
    std::string bytes;
    bool parses;
    const char* why;
};

std::string repeat(const std::string& piece, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += piece + " ";
    return out;
}

TEST(SchemaParse, WholeMessagesWithEveryRequiredFieldParse)
{
    const std::string created_untrusted = "1A 11 " + system_time_body(false);
    const std::vector<parse_case> rows{
        {"data.PbDeviceInfo", "", true, "every field optional"},
        {"data.PbUserIdentifier", "", true, "every field optional"},
        {"protocol.PbZFtpDirectory", "", true, "an empty listing"},
        {"PbTrainingLoad", "", true, "no required field"},
        {"PbZones", "", true, "no required field"},
        {"data.PbUserDb", "", false, "current_user_index is required"},
        {"protocol.PbZFtpBatteryStatus", "", false, "battery_status is required"},

        {"data.PbDeviceInfo", "0A 06 08 01 10 02 18 03", true, "complete bootloader version"},
        {"data.PbDeviceInfo", "0A 04 08 01 10 02", false, "bootloader version without patch"},
        {"data.PbUserIdentifier", "1A 04 0A 00 10 00", true, "complete password token"},
        {"data.PbUserIdentifier", "1A 02 0A 00", false, "password token without encrypted"},
        {"data.PbUserIdentifier", "A2 06 13 " + system_time_body(true), true,
         "complete last modified"},
        {"data.PbUserIdentifier", "A2 06 11 " + system_time_body(false), false,
         "last modified without trusted"},
        {"protocol.PbZFtpDirectory", "0A 05 0A 01 61 10 00", true, "entry with name and size"},
        {"protocol.PbZFtpDirectory", "0A 03 0A 01 61", false, "entry without size"},
        {"protocol.PbZFtpDirectory", "0A 18 0A 01 61 10 07 " + created_untrusted, false,
         "entry created without trusted"},
        {"protocol.PbZftpPnsHDNotification",
         "08 01 10 00 18 00 22 13 " + system_time_body(true) + " 28 00 30 00", true,
         "complete notification"},
        {"protocol.PbZftpPnsHDNotification",
         "08 01 10 00 18 00 22 11 " + system_time_body(false) + " 28 00 30 00", false,
         "issue time without trusted"},
        {"PbTrainingSessionTargetId", "08 01", true, "value alone"},
        {"PbTrainingSessionTargetId", "08 01 12 11 " + system_time_body(false), false,
         "last modified without trusted"},
        {"PbTrainingSessionFavoriteId", "08 01 12 11 " + system_time_body(false), false,
         "last modified without trusted"},
        {"PbSwimmingPoolInfo", "10 00", true, "only the pool type"},
        {"PbSwimmingPoolInfo", "0D 00 00 80 3F", false, "only the pool length"},

        {"protocol.PbZFtpOperation", "08 03 12 01 2F", true, "REMOVE /"},
        {"protocol.PbZFtpOperation", "08 04 12 01 2F", false, "command 4 is no command"},
        {"protocol.PbZFtpFilesystemModifiedParams", "08 02 12 01 2F", true, "REMOVED"},
        {"protocol.PbZFtpFilesystemModifiedParams", "08 03 12 01 2F", false, "action 3"},
        {"PbVolumeTarget", "08 02", true, "calories target"},
        {"PbVolumeTarget", "08 03", false, "target type 3"},
        {"PbZones", "50 03", true, "undeclared optional enum"},

        {"data.PbUserDb", "08 01 F8 07 05", true, "unknown field 127 kept"},
        {"data.PbUserDb", "08 01 0C", false, "stray end-group tag"},
        {"data.PbUserDb", "08 01 00", false, "trailing zero byte"},
        {"data.PbUserDb", "08", false, "truncated"},
        {"data.PbUserDb", "FF FF FF FF", false, "garbage"},

        {"data.PbDeviceInfo", "3A 03 FF FE 00", true, "model name not UTF-8"},
        {"data.PbVersion", "08 01 10 02 18 03 22 28 " + repeat("41", 40), true,
         "specifier past its 32-byte bound"},
        {"PbBleMac", "0A 07 01 02 03 04 05 06 07 10 00", true, "7-byte mac"},
        {"PbZones", repeat("0A 04 08 3C 10 50", 8), true, "eight heart-rate zones"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.message) + ": " + row.why);
        auto message = new_message(row.message);
        EXPECT_EQ(read_hex(row.bytes, *message), row.parses);
        if (row.parses) { // what parses writes back unchanged
            EXPECT_EQ(written_hex(*message), hex(row.bytes));
        }
    }
}

TEST(SchemaParse, EmptyInputFailsWhereARequiredFieldExists)
{
    // Of the listing and results, only the listing parses from nothing; of the
    // structures, only the two without a required field.
    const std::vector<std::pair<const char*, std::set<std::string>>> files{
        {"zftp_response.proto", {"PbZFtpDirectory"}},
        {"structures.proto", {"PbTrainingLoad", "PbZones"}},
    };
    for (const auto& [file_name, parse_empty] : files) {
        const auto* file = pool().FindFileByName(file_name);
        ASSERT_NE(file, nullptr);
        for (int i = 0; i < file->message_type_count(); ++i) {
            const auto* type = file->message_type(i);
            SCOPED_TRACE(type->full_name());
            auto message = new_message(type->full_name());
            EXPECT_EQ(read_hex("", *message), parse_empty.count(type->name()) == 1);
        }
    }
}

TEST(SchemaParse, UnknownEnumValuesAndFieldsAreWrittenBackAfterTheKnownFields)
{
    PbZones zones;
    ASSERT_TRUE(read_hex("50 03", zones));
    EXPECT_FALSE(zones.has_heart_rate_setting_source());
    zones.set_power_setting_source(POWER_ZONE_SETTING_SOURCE_FREE);
    EXPECT_EQ(written_hex(zones), hex("58 01 50 03"));

    auto db = new_message("data.PbUserDb");
    ASSERT_TRUE(read_hex("F8 07 05 08 01", *db));
    EXPECT_EQ(written_hex(*db), hex("08 01 F8 07 05"));
}

TEST(SchemaParse, ValuesReadAsTheDeviceSentThem)
{
    protocol::PbZFtpDiskSpaceResult space;
    ASSERT_TRUE(read_hex("08 80 08 10 85 80 80 80 20 18 01", space));
    EXPECT_EQ(space.fragment_size(), 1024u);
    EXPECT_EQ(space.total_fragments(), (uint64_t{1} << 33) + 5);
    EXPECT_EQ(space.free_fragments(), 1u);

    protocol::PbZFtpGetBatteryStatusResult battery;
    ASSERT_TRUE(read_hex("08 96 01", battery));
    EXPECT_EQ(battery.battery_status(), 150u); // no range check at this level

    const std::string clock = std::string("0A 07 ") + date_body + " 12 06 " + time_body;
    protocol::PbZFtpGetLocalTimeResult with_zero, without;
    ASSERT_TRUE(read_hex(clock + " 18 00", with_zero));
    ASSERT_TRUE(read_hex(clock, without));
    EXPECT_TRUE(with_zero.has_tz_offset());
    EXPECT_EQ(with_zero.tz_offset(), 0);
    EXPECT_FALSE(without.has_tz_offset());
    EXPECT_EQ(without.time().millis(), 0u);
    EXPECT_FALSE(without.time().has_millis());

    protocol::PbZFtpFactoryResetParams reset;
    ASSERT_TRUE(read_hex("08 01", reset));
    EXPECT_TRUE(reset.sleep());
    EXPECT_TRUE(reset.do_factory_defaults());
    EXPECT_FALSE(reset.has_do_factory_defaults());
}

TEST(SchemaParse, AbsentFieldsReadAsDefaults)
{
    data::PbDeviceInfo info;
    ASSERT_TRUE(read_hex("", info));
    EXPECT_FALSE(info.has_device_version());
    const data::PbVersion& version = info.device_version();
    EXPECT_EQ(&version, &data::PbVersion::default_instance());
    EXPECT_EQ(version.major(), 0u);
    EXPECT_EQ(version.minor(), 0u);
    EXPECT_EQ(version.patch(), 0u);
    EXPECT_EQ(version.specifier(), "");
    EXPECT_FALSE(version.has_major() || version.has_minor() || version.has_patch() ||
                 version.has_specifier());

    protocol::PbZftpPnsDHAttribute response;
    EXPECT_EQ(response.type(), protocol::UNKNOWN_ACTION);
    EXPECT_FALSE(response.IsInitialized());
    protocol::PbZftpPnsHDAttribute attribute;
    EXPECT_EQ(attribute.type(), protocol::TITLE);
}

TEST(SchemaParse, BinaryFieldsKeepZeroBytes)
{
    const std::string bytes("\x00\x01\x00\xff\x00\x00", 6);
    protocol::PbZFtpGenerateChallengeTokenResult result;
    ASSERT_TRUE(read_hex("0A 06 00 01 00 FF 00 00", result));
    EXPECT_EQ(result.token(), bytes);

    PbBleMac mac;
    ASSERT_TRUE(read_hex("0A 06 00 01 00 FF 00 00 10 01", mac));
    EXPECT_EQ(mac.mac(), bytes);
}

} // namespace
} // namespace zarvo::test
