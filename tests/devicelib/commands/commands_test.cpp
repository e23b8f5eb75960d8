// The device commands over queries and notifications: answers, resends and
// what goes out, read from the model's transcript.
#include "devicelib/proto/zftp_request.pb.h"
#include "devicelib/proto/zftp_response.pb.h"
#include "tests/devicelib/commands/command_fixture.h"
#include "tests/support/foreign_session.h"
#include "tests/support/hex.h"
#include "tests/support/short_resend.h"

#include <gtest/gtest.h>

#include <functional>

namespace zarvo::test {
namespace {

using emulator::exchange_kind;
using emulator::match;

class session_commands : public ::testing::Test {};

// Answers 2 are sent again, with the same bytes each time; host
// notifications are only answered over the network-like kind.
TEST_F(session_commands, resends_while_busy_with_the_same_bytes)
{
    command_fixture f(link_kind::net_like);
    f.model->script_answer(match::notification(0), 2, 3);
    f.session.start_sync();
    EXPECT_EQ(f.sent(exchange_kind::host_notification).size(), 4u);

    f.model->clear_transcript();
    f.model->script_answer(match::notification(1), 2, 3);
    f.session.stop_sync(false, "abc");
    const auto sent = f.sent(exchange_kind::host_notification);
    ASSERT_EQ(sent.size(), 4u);
    for (const auto& line : sent)
        EXPECT_EQ(line.data, from_hex("08 00 12 03 61 62 63"));

    f.model->clear_transcript();
    f.model->script_answer(match::query(8), 2, 2);
    f.model->set_battery_level(64);
    EXPECT_EQ(f.session.battery_status(), 64);
    EXPECT_EQ(f.sent(exchange_kind::query).size(), 3u);
}

TEST_F(session_commands, busy_for_ever_ends_in_try_again_after_a_few_sends)
{
    short_resend resend(std::chrono::milliseconds(200), std::chrono::milliseconds(20));
    command_fixture f(link_kind::net_like);
    f.model->script_answer(match::notification(0), 2);
    EXPECT_THROW(f.session.start_sync(), try_again);
    // Paused resends: a few dozen in 200 ms, where an unpaused loop makes
    // thousands.
    const auto sends = f.sent(exchange_kind::host_notification).size();
    EXPECT_GE(sends, 3u);
    EXPECT_LE(sends, 40u);
}

struct answer_case {
    const char* name;
    std::function<void(session&)> command;
    int answer;
    std::string error; // "" for none, else the text
};

TEST_F(session_commands, answers)
{
    const auto start = [](session& s) { s.start_sync(); };
    const auto stop = [](session& s) { s.stop_sync(true); };
    const auto reset = [](session& s) { s.reset(false, false); };
    const answer_case cases[] = {
        {"start 201", start, 201, ""},
        {"stop 201", stop, 201, ""},
        {"start 1", start, 1, ""},
        {"reset 201", reset, 201, "Functionality not implemented."},
        {"start 202", start, 202, "Device busy."},
        {"stop 150", stop, 150, "Unknown error code."},
        {"reset 107", reset, 107, "Path '/U/0' do not exists."},
        {"start 101", start, 101, "Invalid command 'START_SYNC'."},
        {"stop 106", stop, 106, "Operation 'STOP_SYNC' not permitted."},
        {"reset 101", reset, 101, "Invalid command 'FACTORY_RESET'."},
        {"start 102", start, 102, "Invalid parameter."},
    };
    for (const auto& c : cases) {
        command_fixture f(link_kind::net_like);
        f.model->script_answer(match::notification(0), c.answer);
        f.model->script_answer(match::notification(1), c.answer);
        f.model->script_answer(match::notification(2), c.answer);
        EXPECT_EQ(error_text<std::exception>([&] { c.command(f.session); }),
                  c.error.empty() ? "no error" : c.error)
            << c.name;
    }
}

TEST_F(session_commands, result_queries_decode_what_comes_back)
{
    command_fixture f;
    // Answer 1 ends the command, then an empty result does not decode.
    f.model->script_answer(match::query(8), 1, 1);
    EXPECT_EQ(error_text<bad_response>([&] { f.session.battery_status(); }), "Bad response.");
    f.model->script_answer(match::query(8), 0, 1, from_hex("ff"));
    EXPECT_EQ(error_text<bad_response>([&] { f.session.battery_status(); }), "Bad response.");
    f.model->script_answer(match::query(11), 0, 1, "");
    EXPECT_THROW(f.session.inactivity_status(), bad_response);
    f.model->script_answer(match::query(10), 0, 1, from_hex("08 01"));
    EXPECT_THROW(f.session.cleanup_disk(1), bad_response);

    const unsigned char nonce[16] = {};
    f.model->script_answer(match::query(6), 0, 1, from_hex("0a"));
    EXPECT_EQ(error_text<bad_response>([&] { f.session.generate_challenge_token(0, nonce); }),
              "Bad response: Failed to parse challenge token from result..");
    f.model->script_answer(match::query(9), 205, 1);
    EXPECT_THROW(f.session.enable_adb(true), disk_full);
    // A battery level is handed on as it is.
    f.model->set_battery_level(150);
    EXPECT_EQ(f.session.battery_status(), 150);
}

struct stop_case {
    const char* name;
    std::function<void(session&)> call;
    const char* bytes;
};

TEST_F(session_commands, stop_sync_encodings)
{
    const char* const none = nullptr;
    const stop_case cases[] = {
        {"()", [](session& s) { s.stop_sync(); }, "08 01"},
        {"(true)", [](session& s) { s.stop_sync(true); }, "08 01"},
        {"(false)", [](session& s) { s.stop_sync(false); }, "08 00"},
        {"(\"abc\")", [](session& s) { s.stop_sync("abc"); }, "08 00 12 03 61 62 63"},
        {"(null)", [none](session& s) { s.stop_sync(none); }, "08 01"},
        {"(true, \"abc\")", [](session& s) { s.stop_sync(true, "abc"); }, "08 01"},
        {"(false, \"abc\")", [](session& s) { s.stop_sync(false, "abc"); }, "08 00 12 03 61 62 63"},
        {"(false, null)", [none](session& s) { s.stop_sync(false, none); }, "08 00"},
        {"(false, \"\")", [](session& s) { s.stop_sync(false, ""); }, "08 00 12 00"},
    };
    for (const auto& c : cases) {
        command_fixture f;
        c.call(f.session);
        const auto sent = f.sent(exchange_kind::host_notification);
        ASSERT_EQ(sent.size(), 1u) << c.name;
        EXPECT_EQ(sent[0].code, 1) << c.name;
        EXPECT_EQ(to_hex(sent[0].data), to_hex(from_hex(c.bytes))) << c.name;
    }
}

TEST_F(session_commands, parameters_on_the_wire)
{
    command_fixture f;
    f.session.reset(false, false);
    f.session.start_sync();
    f.session.enable_adb(true);
    EXPECT_TRUE(f.model->adb_enabled());
    f.model->set_inactivity_alert(true);
    EXPECT_TRUE(f.session.inactivity_status());

    const auto notes = f.sent(exchange_kind::host_notification);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0].code, 2);
    EXPECT_EQ(to_hex(notes[0].data), "08001000");
    EXPECT_EQ(notes[1].code, 0);
    EXPECT_EQ(notes[1].data, "");
    const auto queries = f.sent(exchange_kind::query);
    ASSERT_EQ(queries.size(), 2u);
    EXPECT_EQ(queries[0].code, 9);
    EXPECT_EQ(to_hex(queries[0].data), "0801");
    EXPECT_EQ(queries[1].code, 11);
    EXPECT_EQ(queries[1].data, "");
    EXPECT_FALSE(f.model->last_reset()->factory_defaults);
}

