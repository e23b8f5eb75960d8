// Unplugging a USB device at every report boundary of a transfer that spans
// many reports, through the shared library as a client loads it: the
// operation ends in bounded time with a library error, the session is
// withdrawn, nothing leaks, and the device plugged again works at once.
#include "devicelib/core/session.h"
#include "devicelib/core/session_lock.h"
#include "devicelib/errors/errors.h"
#include "tests/support/usb_test_device.h"
#include "tests/support/fake_listener.h"
#include "tests/support/process_resources.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unplug_points.h"
#include "tools/emulator/device_model.h"
#include "tools/emulator/usb_hub.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

namespace zarvo::test {
namespace {

namespace fs = std::filesystem;
using emulator::usb_front_end;

// About twenty reports each way.
constexpr std::size_t file_size = 1300;

class usb_unplug : public ::testing::Test {
protected:
    usb_unplug()
        : dir(root / "Hid")
        , hub((fs::create_directory(dir), dir))
    {
        ::setenv("ZARVO_HID_DIR", dir.c_str(), 1);
        listener.on(callback::disconnected,
                    [this](zarvo::session&) { std::lock_guard<std::mutex> wait(in_use); });
        std::string bytes(file_size, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>(i * 13 + 1);
        content = bytes;
        model.put_file("/DATA.BIN", content);
    }

    void TearDown() override
    {
        listener.stop();
        ::unsetenv("ZARVO_HID_DIR");
    }

    // Plugs the device and waits for its round-th session.
    zarvo::session* plug(int round)
    {
        hub.plug({device.serial()}, model);
        if (!listener.wait_for(callback::established, device.id(), round))
            return nullptr;
        return listener.session_of(device.id());
    }

    // Counts the points of each kind that the transfer passes.
    std::map<usb_front_end::point, unsigned> points_of(zarvo::session& s, transfer kind)
    {
        auto seen = std::make_shared<std::map<usb_front_end::point, unsigned>>();
        hub.device(device.serial())
            .front_end()
            .set_point_hook([seen](usb_front_end::point p, unsigned) { ++(*seen)[p]; });
        transfer_on(s, kind);
        hub.device(device.serial()).front_end().set_point_hook({});
        return *seen;
    }

    // The device goes when the point has passed `after` times from now.
    void arm(const unplug_point& row, unsigned after)
    {
        auto remaining = std::make_shared<unsigned>(after);
        const std::string serial = device.serial();
        hub.device(serial).front_end().set_point_hook(
            [this, remaining, serial, where = row.where](usb_front_end::point p, unsigned) {
                if (p != where)
                    return;
                if ((*remaining)-- == 0)
                    hub.unplug(serial);
            });
    }

    void transfer_on(zarvo::session& s, transfer kind)
    {
        std::lock_guard<std::mutex> using_it(in_use);
        zarvo::session_lock lock(s, 0);
        if (kind == transfer::read) {
            std::ostringstream out;
            s.read("/DATA.BIN", out);
            if (out.str() != content)
                throw std::runtime_error("read other bytes");
        } else {
            std::istringstream in(content);
            s.write("/COPY.BIN", in);
        }
    }

    temp_dir root;
    const fs::path dir;
    emulator::device_model model;
    emulator::usb_hub hub;
    usb_test_device device;
    fake_listener listener;
    std::mutex in_use;
    std::string content;
};

TEST_F(usb_unplug, every_report_boundary_ends_the_transfer_with_an_error_and_a_replug_works)
{
    using point = usb_front_end::point;
    listener.start();
    int round = 1;
    zarvo::session* s = plug(round);
    ASSERT_NE(s, nullptr);
    // Both transfers work on a device left alone; they show how many
    // points of each kind they pass.
    std::map<transfer, std::map<point, unsigned>> points;
    ASSERT_NO_THROW(points[transfer::read] = points_of(*s, transfer::read));
    ASSERT_NO_THROW(points[transfer::write] = points_of(*s, transfer::write));
    ASSERT_EQ(model.file("/COPY.BIN"), content);
    ASSERT_GE(points[transfer::read][point::before_response_report], 15u);
    ASSERT_GE(points[transfer::write][point::before_ack], 15u);
    // Threads some parts start on first need are there after the first
    // unplug; every later one must leave the counts as they were.
    std::optional<process_resources> settled;

    for (const unplug_point& row : unplug_points) {
        SCOPED_TRACE(row.name);
        arm(row, passes_before(row.when, points[row.kind][row.where]));
        auto outcome = std::async(std::launch::async, [&, s] {
            try {
                transfer_on(*s, row.kind);
            } catch (const zarvo::exception&) {
                return std::string("library error");
            } catch (const std::exception& e) {
                return std::string("other error: ") + e.what();
            }
            return std::string("success");
        });
        ASSERT_EQ(outcome.wait_for(std::chrono::seconds(30)), std::future_status::ready)
            << "the transfer hangs";
        EXPECT_EQ(outcome.get(), "library error");
        EXPECT_FALSE(hub.is_plugged(device.serial())) << "the point was never reached";
        ASSERT_TRUE(listener.wait_for(callback::disconnected, device.id(), round))
            << "the session was not withdrawn";

        ++round;
        s = plug(round);
        ASSERT_NE(s, nullptr);
        EXPECT_NO_THROW(transfer_on(*s, transfer::read)) << "the device plugged again";

        // The old connection's thread and descriptor go as the new ones come.
        process_resources now;
        for (int i = 0; settled && i < 100 && !(now == *settled); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            now = process_resources();
        }
        if (!settled)
            settled = now;
        EXPECT_EQ(now.fds, settled->fds);
        EXPECT_EQ(now.threads, settled->threads);
    }
}

} // namespace
} // namespace zarvo::test
