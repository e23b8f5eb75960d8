// Every data type that the device's schemas name builds a validator for the
// field that names it, from the built-in table and under the default policy.
#include "devicelib/introspection/data_type_registry.h"
#include "devicelib/introspection/errors.h"
#include "devicelib/introspection/validate_fields.h"
#include "devicelib/proto/device_messages.h"

#include "nanopb.pb.h"
#include "structures.pb.h"
#include "types.pb.h"
#include "user_database.pb.h"
#include "user_id.pb.h"
#include "zftp_notification.pb.h"
#include "zftp_request.pb.h"
#include "zftp_response.pb.h"

#include <google/protobuf/descriptor.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>

namespace zarvo::test {
namespace {

using google::protobuf::Descriptor;
using google::protobuf::FieldDescriptor;

void for_each_typed_field(const Descriptor* type,
                          const std::function<void(const FieldDescriptor*)>& visit)
{
    for (int i = 0; i < type->field_count(); ++i)
        if (!introspection::data_type_of(type->field(i)).empty())
            visit(type->field(i));
    for (int i = 0; i < type->nested_type_count(); ++i)
        for_each_typed_field(type->nested_type(i), visit);
}

// The static flavour links only the schema code a program refers to; naming
// each file's descriptor table brings all nine in.
struct schema_file {
    const char* name;
    const google::protobuf::internal::DescriptorTable* table;
};
const schema_file schema_files[] = {
    {"device.proto", &descriptor_table_device_2eproto},
    {"user_id.proto", &descriptor_table_user_5fid_2eproto},
    {"types.proto", &descriptor_table_types_2eproto},
    {"user_database.proto", &descriptor_table_user_5fdatabase_2eproto},
    {"nanopb.proto", &descriptor_table_nanopb_2eproto},
    {"structures.proto", &descriptor_table_structures_2eproto},
    {"zftp_response.proto", &descriptor_table_zftp_5fresponse_2eproto},
    {"zftp_notification.proto", &descriptor_table_zftp_5fnotification_2eproto},
    {"zftp_request.proto", &descriptor_table_zftp_5frequest_2eproto},
};

TEST(SchemaTypes, EveryTypedFieldBuildsItsValidator)
{
    const auto& pool = *google::protobuf::DescriptorPool::generated_pool();
    introspection::data_type_registry registry(introspection::builtin_table_source());
    std::map<std::string, std::set<int>> field_types;
    int typed = 0, unknown = 0;
    for (const auto& schema : schema_files) {
        ASSERT_NE(schema.table, nullptr);
        const auto* file = pool.FindFileByName(schema.name);
        ASSERT_NE(file, nullptr) << schema.name;
        for (int m = 0; m < file->message_type_count(); ++m)
            for_each_typed_field(file->message_type(m), [&](const FieldDescriptor* field) {
                const std::string& name = introspection::data_type_of(field);
                const int type = field->cpp_type();
                field_types[name].insert(type);
                ++typed;
                unsigned flags = 0;
                if (name == "PERCENT") {
                    ++unknown;
                    EXPECT_THROW(registry.get_validator(type, field->full_name(), name,
                                                        introspection::default_auditor(), flags),
                                 introspection::unknown_type);
                    return;
                }
                try {
                    EXPECT_NE(registry.get_validator(type, field->full_name(), name,
                                                     introspection::default_auditor(), flags),
                              nullptr)
                        << field->full_name();
                } catch (const std::exception& e) {
                    ADD_FAILURE() << field->full_name() << " (" << name << "): " << e.what();
                }
            });
    }
    EXPECT_GT(typed, 20);
    EXPECT_GT(unknown, 0);
    for (const auto& [name, types] : field_types)
        EXPECT_EQ(types.size(), 1u) << name << " is used with several field types";
}

} // namespace
} // namespace zarvo::test
