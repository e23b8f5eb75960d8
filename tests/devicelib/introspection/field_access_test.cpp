// Field access over the device's own messages: a date, a local date-time
// whose offset is unset, a directory listing and a file operation head.

#include "devicelib/introspection/field_access.h"
#include "devicelib/proto/types.pb.h"
#include "devicelib/proto/zftp_request.pb.h"
#include "devicelib/proto/zftp_response.pb.h"
#include "tests/devicelib/introspection/field_failure.h"

#include <gtest/gtest.h>

#include <vector>

namespace zi = zarvo::introspection;
using zarvo::test::error_line;
using zarvo::test::failure_of;
using zarvo::test::failure_row;

namespace {

class device_messages : public ::testing::Test {
protected:
    device_messages()
    {
        date.set_year(2024);
        date.set_month(2);
        date.set_day(29);

        *local.mutable_date() = date;
        local.mutable_time()->set_hour(13);
        local.mutable_time()->set_minute(45);
        local.mutable_time()->set_seconds(30);
        local.set_obsolete_trusted(true);

        auto* first = directory.add_entries();
        first->set_name("EXE/");
        first->set_size(0);
        auto* second = directory.add_entries();
        second->set_name("DEVICE.BPB");
        second->set_size(480);

        operation.set_command(protocol::PbZFtpOperation::PUT);
        operation.set_path("/U/0/USERID.BPB");
    }

    void expect_failures(const std::vector<failure_row>& rows)
    {
        for (const auto& row : rows)
            EXPECT_EQ(failure_of(row.operation), row.expected) << row.label;
    }

    PbDate date;
    PbLocalDateTime local;
    protocol::PbZFtpDirectory directory;
    protocol::PbZFtpOperation operation;
};

TEST_F(device_messages, reads_values_of_their_own_kind_only)
{
    EXPECT_EQ(zi::get_entry_value<unsigned int>(date, "year"), 2024u);
    EXPECT_EQ(zi::get_path_value<unsigned int>(local, "date.year"), 2024u);
    EXPECT_EQ(zi::get_path_value<std::string>(directory, "entries[1].name"), "DEVICE.BPB");
    EXPECT_EQ(zi::get_path_value<unsigned long long>(directory, "entries[1].size"), 480u);

    expect_failures({
        {"year as int", [&] { zi::get_entry_value<int>(date, "year"); },
         error_line(zi::type_mismatch(3, 1, "year"))},
        {"year with an index", [&] { zi::get_entry_value<unsigned int>(date, "year[0]"); },
         error_line(zi::no_such_array(3, "year[0]", 0))},
        {"unset offset, although it has a default",
         [&] { zi::get_entry_value<int>(local, "time_zone_offset"); },
         error_line(zi::missing_value(1, "time_zone_offset"))},
        {"repeated message without index",
         [&] { zi::get_path_value<std::string>(directory, "entries.name"); },
         error_line(zi::missing_index(10, "entries"))},
        {"element past the end",
         [&] { zi::get_path_value<std::string>(directory, "entries[2].name"); },
         error_line(zi::missing_elements(10, "entries[2]", 2, 2))},
        {"one-component path", [&] { zi::get_path_value<unsigned int>(date, "year"); },
         error_line(zi::type_mismatch(10, 3, "year"))},
        {"enum read as a string reference",
         [&] { zi::get_entry_value<const std::string&>(operation, "command"); },
         error_line(zi::type_mismatch(8, 9, "command"))},
    });
}

TEST_F(device_messages, type_query_looks_at_the_name_only)
{
    EXPECT_EQ(zi::get_entry_type(date, "month"), 3);
    EXPECT_EQ(zi::get_entry_type(date, "month[4]"), 3);
    EXPECT_EQ(zi::get_entry_type(local, "time_zone_offset"), 1);
    EXPECT_EQ(zi::get_path_type(date, "year"), 10);
    EXPECT_EQ(zi::get_path_type(local, "date.day"), 3);
    // created is unset: the last component is not checked for presence.
    EXPECT_EQ(zi::get_path_type(directory, "entries[1].created"), 10);

    EXPECT_EQ(failure_of([&] { zi::get_entry_type(date, "hour"); }),
              error_line(zi::field_not_found("hour")));
}

TEST_F(device_messages, setters_overwrite_only_what_is_set)
{
    const std::string before = local.SerializePartialAsString();
    EXPECT_EQ(failure_of([&] { zi::set_entry_value<int>(local, "time_zone_offset", 60); }),
              error_line(zi::missing_value(1, "time_zone_offset")));
    EXPECT_EQ(local.SerializePartialAsString(), before);
    EXPECT_FALSE(local.has_time_zone_offset());

    local.set_time_zone_offset(-300);
    zi::set_entry_value<int>(local, "time_zone_offset", 60);
    EXPECT_EQ(local.time_zone_offset(), 60);

    PbLocalDateTime dateless;
    dateless.mutable_time()->set_hour(1);
    const std::string dateless_before = dateless.SerializePartialAsString();
    EXPECT_EQ(failure_of([&] { zi::set_path_value<unsigned int>(dateless, "date.year", 2025); }),
              error_line(zi::missing_value(10, "date")));
    EXPECT_FALSE(dateless.has_date());
    EXPECT_EQ(dateless.SerializePartialAsString(), dateless_before);

    zi::set_path_value<unsigned int>(local, "date.year", 2025);
    EXPECT_EQ(local.date().year(), 2025u);
}

TEST_F(device_messages, string_reference_points_into_the_message)
{
    const std::string& name = zi::get_path_value<const std::string&>(directory, "entries[0].name");
    EXPECT_EQ(name, "EXE/");
    EXPECT_EQ(&name, &directory.entries(0).name());

    const std::string& head = zi::get_entry_value<const std::string&>(operation, "path");
    EXPECT_EQ(&head, &operation.path());
    operation.set_path("/U/1/USERID.BPB");
    EXPECT_EQ(head, "/U/1/USERID.BPB");
}

TEST_F(device_messages, enum_fields_by_number_and_name)
{
    std::string name;
    EXPECT_EQ(zi::get_entry_enum_string(operation, "command", name), 1);
    EXPECT_EQ(name, "PUT");
    EXPECT_EQ(zi::get_entry_enum_int(operation, "command"), 1);

    zi::set_entry_enum_int(operation, "command", 3);
    EXPECT_EQ(operation.command(), protocol::PbZFtpOperation::REMOVE);

    const std::string before = operation.SerializePartialAsString();
    EXPECT_EQ(failure_of([&] { zi::set_entry_enum_int(operation, "command", 4); }),
              error_line(zi::bad_cast("command", "Command", 4)));
    EXPECT_EQ(operation.SerializePartialAsString(), before);
}

TEST(type_names, codes_outside_the_kinds_are_unknown)
{
    EXPECT_STREQ(zi::type2string(0), "unknown");
    EXPECT_STREQ(zi::type2string(11), "unknown");
    EXPECT_STREQ(zi::type2string(10), "message");
}

} // namespace
