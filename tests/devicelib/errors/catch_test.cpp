#include "devicelib/errors/errors.h"

#include <gtest/gtest.h>

#include <functional>
#include <ios>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

template <class Handler, class Thrower>
bool is_caught_by(const Thrower& error)
{
    try {
        throw error;
    } catch (const Handler&) {
        return true;
    } catch (...) {
        return false;
    }
}

struct catch_row {
    std::string name;
    std::function<bool()> caught;
    bool expected;
};

#define CATCH_ROW(thrower, handler, expected)                                                      \
    catch_row                                                                                      \
    {                                                                                              \
#thrower " by " #handler, [] { return is_caught_by<handler>(thrower()); }, expected        \
    }

// Every concrete class against its own class, its category (or none),
// zarvo::exception and its standard class.
#define CLASS_ROWS(cls, category, std_class)                                                       \
    CATCH_ROW(zarvo::cls, zarvo::cls, true), CATCH_ROW(zarvo::cls, category, true),                \
        CATCH_ROW(zarvo::cls, zarvo::exception, true), CATCH_ROW(zarvo::cls, std_class, true)

TEST(ErrorHierarchy, CatchMatrix)
{
    const std::vector<catch_row> rows = {
        CLASS_ROWS(unidentified_host_error, zarvo::host_error, std::logic_error),
        CLASS_ROWS(invalid_command, zarvo::host_error, std::logic_error),
        CLASS_ROWS(invalid_parameter, zarvo::host_error, std::logic_error),
        CLASS_ROWS(no_such_file_or_directory, zarvo::host_error, std::runtime_error),
        CLASS_ROWS(directory_exists, zarvo::host_error, std::logic_error),
        CLASS_ROWS(file_exists, zarvo::host_error, std::logic_error),
        CLASS_ROWS(operation_not_permitted, zarvo::host_error, std::logic_error),
        CLASS_ROWS(no_such_user, zarvo::host_error, std::runtime_error),
        CLASS_ROWS(operation_timed_out, zarvo::connection_error, std::runtime_error),
        CLASS_ROWS(try_again, zarvo::device_error, std::runtime_error),
        CLASS_ROWS(unidentified_device_error, zarvo::device_error, std::runtime_error),
        CLASS_ROWS(not_implemented, zarvo::device_error, std::runtime_error),
        CLASS_ROWS(device_busy, zarvo::device_error, std::runtime_error),
        CLASS_ROWS(invalid_content, zarvo::device_error, std::runtime_error),
        CLASS_ROWS(checksum_failure, zarvo::device_error, std::runtime_error),
        CLASS_ROWS(disk_full, zarvo::device_error, std::runtime_error),
        CLASS_ROWS(prerequisite_not_met, zarvo::device_error, std::runtime_error),
        CLASS_ROWS(insufficient_buffer, zarvo::device_error, std::logic_error),
        CLASS_ROWS(wait_for_idling, zarvo::device_error, std::runtime_error),
        CLASS_ROWS(bad_response, zarvo::protocol_error, std::runtime_error),
        CLASS_ROWS(unexpected_response, zarvo::protocol_error, std::runtime_error),
        CLASS_ROWS(unsupported_response, zarvo::protocol_error, std::runtime_error),
        CLASS_ROWS(inconsistent_behavior, zarvo::protocol_error, std::runtime_error),
        CLASS_ROWS(link_lost, zarvo::connection_error, std::runtime_error),
        CLASS_ROWS(session_expired, zarvo::connection_error, std::runtime_error),
        CLASS_ROWS(operation_canceled, zarvo::connection_error, std::runtime_error),
        CLASS_ROWS(filesystem_corrupted, zarvo::connection_error, std::runtime_error),
        CLASS_ROWS(insufficient_permissions, zarvo::system_error, std::runtime_error),
        CLASS_ROWS(system_busy, zarvo::system_error, std::runtime_error),
        CLASS_ROWS(bad_data, zarvo::exception, std::runtime_error),
        CLASS_ROWS(invalid_function, zarvo::exception, std::logic_error),
        CLASS_ROWS(stream_failure, zarvo::exception, std::ios_base::failure),

        // Intermediate and derived classes.
        CATCH_ROW(zarvo::device_busy, zarvo::sharing_error, true),
        CATCH_ROW(zarvo::system_busy, zarvo::sharing_error, true),
        CATCH_ROW(zarvo::try_again, zarvo::device_busy, true),
        CATCH_ROW(zarvo::wait_for_idling, zarvo::device_busy, true),
        CATCH_ROW(zarvo::no_such_file_or_directory, zarvo::not_existing, true),
        CATCH_ROW(zarvo::no_such_user, zarvo::no_such_file_or_directory, true),
        CATCH_ROW(zarvo::no_such_user, zarvo::not_existing, true),
        CATCH_ROW(zarvo::operation_canceled, zarvo::interrupted, true),
        CATCH_ROW(zarvo::session_expired, zarvo::link_lost, true),
        CATCH_ROW(zarvo::file_exists, zarvo::operation_not_permitted, true),
        CATCH_ROW(zarvo::directory_exists, zarvo::operation_not_permitted, true),
        CATCH_ROW(zarvo::stream_failure, std::runtime_error, true),

        // What must not be caught.
        CATCH_ROW(zarvo::bad_data, std::logic_error, false),
        CATCH_ROW(zarvo::invalid_function, std::runtime_error, false),
        CATCH_ROW(zarvo::system_busy, zarvo::device_error, false),
        CATCH_ROW(zarvo::device_busy, zarvo::system_error, false),
        CATCH_ROW(zarvo::operation_timed_out, zarvo::host_error, false),
        CATCH_ROW(zarvo::file_exists, zarvo::not_existing, false),
        CATCH_ROW(zarvo::no_such_user, zarvo::device_error, false),
        CATCH_ROW(zarvo::link_lost, zarvo::session_expired, false),
        CATCH_ROW(zarvo::insufficient_buffer, std::runtime_error, false),
    };
    for (const catch_row& row : rows)
        EXPECT_EQ(row.caught(), row.expected) << row.name;
}

