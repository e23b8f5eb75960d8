// Host framing cost of hid_device::download and ::upload over a socketpair,
// against the emulator's report front end answering at once on its own
// thread, with the notification thread running as in real use; beside each
// row a raw ping-pong of 64-byte reports and 64-byte acknowledgements over a
// SOCK_SEQPACKET socketpair, the least any report exchange costs, and the
// system calls per report (bench/usb/call_count.h). Run it pinned to one CPU
// (taskset -c 0) to compare like with like.

#include "bench/usb/call_count.h"
#include "devicelib/usb/hid_device.h"
#include "tools/emulator/usb_front_end.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace zarvo;

// A full-speed HID link with 1 ms polling: one report per frame each way,
// and every data report waits for an acknowledgement in the other direction.
constexpr double wire_raw_bytes_per_s = 64000;
constexpr double wire_payload_bytes_per_s = 30500;

double cpu_ms(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Message bytes a full report carries after its ring counter.
constexpr double payload_per_report = 61;

// The raw exchange: the host sends a report and blocks for the peer's
// acknowledgement, reports times; payload counted at 61 bytes a report.
// Returns bytes per second.
double raw_ping_pong(unsigned long reports)
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0)
        return 0;
    std::thread peer([&] {
        char report[64];
        for (unsigned long i = 0; i < reports; ++i) {
            if (::recv(fds[1], report, sizeof report, 0) != 64 ||
                ::send(fds[1], report, sizeof report, MSG_NOSIGNAL) != 64)
                break;
        }
    });
    char report[64] = {1, 0x05};
    const auto start = std::chrono::steady_clock::now();
    for (unsigned long i = 0; i < reports; ++i) {
        if (::send(fds[0], report, sizeof report, MSG_NOSIGNAL) != 64 ||
            ::recv(fds[0], report, sizeof report, 0) != 64)
            break;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    peer.join();
    ::close(fds[0]);
    ::close(fds[1]);
    return payload_per_report * static_cast<double>(reports) / took.count();
}

// Measured beside each row, just before its timed loop, so that the row
// and its raw figure see the same machine; on threads of their own, so that
// the main thread's count of system calls is the host framing's alone.
double raw_rate()
{
    double measured = 0;
    std::thread([&] { measured = raw_ping_pong(50000); }).join();
    return measured;
}

class answer_with_payload : public emulator::message_handler {
public:
    explicit answer_with_payload(std::string payload)
        : payload_(std::move(payload))
    {
    }
    emulator::device_answer handle(const emulator::host_message& m) override
    {
        // Uploads carry a payload and get an empty answer; downloads get it.
        return emulator::device_answer::ok(m.payload.empty() ? payload_ : std::string());
    }

private:
    std::string payload_;
};

class no_notifications : public usb::hid_notification_sink {
public:
    bool notification(unsigned, std::istream&) override { return true; }
};

void transfer(benchmark::State& state, bool upload)
{
    const auto size = static_cast<std::size_t>(state.range(0));
    const std::string payload(size, '\x5a');
    answer_with_payload handler(upload ? std::string() : payload);
    emulator::usb_front_end device(0x1234, 0x5678, "BENCH", handler);
    device.set_recording(false);
    usb::hid_device host(
        nullptr, "bench",
        platform::hid_channel(device.connect_pair(), platform::channel_kind::socket), {});
    no_notifications owner;
    host.start_notification_thread(&owner);
    platform::event cancel;

    const double raw = raw_rate();
    const unsigned long reports_before = device.host_report_count() + device.device_report_count();
    const double thread_before = cpu_ms(CLOCK_THREAD_CPUTIME_ID);
    const double process_before = cpu_ms(CLOCK_PROCESS_CPUTIME_ID);
    const unsigned long long host_calls_before = zarvo::bench::calls_in_this_thread();
    const unsigned long long process_calls_before = zarvo::bench::calls_in_all_threads();
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        std::stringstream request;
        request << "PATH /bench/file";
        std::stringstream response;
        int result;
        if (upload) {
            std::stringstream source(payload);
            result = host.upload(request, source, cancel);
        } else {
            result = host.download(request, response, cancel);
        }
        if (result != 0 || (!upload && response.str().size() != size))
            state.SkipWithError("transfer failed");
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    const double mib = static_cast<double>(size) * state.iterations() / (1 << 20);
    const double reports = static_cast<double>(device.host_report_count() +
                                               device.device_report_count() - reports_before);
    const auto host_calls = zarvo::bench::calls_in_this_thread() - host_calls_before;
    const auto process_calls = zarvo::bench::calls_in_all_threads() - process_calls_before;
    host.stop_thread();

    state.SetBytesProcessed(static_cast<int64_t>(size) * state.iterations());
    const double rate = static_cast<double>(size) * state.iterations() / took.count();
    state.counters["MiB_per_s"] = rate / (1 << 20);
    state.counters["raw_MiB_per_s"] = raw / (1 << 20);
    state.counters["ratio_to_raw"] = rate / raw;
    state.counters["reports_per_s"] = benchmark::Counter(reports, benchmark::Counter::kIsRate);
    // System calls (send, recv, poll, read, write) per report, either
    // direction: the host framing's on this thread, and every thread's (the
    // notification thread and the emulated device's included).
    if (reports > 0) {
        state.counters["host_calls_per_report"] = static_cast<double>(host_calls) / reports;
        state.counters["process_calls_per_report"] = static_cast<double>(process_calls) / reports;
    }
    state.counters["host_cpu_ms_per_MiB"] = (cpu_ms(CLOCK_THREAD_CPUTIME_ID) - thread_before) / mib;
    state.counters["process_cpu_ms_per_MiB"] =
        (cpu_ms(CLOCK_PROCESS_CPUTIME_ID) - process_before) / mib;
    // How many times faster than the wire the host framing runs.
    state.counters["x_wire_payload_rate"] = benchmark::Counter(
        static_cast<double>(size) * state.iterations() / wire_payload_bytes_per_s,
        benchmark::Counter::kIsRate);
}

void hid_download(benchmark::State& state)
{
    transfer(state, false);
}

void hid_upload(benchmark::State& state)
{
    transfer(state, true);
}

// The raw ping-pong as a row of its own.
void raw_report_ping_pong(benchmark::State& state)
{
    double bytes = 0;
    for (auto _ : state)
        bytes += raw_ping_pong(20000) > 0 ? 20000 * payload_per_report : 0;
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

BENCHMARK(raw_report_ping_pong)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(hid_download)->Arg(1 << 20)->Arg(8 << 20)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(hid_upload)->Arg(1 << 20)->Arg(8 << 20)->Unit(benchmark::kMillisecond)->UseRealTime();

// The wire's own limits, printed beside the figures.
const bool wire_context = [] {
    benchmark::AddCustomContext("wire_raw_bytes_per_s",
                                std::to_string(static_cast<int>(wire_raw_bytes_per_s)));
    benchmark::AddCustomContext("wire_payload_bytes_per_s",
                                std::to_string(static_cast<int>(wire_payload_bytes_per_s)));
    benchmark::AddCustomContext("wire_reports_per_MiB",
                                "about 17200 data + 17200 acknowledgements");
    benchmark::AddCustomContext("wire_s_per_MiB", "about 34");
    return true;
}();

} // namespace