TEST_F(session_commands, cleanup_disk_carries_64_bits_both_ways)
{
    command_fixture f;
    f.model->set_total_fragments(6'000'000'000ull);
    f.model->set_reclaimable_fragments(1000);
    const std::uint64_t required = 5'000'000'000ull;
    const disk_space space = f.session.cleanup_disk(required);
    EXPECT_EQ(f.model->last_cleanup_request(), required);
    EXPECT_EQ(space.total_fragments(), 6'000'000'000ull);
    EXPECT_EQ(space.free_fragments(), f.model->disk().free_fragments);
    EXPECT_EQ(space.fragment_size(), 4096u);
    protocol::PbZFtpCleanupDiskSpaceParams params;
    params.set_required_bytes(required);
    EXPECT_EQ(f.sent(exchange_kind::query).at(0).data, bytes_of(params));
}

TEST_F(session_commands, challenge_token)
{
    command_fixture f;
    const unsigned char nonce[16] = {0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const std::string nonce_bytes(reinterpret_cast<const char*>(nonce), 16);
    EXPECT_EQ(f.session.generate_challenge_token(0, nonce),
              emulator::device_model::challenge_token(0, nonce_bytes));
    protocol::PbZFtpGenerateChallengeTokenParams sent;
    std::istringstream in(f.sent(exchange_kind::query).at(0).data);
    ASSERT_TRUE(read_message(in, sent));
    EXPECT_EQ(sent.user_id(), 0u);
    EXPECT_EQ(sent.nonse(), nonce_bytes);

    // The device knows no user 9.
    try {
        f.session.generate_challenge_token(9, nonce);
        ADD_FAILURE() << "no error";
    } catch (const no_such_user& e) {
        EXPECT_EQ(e.user_id(), 9u);
    }

    f.model->clear_transcript();
    EXPECT_EQ(
        error_text<invalid_parameter>([&] { f.session.generate_challenge_token(0, nullptr); }),
        "Invalid parameter 'nonce'.");
    EXPECT_TRUE(f.model->transcript().empty());
}

// A session that is not the library's own has no device commands.
TEST(foreign_session_commands, are_absent)
{
    foreign_session s;
    const unsigned char nonce[16] = {};
    const std::function<void()> commands[] = {
        [&] { s.start_sync(); },       [&] { s.stop_sync(); },
        [&] { s.reset(false, true); }, [&] { s.enable_adb(true); },
        [&] { s.battery_status(); },   [&] { s.inactivity_status(); },
        [&] { s.cleanup_disk(1); },    [&] { s.generate_challenge_token(0, nonce); },
        [&] { s.user_id(1); },
    };
    for (const auto& command : commands)
        EXPECT_THROW(command(), invalid_function);
    // File-based operations only need the file operations.
    EXPECT_NO_THROW(s.root(*std::make_unique<std::set<entry>>()));
}

} // namespace
} // namespace zarvo::test
