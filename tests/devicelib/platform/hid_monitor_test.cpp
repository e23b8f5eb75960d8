#include "devicelib/platform/hid_monitor.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

namespace zarvo::platform {
namespace {

namespace fs = std::filesystem;

struct recorded_events : hid_events {
    std::vector<std::string> lines;
    void arrival(const std::string& path) override { lines.push_back("+" + path); }
    void removal(const std::string& path) override { lines.push_back("-" + path); }
    void present(const std::vector<std::string>& paths) override
    {
        std::vector<std::string> sorted = paths;
        std::sort(sorted.begin(), sorted.end());
        std::string line = "=";
        for (const auto& p : sorted)
            line += p + ";";
        lines.push_back(line);
    }
};

void touch(const fs::path& p)
{
    std::ofstream(p).put('x');
}

std::vector<std::string> dispatched(hid_monitor& monitor)
{
    recorded_events events;
    monitor.dispatch(events);
    return events.lines;
}

TEST(hid_directory_monitor, reports_only_seam_names)
{
    test::temp_dir dir;
    const std::string d = dir.path().string();
    touch(dir / "a2c5-0008-PRESENT.hid");
    touch(dir / "readme.txt");
    const auto monitor = open_directory_monitor(d + "/");
    ASSERT_GE(monitor->fd(), 0);
    EXPECT_EQ(monitor->enumerate(), std::vector<std::string>{d + "/a2c5-0008-PRESENT.hid"});

    // Bound under a temporary name, then renamed into place.
    touch(dir / "a2c5-0008-S1.binding");
    fs::rename(dir / "a2c5-0008-S1.binding", dir / "a2c5-0008-S1.hid");
    touch(dir / "A2C5-0008-S2.hid");     // upper-case ids
    touch(dir / "a2c5-0008-.hid");       // no serial
    touch(dir / "a2c5-0008-S3.hid.tmp"); // another suffix
    touch(dir / "1234-abcd-Other.hid");  // another device: the driver decides
    fs::remove(dir / "a2c5-0008-PRESENT.hid");
    fs::rename(dir / "a2c5-0008-S1.hid", dir / "away");
    fs::remove(dir / "readme.txt");

    EXPECT_EQ(dispatched(*monitor), (std::vector<std::string>{
                                        "+" + d + "/a2c5-0008-S1.hid",
                                        "+" + d + "/1234-abcd-Other.hid",
                                        "-" + d + "/a2c5-0008-PRESENT.hid",
                                        "-" + d + "/a2c5-0008-S1.hid",
                                    }));
    EXPECT_TRUE(dispatched(*monitor).empty()) << "nothing more waits";
}

TEST(hid_directory_monitor, an_overflow_lists_the_directory_again)
{
    long limit = 0;
    std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> limit;
    if (limit <= 0 || limit > 1 << 20)
        GTEST_SKIP() << "inotify queue limit " << limit;
    test::temp_dir dir;
    const std::string d = dir.path().string();
    const auto monitor = open_directory_monitor(d);
    // Two events per round; the queue fills long before the end.
    const auto filler = (dir / "filler").string();
    for (long i = 0; i <= limit / 2; ++i) {
        ::close(::open(filler.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600));
        ::unlink(filler.c_str());
    }
    // Announced after the overflow: lost, but listed.
    touch(dir / "a2c5-0008-LATE.hid");
    const auto lines = dispatched(*monitor);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "=" + d + "/a2c5-0008-LATE.hid;");
}

TEST(hid_directory_monitor, a_vanished_directory_leaves_nothing_present)
{
    test::temp_dir dir;
    const auto d = dir / "hid";
    fs::create_directory(d);
    touch(d / "a2c5-0008-S1.hid");
    const auto monitor = open_directory_monitor(d.string());
    fs::remove_all(d);
    const auto lines = dispatched(*monitor);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "=");
    EXPECT_TRUE(monitor->enumerate().empty());
}

TEST(hid_directory_monitor, a_missing_directory_has_no_devices_and_no_monitor)
{
    test::temp_dir dir;
    const auto monitor = open_directory_monitor((dir / "missing").string());
    EXPECT_LT(monitor->fd(), 0);
    EXPECT_TRUE(monitor->enumerate().empty());
    EXPECT_TRUE(dispatched(*monitor).empty());
}

TEST(hid_monitor, the_environment_chooses_the_back_end)
{
    test::temp_dir dir;
    touch(dir / "a2c5-0008-S1.hid");
    ASSERT_EQ(::setenv("ZARVO_HID_DIR", dir.path().c_str(), 1), 0);
    EXPECT_EQ(open_hid_monitor()->enumerate().size(), 1u);
    // Empty means unset: udev, which lists hidraw nodes only.
    ASSERT_EQ(::setenv("ZARVO_HID_DIR", "", 1), 0);
    for (const auto& path : open_hid_monitor()->enumerate())
        EXPECT_EQ(path.rfind("/dev/", 0), 0u) << path;
    ::unsetenv("ZARVO_HID_DIR");
}

TEST(hid_udev_monitor, starts_without_a_udev_daemon)
{
    // Without a daemon the monitor is still created and enabled; it just
    // stays silent, and enumeration finds nothing.
    const auto monitor = open_udev_monitor();
    for (const auto& path : monitor->enumerate())
        EXPECT_EQ(path.rfind("/dev/", 0), 0u) << path;
    // Never blocks, whatever waits.
    dispatched(*monitor);
}

} // namespace
} // namespace zarvo::platform
