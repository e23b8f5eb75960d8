#include "tools/emulator/answers.h"
#include "tools/emulator/device_model.h"

#include "tests/support/hex.h"
#include "tests/tools/emulator/model_test_util.h"

#include "devicelib/proto/device_messages.h"
#include "devicelib/proto/user_database.pb.h"
#include "devicelib/proto/user_id.pb.h"
#include "devicelib/proto/zftp_notification.pb.h"
#include "devicelib/proto/zftp_request.pb.h"
#include "devicelib/proto/zftp_response.pb.h"

#include <gtest/gtest.h>

#include <future>
#include <mutex>

namespace zarvo::emulator {
namespace {

using namespace test;
using zarvo::test::from_hex;

class recording_observer : public observer {
public:
    void device_notification(int id, const std::string& parameters) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        notifications.emplace_back(id, parameters);
    }
    void factory_reset() override
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++resets;
    }

    std::mutex mutex;
    std::vector<std::pair<int, std::string>> notifications;
    int resets = 0;
};

TEST(device_profile, serial_and_seed)
{
    device_profile p = device_profile::usb_device();
    p.id = 0x12A;
    EXPECT_EQ(p.serial(), "0000012A");
    p.id = 0x1234567890ABCDEFull;
    EXPECT_EQ(p.serial(), "1234567890ABCDEF");

    for (const device_profile& preset :
         {device_profile::usb_device(), device_profile::network_device()}) {
        device_model model(preset);
        const auto info = parsed<data::PbDeviceInfo>(*model.file("/DEVICE.BPB"));
        EXPECT_EQ(info.deviceid(), preset.serial());
        EXPECT_EQ(info.model_name(), preset.model_name);
        EXPECT_EQ(info.product_color(), preset.product_color);
        EXPECT_EQ(info.product_design(), preset.product_design);
        EXPECT_EQ(info.bootloader_version().major(), preset.bootloader.major);
        EXPECT_EQ(info.platform_version().minor(), preset.platform.minor);
        EXPECT_EQ(info.device_version().patch(), preset.firmware.patch);
        EXPECT_EQ(info.device_version().specifier(), preset.firmware.specifier);
        EXPECT_EQ(parsed<data::PbUserDb>(*model.file("/U/UDB.BPB")).current_user_index(), 0u);
        EXPECT_EQ(
            parsed<data::PbUserIdentifier>(*model.file("/U/0/USERID.BPB")).master_identifier(),
            preset.master_id);
    }
    EXPECT_NE(device_profile::usb_device().id, device_profile::network_device().id);
}

protocol::PbZFtpSetLocalTimeParams local_time(int tz_offset)
{
    protocol::PbZFtpSetLocalTimeParams out;
    out.mutable_date()->set_year(2031);
    out.mutable_date()->set_month(7);
    out.mutable_date()->set_day(14);
    out.mutable_time()->set_hour(9);
    out.mutable_time()->set_minute(8);
    out.mutable_time()->set_seconds(7);
    out.set_tz_offset(tz_offset);
    return out;
}

