// Byte-exact transcripts of host messages and plain responses, argument
// checks and cancellation by stage.

#include "devicelib/errors/errors.h"
#include "tests/devicelib/usb/hid_fixture.h"

#include <gmock/gmock.h>

#include <sstream>

namespace zarvo::test {
namespace {

using emulator::device_answer;
using emulator::usb_front_end;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

const std::string A = "41"; // the request byte 'A' in hex
const std::string response_ok = "D0 0010";

std::stringstream request_of(std::size_t size)
{
    std::stringstream s;
    s << std::string(size, 'A');
    return s;
}

struct transcript_row {
    const char* name;
    std::size_t request;
    std::vector<std::string> expected;
};

class download_transcripts : public hid_device_test,
                             public ::testing::WithParamInterface<transcript_row> {};

TEST_P(download_transcripts, are_byte_exact)
{
    auto request = request_of(GetParam().request);
    std::stringstream response;
    EXPECT_EQ(host->download(request, response, cancel), 0);
    ASSERT_TRUE(device.wait([&](const auto& t) { return t.size() >= GetParam().expected.size(); }));
    EXPECT_THAT(lines(), ElementsAreArray(GetParam().expected));
    EXPECT_THAT(device.violations(), IsEmpty());
    ASSERT_EQ(device.messages().size(), 1u);
    EXPECT_EQ(device.messages()[0].request, std::string(GetParam().request, 'A'));
}

INSTANTIATE_TEST_SUITE_P(
    boundaries, download_transcripts,
    ::testing::Values(
        transcript_row{"empty", 0, {"H0 0110", response_ok}},
        // One report: N = 62, footer 0 in byte 63.
        transcript_row{"r58", 58, {"H0 01f8003a00" + repeat_hex("41", 58), response_ok}},
        // At the boundary: a full report, then ring 1 and the footer alone.
        transcript_row{
            "r59",
            59,
            {"H0 01f9003b00" + repeat_hex("41", 59), "D0 0005", "H0 010801", response_ok}},
        transcript_row{
            "r60",
            60,
            {"H0 01f9003c00" + repeat_hex("41", 59), "D0 0005", "H0 010c0141", response_ok}},
        transcript_row{"r119",
                       119,
                       {"H0 01f9007700" + repeat_hex("41", 59), "D0 0005",
                        "H0 01f801" + repeat_hex("41", 60), response_ok}},
        transcript_row{"r120",
                       120,
                       {"H0 01f9007800" + repeat_hex("41", 59), "D0 0005",
                        "H0 01f901" + repeat_hex("41", 61), "D0 000501", "H0 010802", response_ok}},
        transcript_row{"r121",
                       121,
                       {"H0 01f9007900" + repeat_hex("41", 59), "D0 0005",
                        "H0 01f901" + repeat_hex("41", 61), "D0 000501", "H0 010c0241",
                        response_ok}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(hid_device_test, empty_upload_is_framed_like_the_download)
{
    auto request = request_of(70);
    std::stringstream response;
    ASSERT_EQ(host->download(request, response, cancel), 0);
    ASSERT_TRUE(device.wait([](const auto& t) { return t.size() == 4; }));
    const auto download = lines();
    device.clear_transcript();

    auto again = request_of(70);
    std::stringstream empty;
    ASSERT_EQ(host->upload(again, empty, cancel), 0);
    ASSERT_TRUE(device.wait([](const auto& t) { return t.size() == 4; }));
    // The same reports; only the acknowledgement index differs on the device.
    EXPECT_EQ(lines(), download);
    EXPECT_THAT(device.violations(), IsEmpty());
}

TEST_F(hid_device_test, upload_payload_fills_the_rest_of_the_request_report)
{
    std::stringstream request;
    request << std::string(10, 'R');
    std::stringstream payload;
    payload << std::string(49, 'P');
    ASSERT_EQ(host->upload(request, payload, cancel), 0);
    ASSERT_TRUE(device.wait([](const auto& t) { return t.size() == 4; }));
    EXPECT_THAT(lines(),
                ElementsAreArray({"H0 01f9000a00" + repeat_hex("52", 10) + repeat_hex("50", 49),
                                  std::string("D0 0005"), std::string("H0 010801"), response_ok}));
    ASSERT_EQ(device.messages().size(), 1u);
    EXPECT_EQ(device.messages()[0].request, std::string(10, 'R'));
    EXPECT_EQ(device.messages()[0].payload, std::string(49, 'P'));
}

TEST_F(hid_device_test, query_and_notification_headers)
{
    std::stringstream parameters("xy");
    std::stringstream result;
    handler.answer_with([](const auto&) { return device_answer::ok("r"); });
    EXPECT_EQ(host->query(0x1234, &parameters, &result, cancel), 0);
    EXPECT_EQ(result.str(), "r");
    std::stringstream note_parameters(std::string(61, 'n'));
    EXPECT_EQ(host->notify(0xAB, &note_parameters, cancel), 0);
    ASSERT_TRUE(device.wait_messages(2));
    ASSERT_TRUE(device.wait([](const auto& t) { return t.size() == 5; }));
    EXPECT_THAT(lines(),
                ElementsAreArray({std::string("H0 01180034927879"), std::string("D0 001400000072"),
                                  "H0 01fb00ab" + repeat_hex("6e", 60), std::string("D0 0005"),
                                  std::string("H0 010e016e")}));
    const auto messages = device.messages();
    EXPECT_EQ(messages[0].type, emulator::host_message::kind::query);
    EXPECT_EQ(messages[0].id, 0x1234u);
    EXPECT_EQ(messages[0].payload, "xy");
    EXPECT_EQ(messages[1].type, emulator::host_message::kind::notification);
    EXPECT_EQ(messages[1].id, 0xABu);
    EXPECT_EQ(messages[1].payload, std::string(61, 'n'));
}

TEST_F(hid_device_test, single_report_response_of_ten_bytes)
{
    handler.answer_with([](const auto&) { return device_answer::ok("0123456789"); });
    auto request = request_of(1);
    std::stringstream response;
    EXPECT_EQ(host->download(request, response, cancel), 0);
    EXPECT_EQ(response.str(), "0123456789");
    ASSERT_TRUE(device.wait([](const auto& t) { return t.size() == 2; }));
    EXPECT_EQ(lines()[1], "D0 0038000000" + hex_text("0123456789"));
}

TEST_F(hid_device_test, multi_report_response_is_acknowledged_report_by_report)
{
    const std::string payload = bytes_of(200);
    handler.answer_with([=](const auto&) { return device_answer::ok(payload); });
    auto request = request_of(1);
    std::stringstream response;
    EXPECT_EQ(host->download(request, response, cancel), 0);
    EXPECT_EQ(response.str(), payload);
    const auto hosts = host_lines();
    EXPECT_THAT(std::vector<std::string>(hosts.begin() + 1, hosts.end()),
                ElementsAreArray({"H0 0105", "H0 010501", "H0 010502"}));
    EXPECT_THAT(device.violations(), IsEmpty());
}

TEST_F(hid_device_test, status_in_the_first_report)
{
    struct row {
        std::vector<std::string> reports;
        std::vector<std::string> acks;
    } const rows[] = {
        {{emulator::device_report({0, 3 << 2, 0, 5, 0})}, {}},
        // Announcing more: acknowledged with continue before the status is
        // returned; the report that answers the continue is stopped, so the
        // rest is not left for the next exchange.
        {{emulator::device_report({0, 62 << 2 | 1, 0, 5, 0, 'x'}),
          emulator::device_report({0, 62 << 2 | 1, 1, 'y'})},
         {"H0 0105", "H0 010401"}},
    };
    for (const auto& r : rows) {
        device.clear_transcript();
        handler.answer_with([=](const auto&) {
            device_answer a;
            a.type = device_answer::kind::raw;
            a.reports = r.reports;
            return a;
        });
        auto request = request_of(1);
        std::stringstream response;
        EXPECT_EQ(host->download(request, response, cancel), 5);
        EXPECT_EQ(response.str(), "");
        const auto hosts = host_lines_when(1 + r.acks.size());
        EXPECT_THAT(std::vector<std::string>(hosts.begin() + 1, hosts.end()),
                    ElementsAreArray(r.acks));
    }
}

TEST_F(hid_device_test, cancelling_footer_gives_its_code)
{
    for (const std::uint16_t code : {205, 0}) {
        log.clear();
        handler.answer_with([=](const auto&) {
            device_answer a;
            a.type = device_answer::kind::cancelled;
            a.code = code;
            return a;
        });
        auto request = request_of(1);
        std::stringstream response;
        EXPECT_EQ(host->download(request, response, cancel), code);
        EXPECT_EQ(traced("Expected non-zero error code."), code == 0);
    }
}

TEST_F(hid_device_test, stop_acknowledgement_ends_the_send_with_its_code)
{
    start_thread();
    device.script_ack(0, emulator::ack_script::stop(202));
    auto request = request_of(200);
    std::stringstream response;
    EXPECT_EQ(host->download(request, response, cancel), 202);
    device.notify(7, "later");
    ASSERT_TRUE(notifications.wait(1));
    EXPECT_EQ(notifications.received()[0], std::make_pair(7u, std::string("later")));
    // Nothing more was written after the first report.
    EXPECT_THAT(host_lines(), ElementsAreArray({"H0 01f900c800" + repeat_hex("41", 59)}));
}

TEST_F(hid_device_test, a_stop_without_code_is_tolerated)
{
    device.script_ack(0, emulator::ack_script::stop(0));
    auto request = request_of(100);
    std::stringstream response;
    EXPECT_EQ(host->download(request, response, cancel), 0);
    EXPECT_TRUE(traced("Expected non-zero error code."));
    EXPECT_THAT(device.violations(), IsEmpty());
}

TEST_F(hid_device_test, anything_but_an_acknowledgement_is_out_of_step)
{
    struct row {
        const char* name;
        emulator::ack_script ack;
    } const rows[] = {
        {"no header", {0x00, 0, std::nullopt}},
        {"N = 4, continue clear", {0x10, 0, std::nullopt}},
        // A response report (N = 62, more follows) echoing the ring.
        {"full report", {0xF9, 0, std::nullopt}},
        {"continue with N = 2", {0x09, 0, std::nullopt}},
    };
    // Each 100-byte request has one full report, so one acknowledgement.
    unsigned index = 0;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        device.clear_transcript();
        device.script_ack(index++, r.ack);
        auto request = request_of(100);
        std::stringstream response;
        try {
            host->download(request, response, cancel);
            ADD_FAILURE() << "no error";
        } catch (const bad_response& e) {
            EXPECT_THAT(e.what(), ::testing::HasSubstr("Expected acknowledgement frame."));
        }
        // The message is cancelled in place of its continuation, and the next
        // exchange is in step.
        EXPECT_EQ(host_lines_when(2).at(1), "H0 01080101");
        auto next = request_of(3);
        std::stringstream answer;
        EXPECT_EQ(host->download(next, answer, cancel), 0);
    }
    EXPECT_THAT(device.violations(), IsEmpty());
}

TEST_F(hid_device_test, wrong_ring_in_a_continue_is_a_checksum_failure)
{
    device.script_ack(0, emulator::ack_script{0x05, 1, std::nullopt});
    auto request = request_of(100);
    std::stringstream response;
    try {
        host->download(request, response, cancel);
        FAIL() << "no error";
    } catch (const checksum_failure& e) {
        EXPECT_THAT(e.what(), ::testing::HasSubstr("Ring counter mismatch."));
    }
}

TEST_F(hid_device_test, notification_while_awaiting_an_acknowledgement)
{
    start_thread();
    device.inject_at(usb_front_end::point::before_ack, 0, emulator::notification_reports(9, "abc"));
    auto request = request_of(100);
    std::stringstream response;
    EXPECT_EQ(host->download(request, response, cancel), 0);
    ASSERT_TRUE(notifications.wait(1));
    EXPECT_EQ(notifications.received()[0], std::make_pair(9u, std::string("abc")));
    EXPECT_THAT(device.violations(), IsEmpty());
}

TEST_F(hid_device_test, ring_counter_wraps_both_ways)
{
    const std::string payload = bytes_of(61 * 300, 1);
    handler.answer_with([=](const auto&) { return device_answer::ok(payload); });
    std::stringstream request("req");
    std::stringstream upload(payload);
    ASSERT_EQ(host->upload(request, upload, cancel), 0);
    ASSERT_EQ(device.messages().size(), 1u);
    EXPECT_EQ(device.messages()[0].payload, payload);

    auto download_request = request_of(3);
    std::stringstream response;
    ASSERT_EQ(host->download(download_request, response, cancel), 0);
    EXPECT_EQ(response.str(), payload);
    const auto all = lines();
    const auto has = [&](const std::string& prefix) {
        return std::any_of(all.begin(), all.end(),
                           [&](const auto& l) { return l.rfind(prefix, 0) == 0; });
    };
    EXPECT_TRUE(has("H0 01f9ff"));
    EXPECT_TRUE(has("H0 0105ff"));
    EXPECT_TRUE(has("D0 00f9ff"));
    EXPECT_THAT(device.violations(), IsEmpty());
}

TEST_F(hid_device_test, argument_faults_write_nothing)
{
    auto too_long = request_of(0x8000);
    std::stringstream out;
    EXPECT_THROW(host->download(too_long, out, cancel), invalid_parameter);
    auto too_long_upload = request_of(0x8000);
    EXPECT_THROW(host->upload(too_long_upload, out, cancel), invalid_parameter);
    for (const long id : {-1L, 0x8000L})
        EXPECT_THROW(host->query(id, nullptr, nullptr, cancel), invalid_parameter) << id;
    for (const long id : {-1L, 256L})
        EXPECT_THROW(host->notify(id, nullptr, cancel), invalid_parameter) << id;
    // The largest request is accepted, and its reports are the first written.
    auto largest = request_of(0x7FFF);
    EXPECT_EQ(host->download(largest, out, cancel), 0);
    EXPECT_EQ(device.messages().size(), 1u);
    EXPECT_EQ(lines().at(0).substr(0, 13), "H0 01f900ff7f");
}

} // namespace
} // namespace zarvo::test
