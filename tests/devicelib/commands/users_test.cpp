// Device information and users, read from and merged into the model's files.
#include "devicelib/core/session_lock.h"
#include "devicelib/core/user_number.h"
#include "devicelib/proto/device_messages.h"
#include "devicelib/proto/user_database.pb.h"
#include "devicelib/proto/user_id.pb.h"
#include "tests/devicelib/commands/command_fixture.h"
#include "tests/support/hex.h"
#include "tests/support/recording_logger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>

namespace zarvo::test {
namespace {

using emulator::command;
using emulator::exchange_kind;
using emulator::match;

std::string identity(std::uint64_t master)
{
    data::PbUserIdentifier out;
    out.set_master_identifier(master);
    return bytes_of(out);
}

TEST(device_information, from_the_device_file)
{
    command_fixture f;
    const auto& p = f.model->profile();
    const device_info info = f.session.info();
    EXPECT_EQ(info.model(), p.model_name);
    EXPECT_EQ(info.product_color(), p.product_color);
    EXPECT_EQ(info.product_design(), p.product_design);
    EXPECT_EQ(info.bootloader(),
              version(p.bootloader.major, p.bootloader.minor, p.bootloader.patch));
    EXPECT_EQ(info.platform(), version(p.platform.major, p.platform.minor, p.platform.patch));
    EXPECT_TRUE(info.firmware().match(
        version(p.firmware.major, p.firmware.minor, p.firmware.patch, p.firmware.specifier)));

    // Fields left out give empty texts and undefined versions.
    data::PbDeviceInfo partial;
    partial.mutable_platform_version()->set_major(1);
    partial.mutable_platform_version()->set_minor(2);
    partial.mutable_platform_version()->set_patch(3);
    partial.set_product_color("red");
    f.model->put_file("/DEVICE.BPB", bytes_of(partial));
    const device_info some = f.session.info();
    EXPECT_EQ(some.model(), "");
    EXPECT_EQ(some.product_design(), "");
    EXPECT_EQ(some.product_color(), "red");
    EXPECT_EQ(some.platform(), version(1, 2, 3));
    EXPECT_EQ(some.firmware().major(), version::undefined());
    EXPECT_TRUE(some.bootloader().is_empty());

    f.model->put_file("/DEVICE.BPB", from_hex("ff ff"));
    EXPECT_THROW(f.session.info(), bad_data);

    // The transport's own error passes.
    f.model->remove_entry("/DEVICE.BPB");
    EXPECT_THROW(f.session.info(), no_such_file_or_directory);
    command_fixture net(link_kind::net_like);
    net.model->remove_entry("/DEVICE.BPB");
    EXPECT_THROW(net.session.info(), no_such_file_or_directory);
}

TEST(current_user, reads_and_sets_the_index)
{
    command_fixture f;
    EXPECT_EQ(f.session.current_user(), 0u);

    // The device refuses a user it does not have.
    try {
        f.session.current_user(7);
        ADD_FAILURE() << "no error";
    } catch (const no_such_user& e) {
        EXPECT_EQ(e.user_id(), 7u);
    }
    f.model->make_directory("/U/7");
    f.session.current_user(7);
    EXPECT_EQ(f.session.current_user(), 7u);
    const auto sent = f.sent(exchange_kind::file_operation);
    const auto merge = std::find_if(sent.rbegin(), sent.rend(), [](const auto& line) {
        return line.code == static_cast<int>(command::merge);
    });
    ASSERT_NE(merge, sent.rend());
    EXPECT_EQ(merge->path, "/U/UDB.BPB");
    EXPECT_EQ(to_hex(merge->data), "0807");

    f.model->put_file("/U/UDB.BPB", "");
    EXPECT_THROW(f.session.current_user(), bad_data);
}

TEST(master_id, of_a_user)
{
    command_fixture f;
    EXPECT_EQ(f.session.master_id(0), f.model->profile().master_id);
    try {
        f.session.master_id(5);
        ADD_FAILURE() << "no error";
    } catch (const no_such_user& e) {
        EXPECT_EQ(e.user_id(), 5u);
    }
    f.model->put_file("/U/2/USERID.BPB", "");
    EXPECT_EQ(error_text<prerequisite_not_met>([&] { f.session.master_id(2); }),
              "Master id not set.");
    f.model->put_file("/U/2/USERID.BPB", from_hex("0a"));
    EXPECT_THROW(f.session.master_id(2), bad_data);
}

TEST(update_credentials, sends_the_master_id_and_a_plain_token)
{
    command_fixture f;
    const std::string password(16, 'p');
    f.session.update_credentials(0, 99, password);
    data::PbUserIdentifier expected;
    expected.set_master_identifier(99);
    expected.mutable_password_token()->set_token(password);
    expected.mutable_password_token()->set_encrypted(false);
    const auto sent = f.sent(exchange_kind::file_operation);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].code, static_cast<int>(command::merge));
    EXPECT_EQ(sent[0].path, "/U/0/USERID.BPB");
    EXPECT_EQ(sent[0].data, bytes_of(expected));
    EXPECT_EQ(f.session.master_id(0), 99u);

