// Device notifications between exchanges: a USB connection's notification
// thread reads the device's reports from a socketpair, reassembles them and
// hands each notification's payload to the connection, which parses the
// battery and file-system payloads. Input: the device's reports of 64 bytes
// each (a short tail is zero-padded). After them come a report that ends any
// notification left open and a marker notification; the run ends when the
// marker has arrived, so every report went through the thread's read path.
// A marker that never arrives is a hang and aborts the run.
#include "devicelib/core/posting.h"
#include "devicelib/platform/hid_channel.h"
#include "devicelib/trace/trace.h"
#include "devicelib/usb/hid_connection.h"
#include "devicelib/usb/hid_device.h"
#include "tests/fuzz/quiet_protobuf.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::size_t report_size = zarvo::platform::report_size;
// Well inside the socket's queue, so the feed never blocks.
constexpr std::size_t max_reports = 90;
constexpr unsigned marker_id = 255;
const std::string marker_line = "Unidentified HID notification id 255.";

// Sees the connection trace the marker notification.
class marker_watch : public zarvo::trace_logger {
public:
    void write(const std::string& line) override
    {
        if (line.size() < marker_line.size() ||
            line.compare(line.size() - marker_line.size(), marker_line.size(), marker_line) != 0)
            return;
        std::lock_guard<std::mutex> lock(mutex_);
        seen_ = true;
        changed_.notify_all();
    }
    void reset()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        seen_ = false;
    }
    bool wait()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [this] { return seen_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool seen_ = false;
};

marker_watch& watch()
{
    static marker_watch* const w = new marker_watch;
    return *w;
}

void send_report(int fd, const std::array<std::uint8_t, report_size>& report)
{
    if (send(fd, report.data(), report.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(report.size()))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    zarvo::fuzz::quiet_protobuf();
    zarvo::set_trace_logger(&watch());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0)
        std::abort();
    const int device = fds[1];
    for (std::size_t at = 0, count = 0; at < size && count < max_reports;
         at += report_size, ++count) {
        std::array<std::uint8_t, report_size> report{};
        std::copy_n(data + at, std::min(report_size, size - at), report.begin());
        send_report(device, report);
    }
    // A notification report without content ends any notification still
    // being put together; then the marker: one report, no parameters.
    std::array<std::uint8_t, report_size> closing{};
    closing[1] = 0x02;
    send_report(device, closing);
    std::array<std::uint8_t, report_size> marker{};
    marker[1] = (3 << 2) | 0x02;
    marker[3] = marker_id;
    send_report(device, marker);

    watch().reset();
    {
        zarvo::usb::hid_device host(
            nullptr, "fuzz",
            zarvo::platform::hid_channel(fds[0], zarvo::platform::channel_kind::socket),
            zarvo::platform::hid_identity{});
        host.set_report_timeout(1000);
        zarvo::usb::hid_connection connection(nullptr, host);
        if (!watch().wait())
            std::abort();
    }
    close(device);
    // The notifications posted to the core are executed and deleted on its
    // engine thread. The leak check right after an input stops every thread,
    // and one just starting or ending is not looked into: a message still in
    // its hands would count as lost. Each input ends once the core has
    // executed everything it posted.
    zarvo::core::send_find_listener(nullptr);
    return 0;
}
