// Device answer codes: the mapping table, and a few codes through the wire.

#include "tests/devicelib/usb/connection_fixture.h"

#include "devicelib/errors/errors.h"
#include "devicelib/usb/hid_answers.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <typeinfo>

namespace zarvo::test {
namespace {

using model::command;

struct mapped_row {
    int code;
    // Throws what the mapping should throw.
    std::function<void()> expected;
    // The path, or the user, the error should carry.
    std::string path = {};
    unsigned user = 0;
};

template <typename Error, typename... Args>
std::function<void()> raises(Args... args)
{
    return [=] { throw Error(args...); };
}

std::string carried_path(const zarvo::exception& e)
{
    if (dynamic_cast<const no_such_user*>(&e))
        return {};
    if (auto* p = dynamic_cast<const no_such_file_or_directory*>(&e))
        return p->path();
    if (auto* p = dynamic_cast<const directory_exists*>(&e))
        return p->path();
    if (auto* p = dynamic_cast<const file_exists*>(&e))
        return p->path();
    return {};
}

unsigned carried_user(const zarvo::exception& e)
{
    auto* p = dynamic_cast<const no_such_user*>(&e);
    return p ? p->user_id() : 0;
}

// Runs f and hands back what it threw, caught as the library's base.
template <typename F>
std::exception_ptr thrown_by(F f)
{
    try {
        f();
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

TEST_F(hid_connection_test, every_answer_code_maps_to_its_error)
{
    const std::string path = "/U/0/X.BPB";
    const std::vector<mapped_row> rows{
        {0, raises<unidentified_device_error>("Expected non-zero error code.")},
        {2, raises<try_again>()},
        {100, raises<unidentified_host_error>()},
        {101, raises<invalid_command>("OPNAME")},
        {102, raises<invalid_parameter>("PARAM")},
        {103, raises<no_such_file_or_directory>(path), path},
        {104, raises<directory_exists>(path), path},
        {105, raises<file_exists>(path), path},
        {106, raises<operation_not_permitted>("OPNAME")},
        {107, raises<no_such_user>(7u), "", 7},
        {108, raises<operation_timed_out>()},
        {200, raises<unidentified_device_error>()},
        {201, raises<not_implemented>()},
        {202, raises<device_busy>()},
        {203, raises<invalid_content>()},
        {204, raises<checksum_failure>()},
        {205, raises<disk_full>()},
        {206, raises<prerequisite_not_met>()},
        {207, raises<insufficient_buffer>()},
        {208, raises<wait_for_idling>()},
        {3, raises<unidentified_device_error>("Unknown error code.")},
        {99, raises<unidentified_device_error>("Unknown error code.")},
        {109, raises<unidentified_device_error>("Unknown error code.")},
        {209, raises<unidentified_device_error>("Unknown error code.")},
        {300, raises<unidentified_device_error>("Unknown error code.")},
        {-1, raises<unidentified_device_error>("Unknown error code.")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.code);
        const auto expected = thrown_by(row.expected);
        const auto actual =
            thrown_by([&] { usb::hid_error_to_exception(row.code, path, "OPNAME", "PARAM", 7); });
        ASSERT_TRUE(actual);
        try {
            std::rethrow_exception(expected);
        } catch (const zarvo::exception& want) {
            try {
                std::rethrow_exception(actual);
            } catch (const zarvo::exception& got) {
                EXPECT_TRUE(typeid(got) == typeid(want))
                    << typeid(got).name() << " instead of " << typeid(want).name();
                EXPECT_STREQ(got.std_base().what(), want.std_base().what());
                EXPECT_EQ(carried_path(got), row.path);
                EXPECT_EQ(carried_user(got), row.user);
            }
        }
    }
    // Answer 1 leaves the outcome to the caller; 102 without a name takes
    // the default form.
    EXPECT_NO_THROW(usb::hid_error_to_exception(1, path, "OPNAME", "PARAM", 7));
    try {
        usb::hid_error_to_exception(102, path, "OPNAME", nullptr, 0);
        FAIL();
    } catch (const invalid_parameter& e) {
        EXPECT_STREQ(e.what(), invalid_parameter().what());
    }
}

// A few answers through the wire, with the names and paths they carry.
TEST_F(hid_connection_test, answers_through_the_wire)
{
    device_model.script_answer(model::match::file(command::get, "/C.BPB"), 101, 1);
    std::ostringstream out;
    try {
        link->read("/C.BPB", out);
        FAIL();
    } catch (const invalid_command& e) {
        EXPECT_STREQ(e.what(), invalid_command("GET").what());
    }

    try {
        link->read("/X.BPB", out);
        FAIL();
    } catch (const no_such_file_or_directory& e) {
        EXPECT_EQ(e.path(), "/X.BPB");
    }

    device_model.script_answer(model::match::file(command::remove, "/R.BPB"), 300, 1);
    try {
        link->remove("/R.BPB");
        FAIL();
    } catch (const unidentified_device_error& e) {
        EXPECT_STREQ(e.what(), unidentified_device_error("Unknown error code.").what());
    }

    device_model.script_answer(model::match::file(command::merge, "/M.BPB"), 106, 1);
    std::istringstream in("m");
    try {
        link->merge("/M.BPB", in);
        FAIL();
    } catch (const operation_not_permitted& e) {
        EXPECT_STREQ(e.what(), operation_not_permitted("MERGE").what());
    }
}

// Answer 1 ends reads and writes normally, but the operations that report a
// result cannot tell success from it.
TEST_F(hid_connection_test, answer_one)
{
    using call = std::function<void(usb::hid_connection&)>;
    struct row {
        const char* name;
        model::match when;
        call run;
        bool fails;
    };
    const std::vector<row> rows{
        {"write", model::match::file(command::put, "/W.BPB"),
         [](auto& c) {
             std::istringstream i("w");
             c.write("/W.BPB", i);
         },
         false},
        {"merge", model::match::file(command::merge, "/W.BPB"),
         [](auto& c) {
             std::istringstream i("w");
             c.merge("/W.BPB", i);
         },
         false},
        {"read", model::match::file(command::get, "/W.BPB"),
         [](auto& c) {
             std::ostringstream o;
             c.read("/W.BPB", o);
         },
         false},
        {"create", model::match::file(command::put, "/D/"), [](auto& c) { c.create("/D"); }, true},
        {"fetch", model::match::file(command::get, "/D/"),
         [](auto& c) {
             std::set<entry> e;
             c.fetch("/D", e);
         },
         true},
        {"remove", model::match::file(command::remove, "/D"), [](auto& c) { c.remove("/D"); },
         true},
        {"disk_space", model::match::query(5), [](auto& c) { c.disk_space(); }, true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        device_model.script_answer(r.when, 1, 1);
        if (r.fails)
            EXPECT_THROW(r.run(*link), zarvo::invalid_function);
        else
            EXPECT_NO_THROW(r.run(*link));
    }
}

TEST_F(hid_connection_test, stop_acknowledgement_during_a_write)
{
    device.front_end().script_ack(1, emulator::ack_script::stop(205));
    std::istringstream in(bytes_of_size(300));
    EXPECT_THROW(link->write("/BIG.BIN", in), zarvo::disk_full);
    EXPECT_FALSE(device_model.file("/BIG.BIN"));
    EXPECT_TRUE(device.front_end().violations().empty());
}

// A response cancelled partway: its code is mapped, the bytes that arrived
// stay in the caller's stream.
TEST_F(hid_connection_test, cancelling_footer_partway_through_a_read)
{
    const std::string partial = bytes_of_size(120);
    device.handler().answer_once(model::match::file(command::get, "/P.BIN"),
                                 emulator::cancelled_response(partial, 204));
    std::ostringstream out;
    EXPECT_THROW(link->read("/P.BIN", out), zarvo::checksum_failure);
    EXPECT_EQ(out.str(), partial);
}

TEST_F(hid_connection_test, disk_space)
{
    device_model.put_file("/F.BIN", std::string(10000, 'f'));
    const auto expected = device_model.disk();
    const zarvo::disk_space space = link->disk_space();
    EXPECT_EQ(space.fragment_size(), expected.fragment_size);
    EXPECT_EQ(space.bytes_free(), expected.free_fragments * expected.fragment_size);
    EXPECT_EQ(sends(model::exchange_kind::query, 5), 1u);

    device_model.script_answer(model::match::query(5), 0, 1, std::string("\xff", 1));
    try {
        link->disk_space();
        FAIL();
    } catch (const bad_response& e) {
        EXPECT_STREQ(e.what(), bad_response("Failed to parse disk space information.").what());
    }

    device_model.script_answer(model::match::query(5), 202, 1);
    EXPECT_THROW(link->disk_space(), zarvo::device_busy);
}

TEST_F(hid_connection_test, raw_query_and_notify)
{
    std::istringstream none;
    std::ostringstream result;
    device_model.script_answer(model::match::query(8), 202, 1);
    EXPECT_EQ(link->query(8, none, result), 202);
    EXPECT_EQ(link->query(8, none, result), 0);
    EXPECT_FALSE(result.str().empty());

    device_model.script_answer(model::match::notification(0), 202, 1);
    EXPECT_EQ(link->notify(0, none), 0);
    EXPECT_TRUE(wait_sends(model::exchange_kind::host_notification, 0, 1));

    // Ids out of range write nothing.
    device.front_end().clear_transcript();
    EXPECT_THROW(link->query(-1, none, result), zarvo::invalid_parameter);
    EXPECT_THROW(link->query(0x8000, none, result), zarvo::invalid_parameter);
    EXPECT_THROW(link->notify(-1, none), zarvo::invalid_parameter);
    EXPECT_THROW(link->notify(256, none), zarvo::invalid_parameter);
    EXPECT_TRUE(host_reports().empty());
}

} // namespace
} // namespace zarvo::test
