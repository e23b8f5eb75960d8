// Device notifications: reassembly, discards, the handler's answer and the
// notification thread.

#include "devicelib/errors/errors.h"
#include "tests/devicelib/usb/hid_fixture.h"

#include <gmock/gmock.h>

#include <sstream>
#include <thread>

namespace zarvo::test {
namespace {

using emulator::device_answer;
using emulator::device_report;
using emulator::notification_reports;
using emulator::usb_front_end;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A full first notification report: id 0x21 and 60 parameter bytes 'p'.
std::string first_full()
{
    std::string r = device_report({0, 62 << 2 | 3, 0, 0x21});
    std::fill(r.begin() + 4, r.end(), 'p');
    return r;
}

std::string report_of(std::uint8_t header, std::uint8_t ring,
                      std::initializer_list<std::uint8_t> tail)
{
    std::string r = device_report({0, header, ring});
    std::size_t at = 3;
    for (const auto b : tail)
        r[at++] = static_cast<char>(b);
    return r;
}

struct discard_row {
    const char* name;
    std::vector<std::string> reports;
    const char* trace;
};

class notification_discards : public hid_device_test,
                              public ::testing::WithParamInterface<discard_row> {};

TEST_P(notification_discards, are_traced_and_dropped)
{
    start_thread();
    auto packets = GetParam().reports;
    for (const auto& r : notification_reports(0x42, "good"))
        packets.push_back(r);
    device.inject(packets);
    ASSERT_TRUE(notifications.wait(1));
    // Only the intact notification that follows arrives.
    EXPECT_THAT(notifications.received(), ElementsAre(std::make_pair(0x42u, std::string("good"))));
    EXPECT_THAT(traces(), ElementsAre(GetParam().trace));
}

INSTANTIATE_TEST_SUITE_P(
    rows, notification_discards,
    ::testing::Values(
        discard_row{"n_below_2",
                    {report_of(1 << 2 | 2, 0, {})},
                    "Expected notification header. Frame discarded."},
        discard_row{"n_0_later",
                    {first_full(), report_of(0x03, 1, {})},
                    "Expected ring counter. Notification discarded."},
        discard_row{"ring_mismatch",
                    {first_full(), report_of(3 << 2 | 2, 4, {'x', 0})},
                    "Ring counter mismatch. Notification discarded."},
        discard_row{"n_1_last",
                    {first_full(), report_of(1 << 2 | 2, 1, {})},
                    "Expected footer in notification. Message discarded."},
        discard_row{"footer_above_1",
                    {report_of(3 << 2 | 2, 0, {0x21, 5})},
                    "Unknown notification footer flags. Message discarded."},
        discard_row{"footer_1_n_3",
                    {report_of(3 << 2 | 2, 0, {0x21, 1})},
                    "Expected error code in notification footer. Message discarded."},
        discard_row{"footer_1_code_0",
                    {report_of(5 << 2 | 2, 0, {0x21, 0, 0, 1})},
                    "Notification receiving canceled by device. Expected error code."},
        discard_row{"footer_1_code_300",
                    {report_of(5 << 2 | 2, 0, {0x21, 0x2c, 0x01, 1})},
                    "Notification receiving canceled by device due to error 300. Message "
                    "discarded."},
        // Content reaching past the report, or a first report without a footer.
        discard_row{"n_63_first",
                    {report_of(63 << 2 | 3, 0, {0x21})},
                    "Expected notification header. Frame discarded."},
        discard_row{"n_63_later",
                    {first_full(), report_of(63 << 2 | 2, 1, {})},
                    "Expected footer in notification. Message discarded."},
        discard_row{"n_2_first_last",
                    {report_of(2 << 2 | 2, 0, {0x21})},
                    "Expected footer in notification. Message discarded."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(hid_device_test, multi_report_notification_is_dispatched_once)
{
    start_thread();
    const std::string parameters = bytes_of(300, 3);
    device.notify(0x99, parameters);
    device.notify(0x01, "");
    ASSERT_TRUE(notifications.wait(2));
    EXPECT_THAT(notifications.received(), ElementsAre(std::make_pair(0x99u, parameters),
                                                      std::make_pair(0x01u, std::string())));
    EXPECT_THAT(traces(), IsEmpty());
}

TEST_F(hid_device_test, handler_that_fails_to_parse_is_traced)
{
    notifications.answer = false;
    notifications.parse_limit = 3;
    start_thread();
    device.notify(7, "0123456789");
    ASSERT_TRUE(notifications.wait(1));
    host->stop_thread();
    EXPECT_THAT(traces(), ElementsAre("Got notification 7 with 10 bytes of parameters, managed to "
                                      "parse 3 bytes."));
}

TEST_F(hid_device_test, response_report_between_exchanges_is_discarded)
{
    start_thread();
    device.inject({device_report({0, 4 << 2, 0, 0, 0, 0})});
    device.notify(1, "n");
    ASSERT_TRUE(notifications.wait(1));
    EXPECT_THAT(traces(), ElementsAre("Got response frame, expected notification frame. Response "
                                      "frame discarded, another process is performing operation."));
}

TEST_F(hid_device_test, exchanges_pause_the_thread_and_notifications_go_on)
{
    start_thread();
    for (int i = 0; i < 20; ++i) {
        std::stringstream request("q");
        request.seekp(0, std::ios_base::end);
        std::stringstream response;
        ASSERT_EQ(host->download(request, response, cancel), 0);
        device.notify(static_cast<std::uint8_t>(i), "between");
    }
    ASSERT_TRUE(notifications.wait(20));
    EXPECT_THAT(device.violations(), IsEmpty());
    EXPECT_THAT(traces(), IsEmpty());
}

TEST_F(hid_device_test, device_gone_between_exchanges_is_reported_by_the_thread)
{
    start_thread();
    device.close_connections();
    // The thread reports the removal at once, without an exchange, and ends;
    // the next exchange passes the handshake at once and fails without
    // reporting it again.
    ASSERT_TRUE(eventually([&] { return removals.count == 1; }));
    std::stringstream request("q");
    request.seekp(0, std::ios_base::end);
    std::stringstream response;
    EXPECT_THROW(host->download(request, response, cancel), link_lost);
    EXPECT_EQ(removals.count, 1);
}

TEST_F(hid_device_test, unknown_failure_on_the_thread_reports_removal_and_ends_it)
{
    start_thread();
    device.inject({std::string(10, '\x01')});
    ASSERT_TRUE(eventually([&] { return removals.count == 1; }));
    EXPECT_THAT(traces(), ElementsAre("Device is not functioning properly due to error 90: "
                                      "Message too long"));
    // The thread has ended: an exchange no longer waits for it.
    std::stringstream request("q");
    request.seekp(0, std::ios_base::end);
    std::stringstream response;
    EXPECT_EQ(host->download(request, response, cancel), 0);
}

TEST_F(hid_device_test, stop_thread_during_a_continuation_read_returns)
{
    start_thread();
    // A whole notification, then the first report of one that never ends.
    auto packets = notification_reports(1, "whole");
    packets.push_back(first_full());
    device.inject(packets);
    ASSERT_TRUE(notifications.wait(1));
    // The report time-out is a minute; stopping must not wait for it.
    host->stop_thread();
    EXPECT_EQ(removals.count, 0);
}

TEST_F(hid_device_test, response_report_inside_a_notification_times_out)
{
    start_thread();
    host->set_report_timeout(300);
    device.inject_at(usb_front_end::point::before_response_report, 0, {first_full()});
    std::stringstream request("q");
    request.seekp(0, std::ios_base::end);
    std::stringstream response;
    EXPECT_THROW(host->download(request, response, cancel), operation_timed_out);
    EXPECT_THAT(traces(), ElementsAre("Ring counter mismatch. Notification discarded."));
    EXPECT_TRUE(notifications.received().empty());
    // The thread runs again.
    device.notify(5, "after");
    ASSERT_TRUE(notifications.wait(1));
}

TEST_F(hid_device_test, copies_share_the_stop_and_close_alone)
{
    {
        usb::hid_device copy(*host);
        EXPECT_EQ(copy.vendor_id(), 0x1234);
        EXPECT_EQ(copy.serial_number(), "SER");
        copy.close();
    }
    std::stringstream request("q");
    request.seekp(0, std::ios_base::end);
    std::stringstream response;
    EXPECT_EQ(host->download(request, response, cancel), 0);

    usb::hid_device copy(*host);
    copy.start_notification_thread(&notifications);
    copy.stop_thread();
    // The stop is shared: the original's transfers are aborted now, and
    // nothing is written or reported.
    EXPECT_THROW(host->download(request, response, cancel), link_lost);
    EXPECT_EQ(removals.count, 0);
    EXPECT_EQ(host_lines().size(), 1u);
}

} // namespace
} // namespace zarvo::test
