// The network client's framing cost over ::1 against the emulator's TCP
// front end answering at once, beside a raw ping-pong of the same frames
// between two plain TCP_NODELAY sockets. A client far below the raw figure,
// or frames/s near 25, points at Nagle or delayed-acknowledgement stalls.

#include "devicelib/dorvane/zftp_client.h"
#include "devicelib/proto/zftp_response.pb.h"
#include "tools/emulator/tcp_front_end.h"

#include <benchmark/benchmark.h>

#include <ctime>
#include <netinet/tcp.h>
#include <sstream>
#include <streambuf>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace zarvo;

constexpr std::size_t full_body = 16383;

double cpu_ms(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

class answer_at_once : public emulator::message_handler {
public:
    explicit answer_at_once(std::string payload)
        : payload_(std::move(payload))
    {
    }
    emulator::device_answer handle(const emulator::host_message& m) override
    {
        if (m.type == emulator::host_message::kind::query) {
            protocol::PbZFtpDiskSpaceResult space;
            space.set_fragment_size(512);
            space.set_total_fragments(1000);
            space.set_free_fragments(10);
            return emulator::device_answer::ok(space.SerializeAsString());
        }
        return emulator::device_answer::ok(m.payload.empty() ? payload_ : std::string());
    }

private:
    std::string payload_;
};

struct linked {
    explicit linked(const std::string& payload, bool newer)
        : handler(payload)
        , front("0000BE9C", handler)
    {
        front.set_recording(false);
        front.set_version(newer ? "2.0.5" : "1.4");
        client = std::make_unique<dorvane::zftp_client>(front.connect_host(), 0, 1, nullptr);
        std::string greeting;
        client->read_greeting(greeting);
        client->set_server_version(newer ? 2 : 1);
    }
    answer_at_once handler;
    emulator::tcp_front_end front;
    std::unique_ptr<dorvane::zftp_client> client;
};

// Takes a read into one buffer made and touched once, so that a large row
// measures the link, not page faults and copies of the bench's own.
class reused_sink : public std::streambuf {
public:
    explicit reused_sink(std::size_t size)
        : buffer_(size, '\0')
    {
        rewind();
    }
    void rewind() { setp(&buffer_[0], &buffer_[0] + buffer_.size()); }
    std::size_t written() const { return static_cast<std::size_t>(pptr() - pbase()); }

private:
    std::string buffer_;
};

void transfer(benchmark::State& state, bool upload, bool newer)
{
    const auto size = static_cast<std::size_t>(state.range(0)) << 20;
    const std::string payload(size, '\x5a');
    linked link(upload ? std::string() : payload, newer);
    // The source and the sink are made before the timed loop and reused.
    std::istringstream in(payload);
    reused_sink sink(size);
    std::ostream out(&sink);
    const double before = cpu_ms(CLOCK_THREAD_CPUTIME_ID);
    for (auto _ : state) {
        if (upload) {
            in.clear();
            in.seekg(0);
            link.client->write("/BENCH.BIN", in);
        } else {
            out.clear();
            sink.rewind();
            link.client->read("/BENCH.BIN", out);
            if (sink.written() != size)
                state.SkipWithError("short read");
        }
    }
    const double frames = static_cast<double>(size / full_body + 1) * state.iterations();
    state.SetBytesProcessed(static_cast<std::int64_t>(size) * state.iterations());
    state.counters["frames/s"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
    state.counters["status round trips/s"] =
        benchmark::Counter(frames - state.iterations(), benchmark::Counter::kIsRate);
    state.counters["host CPU ms/MiB"] = (cpu_ms(CLOCK_THREAD_CPUTIME_ID) - before) /
                                        (static_cast<double>(state.range(0)) * state.iterations());
}

void BM_read(benchmark::State& state)
{
    transfer(state, false, true);
}
void BM_write_newer(benchmark::State& state)
{
    transfer(state, true, true);
}
void BM_write_older(benchmark::State& state)
{
    transfer(state, true, false);
}
// Rates by the wall clock: the link's time is mostly waiting.
BENCHMARK(BM_read)->Arg(8)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_write_newer)->Arg(8)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_write_older)->Arg(8)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();

// Two plain TCP_NODELAY sockets over ::1: frames of `frame` bytes, each
// answered with `answer` bytes.
struct raw_pair {
    raw_pair()
    {
        const int listener = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in6 a{};
        a.sin6_family = AF_INET6;
        a.sin6_addr = in6addr_loopback;
        ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listener, 1);
        socklen_t len = sizeof a;
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
        host = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ::connect(host, reinterpret_cast<sockaddr*>(&a), sizeof a);
        device = ::accept(listener, nullptr, nullptr);
        ::close(listener);
        const int on = 1;
        ::setsockopt(host, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        ::setsockopt(device, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    ~raw_pair()
    {
        ::close(host);
        ::close(device);
    }
    static bool exact(int fd, char* to, std::size_t n)
    {
        for (std::size_t got = 0; got < n;) {
            const ssize_t r = ::recv(fd, to + got, n - got, 0);
            if (r <= 0)
                return false;
            got += static_cast<std::size_t>(r);
        }
        return true;
    }
    // Runs `rounds` exchanges; the device side answers on its own thread.
    void ping_pong(std::size_t rounds, std::size_t frame, std::size_t answer)
    {
        std::thread peer([&] {
            std::string in(frame, '\0');
            const std::string out(answer, '\0');
            for (std::size_t i = 0; i < rounds; ++i) {
                if (!exact(device, &in[0], frame))
                    return;
                ::send(device, out.data(), out.size(), MSG_NOSIGNAL);
            }
        });
        const std::string out(frame, '\x5a');
        std::string in(answer, '\0');
        for (std::size_t i = 0; i < rounds; ++i) {
            ::send(host, out.data(), out.size(), MSG_NOSIGNAL);
            exact(host, &in[0], answer);
        }
        peer.join();
    }
    int host = -1;
    int device = -1;
};

void BM_raw_ping_pong(benchmark::State& state)
{
    const std::size_t size = static_cast<std::size_t>(state.range(0)) << 20;
    const std::size_t rounds = size / full_body + 1;
    raw_pair pair;
    for (auto _ : state)
        pair.ping_pong(rounds, 2 + full_body, 4);
    state.SetBytesProcessed(static_cast<std::int64_t>(rounds * full_body) * state.iterations());
    state.counters["frames/s"] = benchmark::Counter(
        static_cast<double>(rounds * state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_raw_ping_pong)->Arg(8)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_disk_space(benchmark::State& state)
{
    linked link(std::string(), true);
    for (auto _ : state)
        benchmark::DoNotOptimize(link.client->disk_space());
}
BENCHMARK(BM_disk_space)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The same bytes as a disk-space exchange: a 5-byte query frame, a response
// frame of about a dozen bytes; 1000 round trips an iteration, so the
// answering thread's start does not count.
void BM_raw_disk_space_bytes(benchmark::State& state)
{
    constexpr std::size_t rounds = 1000;
    raw_pair pair;
    for (auto _ : state)
        pair.ping_pong(rounds, 5, 14);
    state.counters["round trip"] =
        benchmark::Counter(static_cast<double>(rounds * state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_raw_disk_space_bytes)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
