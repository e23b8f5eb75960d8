#include "tests/devicelib/proto/proto_test_util.h"

#include <google/protobuf/descriptor.pb.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace zarvo::test {
namespace {

using google::protobuf::Descriptor;
using google::protobuf::FieldDescriptor;
using google::protobuf::Message;

const std::vector<std::string> schema_file_names{
    "device.proto",      "user_id.proto",    "types.proto",         "user_database.proto",
    "nanopb.proto",      "structures.proto", "zftp_response.proto", "zftp_notification.proto",
    "zftp_request.proto"};

// The option's value, looked up by name through the options' reflection, if set.
const google::protobuf::FieldDescriptor* set_extension(const Message& options, const char* name)
{
    const auto* reflection = options.GetReflection();
    const auto* extension = reflection->FindKnownExtensionByName(name);
    if (!extension || !reflection->HasField(options, extension))
        return nullptr;
    return extension;
}

// A field's data type the way the validation reads it: the name of its `type`
// option, empty when the option is absent or UNDEFINED.
std::string data_type_of(const FieldDescriptor* field)
{
    const Message& options = field->options();
    const auto* extension = set_extension(options, "type");
    if (!extension)
        return "";
    const auto* value = options.GetReflection()->GetEnum(options, extension);
    return value->number() == 0 ? "" : value->name();
}

void for_each_message(const Descriptor* type, const std::function<void(const Descriptor*)>& visit)
{
    visit(type);
    for (int i = 0; i < type->nested_type_count(); ++i)
        for_each_message(type->nested_type(i), visit);
}

void for_each_schema_message(const std::function<void(const Descriptor*)>& visit)
{
    for (const auto& name : schema_file_names) {
        const auto* file = pool().FindFileByName(name);
        ASSERT_NE(file, nullptr) << name;
        for (int i = 0; i < file->message_type_count(); ++i)
            for_each_message(file->message_type(i), visit);
    }
}

void for_each_schema_field(const std::function<void(const FieldDescriptor*)>& visit)
{
    for_each_schema_message([&](const Descriptor* type) {
        for (int i = 0; i < type->field_count(); ++i)
            visit(type->field(i));
    });
}

TEST(SchemaOptions, DataTypesAreReadByTheOptionsName)
{
    const std::vector<std::pair<const char*, const char*>> rows{
        {"PbDate.year", "YEAR"},
        {"protocol.PbZFtpSetLocalTimeParams.tz_offset", "TIME_ZONE_OFFSET"},
        {"protocol.PbZFtpGetBatteryStatusResult.battery_status", "PERCENT"},
        {"PbDuration.minutes", "MINUTE"},
        {"protocol.PbZFtpGetLocalTimeResult.tz_offset", ""},
        {"protocol.PbZFtpOperation.path", ""},
    };
    for (const auto& [field_name, data_type] : rows) {
        const auto* field = pool().FindFieldByName(field_name);
        ASSERT_NE(field, nullptr) << field_name;
        EXPECT_EQ(data_type_of(field), data_type) << field_name;
    }
}

TEST(SchemaOptions, EveryDataTypeOfTheSchemas)
{
    const std::map<std::string, std::string> expected{
        {"PbDate.year", "YEAR"},
        {"PbDate.month", "MONTH"},
        {"PbDate.day", "DAY"},
        {"PbTime.hour", "HOUR"},
        {"PbTime.minute", "MINUTE"},
        {"PbTime.seconds", "SECOND"},
        {"PbTime.millis", "MILLIS"},
        {"PbLocalDateTime.time_zone_offset", "TIME_ZONE_OFFSET"},
        {"PbDuration.hours", "HOURS"},
        {"PbDuration.minutes", "MINUTE"},
        {"PbDuration.seconds", "SECOND"},
        {"PbDuration.millis", "MILLIS"},
        {"PbLocation.latitude", "LATITUDE"},
        {"PbLocation.longitude", "LONGITUDE"},
        {"PbVolume.volume", "PERCENT"},
        {"PbVolumeTarget.distance", "DISTANCE"},
        {"PbVolumeTarget.calories", "CALORIES"},
        {"PbTrainingLoad.carbohydrate_consumption", "PERCENT"},
        {"PbTrainingLoad.protein_consumption", "PERCENT"},
        {"PbTrainingLoad.fat_consumption", "PERCENT"},
        {"PbHeartRateZone.lower_limit", "HEARTRATE"},
        {"PbHeartRateZone.higher_limit", "HEARTRATE"},
        {"PbSpeedZone.lower_limit", "SPEED"},
        {"PbSpeedZone.higher_limit", "SPEED"},
        {"PbPowerZone.lower_limit", "POWER"},
        {"PbPowerZone.higher_limit", "POWER"},
        {"PbRunningIndex.value", "RUNNING_INDEX"},
        {"protocol.PbZFtpSetLocalTimeParams.tz_offset", "TIME_ZONE_OFFSET"},
        {"protocol.PbZFtpGetBatteryStatusResult.battery_status", "PERCENT"},
        {"protocol.PbZFtpBatteryStatus.battery_status", "PERCENT"},
    };
    std::map<std::string, std::string> found;
    for_each_schema_field([&](const FieldDescriptor* field) {
        std::string data_type = data_type_of(field);
        if (!data_type.empty())
            found[field->full_name()] = data_type;
    });
    EXPECT_EQ(found, expected);
}

TEST(SchemaOptions, NoFieldSetsRangeAndNoMessageIsAUnion)
{
    int messages = 0, fields = 0;
    for_each_schema_message([&](const Descriptor* type) {
        ++messages;
        EXPECT_EQ(set_extension(type->options(), "is_union"), nullptr) << type->full_name();
    });
    for_each_schema_field([&](const FieldDescriptor* field) {
        ++fields;
        EXPECT_EQ(set_extension(field->options(), "range"), nullptr) << field->full_name();
    });
    EXPECT_EQ(messages, 61); // the nine files declare 61 messages, none nested
    EXPECT_GT(fields, 0);
}

TEST(SchemaOptions, EncoderBoundsAreCarriedInTheDescriptors)
{
    struct bounds {
        int max_size;
        int max_count;
        bool operator==(const bounds& o) const
        {
            return max_size == o.max_size && max_count == o.max_count;
        }
    };
    const std::map<std::string, bounds> expected{
        {"data.PbVersion.specifier", {32, -1}},
        {"data.PbPasswordToken.token", {16, -1}},
        {"data.PbUserIdentifier.email", {128, -1}},
        {"PbZones.heart_rate_zone", {-1, 7}},
        {"PbZones.speed_zone", {-1, 7}},
        {"PbZones.power_zone", {-1, 7}},
        {"PbBleMac.mac", {6, -1}},
        {"PbBleDeviceName.name", {31, -1}},
        {"PbLanguageId.language", {3, -1}},
        // Size, not count, although the fields are repeated.
        {"protocol.PbZftpPnsDHNotificationResponse.attributes", {10, -1}},
        {"protocol.PbZftpPnsHDNotification.attributes", {10, -1}},
    };
    std::map<std::string, bounds> found;
    for_each_schema_field([&](const FieldDescriptor* field) {
        const Message& options = field->options();
        const auto* extension = set_extension(options, "nanopb");
        if (!extension)
            return;
        const Message& value = options.GetReflection()->GetMessage(options, extension);
        auto member = [&](const char* name) {
            const auto* f = value.GetDescriptor()->FindFieldByName(name);
            const auto* r = value.GetReflection();
            return r->HasField(value, f) ? r->GetInt32(value, f) : -1;
        };
        found[field->full_name()] = {member("max_size"), member("max_count")};
    });
    EXPECT_EQ(found.size(), expected.size());
    for (const auto& [name, b] : expected) {
        ASSERT_EQ(found.count(name), 1u) << name;
        EXPECT_TRUE(found[name] == b)
            << name << ": " << found[name].max_size << "/" << found[name].max_count;
    }
}

} // namespace
} // namespace zarvo::test
