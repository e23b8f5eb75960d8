// USB report reassembly: the device's side of one exchange, report by
// report, fed to a hid_device over a socketpair. Input: a mode byte (mode % 3:
// query, download or upload; mode / 3 % 3: how many of the reports are
// stale, queued before the exchange starts), a size byte for the host's
// request or payload, then the device's reports of 64 bytes each (a short
// tail is zero-padded). The reports after the stale ones are sent once the
// host's first report has arrived. Responses, acknowledgements and device
// notifications met on the way are all taken from them. Every outcome must be
// a result code or one of the library's errors.
#include "devicelib/errors/exception.h"
#include "devicelib/platform/event.h"
#include "devicelib/platform/hid_channel.h"
#include "devicelib/usb/hid_device.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t report_size = zarvo::platform::report_size;
// Well inside the socket's queue, so the feed never blocks.
constexpr std::size_t max_reports = 96;

class removal_count : public zarvo::usb::hid_removal_sink {
public:
    void report_removal(zarvo::usb::hid_device&) override { ++count; }
    int count = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const unsigned mode = data[0] % 3;
    const std::size_t stale = data[0] / 3 % 3;
    const std::size_t host_bytes = std::size_t{data[1]} * 4;
    data += 2;
    size -= 2;

    int fds[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0)
        std::abort();
    const int device = fds[1];
    std::vector<std::array<std::uint8_t, report_size>> reports;
    for (std::size_t at = 0; at < size && reports.size() < max_reports; at += report_size) {
        std::array<std::uint8_t, report_size> report{};
        std::copy_n(data + at, std::min(report_size, size - at), report.begin());
        reports.push_back(report);
    }
    const auto feed = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) {
            if (send(device, reports[i].data(), report_size, MSG_NOSIGNAL) !=
                static_cast<ssize_t>(report_size))
                std::abort();
        }
    };
    const std::size_t queued = std::min(stale, reports.size());
    feed(0, queued);
    // The rest answers the exchange: sent once the host has written, or
    // when it has not after a short wait (a stale notification's first
    // report has it wait for the continuation). When the reports run out the
    // host reads an end of file: the device is gone, never a wait.
    std::thread feeder([&] {
        pollfd p{device, POLLIN, 0};
        poll(&p, 1, 100);
        feed(queued, reports.size());
        shutdown(device, SHUT_WR);
    });

    removal_count removals;
    zarvo::usb::hid_device host(
        &removals, "fuzz",
        zarvo::platform::hid_channel(fds[0], zarvo::platform::channel_kind::socket),
        zarvo::platform::hid_identity{});
    host.set_report_timeout(1000);
    zarvo::platform::event cancel;
    const std::string bytes(host_bytes, '\x5A');
    try {
        std::stringstream request;
        std::stringstream result;
        switch (mode) {
        case 0: {
            std::istringstream parameters(bytes);
            host.query(0x1234 & 0x7FFF, &parameters, &result, cancel);
            break;
        }
        case 1:
            request << bytes;
            host.download(request, result, cancel);
            break;
        default: {
            request << "req";
            std::istringstream payload(bytes);
            host.upload(request, payload, cancel);
            break;
        }
        }
    } catch (const zarvo::exception&) {
    }
    feeder.join();
    host.close();
    close(device);
    return 0;
}