struct kind_row {
    std::string name;
    std::function<void()> raise;
    bool logic;
};

#define KIND_ROW(cls, logic)                                                                       \
    kind_row                                                                                       \
    {                                                                                              \
#cls, [] { throw zarvo::cls(); }, logic                                                    \
    }

// Through the common base alone a client can reach the standard part and
// tell logic errors from runtime errors; no class is both.
TEST(ErrorHierarchy, KindAndStandardPartThroughTheBase)
{
    const std::vector<kind_row> rows = {
        KIND_ROW(unidentified_host_error, true),
        KIND_ROW(invalid_command, true),
        KIND_ROW(invalid_parameter, true),
        KIND_ROW(no_such_file_or_directory, false),
        KIND_ROW(directory_exists, true),
        KIND_ROW(file_exists, true),
        KIND_ROW(operation_not_permitted, true),
        KIND_ROW(no_such_user, false),
        KIND_ROW(operation_timed_out, false),
        KIND_ROW(try_again, false),
        KIND_ROW(unidentified_device_error, false),
        KIND_ROW(not_implemented, false),
        KIND_ROW(device_busy, false),
        KIND_ROW(invalid_content, false),
        KIND_ROW(checksum_failure, false),
        KIND_ROW(disk_full, false),
        KIND_ROW(prerequisite_not_met, false),
        KIND_ROW(insufficient_buffer, true),
        KIND_ROW(wait_for_idling, false),
        KIND_ROW(bad_response, false),
        KIND_ROW(unexpected_response, false),
        KIND_ROW(unsupported_response, false),
        KIND_ROW(inconsistent_behavior, false),
        KIND_ROW(link_lost, false),
        KIND_ROW(session_expired, false),
        KIND_ROW(operation_canceled, false),
        KIND_ROW(filesystem_corrupted, false),
        KIND_ROW(insufficient_permissions, false),
        KIND_ROW(system_busy, false),
        KIND_ROW(bad_data, false),
        KIND_ROW(invalid_function, true),
        KIND_ROW(stream_failure, false),
    };
    for (const kind_row& row : rows) {
        try {
            row.raise();
            ADD_FAILURE() << row.name << " was not thrown";
        } catch (const zarvo::exception& e) {
            EXPECT_EQ(e.is_logic_error(), row.logic) << row.name;
            EXPECT_EQ(e.is_runtime_error(), !row.logic) << row.name;
            // std_base() is the same object's standard part.
            const zarvo::exception& base = e;
            EXPECT_EQ(dynamic_cast<const void*>(&base.std_base()), dynamic_cast<const void*>(&e))
                << row.name;
        }
    }
}

} // namespace
