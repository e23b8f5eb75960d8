#include "devicelib/errors/errors.h"
#include "tests/support/recording_logger.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <type_traits>
#include <vector>

namespace {

using zarvo::test::trace_fixture;
using strings = std::vector<std::string>;

const std::runtime_error cause("the cause");

struct text_row {
    std::string name;
    std::function<void()> raise;
    std::string text;
    strings trace; // "<function>: <message>" lines, in order
};

#define TEXT_ROW(expr, text, ...)                                                                  \
    text_row                                                                                       \
    {                                                                                              \
#expr, [] { throw expr; }, text, strings                                                   \
        {                                                                                          \
            __VA_ARGS__                                                                            \
        }                                                                                          \
    }

const char* const null_text = nullptr;
const std::string device_file = "/DEVICE.BPB";

const std::string invalid_parameter_warning =
    "zarvo::invalid_parameter::invalid_parameter: WARNING: Parameter not specified!";
const std::string path_warning =
    "zarvo::no_such_file_or_directory::no_such_file_or_directory: WARNING: Path not specified!";
const std::string user_warning =
    "zarvo::no_such_user::no_such_user: WARNING: User identifier not specified!";

using ErrorTexts = trace_fixture;

TEST_F(ErrorTexts, TextAndTracePerClassAndShape)
{
    using namespace zarvo;
    const std::vector<text_row> rows = {
        TEXT_ROW(invalid_parameter(), "Invalid parameter.", invalid_parameter_warning),
        TEXT_ROW(invalid_parameter(cause), "Invalid parameter", invalid_parameter_warning),
        TEXT_ROW(invalid_parameter("path"), "Invalid parameter 'path'."),
        TEXT_ROW(invalid_parameter(std::string("path"), cause), "Invalid parameter 'path'."),
        TEXT_ROW(invalid_command(), "Undefined invalid command.",
                 "zarvo::invalid_command::invalid_command: WARNING: Command not specified!"),
        TEXT_ROW(invalid_command(""), "Invalid command ''."),
        TEXT_ROW(invalid_command("it's"), "Invalid command 'it's'."),
        TEXT_ROW(invalid_command(null_text), "Invalid command ''."),
        TEXT_ROW(unidentified_host_error(cause), "Unidentified host error."),
        TEXT_ROW(operation_not_permitted("erase"), "Operation 'erase' not permitted."),
        TEXT_ROW(operation_not_permitted(), "Operation not permitted."),
        TEXT_ROW(no_such_file_or_directory(), "No such file or directory.", path_warning),
        TEXT_ROW(no_such_file_or_directory(cause), "No such file or directory.", path_warning),
        TEXT_ROW(no_such_file_or_directory("/DEVICE.BPB"), "Path '/DEVICE.BPB' do not exist."),
        TEXT_ROW(no_such_file_or_directory(device_file), "Path '/DEVICE.BPB' do not exists."),
        TEXT_ROW(no_such_file_or_directory("/DEVICE.BPB", cause),
                 "Path '/DEVICE.BPB' do not exists."),
        TEXT_ROW(no_such_file_or_directory(device_file, cause),
                 "Path '/DEVICE.BPB' do not exists."),
        TEXT_ROW(no_such_user(3u), "Path '/U/3' do not exists."),
        TEXT_ROW(no_such_user(), "No such file or directory.", path_warning, user_warning),
        TEXT_ROW(no_such_user(cause), "No such file or directory.", path_warning, user_warning),
        TEXT_ROW(file_exists("/DEVICE.BPB"), "Operation not permitted."),
        TEXT_ROW(file_exists(), "Operation not permitted.",
                 "zarvo::file_exists::file_exists: Path not specified."),
        TEXT_ROW(directory_exists(cause), "Operation not permitted.",
                 "zarvo::directory_exists::directory_exists: Path not specified."),
        TEXT_ROW(directory_exists(device_file, cause), "Operation not permitted."),
        TEXT_ROW(operation_timed_out(), "Operation timed out."),
        TEXT_ROW(try_again(), "Try again"),
        TEXT_ROW(try_again(0u), "Try again"),
        TEXT_ROW(try_again("Later."), "Later."),
        TEXT_ROW(try_again(5u, std::string("Later."), cause), "Later."),
        TEXT_ROW(unidentified_device_error(), "Unidentified device error."),
        TEXT_ROW(unidentified_device_error("Answer 299."), "Answer 299."),
        TEXT_ROW(not_implemented(), "Functionality not implemented."),
        TEXT_ROW(device_busy(), "Device busy."),
        TEXT_ROW(device_busy(std::string("Busy writing."), cause), "Busy writing."),
        TEXT_ROW(invalid_content(cause), "Invalid content."),
        TEXT_ROW(checksum_failure(std::string("CRC.")), "CRC."),
        TEXT_ROW(checksum_failure(), "Checksum failure."),
        TEXT_ROW(disk_full(), "Disk full."),
        TEXT_ROW(prerequisite_not_met(), "Prerequisite not met."),
        TEXT_ROW(insufficient_buffer(), "Insufficient buffer."),
        TEXT_ROW(insufficient_buffer(cause), "Insufficient buffer"),
        TEXT_ROW(wait_for_idling(), "Wait for idling."),
        TEXT_ROW(wait_for_idling("Idle first."), "Idle first."),
        TEXT_ROW(bad_response(""), "Bad response: ."),
        TEXT_ROW(bad_response("x", cause), "Bad response: x."),
        TEXT_ROW(bad_response(cause), "Bad response."),
        TEXT_ROW(unexpected_response(), "Unexpected response."),
        TEXT_ROW(unsupported_response(std::string("kind 7")), "Unsupported response: kind 7."),
        TEXT_ROW(inconsistent_behavior("size"), "Inconsistent behavior: size."),
        TEXT_ROW(link_lost(), "Link lost."),
        TEXT_ROW(link_lost("Cable pulled.", cause), "Cable pulled."),
        TEXT_ROW(link_lost(null_text), ""),
        TEXT_ROW(session_expired(cause), "Session expired."),
        TEXT_ROW(operation_canceled(), "Operation canceled."),
        TEXT_ROW(filesystem_corrupted(), "Filesystem corrupted."),
        TEXT_ROW(insufficient_permissions(), "Insufficient permissions."),
        TEXT_ROW(insufficient_permissions(std::string("No locks available"), cause),
                 "Insufficient permissions: No locks available."),
        TEXT_ROW(system_busy(), "System busy."),
        TEXT_ROW(system_busy(std::string("Locked."), cause), "Locked."),
        TEXT_ROW(bad_data("truncated"), "Bad data: truncated."),
        TEXT_ROW(invalid_function("Invalid error code."), "Invalid function: Invalid error code.."),
        TEXT_ROW(stream_failure(cause), "Stream failure."),
    };
    for (const text_row& row : rows) {
        log.clear();
        try {
            row.raise();
            ADD_FAILURE() << row.name << " was not thrown";
        } catch (const zarvo::exception& e) {
            EXPECT_EQ(e.std_base().what(), row.text) << row.name;
        }
        EXPECT_EQ(log.messages(), row.trace) << row.name;
    }
}

TEST_F(ErrorTexts, WarningCarriesTheConstructorsSourceFile)
{
    zarvo::invalid_parameter error;
    const strings lines = log.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(" host_errors.cpp@"), std::string::npos) << lines[0];
}