TEST(device_queries, results)
{
    device_model model;

    EXPECT_EQ(parsed<protocol::PbZFtpIdentifyDeviceResult>(model.query(0, "").payload).device_id(),
              model.profile().serial());

    model.set_battery_level(55);
    EXPECT_EQ(
        parsed<protocol::PbZFtpGetBatteryStatusResult>(model.query(8, "").payload).battery_status(),
        55u);
    for (bool on : {true, false}) {
        model.set_inactivity_alert(on);
        EXPECT_EQ(parsed<protocol::PbZFtpGetInactivityPreAlertResult>(model.query(11, "").payload)
                      .inactivity_pre_alert_on(),
                  on);
    }

    const auto disk = parsed<protocol::PbZFtpDiskSpaceResult>(model.query(5, "").payload);
    EXPECT_EQ(disk.fragment_size(), 4096u);
    EXPECT_EQ(disk.total_fragments(), model.profile().total_fragments);
    EXPECT_EQ(disk.free_fragments(), model.profile().total_fragments - 3);

    protocol::PbZFtpSetAdbModeParams adb;
    adb.set_enable(true);
    EXPECT_EQ(model.query(9, bytes_of(adb)).answer, answer::ok);
    EXPECT_TRUE(model.adb_enabled());

    // Clocks: the initial ones read back complete; what is set is read
    // back, the local one with its offset.
    EXPECT_TRUE(parsed<protocol::PbZFtpGetSystemTimeResult>(model.query(2, "").payload).trusted());
    EXPECT_FALSE(
        parsed<protocol::PbZFtpGetLocalTimeResult>(model.query(4, "").payload).has_tz_offset());
    const auto local = local_time(-60);
    EXPECT_EQ(model.query(3, bytes_of(local)).answer, answer::ok);
    const auto read_local = parsed<protocol::PbZFtpGetLocalTimeResult>(model.query(4, "").payload);
    EXPECT_EQ(read_local.date().year(), 2031u);
    EXPECT_EQ(read_local.time().seconds(), 7u);
    EXPECT_EQ(read_local.tz_offset(), -60);
    protocol::PbZFtpSetSystemTimeParams system;
    *system.mutable_date() = local.date();
    *system.mutable_time() = local.time();
    system.set_trusted(false);
    EXPECT_EQ(model.query(1, bytes_of(system)).answer, answer::ok);
    EXPECT_EQ(model.system_clock(), bytes_of(system));
    const auto read_system =
        parsed<protocol::PbZFtpGetSystemTimeResult>(model.query(2, "").payload);
    EXPECT_EQ(read_system.date().day(), 14u);
    EXPECT_FALSE(read_system.trusted());
}

