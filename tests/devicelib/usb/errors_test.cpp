// Transfer failures and what they become.

#include "devicelib/errors/errors.h"
#include "tests/devicelib/usb/hid_fixture.h"
#include "tests/support/param_name.h"

#include <gmock/gmock.h>

#include <sstream>

namespace zarvo::test {
namespace {

using emulator::device_answer;
using emulator::usb_front_end;
using ::testing::ElementsAre;

std::stringstream request_of(std::size_t size)
{
    std::stringstream s;
    s << std::string(size, 'A');
    return s;
}

TEST_F(hid_device_test, unplug_mid_transfer_is_link_lost_after_the_removal_report)
{
    struct row {
        const char* name;
        unsigned close_after_host;
        std::size_t request;
        std::size_t response;
    } const rows[] = {
        {"awaiting an acknowledgement", 1, 200, 0},
        {"awaiting the response", 1, 10, 0},
        {"awaiting a response report", 2, 10, 200},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        emulator::usb_front_end unplugged(1, 2, "U", handler);
        removal_recorder removed;
        usb::hid_device device_host(
            &removed, "u",
            platform::hid_channel(unplugged.connect_pair(), platform::channel_kind::socket), {});
        device_host.start_notification_thread(&notifications);
        const std::string payload = bytes_of(r.response);
        handler.answer_with([=](const auto&) { return device_answer::ok(payload); });
        unplugged.close_after_host_report(r.close_after_host);
        auto request = request_of(r.request);
        std::stringstream response;
        try {
            device_host.download(request, response, cancel);
            ADD_FAILURE() << "no error";
        } catch (const link_lost&) {
            EXPECT_EQ(removed.count, 1);
        }
        device_host.stop_thread();
        EXPECT_EQ(removed.count, 1);
    }
}

TEST_F(hid_device_test, silence_times_out_and_the_thread_resumes)
{
    start_thread();
    host->set_report_timeout(200);
    device.set_silent(true);
    for (const std::size_t size : {100, 10}) {
        auto request = request_of(size);
        std::stringstream response;
        EXPECT_THROW(host->download(request, response, cancel), operation_timed_out) << size;
    }
    EXPECT_EQ(removals.count, 0);
    device.set_silent(false);
    device.notify(3, "awake");
    ASSERT_TRUE(notifications.wait(1));
}

class wrong_length : public hid_device_test, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(wrong_length, report_while_sending_inflicts_link_lost)
{
    device.inject_at(usb_front_end::point::before_ack, 0, {std::string(GetParam(), '\x05')});
    auto request = request_of(100);
    std::stringstream response;
    EXPECT_THROW(host->download(request, response, cancel), link_lost);
    EXPECT_EQ(removals.count, 1);
    EXPECT_THAT(traces(), ElementsAre("Unhandled win32 error 90. Inflicting link lost."));
}

TEST_P(wrong_length, report_while_receiving_is_invalid_function)
{
    handler.answer_with([=](const auto&) {
        device_answer a;
        a.type = device_answer::kind::raw;
        a.reports = {std::string(GetParam(), '\x05')};
        return a;
    });
    auto request = request_of(1);
    std::stringstream response;
    EXPECT_THROW(host->download(request, response, cancel), invalid_function);
    EXPECT_EQ(removals.count, 0);
}

INSTANTIATE_TEST_SUITE_P(sizes, wrong_length, ::testing::Values(0, 5, 65),
                         zarvo::test::printed_name{"length"});

TEST_F(hid_device_test, opening_a_path_that_is_no_device_gives_zero_attributes)
{
    usb::hid_device missing(&removals, "/nonexistent/1234-5678-X.hid");
    EXPECT_FALSE(missing.is_open());
    EXPECT_EQ(missing.vendor_id(), 0);
    EXPECT_EQ(missing.product_id(), 0);
    EXPECT_EQ(missing.serial_number(), "");
    EXPECT_EQ(missing.path(), "/nonexistent/1234-5678-X.hid");
}

} // namespace
} // namespace zarvo::test
