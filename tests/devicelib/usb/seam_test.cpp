// Devices served on seam socket files: opening by path, several opens of one
// device, unplugging, and a connection that stops reading.

#include "devicelib/errors/errors.h"
#include "tests/devicelib/usb/hid_fixture.h"
#include "tests/support/temp_dir.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace zarvo::test {
namespace {

using emulator::device_answer;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class seam_test : public trace_fixture {
protected:
    temp_dir dir;
    scripted_handler handler;
    emulator::usb_front_end device{0x0fe3, 0x00a1, "S-1", handler};
    removal_recorder removals;
    platform::event cancel;
};

std::stringstream request_of(const std::string& text)
{
    std::stringstream s;
    s << text;
    return s;
}

TEST_F(seam_test, two_opens_of_one_device_each_see_every_device_report)
{
    const auto path = device.serve_in(dir.path());
    EXPECT_EQ(path.filename(), "0fe3-00a1-S-1.hid");
    usb::hid_device first(&removals, path.string());
    usb::hid_device second(&removals, path.string());
    ASSERT_TRUE(first.is_open());
    ASSERT_TRUE(second.is_open());
    EXPECT_EQ(first.vendor_id(), 0x0fe3);
    EXPECT_EQ(first.product_id(), 0x00a1);
    EXPECT_EQ(first.serial_number(), "S-1");
    EXPECT_EQ(first.path(), path.string());

    notification_recorder to_first, to_second;
    first.start_notification_thread(&to_first);
    second.start_notification_thread(&to_second);
    // An exchange on each makes sure both connections are accepted.
    std::stringstream response;
    auto request = request_of("one");
    ASSERT_EQ(first.download(request, response, cancel), 0);
    auto other = request_of("two");
    ASSERT_EQ(second.download(other, response, cancel), 0);

    device.notify(4, "both");
    ASSERT_TRUE(to_first.wait(1));
    ASSERT_TRUE(to_second.wait(1));
    EXPECT_THAT(to_first.received(), ElementsAre(std::make_pair(4u, std::string("both"))));
    EXPECT_THAT(to_second.received(), ElementsAre(std::make_pair(4u, std::string("both"))));
    // Every open sees every device report, so the second download may have
    // taken the first one's queued response and returned before the device
    // recorded "two": wait for it rather than count at once.
    EXPECT_TRUE(device.wait_messages(2, std::chrono::seconds(10)));
    EXPECT_THAT(device.violations(), IsEmpty());
}

TEST_F(seam_test, unplug_removes_the_file_and_ends_every_exchange)
{
    const auto path = device.serve_in(dir.path());
    usb::hid_device host(&removals, path.string());
    ASSERT_TRUE(host.is_open());
    device.remove();
    EXPECT_FALSE(std::filesystem::exists(path));
    auto request = request_of("q");
    std::stringstream response;
    EXPECT_THROW(host.download(request, response, cancel), link_lost);
    EXPECT_EQ(removals.count, 1);
    // Gone for a new open as well.
    usb::hid_device again(&removals, path.string());
    EXPECT_FALSE(again.is_open());
    EXPECT_EQ(again.vendor_id(), 0);
}

TEST_F(seam_test, a_connection_that_stops_reading_loses_reports)
{
    const int idle = device.connect_pair();
    const int reading = device.connect_pair();
    std::thread drain([&] {
        char buffer[256];
        while (::recv(reading, buffer, sizeof buffer, 0) > 0) {
        }
    });
    // Until the idle connection's queue overflows.
    device.set_full_queue_wait(std::chrono::milliseconds(1));
    int sent = 0;
    std::vector<std::string> lines;
    const auto lost = [](const auto& l) { return l.rfind("L0 ", 0) == 0; };
    while (sent < 5000 && std::none_of(lines.begin(), lines.end(), lost)) {
        device.inject({emulator::device_report({0, 3 << 2 | 2, 0, 1})});
        ++sent;
        if (sent % 100 == 0)
            lines = device.transcript();
    }
    lines = device.transcript();
    const auto count = [&](const char* prefix) {
        return std::count_if(lines.begin(), lines.end(),
                             [&](const auto& l) { return l.rfind(prefix, 0) == 0; });
    };
    EXPECT_GT(count("L0 "), 0);
    EXPECT_EQ(count("D0 ") + count("L0 "), sent);
    // The reading connection drains in a thread of its own; on a loaded machine
    // it may fall behind the 1 ms wait too, so every report is only accounted
    // for, delivered or lost, and most reach it.
    EXPECT_EQ(count("D1 ") + count("L1 "), sent);
    EXPECT_GT(count("D1 "), sent / 2);
    ::shutdown(reading, SHUT_RDWR);
    drain.join();
    ::close(idle);
    ::close(reading);
}

} // namespace
} // namespace zarvo::test