TEST(device_queries, cleanup_frees_what_the_test_set_up)
{
    device_model model;
    const auto before = model.disk().free_fragments;
    protocol::PbZFtpCleanupDiskSpaceParams params;
    params.set_required_bytes(5'000'000'000ull);
    auto r = parsed<protocol::PbZFtpDiskSpaceResult>(model.query(10, bytes_of(params)).payload);
    EXPECT_EQ(r.free_fragments(), before);
    EXPECT_EQ(model.last_cleanup_request(), 5'000'000'000ull);

    model.set_reclaimable_fragments(100);
    EXPECT_EQ(model.disk().free_fragments, before - 100);
    r = parsed<protocol::PbZFtpDiskSpaceResult>(model.query(10, bytes_of(params)).payload);
    EXPECT_EQ(r.free_fragments(), before);
}

TEST(device_queries, challenge_token)
{
    device_model model;
    const std::string nonce = from_hex("00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 00");
    protocol::PbZFtpGenerateChallengeTokenParams params;
    params.set_user_id(0);
    params.set_nonse(nonce);
    const auto r = model.query(6, bytes_of(params));
    ASSERT_EQ(r.answer, answer::ok);
    EXPECT_EQ(parsed<protocol::PbZFtpGenerateChallengeTokenResult>(r.payload).token(),
              device_model::challenge_token(0, nonce));
    EXPECT_NE(device_model::challenge_token(0, nonce), device_model::challenge_token(1, nonce));

    params.set_user_id(9);
    EXPECT_EQ(model.query(6, bytes_of(params)).answer, answer::no_such_user);
    model.make_directory("/U/9");
    EXPECT_EQ(model.query(6, bytes_of(params)).answer, answer::ok);
    params.set_nonse(nonce.substr(1));
    EXPECT_EQ(model.query(6, bytes_of(params)).answer, answer::invalid_parameter);
}

TEST(device_queries, refusals)
{
    const std::pair<int, std::string> cases[] = {
        {1, ""},  {1, from_hex("ff")},  {3, from_hex("08")}, {6, ""}, {9, ""},
        {10, ""}, {10, from_hex("08")},
    };
    device_model model;
    for (const auto& [id, params] : cases)
        EXPECT_EQ(model.query(id, params).answer, answer::invalid_parameter) << id;
    for (int id : {7, 12, 99, -1})
        EXPECT_EQ(model.query(id, "").answer, answer::invalid_command) << id;
}

TEST(device_notifications_from_host, state)
{
    device_model model;
    EXPECT_EQ(model.host_notification(0, ""), answer::ok);
    EXPECT_TRUE(model.syncing());

    EXPECT_EQ(model.host_notification(1, from_hex("08 00 12 03 61 62 63")), answer::ok);
    EXPECT_FALSE(model.syncing());
    ASSERT_TRUE(model.last_stop_sync());
    EXPECT_FALSE(model.last_stop_sync()->completed);
    EXPECT_EQ(model.last_stop_sync()->description, "abc");
    EXPECT_EQ(model.host_notification(1, from_hex("08 01")), answer::ok);
    EXPECT_TRUE(model.last_stop_sync()->completed);
    EXPECT_FALSE(model.last_stop_sync()->description);

    const std::pair<int, std::string> cases[] = {
        {3, ""},
        {4, ""},
        {5, ""},
        {6, from_hex("08 05")},
    };
    for (const auto& [id, params] : cases)
        EXPECT_EQ(model.host_notification(id, params), answer::ok) << id;
    const std::pair<int, std::string> refused[] = {
        {1, ""}, {1, from_hex("ff")}, {2, ""}, {6, ""}, {7, ""},
    };
    for (const auto& [id, params] : refused)
        EXPECT_EQ(model.host_notification(id, params), answer::invalid_parameter) << id;
    for (int id : {8, 200, -1})
        EXPECT_EQ(model.host_notification(id, ""), answer::invalid_command) << id;
}

TEST(device_notifications_from_host, reset_with_and_without_factory_defaults)
{
    device_model model;
    auto seen = std::make_shared<recording_observer>();
    model.add_observer(seen);
    model.put_file("/EXTRA", "x");
    model.put_file("/DEVICE.BPB", "garbage");

    EXPECT_EQ(model.host_notification(2, from_hex("08 01 10 00")), answer::ok);
    EXPECT_TRUE(model.last_reset()->sleep);
    EXPECT_FALSE(model.last_reset()->factory_defaults);
    EXPECT_EQ(model.file("/EXTRA"), "x");
    EXPECT_EQ(seen->resets, 0);

    // Without the field the device takes its default: factory defaults.
    EXPECT_EQ(model.host_notification(2, from_hex("08 00")), answer::ok);
    EXPECT_TRUE(model.last_reset()->factory_defaults);
    EXPECT_FALSE(model.file("/EXTRA"));
    EXPECT_EQ(parsed<data::PbDeviceInfo>(*model.file("/DEVICE.BPB")).model_name(),
              model.profile().model_name);
    EXPECT_EQ(seen->resets, 1);
}

TEST(device_events, reach_observers_and_transcript)
{
    device_model model;
    auto first = std::make_shared<recording_observer>();
    auto second = std::make_shared<recording_observer>();
    model.add_observer(first);
    model.add_observer(second);

    model.idle();
    model.battery(55);
    model.sync_required();
    model.filesystem_modified(1, "/A");
    model.remove_observer(second);
    model.emit(9, "xyz");

    protocol::PbZFtpFilesystemModifiedParams modified;
    modified.set_action(protocol::UPDATED);
    modified.set_path("/A");
    const std::vector<std::pair<int, std::string>> expected = {
        {2, ""}, {3, from_hex("08 37")}, {7, ""}, {0, bytes_of(modified)}, {9, "xyz"}};
    EXPECT_EQ(first->notifications, expected);
    EXPECT_EQ(second->notifications.size(), 4u);

    const auto transcript = model.transcript();
    ASSERT_EQ(transcript.size(), 5u);
    for (std::size_t i = 0; i < transcript.size(); ++i) {
        EXPECT_EQ(transcript[i].way, direction::device_to_host);
        EXPECT_EQ(transcript[i].kind, exchange_kind::device_notification);
        EXPECT_EQ(transcript[i].code, expected[i].first);
        EXPECT_EQ(transcript[i].data, expected[i].second);
    }
}

TEST(answer_script, counts_payloads_and_paths)
{
    device_model model;
    model.script_answer(match::query(8), 2, 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(model.query(8, "").answer, 2);
    EXPECT_EQ(model.query(8, "").answer, answer::ok);

    model.script_answer(match::notification(0), 202);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(model.host_notification(0, ""), 202);
    EXPECT_FALSE(model.syncing());

    // An exact path, with raw result bytes: an unparsable listing.
    model.script_answer(match::file(command::get, "/U/"), 0, always, from_hex("ff ff"));
    EXPECT_EQ(model.file_operation(get, "/U/", "").payload, from_hex("ff ff"));
    EXPECT_NE(model.file_operation(get, "/", "").payload, from_hex("ff ff"));

    // Any path; the earlier rule still wins where it matches.
    model.script_answer(match::file(command::get), 1);
    EXPECT_EQ(model.file_operation(get, "/DEVICE.BPB", "").answer, 1);
    EXPECT_EQ(model.file_operation(get, "/U/", "").answer, 0);
    EXPECT_EQ(model.file_operation(static_cast<int>(command::put), "/X", "").answer, 0);

    model.clear_script();
    EXPECT_EQ(model.host_notification(0, ""), answer::ok);
    EXPECT_NE(model.file_operation(get, "/DEVICE.BPB", "").answer, 1);
}

TEST(answer_script, stall_holds_until_released)
{
    device_model model;
    model.set_battery_level(42);
    auto gate = model.script_stall(match::query(8), 1);
    auto held = std::async(std::launch::async, [&] { return model.query(8, ""); });
    ASSERT_TRUE(gate->wait_reached());

    // Other exchanges go on meanwhile, and the stalled one is not recorded yet.
    EXPECT_EQ(model.query(5, "").answer, answer::ok);
    EXPECT_EQ(model.transcript().size(), 1u);
    EXPECT_EQ(held.wait_for(std::chrono::milliseconds(20)), std::future_status::timeout);

    gate->release();
    const auto r = held.get();
    EXPECT_EQ(r.answer, answer::ok);
    EXPECT_EQ(parsed<protocol::PbZFtpGetBatteryStatusResult>(r.payload).battery_status(), 42u);
    // Counted once: the next query goes through at once.
    EXPECT_EQ(model.query(8, "").answer, answer::ok);
    EXPECT_EQ(gate->reached(), 1);
}

TEST(transcript, records_every_exchange)
{
    device_model model;
    model.file_operation(static_cast<int>(command::put), "/f", "data");
    model.file_operation(get, "/f", "");
    model.file_operation(get, "/nope", "");
    model.query(8, "params?");
    model.host_notification(1, from_hex("08 01"));
    model.idle();

    const auto t = model.transcript();
    ASSERT_EQ(t.size(), 6u);
    struct expected_line {
        direction way;
        exchange_kind kind;
        int code;
        std::string path;
        std::string data;
        int answer;
    };
    const expected_line lines[] = {
        {direction::host_to_device, exchange_kind::file_operation, 1, "/f", "data", 0},
        {direction::host_to_device, exchange_kind::file_operation, 0, "/f", "", 0},
        {direction::host_to_device, exchange_kind::file_operation, 0, "/nope", "", 103},
        {direction::host_to_device, exchange_kind::query, 8, "", "params?", 0},
        {direction::host_to_device, exchange_kind::host_notification, 1, "", from_hex("08 01"), 0},
        {direction::device_to_host, exchange_kind::device_notification, 2, "", "", 0},
    };
    for (std::size_t i = 0; i < t.size(); ++i) {
        EXPECT_EQ(t[i].sequence, i + 1);
        EXPECT_EQ(t[i].way, lines[i].way) << i;
        EXPECT_EQ(t[i].kind, lines[i].kind) << i;
        EXPECT_EQ(t[i].code, lines[i].code) << i;
        EXPECT_EQ(t[i].path, lines[i].path) << i;
        EXPECT_EQ(t[i].data, lines[i].data) << i;
        EXPECT_EQ(t[i].answer, lines[i].answer) << i;
    }
    EXPECT_EQ(t[1].result, "data");
    EXPECT_EQ(parsed<protocol::PbZFtpGetBatteryStatusResult>(t[3].result).battery_status(), 80u);

    model.clear_transcript();
    EXPECT_TRUE(model.transcript().empty());
    model.idle();
    EXPECT_EQ(model.transcript().at(0).sequence, 7u);
}

} // namespace
} // namespace zarvo::emulator