TEST_F(ErrorTexts, StoredValues)
{
    const zarvo::no_such_file_or_directory forms[] = {
        zarvo::no_such_file_or_directory("/DEVICE.BPB"),
        zarvo::no_such_file_or_directory(device_file),
        zarvo::no_such_file_or_directory("/DEVICE.BPB", cause),
        zarvo::no_such_file_or_directory(device_file, cause),
    };
    for (const auto& e : forms) {
        EXPECT_EQ(e.path(), "/DEVICE.BPB");
        EXPECT_EQ(&e.object_id(), &e.path());
    }
    EXPECT_EQ(zarvo::no_such_file_or_directory(null_text).path(), "");

    const zarvo::no_such_user user(3u);
    EXPECT_EQ(user.path(), "/U/3");
    EXPECT_EQ(user.user_id(), 3u);
    const zarvo::not_existing& as_missing = user;
    EXPECT_EQ(as_missing.object_id(), "/U/3");
    EXPECT_EQ(zarvo::no_such_user(4294967295u, cause).path(), "/U/4294967295");

    const zarvo::no_such_user nobody;
    EXPECT_EQ(nobody.path(), "");
    EXPECT_EQ(nobody.user_id(), 0u);

    EXPECT_EQ(zarvo::file_exists("/DEVICE.BPB").path(), "/DEVICE.BPB");
    EXPECT_EQ(zarvo::directory_exists(std::string("/U/0"), cause).path(), "/U/0");
    EXPECT_EQ(zarvo::directory_exists().path(), "");

    EXPECT_EQ(zarvo::try_again().postpone(), 1000u);
    EXPECT_EQ(zarvo::try_again(0u).postpone(), 0u);
    EXPECT_EQ(zarvo::try_again("Later.").postpone(), 1000u);
    EXPECT_EQ(zarvo::try_again(7u, "Later.", cause).postpone(), 7u);

    const zarvo::stream_failure failure;
    EXPECT_EQ(failure.code(), std::io_errc::stream);
    EXPECT_STREQ(failure.what(), "Stream failure.");
}

