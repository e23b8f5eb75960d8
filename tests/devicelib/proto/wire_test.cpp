#include "devicelib/proto/device_messages.h"
#include "tests/devicelib/proto/proto_test_util.h"

#include "devicelib/proto/nanopb.pb.h"
#include "devicelib/proto/types.pb.h"
#include "devicelib/proto/user_database.pb.h"
#include "devicelib/proto/user_id.pb.h"
#include "devicelib/proto/zftp_notification.pb.h"
#include "devicelib/proto/zftp_request.pb.h"
#include "devicelib/proto/zftp_response.pb.h"

#include <google/protobuf/descriptor.pb.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace zarvo::test {
namespace {

// Raw bytes with zeros inside: the C-string setters would cut them short.
const std::string token16("\x01\x00\x02\x00\xff\x00\x10\x00\x7f\x00\x80\x00\x00\x00\x00\x01", 16);
const std::string token16_hex = "01 00 02 00 FF 00 10 00 7F 00 80 00 00 00 00 01";

void fill_date_time(PbDate* date, PbTime* time)
{
    date->set_year(2024);
    date->set_month(1);
    date->set_day(2);
    time->set_hour(3);
    time->set_minute(4);
    time->set_seconds(5);
}

struct golden {
    const char* what;
    std::function<std::string()> write;
    std::string bytes;
};

template <typename M, typename Fill>
std::function<std::string()> built(Fill fill)
{
    return [fill] {
        M message;
        fill(message);
        return written_hex(message);
    };
}

TEST(SchemaWire, MessagesBuiltWithTheSettersWriteTheDeviceBytes)
{
    const std::vector<golden> rows{
        {"version 1.2.3", built<data::PbVersion>([](auto& m) {
             m.set_major(1);
             m.set_minor(2);
             m.set_patch(3);
         }),
         "08 01 10 02 18 03"},
        {"GET / (a required enum 0 is still written)",
         built<protocol::PbZFtpOperation>([](auto& m) {
             m.set_command(protocol::PbZFtpOperation::GET);
             m.set_path("/");
         }),
         "08 00 12 01 2F"},
        {"current user 1", built<data::PbUserDb>([](auto& m) { m.set_current_user_index(1); }),
         "08 01"},
        {"credentials", built<data::PbUserIdentifier>([](auto& m) {
             m.set_master_identifier(5);
             m.mutable_password_token()->set_token(std::string("ab"));
             m.mutable_password_token()->set_encrypted(false);
         }),
         "08 05 1A 06 0A 02 61 62 10 00"},
        {"credentials, empty token is present", built<data::PbUserIdentifier>([](auto& m) {
             m.set_master_identifier(5);
             m.mutable_password_token()->set_token(std::string());
             m.mutable_password_token()->set_encrypted(false);
         }),
         "08 05 1A 04 0A 00 10 00"},
        {"credentials, 16-byte token with zeros", built<data::PbUserIdentifier>([](auto& m) {
             m.set_master_identifier(5);
             m.mutable_password_token()->set_token(token16.data(), token16.size());
             m.mutable_password_token()->set_encrypted(false);
         }),
         "08 05 1A 14 0A 10 " + token16_hex + " 10 00"},
        {"user id last modified, field 100", built<data::PbUserIdentifier>([](auto& m) {
             auto* modified = m.mutable_user_id_last_modified();
             fill_date_time(modified->mutable_date(), modified->mutable_time());
             modified->set_trusted(true);
         }),
         "A2 06 13 " + system_time_body(true)},
        {"factory reset, both fields travel",
         built<protocol::PbZFtpFactoryResetParams>([](auto& m) {
             m.set_sleep(false);
             m.set_do_factory_defaults(true);
         }),
         "08 00 10 01"},
        {"stop sync completed",
         built<protocol::PbZFtpStopSyncParams>([](auto& m) { m.set_completed(true); }), "08 01"},
        {"stop sync with description", built<protocol::PbZFtpStopSyncParams>([](auto& m) {
             m.set_completed(false);
             m.set_description(std::string("abc"));
         }),
         "08 00 12 03 61 62 63"},
        {"local time, offset -60 as ten-byte varint",
         built<protocol::PbZFtpSetLocalTimeParams>([](auto& m) {
             fill_date_time(m.mutable_date(), m.mutable_time());
             m.set_tz_offset(-60);
         }),
         std::string("0A 07 ") + date_body + " 12 06 " + time_body +
             " 18 C4 FF FF FF FF FF FF FF FF 01"},
        {"local time without offset", built<protocol::PbZFtpSetLocalTimeParams>([](auto& m) {
             fill_date_time(m.mutable_date(), m.mutable_time());
         }),
         std::string("0A 07 ") + date_body + " 12 06 " + time_body},
        {"challenge nonce with zeros",
         built<protocol::PbZFtpGenerateChallengeTokenParams>([](auto& m) {
             m.set_user_id(1);
             m.set_nonse(token16);
         }),
         "08 01 12 10 " + token16_hex},
        {"empty inactivity result writes nothing",
         built<protocol::PbZFtpGetInactivityPreAlertResult>([](auto&) {}), ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::string bytes;
        EXPECT_NO_THROW(bytes = row.write());
        EXPECT_EQ(bytes, hex(row.bytes));
    }
}

using google::protobuf::EnumDescriptor;

std::vector<std::pair<std::string, int>> values_of(const EnumDescriptor* type)
{
    std::vector<std::pair<std::string, int>> out;
    for (int i = 0; i < type->value_count(); ++i)
        out.emplace_back(type->value(i)->name(), type->value(i)->number());
    return out;
}

TEST(SchemaWire, EnumNumbersAreTheProtocols)
{
    using values = std::vector<std::pair<std::string, int>>;
    const std::vector<std::pair<const EnumDescriptor*, values>> rows{
        {protocol::PbZFtpOperation::Command_descriptor(),
         {{"GET", 0}, {"PUT", 1}, {"MERGE", 2}, {"REMOVE", 3}}},
        {protocol::PbZFtpQuery_descriptor(),
         {{"IDENTIFY_DEVICE", 0},
          {"SET_SYSTEM_TIME", 1},
          {"GET_SYSTEM_TIME", 2},
          {"SET_LOCAL_TIME", 3},
          {"GET_LOCAL_TIME", 4},
          {"GET_DISK_SPACE", 5},
          {"GENERATE_CHALLENGE_TOKEN", 6},
          {"SET_INTERNAL_TEST", 7},
          {"GET_BATTERY_STATUS", 8},
          {"SET_ADB_MODE", 9},
          {"CLEANUP_DISK_SPACE", 10},
          {"GET_INACTIVITY_PRE_ALERT", 11}}},
        {protocol::PbZFtpDevToHostNotification_descriptor(),
         {{"FILESYSTEM_MODIFIED", 0},
          {"INTERNAL_TEST_EVENT", 1},
          {"IDLING", 2},
          {"BATTERY_STATUS", 3},
          {"INACTIVITY_ALERT", 4},
          {"TRAINING_SESSION_STATUS", 5},
          {"SYNC_REQUIRED", 7},
          {"AUTOSYNC_STATUS", 8},
          {"PNS_DH_NOTIFICATION_RESPONSE", 9}}},
        {protocol::PbZFtpHostToDevNotification_descriptor(),
         {{"START_SYNC", 0},
          {"STOP_SYNC", 1},
          {"RESET", 2},
          {"LOCK_PRODUCTION_DATA", 3},
          {"TERMINATE_SYNC", 4},
          {"KEEP_ALIVE", 5},
          {"START_AUTOSYNC", 6},
          {"PNS_HD_NOTIFICATION", 7}}},
        {protocol::Action_descriptor(), {{"CREATED", 0}, {"UPDATED", 1}, {"REMOVED", 2}}},
        {protocol::PbZftpPnsDHAttributeType_descriptor(),
         {{"UNKNOWN_ACTION", 1}, {"POSITIVE_ACTION", 2}, {"NEGATIVE_ACTION", 3}}},
        {PbSwimmingStyle_descriptor(),
         {{"OTHER", -1},
          {"TURN", 0},
          {"OTHER_SWIMMING", 10},
          {"FREESTYLE", 11},
          {"BREASTSTROKE", 12},
          {"BACKSTROKE", 13},
          {"BUTTERFLY", 14}}},
    };
    for (const auto& [type, expected] : rows) {
        SCOPED_TRACE(type->full_name());
        EXPECT_EQ(values_of(type), expected);
    }
    EXPECT_FALSE(protocol::PbZFtpDevToHostNotification_IsValid(6));
    EXPECT_FALSE(protocol::PbZftpPnsDHAttributeType_IsValid(0));
}

TEST(SchemaWire, DataTypeNumbersLeaveTheirGaps)
{
    const std::vector<std::pair<int, bool>> valid{{-1, false}, {0, true},  {13, true}, {14, false},
                                                  {19, false}, {20, true}, {33, true}, {34, false},
                                                  {51, false}, {52, true}, {75, true}, {76, false}};
    for (const auto& [number, is_value] : valid)
        EXPECT_EQ(PbDataType_IsValid(number), is_value) << number;
    EXPECT_EQ(PbDataType_descriptor()->value_count(), 52);

    const std::vector<std::pair<const char*, int>> named{{"YEAR", 10},
                                                         {"PERCENT", 60},
                                                         {"TIME_ZONE_OFFSET", 66},
                                                         {"DISTANCE", 52},
                                                         {"SPEED_CALIBRATION_OFFSET", 75}};
    for (const auto& [name, number] : named) {
        const auto* value = PbDataType_descriptor()->FindValueByName(name);
        ASSERT_NE(value, nullptr) << name;
        EXPECT_EQ(value->number(), number) << name;
    }
}

TEST(SchemaWire, OptionAndFieldNumbers)
{
    const auto* field_options = google::protobuf::FieldOptions::descriptor();
    const auto* message_options = google::protobuf::MessageOptions::descriptor();
    const std::vector<std::tuple<const char*, int, const google::protobuf::Descriptor*>> rows{
        {"type", 50000, field_options},
        {"is_union", 50001, message_options},
        {"range", 50003, field_options},
        {"nanopb", 1010, field_options}};
    for (const auto& [name, number, extendee] : rows) {
        SCOPED_TRACE(name);
        const auto* extension = pool().FindExtensionByName(name);
        ASSERT_NE(extension, nullptr);
        EXPECT_EQ(extension->number(), number);
        EXPECT_EQ(extension->containing_type(), extendee);
    }
    EXPECT_EQ(pool().FindExtensionByNumber(field_options, 50002), nullptr);
    EXPECT_EQ(pool().FindExtensionByNumber(message_options, 50002), nullptr);

    EXPECT_EQ(
        data::PbUserIdentifier::descriptor()->FindFieldByName("user_id_last_modified")->number(),
        100);
}

} // namespace
} // namespace zarvo::test