    f.model->clear_transcript();
    EXPECT_EQ(error_text<invalid_parameter>(
                  [&] { f.session.update_credentials(0, 99, std::string(17, 'p')); }),
              "Invalid parameter 'password'.");
    EXPECT_TRUE(f.model->transcript().empty());

    try {
        f.session.update_credentials(4, 99, "");
        ADD_FAILURE() << "no error";
    } catch (const no_such_user& e) {
        EXPECT_EQ(e.user_id(), 4u);
    }
}

class users_listing : public trace_fixture {};

TEST_F(users_listing, only_canonical_decimal_names_count)
{
    command_fixture f;
    for (const char* name : {"1", "tmp", "-1", "+5", "05", "4294967296", "4294967295"})
        f.model->make_directory(std::string("/U/") + name);
    log.clear();
    EXPECT_EQ(f.session.users(), (std::set<unsigned>{0, 1, 4294967295u}));
    const std::string skipped = std::string("zarvo::session::users: ") + core::user_number_error();
    // One line per skipped directory, none for the file UDB.BPB.
    EXPECT_EQ(log.messages(), std::vector<std::string>(5, skipped));
}

TEST_F(users_listing, user_id_scans_in_listing_order)
{
    command_fixture f;
    f.model->put_file("/U/2/USERID.BPB", identity(77));
    f.model->put_file("/U/10/USERID.BPB", identity(77));
    f.model->make_directory("/U/3");
    f.model->make_directory("/U/05");
    f.model->put_file("/U/05/USERID.BPB", identity(88));
    f.model->put_file("/U/4/USERID.BPB", "garbage");
    log.clear();
    // "10" lists before "2".
    EXPECT_EQ(f.session.user_id(77), 10u);
    EXPECT_EQ(f.session.user_id(f.model->profile().master_id), 0u);
    // Directory 3 has no file, 05 is no user name (traced by both scans that
    // pass it: "05" lists after "0"), 4 does not parse.
    EXPECT_EQ(error_text<prerequisite_not_met>([&] { f.session.user_id(88); }),
              "Master id not assigned.");
    const auto lines = log.messages();
    const auto count = [&](const std::string& text) {
        return std::count(lines.begin(), lines.end(), "zarvo::session::user_id: " + text);
    };
    EXPECT_EQ(count(core::user_number_error()), 2);
    EXPECT_EQ(count("Path '/U/3/USERID.BPB' do not exists."), 1);
}

TEST(user_id_scan, holds_the_device_and_keeps_a_cancel)
{
    command_fixture f;
    f.model->put_file("/U/2/USERID.BPB", identity(77));
    f.model->put_file("/U/10/USERID.BPB", identity(1));
    auto gate = f.model->script_stall(match::file(command::get, "/U/10/USERID.BPB"), 1);
    auto scan = std::async(std::launch::async, [&] { return f.session.user_id(77); });
    ASSERT_TRUE(gate->wait_reached());
    // Another thread's operation meets the scan's hold.
    EXPECT_EQ(
        std::async(std::launch::async,
                   [&] { return error_text<system_busy>([&] { f.session.battery_status(); }); })
            .get(),
        "System busy.");
    // A cancel during the scan ends it at its next exchange.
    f.session.cancel();
    gate->release();
    EXPECT_THROW(scan.get(), operation_canceled);
    // The request stays until an outer hold ends.
    EXPECT_THROW(f.session.battery_status(), operation_canceled);
    {
        session_lock outer(f.session, 0);
    }
    EXPECT_EQ(f.session.battery_status(), 80);
}

} // namespace
} // namespace zarvo::test
