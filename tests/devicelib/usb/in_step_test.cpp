// Keeping the link in step: stale reports before an exchange, in place of a
// response, after an abandoned reception and from a device that goes on
// after the host's stop.

#include "devicelib/errors/errors.h"
#include "tests/devicelib/usb/hid_fixture.h"
#include "tests/support/limited_buffer.h"

#include <gmock/gmock.h>

#include <sstream>

namespace zarvo::test {
namespace {

using emulator::device_answer;
using emulator::device_report;
using emulator::usb_front_end;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::stringstream request_of(const std::string& bytes)
{
    std::stringstream request(bytes);
    request.seekp(0, std::ios_base::end);
    return request;
}

// A later response report: more follows, the given ring, filled with 'S'.
std::string stale_report(std::uint8_t ring)
{
    std::string r = device_report({0, 62 << 2 | 1, ring});
    std::fill(r.begin() + 3, r.end(), 'S');
    return r;
}

TEST_F(hid_device_test, reports_queued_before_an_exchange_are_discarded_notifications_kept)
{
    start_thread();
    // Queued while no one reads: a stale response report and a notification.
    // The thread may take them itself; either way none is the answer below.
    std::vector<std::string> queued = {stale_report(4)};
    for (const auto& n : emulator::notification_reports(6, "kept"))
        queued.push_back(n);
    device.inject(queued);
    handler.answer_with([](const auto&) { return device_answer::ok("mine"); });
    auto request = request_of("q");
    std::stringstream response;
    EXPECT_EQ(host->download(request, response, cancel), 0);
    EXPECT_EQ(response.str(), "mine");
    ASSERT_TRUE(notifications.wait(1));
    EXPECT_THAT(notifications.received(), ElementsAre(std::make_pair(6u, std::string("kept"))));
    EXPECT_THAT(device.violations(), IsEmpty());
}

// A report with ring counter 7 where a response's first report is due.
enum class first_report {
    // The last report of an earlier response, before the real one: nothing
    // waits for an answer to it.
    stale_last,
    // The device's own response, its first report's ring counter corrupted:
    // the device waits for an answer to it, as to any report announcing more.
    corrupt_announcing_more,
};

class hid_first_report_test : public hid_device_test,
                              public ::testing::WithParamInterface<first_report> {};

TEST_P(hid_first_report_test, is_out_of_step_and_settled_before_the_next_message)
{
    if (GetParam() == first_report::stale_last) {
        handler.answer_with([](const auto&) { return device_answer::ok("real"); });
        std::string stale = stale_report(7);
        stale[1] = static_cast<char>(62 << 2);
        device.inject_at(usb_front_end::point::before_response_report, 0, {stale});
    } else {
        auto reports = emulator::response_reports(0, bytes_of(200, 5));
        ASSERT_GT(reports.size(), 1u);
        reports[0][2] = 7;
        handler.answer_with([=](const auto&) {
            device_answer a;
            a.type = device_answer::kind::raw;
            a.reports = reports;
            return a;
        });
    }
    auto request = request_of("q");
    std::stringstream response;
    try {
        host->download(request, response, cancel);
        ADD_FAILURE() << "no error";
    } catch (const bad_response& e) {
        EXPECT_THAT(e.what(), ::testing::HasSubstr("Expected first response frame."));
    }
    EXPECT_EQ(response.str(), "");
    if (GetParam() == first_report::stale_last) {
        // No answer to the stale report; the real response is discarded (by
        // the settle, or by the drain before the next message when it comes
        // late on a loaded machine).
        EXPECT_EQ(host_lines().size(), 1u);
    } else {
        // Stopped, as any abandoned response is.
        EXPECT_THAT(host_lines_when(2), ElementsAre(::testing::_, "H0 010407"));
    }
    handler.answer_with([](const auto&) { return device_answer::ok("next"); });
    auto next = request_of("n");
    std::stringstream answer;
    EXPECT_EQ(host->download(next, answer, cancel), 0);
    EXPECT_EQ(answer.str(), "next");
    if (GetParam() == first_report::stale_last) {
        EXPECT_TRUE(traced("Discarded 1 report(s) of an earlier exchange."));
    }
    EXPECT_THAT(device.violations(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(rows, hid_first_report_test,
                         ::testing::Values(first_report::stale_last,
                                           first_report::corrupt_announcing_more),
                         [](const auto& info) {
                             return std::string(info.param == first_report::stale_last
                                                    ? "stale_last_report"
                                                    : "corrupt_first_report_announcing_more");
                         });

// A stray last report, then the real response of several reports: the real
// first report is discarded with the stray, and stopped, so the device does
// not wait for an answer to it while the host sends its next message.
TEST_F(hid_device_test, a_discarded_report_announcing_more_is_stopped)
{
    handler.answer_with([](const auto&) { return device_answer::ok(bytes_of(200, 6)); });
    std::string stale = stale_report(7);
    stale[1] = static_cast<char>(62 << 2);
    device.inject_at(usb_front_end::point::before_response_report, 0, {stale});
    auto request = request_of("q");
    std::stringstream response;
    EXPECT_THROW(host->download(request, response, cancel), bad_response);
    EXPECT_THAT(host_lines_when(2), ElementsAre(::testing::_, "H0 0104"));

    const std::string next_payload = bytes_of(200, 8);
    handler.answer_with([=](const auto&) { return device_answer::ok(next_payload); });
    auto next = request_of("n");
    std::stringstream answer;
    EXPECT_EQ(host->download(next, answer, cancel), 0);
    EXPECT_TRUE(answer.str() == next_payload);
    EXPECT_THAT(device.violations(), IsEmpty());
}

TEST_F(hid_device_test, a_device_that_streams_on_after_the_stop_is_not_heard_next_time)
{
    start_thread();
    device.set_streams_after_stop(true);
    const std::string payload = bytes_of(61 * 10, 3);
    handler.answer_with([=](const auto&) { return device_answer::ok(payload); });
    // A notification comes in the middle of the reports the host discards.
    device.inject_at(usb_front_end::point::before_response_report, 5,
                     emulator::notification_reports(4, "while discarding"));
    auto request = request_of("q");
    limited_buffer buffer(10);
    std::ostream out(&buffer);
    EXPECT_THROW(host->download(request, out, cancel), stream_failure);
    // Continue for the first report, stop for the one that answered it.
    EXPECT_THAT(host_lines_when(3), ElementsAre(::testing::_, "H0 0105", "H0 010401"));

    const std::string next_payload = bytes_of(200, 4);
    handler.answer_with([=](const auto&) { return device_answer::ok(next_payload); });
    auto next = request_of("n");
    std::stringstream answer;
    EXPECT_EQ(host->download(next, answer, cancel), 0);
    EXPECT_TRUE(answer.str() == next_payload);
    ASSERT_TRUE(notifications.wait(1));
    EXPECT_THAT(notifications.received(),
                ElementsAre(std::make_pair(4u, std::string("while discarding"))));
    EXPECT_THAT(device.violations(), IsEmpty());
}

TEST_F(hid_device_test, non_zero_status_announcing_more_stops_the_rest)
{
    handler.answer_with([](const auto&) {
        device_answer a;
        a.status = 5;
        a.payload = std::string(200, 'x');
        return a;
    });
    auto request = request_of("q");
    std::stringstream response;
    EXPECT_EQ(host->download(request, response, cancel), 5);
    EXPECT_THAT(host_lines_when(3), ElementsAre(::testing::_, "H0 0105", "H0 010401"));
    handler.answer_with([](const auto&) { return device_answer::ok("after"); });
    auto next = request_of("n");
    std::stringstream answer;
    EXPECT_EQ(host->download(next, answer, cancel), 0);
    EXPECT_EQ(answer.str(), "after");
    EXPECT_THAT(device.violations(), IsEmpty());
}

TEST_F(hid_device_test, a_refused_host_notification_gives_the_devices_code)
{
    device.refuse_notifications(202);
    std::stringstream long_parameters(std::string(200, 'p'));
    EXPECT_EQ(host->notify(1, &long_parameters, cancel), 202);
    // One report needs no acknowledgement: nothing the device could refuse.
    std::stringstream short_parameters("p");
    EXPECT_EQ(host->notify(1, &short_parameters, cancel), 0);
    ASSERT_TRUE(device.wait_messages(1));
    device.refuse_notifications(0);
    std::stringstream accepted(std::string(200, 'p'));
    EXPECT_EQ(host->notify(2, &accepted, cancel), 0);
    ASSERT_TRUE(device.wait_messages(2));
    EXPECT_EQ(device.messages()[1].payload, std::string(200, 'p'));
    EXPECT_THAT(device.violations(), IsEmpty());
}

TEST_F(hid_device_test, the_emulator_reports_an_acknowledgement_out_of_turn)
{
    const usb::hid_device::report stray{1, 0x04, 3};
    ASSERT_TRUE(host->write_report(stray.data(), 1000).ok());
    // The device reads in order: once this exchange is over it has seen the
    // stray stop.
    handler.answer_with([](const auto&) { return device_answer::ok("fine"); });
    auto request = request_of("q");
    std::stringstream response;
    EXPECT_EQ(host->download(request, response, cancel), 0);
    EXPECT_THAT(device.violations(),
                ElementsAre(::testing::HasSubstr("acknowledgement out of turn: 010403")));
}

} // namespace
} // namespace zarvo::test
