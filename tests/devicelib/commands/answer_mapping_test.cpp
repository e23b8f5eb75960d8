#include "devicelib/core/device_answer.h"

#include "devicelib/errors/errors.h"

#include <gtest/gtest.h>

#include <typeindex>
#include <typeinfo>

namespace zarvo::core {
namespace {

struct mapping_row {
    int answer;
    std::type_index raised;
    std::string text;
    unsigned user = 0; // no_such_user only
};

std::type_index none = typeid(void);

// One table over every row of the mapping and a few codes around them.
TEST(answer_mapping, class_text_and_detail_per_answer)
{
    const mapping_row rows[] = {
        {0, typeid(invalid_function), "Invalid function: Invalid error code.."},
        {1, none, ""},
        {2, typeid(try_again), "Try again"},
        {100, typeid(unidentified_host_error), "Unidentified host error."},
        {101, typeid(invalid_command), "Invalid command 'START_SYNC'."},
        {102, typeid(invalid_parameter), "Invalid parameter 'nonce'."},
        {103, typeid(no_such_file_or_directory), "Path '/U/3/USERID.BPB' do not exists."},
        {104, typeid(directory_exists), "Operation not permitted."},
        {105, typeid(file_exists), "Operation not permitted."},
        {106, typeid(operation_not_permitted), "Operation 'START_SYNC' not permitted."},
        {107, typeid(no_such_user), "Path '/U/7' do not exists.", 7},
        {108, typeid(operation_timed_out), "Operation timed out."},
        {200, typeid(unidentified_device_error), "Unidentified device error."},
        {201, typeid(not_implemented), "Functionality not implemented."},
        {202, typeid(device_busy), "Device busy."},
        {203, typeid(invalid_content), "Invalid content."},
        {204, typeid(checksum_failure), "Checksum failure."},
        {205, typeid(disk_full), "Disk full."},
        {206, typeid(prerequisite_not_met), "Prerequisite not met."},
        {207, typeid(insufficient_buffer), "Insufficient buffer."},
        {208, typeid(wait_for_idling), "Wait for idling."},
    };
    for (const auto& row : rows) {
        try {
            raise_device_error(row.answer, "/U/3/USERID.BPB", "START_SYNC", "nonce", 7);
            EXPECT_EQ(row.raised, none) << row.answer << " raised nothing";
        } catch (const zarvo::exception& e) {
            EXPECT_EQ(std::type_index(typeid(e)), row.raised) << row.answer;
            EXPECT_EQ(std::string(e.std_base().what()), row.text) << row.answer;
            if (const auto* user = dynamic_cast<const no_such_user*>(&e)) {
                EXPECT_EQ(user->user_id(), row.user);
            }
        }
    }
    for (int unknown : {3, 99, 109, 150, 199, 209, 1000, -1}) {
        try {
            raise_device_error(unknown, "/x", "START_SYNC", nullptr, 0);
            ADD_FAILURE() << unknown << " raised nothing";
        } catch (const unidentified_device_error& e) {
            EXPECT_STREQ(e.what(), "Unknown error code.") << unknown;
        }
    }
}

// The error f raises, as E; a test failure when it raises nothing else.
template <typename E, typename F>
std::string detail_of(F&& f, std::string (*detail)(const E&))
{
    try {
        f();
    } catch (const E& e) {
        return detail(e);
    }
    ADD_FAILURE() << typeid(E).name() << " not raised";
    return {};
}

TEST(answer_mapping, details_carry_the_path_and_the_default_parameter)
{
    EXPECT_EQ(detail_of<directory_exists>([] { raise_device_error(104, "/A/B", "", nullptr, 0); },
                                          [](const directory_exists& e) { return e.path(); }),
              "/A/B");
    EXPECT_EQ(detail_of<file_exists>([] { raise_device_error(105, "/A/B", "", nullptr, 0); },
                                     [](const file_exists& e) { return e.path(); }),
              "/A/B");
    EXPECT_EQ(detail_of<no_such_file_or_directory>(
                  [] { raise_device_error(103, "/A/B", "", nullptr, 0); },
                  [](const no_such_file_or_directory& e) { return e.path(); }),
              "/A/B");
    EXPECT_EQ(detail_of<invalid_parameter>(
                  [] { raise_device_error(102, "", "BATTERY_STATUS", nullptr, 0); },
                  [](const invalid_parameter& e) { return std::string(e.what()); }),
              "Invalid parameter.");
}

} // namespace
} // namespace zarvo::core
