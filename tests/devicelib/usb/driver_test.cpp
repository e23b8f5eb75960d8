#include "devicelib/core/device_id.h"
#include "devicelib/errors/errors.h"
#include "devicelib/usb/hid_connection.h"
#include "tests/devicelib/usb/driver_fixture.h"
#include "tests/support/latch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace zarvo::test {
namespace {

namespace fs = std::filesystem;
using core::device_id_from_serial;
using emulator::unplug_order;

std::string upper_case(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
    return s;
}

std::string lower_case(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

std::vector<post_record> sorted(std::vector<post_record> posts)
{
    std::sort(posts.begin(), posts.end(),
              [](const post_record& a, const post_record& b) { return a.id < b.id; });
    return posts;
}

const std::string serial_a = "0000A001";
const std::string serial_b = "0000B002";
const std::string serial_c = "0000C003";
const std::uint64_t id_a = 0xA001;
const std::uint64_t id_b = 0xB002;
const std::uint64_t id_c = 0xC003;

TEST_F(hid_driver_test, publishes_present_devices_with_delay_0_and_plugged_ones_with_500)
{
    plug(serial_a);
    driver->start();
    EXPECT_EQ(posts(), std::vector<post_record>{published(id_a, 0)});
    EXPECT_EQ(driver->publish_delay(), 500u);

    plug(serial_b);
    ASSERT_TRUE(poster.wait_posts(2));
    EXPECT_EQ(posts()[1], published(id_b, 500));

    unplug(serial_b);
    ASSERT_TRUE(poster.wait_posts(3));
    EXPECT_EQ(posts()[2], withdrawn(id_b));
    EXPECT_EQ(posts()[2].c, posts()[1].c);

    driver->stop();
    ASSERT_EQ(posts().size(), 4u);
    EXPECT_EQ(posts()[3], withdrawn(id_a));
    EXPECT_TRUE(device_paths().empty());
    EXPECT_TRUE(connection_ids().empty());
    EXPECT_EQ(driver->publish_delay(), 0u);

    // Plugged while stopped: present at the next start.
    plug(serial_c);
    driver->start();
    const auto all = posts();
    const auto restarted = std::vector<post_record>(all.begin() + 4, all.end());
    EXPECT_EQ(sorted(restarted),
              (std::vector<post_record>{published(id_a, 0), published(id_c, 0)}));
    driver->stop();
}

TEST_F(hid_driver_test, suspend_and_resume_withdraw_and_publish_again_with_delay_0)
{
    plug(serial_a);
    driver->start();
    plug(serial_b);
    ASSERT_TRUE(poster.wait_posts(2));
    driver->suspend();
    EXPECT_TRUE(device_paths().empty());
    driver->resume();
    const auto p = posts();
    ASSERT_EQ(p.size(), 6u);
    EXPECT_EQ(sorted({p[2], p[3]}), (std::vector<post_record>{withdrawn(id_a), withdrawn(id_b)}));
    EXPECT_EQ(sorted({p[4], p[5]}),
              (std::vector<post_record>{published(id_a, 0), published(id_b, 0)}));
    driver->stop();
}

TEST_F(hid_driver_test, other_devices_are_not_remembered_and_are_examined_again)
{
    struct row {
        std::uint16_t vendor, product;
    } const rows[] = {{usb::device_vendor_id, 0x0009}, {0x1234, 0x0008}};
    driver->start();
    for (const auto& r : rows) {
        const std::string serial = "OTHER" + std::to_string(r.vendor) + std::to_string(r.product);
        plug(serial, r.product, r.vendor);
    }
    settle();
    EXPECT_TRUE(posts().empty());
    EXPECT_TRUE(device_paths().empty());

    // A path that could not be opened (zero attributes) is examined again
    // when it is announced again.
    std::ofstream(dir / ("a2c5-0008-" + serial_a + ".hid")) << "not a socket";
    settle();
    EXPECT_TRUE(device_paths().empty());
    plug(serial_a); // renamed onto the same path
    ASSERT_TRUE(poster.wait_posts(1));
    EXPECT_EQ(posts()[0], published(id_a, 500));
    driver->stop();
}

TEST_F(hid_driver_test, keys_are_lower_case_paths_and_devices_open_as_announced)
{
    const std::string path = plug(serial_a);
    ASSERT_NE(path, lower_case(path)) << "the directory's name has upper-case letters";
    driver->start();
    ASSERT_EQ(posts(), std::vector<post_record>{published(id_a, 0)});
    EXPECT_EQ(device_paths(), std::vector<std::string>{lower_case(path)});

    // Announced again in another case: known.
    driver->backend().invoke_sync([&] { driver->device_arrival(upper_case(path)); });
    EXPECT_EQ(posts().size(), 1u);

    driver->backend().invoke_sync([&] { driver->device_removal(upper_case(path)); });
    EXPECT_EQ(posts(), (std::vector<post_record>{published(id_a, 0), withdrawn(id_a)}));
    EXPECT_TRUE(device_paths().empty());
    driver->stop();
}

TEST_F(hid_driver_test, a_serial_with_leading_zeros_gives_the_device_id)
{
    plug("0000012A");
    driver->start();
    EXPECT_EQ(posts(), std::vector<post_record>{published(0x12A, 0)});
    driver->stop();
}

TEST(hid_driver, two_paths_of_one_id_share_one_connection)
{
    // 0000012A and 12a give one id: the first plugged is published, the
    // second only recorded; removing either withdraws the connection, the
    // other then only goes from the map.
    struct row {
        std::string first_plugged, first_removed;
    } const rows[] = {
        {"0000012A", "0000012A"},
        {"0000012A", "12a"},
        {"12a", "0000012A"},
        {"12a", "12a"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.first_plugged + " plugged first, " + r.first_removed + " removed first");
        driver_rig rig;
        const std::string second_plugged = r.first_plugged == "12a" ? "0000012A" : "12a";
        const std::string second_removed = r.first_removed == "12a" ? "0000012A" : "12a";
        rig.plug(r.first_plugged);
        rig.driver->start();
        rig.plug(second_plugged);
        rig.settle();
        ASSERT_EQ(rig.posts(), std::vector<post_record>{published(0x12A, 0)});
        EXPECT_EQ(rig.device_paths().size(), 2u);

        rig.unplug(r.first_removed);
        ASSERT_TRUE(rig.poster.wait_posts(2));
        EXPECT_EQ(rig.posts()[1], withdrawn(0x12A));
        EXPECT_EQ(rig.posts()[1].c, rig.posts()[0].c);

        rig.unplug(second_removed);
        rig.settle();
        EXPECT_EQ(rig.posts().size(), 2u);
        EXPECT_TRUE(rig.device_paths().empty());
        rig.driver->stop();
        EXPECT_EQ(rig.posts().size(), 2u) << "nothing left to withdraw";
    }
}

TEST_F(hid_driver_test, a_transfer_finding_the_device_gone_withdraws_before_link_lost)
{
    plug(serial_a);
    driver->start();
    auto* c = static_cast<usb::hid_connection*>(poster.connection(id_a));
    ASSERT_NE(c, nullptr);
    // The device hangs up without its file going away: only the failing
    // transfer can tell the driver.
    unplug(serial_a, unplug_order::connections_only);
    std::ostringstream content;
    try {
        c->read("/DEVICE.BPB", content);
        ADD_FAILURE() << "read succeeded";
    } catch (const link_lost&) {
        const auto p = posts();
        ASSERT_EQ(p.size(), 2u) << "withdrawn before the error reached the caller";
        EXPECT_EQ(p[1], withdrawn(id_a));
        EXPECT_EQ(p[1].c, c);
    }
    EXPECT_TRUE(device_paths().empty());
    driver->stop();
    EXPECT_EQ(posts().size(), 2u);
}

TEST_F(hid_driver_test, a_device_that_hangs_up_is_withdrawn_without_an_exchange)
{
    plug(serial_a);
    driver->start();
    ASSERT_NE(poster.connection(id_a), nullptr);
    // The file stays: only the connection's notification thread can tell.
    unplug(serial_a, unplug_order::connections_only);
    ASSERT_TRUE(poster.wait_posts(2));
    EXPECT_EQ(posts()[1], withdrawn(id_a));
    driver->stop();
    EXPECT_EQ(posts().size(), 2u) << "withdrawn once";
}

TEST_F(hid_driver_test, a_connection_outliving_its_driver_reports_a_hang_up_to_nobody)
{
    // The engine deletes drivers at exit without stopping them, while the
    // core still holds their connections: a device lost after that must not
    // reach the deleted driver, neither from the notification thread nor
    // from a failing transfer.
    plug(serial_a);
    driver->start();
    auto* c = static_cast<usb::hid_connection*>(poster.connection(id_a));
    ASSERT_NE(c, nullptr);
    driver.reset();
    unplug(serial_a, unplug_order::connections_only);
    std::ostringstream content;
    EXPECT_THROW(c->read("/DEVICE.BPB", content), link_lost);
    EXPECT_EQ(posts(), std::vector<post_record>{published(id_a, 0)});
}

// A copy of the driver's own device for the connection of id, as the
// connection's notification thread reports with.
usb::hid_device device_of(recording_poster& poster, std::uint64_t id)
{
    return usb::hid_device(static_cast<usb::hid_connection*>(poster.connection(id))->device());
}

TEST_F(hid_driver_test, report_removal_runs_directly_on_the_event_thread)
{
    plug(serial_a);
    driver->start();
    usb::hid_device device = device_of(poster, id_a);
    driver->backend().invoke_sync([&] { driver->report_removal(device); });
    EXPECT_EQ(posts(), (std::vector<post_record>{published(id_a, 0), withdrawn(id_a)}));
    driver->stop();
}

TEST_F(hid_driver_test, report_removal_made_during_start_is_carried_out_once_the_thread_runs)
{
    plug(serial_a);
    std::thread reporter;
    // The report comes once the device is published, before the event
    // thread runs.
    driver->set_start_hook([&] {
        reporter = std::thread([&] {
            ASSERT_TRUE(poster.wait_posts(1));
            usb::hid_device device = device_of(poster, id_a);
            driver->report_removal(device);
        });
    });
    driver->start();
    reporter.join();
    EXPECT_EQ(posts(), (std::vector<post_record>{published(id_a, 0), withdrawn(id_a)}));
    driver->stop();
}

TEST_F(hid_driver_test, report_removal_returns_when_it_races_with_stop)
{
    plug(serial_a);
    driver->start();
    usb::hid_device device = device_of(poster, id_a);
    latch busy, release, returned;
    std::thread blocker([&] {
        driver->backend().invoke_sync([&] {
            busy.open();
            release.wait();
        });
    });
    ASSERT_TRUE(busy.wait());
    std::thread reporter([&] {
        driver->report_removal(device);
        returned.open();
    });
    std::thread stopper([&] { driver->stop(); });
    // Stop withdraws the waiting removal (or it came after stop began)
    // while the event thread is still busy.
    EXPECT_TRUE(returned.wait());
    release.open();
    stopper.join();
    reporter.join();
    blocker.join();
    EXPECT_EQ(posts(), (std::vector<post_record>{published(id_a, 0), withdrawn(id_a)}));
    // After stop it returns at once.
    driver->report_removal(device);
}

TEST_F(hid_driver_test, a_device_plugged_again_at_once_stays_when_the_old_one_reports_its_loss)
{
    plug(serial_a);
    driver->start();
    usb::hid_device old_device = device_of(poster, id_a);
    // Gone and back at the same path before the old device's loss is told.
    unplug(serial_a);
    plug(serial_a);
    ASSERT_TRUE(poster.wait_posts(3));
    driver->report_removal(old_device);
    settle();
    const auto p = posts();
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(p[1], withdrawn(id_a));
    EXPECT_EQ(p[2], published(id_a, 500));
    EXPECT_EQ(device_paths().size(), 1u);
    EXPECT_EQ(connection_ids(), std::vector<std::uint64_t>{id_a});
    driver->stop();
}

TEST_F(hid_driver_test, a_device_plugged_between_watch_and_listing_is_published_once)
{
    driver->set_start_hook([&] { plug(serial_a); });
    driver->start();
    settle();
    EXPECT_EQ(posts(), std::vector<post_record>{published(id_a, 0)});
    driver->stop();
}

TEST_F(hid_driver_test, removing_the_directory_withdraws_all_its_devices)
{
    plug(serial_a);
    plug(serial_b);
    driver->start();
    ASSERT_EQ(posts().size(), 2u);
    fs::remove_all(dir);
    ASSERT_TRUE(poster.wait_posts(4));
    const auto p = posts();
    EXPECT_EQ(sorted({p[2], p[3]}), (std::vector<post_record>{withdrawn(id_a), withdrawn(id_b)}));
    EXPECT_TRUE(device_paths().empty());
    driver->stop();
}

TEST_F(hid_driver_test, an_inotify_overflow_is_reconciled_with_the_directory)
{
    long limit = 0;
    std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> limit;
    if (limit <= 0 || limit > 1 << 20)
        GTEST_SKIP() << "inotify queue limit " << limit;
    plug(serial_a);
    driver->start();
    ASSERT_EQ(posts().size(), 1u);
    // While the event thread is held, the queue overflows; the unplug and
    // plug that follow are lost and only a new listing shows them.
    latch busy, release;
    std::thread blocker([&] {
        driver->backend().invoke_sync([&] {
            busy.open();
            release.wait();
        });
    });
    ASSERT_TRUE(busy.wait());
    const auto filler = (dir / "filler").string();
    for (long i = 0; i <= limit / 2; ++i) {
        ::close(::open(filler.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600));
        ::unlink(filler.c_str());
    }
    unplug(serial_a, unplug_order::file_only);
    plug(serial_b);
    release.open();
    blocker.join();
    ASSERT_TRUE(poster.wait_posts(3));
    const auto p = posts();
    EXPECT_EQ(p[1], withdrawn(id_a));
    EXPECT_EQ(p[2], published(id_b, 500));
    driver->stop();
}

TEST_F(hid_driver_test, a_missing_directory_starts_and_stops_with_no_devices)
{
    ::setenv("ZARVO_HID_DIR", (root / "missing").c_str(), 1);
    plug(serial_a);
    driver->start();
    settle();
    driver->stop();
    EXPECT_TRUE(posts().empty());
}

TEST_F(hid_driver_test, without_a_directory_udev_is_used)
{
    // No hidraw node of the accepted ids in a test machine, and no udev
    // daemon in a container: whatever udev finds, start and stop are clean
    // and everything published is withdrawn again.
    ::unsetenv("ZARVO_HID_DIR");
    plug(serial_a);
    driver->start();
    driver->stop();
    std::size_t published_count = 0, withdrawn_count = 0;
    for (const auto& p : posts()) {
        (p.publish ? published_count : withdrawn_count) += 1;
        EXPECT_NE(p.id, id_a) << "the directory is not watched";
    }
    EXPECT_EQ(published_count, withdrawn_count);
}

TEST_F(hid_driver_test, a_started_driver_destroyed_without_stop_returns_cleanly)
{
    plug(serial_a);
    driver->start();
    plug(serial_b);
    ASSERT_TRUE(poster.wait_posts(2));
    driver.reset();
    // The core is told nothing: it deletes its drivers at process exit.
    EXPECT_EQ(posts().size(), 2u);
}

} // namespace
} // namespace zarvo::test
