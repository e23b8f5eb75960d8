#include "devicelib/proto/device_messages.h"
#include "tests/devicelib/proto/proto_test_util.h"

#include "devicelib/proto/structures.pb.h"
#include "devicelib/proto/types.pb.h"
#include "devicelib/proto/zftp_request.pb.h"

#include <gmock/gmock.h>
#include <google/protobuf/descriptor.pb.h>
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <set>
#include <string>
#include <vector>

namespace zarvo::test {
namespace {

using google::protobuf::FileDescriptor;

struct schema_file {
    const char* name;
    const char* package;
    std::vector<std::string> imports;
    // Declaration order fixes the indices in the descriptors.
    std::vector<std::string> messages;
    std::vector<std::string> enums;
    std::vector<std::string> extensions;
    std::set<std::string> file_options;
};

const std::set<std::string> java_package{"java_package"};
std::set<std::string> with_outer_class()
{
    return {"java_package", "java_outer_classname"};
}

const std::vector<schema_file>& schema_files()
{
    static const std::vector<schema_file> files{
        {"types.proto",
         "",
         {"google/protobuf/descriptor.proto"},
         {"PbRangeOptions", "PbDate", "PbTime", "PbSystemDateTime", "PbLocalDateTime", "PbDuration",
          "PbLocation", "PbSensorOffline", "PbVolume", "PbStrideSensorCalibSettings"},
         {"PbDataType",
          "PbHeartRateView",
          "PbUnitSystem",
          "PbTimeSelection",
          "PbTimeFormat",
          "PbTimeFormatSeparator",
          "PbStartDayOfWeek",
          "PbDateFormatSeparator",
          "PbDateFormat",
          "PbFeatureType",
          "PbMovingType",
          "PbOperationType",
          "PbExerciseFeedback",
          "PbHeartRateZoneSettingSource",
          "PbPowerZoneSettingSource",
          "PbSpeedZoneSettingSource",
          "PbMacType",
          "PbSwimmingStyle",
          "PbSwimmingPoolUnits",
          "PbExerciseTargetType"},
         {"type", "is_union", "range"},
         java_package},
        {"nanopb.proto",
         "",
         {"google/protobuf/descriptor.proto"},
         {"NanoPBOptions"},
         {},
         {"nanopb"},
         java_package},
        {"device.proto",
         "data",
         {"nanopb.proto"},
         {"PbVersion", "PbDeviceInfo"},
         {},
         {},
         with_outer_class()},
        {"user_id.proto",
         "data",
         {"types.proto", "nanopb.proto"},
         {"PbPasswordToken", "PbUserIdentifier"},
         {},
         {},
         with_outer_class()},
        {"user_database.proto", "data", {}, {"PbUserDb"}, {}, {}, with_outer_class()},
        {"structures.proto",
         "",
         {"types.proto", "nanopb.proto"},
         {"PbVolumeTarget", "PbTrainingLoad", "PbHeartRateZone", "PbSpeedZone", "PbPowerZone",
          "PbZones", "PbBleMac", "PbBleDeviceName", "PbDeviceId", "PbRunningIndex",
          "PbSportIdentifier", "PbOneLineText", "PbMultiLineText", "PbLanguageId",
          "PbTrainingSessionTargetId", "PbTrainingSessionFavoriteId", "PbRouteId",
          "PbSwimmingPoolInfo"},
         {},
         {},
         java_package},
        {"zftp_request.proto",
         "protocol",
         {"types.proto"},
         {"PbZFtpOperation", "PbZFtpSetSystemTimeParams", "PbZFtpSetLocalTimeParams",
          "PbZFtpGenerateChallengeTokenParams", "PbZFtpSetAdbModeParams",
          "PbZFtpCleanupDiskSpaceParams"},
         {"PbZFtpQuery"},
         {},
         {}},
        {"zftp_response.proto",
         "protocol",
         {"types.proto"},
         {"PbZFtpEntry", "PbZFtpDirectory", "PbZFtpIdentifyDeviceResult",
          "PbZFtpGetSystemTimeResult", "PbZFtpGetLocalTimeResult", "PbZFtpDiskSpaceResult",
          "PbZFtpGenerateChallengeTokenResult", "PbZFtpGetBatteryStatusResult",
          "PbZFtpGetInactivityPreAlertResult"},
         {},
         {},
         {}},
        {"zftp_notification.proto",
         "protocol",
         {"types.proto", "nanopb.proto"},
         {"PbZFtpFilesystemModifiedParams", "PbZFtpBatteryStatus", "PbZFtpInactivityAlert",
          "PbZFtpTrainingSessionStatus", "PbZFtpAutoSyncStatusParams", "PbZftpPnsDHAttribute",
          "PbZftpPnsDHNotificationResponse", "PbZFtpStopSyncParams", "PbZFtpFactoryResetParams",
          "PbZFtpStartAutosyncParams", "PbZftpPnsHDAttribute", "PbZftpPnsHDNotification"},
         {"PbZFtpDevToHostNotification", "Action", "PbZftpPnsDHAttributeType",
          "PbZFtpHostToDevNotification", "PbZftpPnsHDCategoryID", "PbZftpPnsHDAttributeType"},
         {},
         {}},
    };
    return files;
}

template <typename Count, typename Get>
std::vector<std::string> names(Count count, Get get)
{
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i)
        out.push_back(get(i)->name());
    return out;
}

std::set<std::string> set_options(const google::protobuf::Message& options)
{
    std::vector<const google::protobuf::FieldDescriptor*> fields;
    options.GetReflection()->ListFields(options, &fields);
    std::set<std::string> out;
    for (const auto* field : fields)
        out.insert(field->name());
    return out;
}

TEST(SchemaRegistration, EachFileRegistersUnderItsBareNameWithItsPackageImportsAndContent)
{
    for (const auto& expected : schema_files()) {
        SCOPED_TRACE(expected.name);
        const FileDescriptor* file = pool().FindFileByName(expected.name);
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(file->syntax(), FileDescriptor::SYNTAX_PROTO2);
        EXPECT_EQ(file->package(), expected.package);
        EXPECT_EQ(names(file->dependency_count(), [&](int i) { return file->dependency(i); }),
                  expected.imports);
        EXPECT_EQ(names(file->message_type_count(), [&](int i) { return file->message_type(i); }),
                  expected.messages);
        EXPECT_EQ(names(file->enum_type_count(), [&](int i) { return file->enum_type(i); }),
                  expected.enums);
        EXPECT_EQ(names(file->extension_count(), [&](int i) { return file->extension(i); }),
                  expected.extensions);
        // Only the Java naming options; nothing that changes the generated code.
        EXPECT_EQ(set_options(file->options()), expected.file_options);
        // Under any other import root the file would carry its folder in its name.
        EXPECT_EQ(pool().FindFileByName(std::string("devicelib/proto/") + expected.name), nullptr);
    }
}

TEST(SchemaRegistration, OuterClassNamesAndFullNamesAreTheSchemas)
{
    EXPECT_EQ(pool().FindFileByName("device.proto")->options().java_outer_classname(), "Device");
    EXPECT_EQ(pool().FindFileByName("user_id.proto")->options().java_outer_classname(), "UserIds");
    EXPECT_EQ(pool().FindFileByName("user_database.proto")->options().java_outer_classname(),
              "UserDataBase");

    EXPECT_EQ(data::PbDeviceInfo::descriptor()->full_name(), "data.PbDeviceInfo");
    EXPECT_EQ(PbDate::descriptor()->full_name(), "PbDate");
    EXPECT_EQ(protocol::PbZFtpOperation::descriptor()->full_name(), "protocol.PbZFtpOperation");
    EXPECT_EQ(PbVolumeTarget::PbVolymeTargetType_descriptor()->full_name(),
              "PbVolumeTarget.PbVolymeTargetType");
    // The generated classes and the pool agree.
    EXPECT_EQ(pool().FindMessageTypeByName("data.PbDeviceInfo"), data::PbDeviceInfo::descriptor());
    EXPECT_EQ(pool().FindMessageTypeByName("PbDate"), PbDate::descriptor());
}

std::string object_file_of(const void* address)
{
    Dl_info info{};
    if (dladdr(address, &info) == 0 || !info.dli_fname)
        return "";
    return info.dli_fname;
}

// The generated code is compiled once, into the shared library. Code addresses
// and the vtable show it; the default instances do not, since a PIE executable
// may hold copy-relocated data of the library's.
TEST(SchemaRegistration, MessageClassesLiveInTheSharedLibrary)
{
    const PbDate date;
    const void* vtable = *reinterpret_cast<const void* const*>(&date);
    EXPECT_THAT(object_file_of(vtable), testing::HasSubstr("libzarvo20.so"));
    EXPECT_THAT(object_file_of(reinterpret_cast<const void*>(&PbDataType_IsValid)),
                testing::HasSubstr("libzarvo20.so"));
    EXPECT_THAT(object_file_of(reinterpret_cast<const void*>(&protocol::PbZFtpQuery_descriptor)),
                testing::HasSubstr("libzarvo20.so"));
}

} // namespace
} // namespace zarvo::test