// Copies keep text and values and trace nothing; the classes that hold
// values beyond the text cannot be assigned.
TEST_F(ErrorTexts, CopiesKeepTextAndValuesWithoutTracing)
{
    const zarvo::no_such_user user(3u);
    const zarvo::try_again again(250u, "Soon.");
    const zarvo::file_exists file("/a");
    const zarvo::directory_exists dir("/b");
    const zarvo::invalid_parameter param("x");
    const zarvo::stream_failure failure;
    log.clear();

    const zarvo::no_such_user user_copy(user);
    EXPECT_EQ(user_copy.user_id(), 3u);
    EXPECT_EQ(user_copy.path(), "/U/3");
    EXPECT_STREQ(user_copy.what(), user.what());
    const zarvo::try_again again_copy(again);
    EXPECT_EQ(again_copy.postpone(), 250u);
    EXPECT_STREQ(again_copy.what(), "Soon.");
    EXPECT_EQ(zarvo::file_exists(file).path(), "/a");
    EXPECT_EQ(zarvo::directory_exists(dir).path(), "/b");
    zarvo::invalid_parameter assigned("y");
    assigned = param;
    EXPECT_STREQ(assigned.what(), "Invalid parameter 'x'.");
    const zarvo::stream_failure failure_copy(failure);
    EXPECT_EQ(failure_copy.code(), std::io_errc::stream);
    EXPECT_STREQ(failure_copy.what(), "Stream failure.");

    EXPECT_TRUE(log.lines().empty());
}

static_assert(!std::is_copy_assignable_v<zarvo::no_such_file_or_directory>);
static_assert(!std::is_copy_assignable_v<zarvo::no_such_user>);
static_assert(!std::is_copy_assignable_v<zarvo::file_exists>);
static_assert(!std::is_copy_assignable_v<zarvo::directory_exists>);
static_assert(!std::is_copy_assignable_v<zarvo::try_again>);
static_assert(std::is_copy_constructible_v<zarvo::no_such_user>);
static_assert(std::is_copy_constructible_v<zarvo::try_again>);
static_assert(std::is_copy_assignable_v<zarvo::invalid_parameter>);
static_assert(std::is_copy_assignable_v<zarvo::operation_not_permitted>);
static_assert(std::is_copy_assignable_v<zarvo::wait_for_idling>);
static_assert(std::is_copy_assignable_v<zarvo::session_expired>);
static_assert(std::is_copy_assignable_v<zarvo::system_busy>);
static_assert(std::is_copy_assignable_v<zarvo::stream_failure>);
static_assert(std::is_copy_assignable_v<zarvo::bad_data>);
static_assert(std::is_abstract_v<zarvo::exception>);
static_assert(std::is_abstract_v<zarvo::device_error>);
static_assert(std::is_abstract_v<zarvo::sharing_error>);
static_assert(std::is_abstract_v<zarvo::not_existing>);
static_assert(std::is_abstract_v<zarvo::interrupted>);

} // namespace
