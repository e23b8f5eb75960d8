// Listeners and the session life: publish-to-established latency, device
// events per second, the last stop with many sessions, and the listing
// converter.
#include "devicelib/core/driver.h"
#include "devicelib/core/driver_registry.h"
#include "devicelib/core/listener.h"
#include "devicelib/core/listing.h"
#include "devicelib/core/posting.h"
#include "devicelib/core/session.h"
#include "devicelib/proto/zftp_response.pb.h"
#include "tests/devicelib/core/test_device.h"
#include "tests/support/fake_connection.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;

class counting_listener : public zarvo::listener {
public:
    std::atomic<int> established_count{0};
    std::atomic<int> disconnected_count{0};
    std::atomic<int> idle_count{0};

    void established(zarvo::session&) override { ++established_count; }
    void rerouted(zarvo::session&) override {}
    void disconnected(zarvo::session&) override { ++disconnected_count; }
    void idling(zarvo::session&) override { ++idle_count; }
};

template <typename Predicate>
void spin_until(Predicate p)
{
    while (!p())
        std::this_thread::yield();
}

// Publishes `sessions` devices when started and withdraws them when stopped,
// like a USB driver with that many devices present.
std::atomic<int> sessions_to_publish{0};
std::vector<zarvo::test::test_device>* bench_devices = nullptr;

class bench_driver : public zarvo::core::driver {
public:
    void start() override
    {
        for (int i = 0; i < sessions_to_publish; ++i) {
            auto* c = new zarvo::test::fake_connection;
            held_.emplace_back((*bench_devices)[static_cast<std::size_t>(i)].id(), c);
            zarvo::core::post_publish_connection(held_.back().first, c, 0);
        }
    }
    void stop() override
    {
        for (auto& [id, c] : held_)
            zarvo::core::post_withdraw_connection(id, c);
        held_.clear();
    }

private:
    std::vector<std::pair<std::uint64_t, zarvo::core::connection*>> held_;
};

zarvo::core::driver* create_bench_driver()
{
    return new bench_driver;
}
const zarvo::core::driver_registration bench_registration{&create_bench_driver};

void BM_PublishToEstablished(benchmark::State& state)
{
    zarvo::test::test_device device;
    counting_listener l;
    l.start();
    for (auto _ : state) {
        auto* c = new zarvo::test::fake_connection;
        const int before = l.established_count;
        const auto published = clock_type::now();
        zarvo::core::post_publish_connection(device.id(), c, 0);
        spin_until([&] { return l.established_count > before; });
        state.SetIterationTime(
            std::chrono::duration<double>(clock_type::now() - published).count());
        const int gone = l.disconnected_count;
        zarvo::core::post_withdraw_connection(device.id(), c);
        spin_until([&] { return l.disconnected_count > gone; });
    }
    l.stop();
}
BENCHMARK(BM_PublishToEstablished)->UseManualTime()->Unit(benchmark::kMicrosecond);

int live_threads()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Threads:", 0) == 0)
            return std::stoi(line.substr(8));
    }
    return 0;
}

// Each event costs a notification thread's creation and join.
void BM_DeviceIdleEvents(benchmark::State& state)
{
    const int burst = static_cast<int>(state.range(0));
    zarvo::test::test_device device;
    counting_listener l;
    l.start();
    auto* c = new zarvo::test::fake_connection;
    zarvo::core::post_publish_connection(device.id(), c, 0);
    spin_until([&] { return l.established_count > 0; });
    int peak = 0;
    for (auto _ : state) {
        const int before = l.idle_count;
        std::atomic<bool> sampling{true};
        std::thread sampler([&] {
            while (sampling) {
                peak = std::max(peak, live_threads());
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
        for (int i = 0; i < burst; ++i)
            zarvo::core::post_device_idle(device.id());
        spin_until([&] { return l.idle_count >= before + burst; });
        sampling = false;
        sampler.join();
    }
    state.SetItemsProcessed(state.iterations() * burst);
    state.counters["peak_threads"] = peak;
    zarvo::core::post_withdraw_connection(device.id(), c);
    l.stop();
}
BENCHMARK(BM_DeviceIdleEvents)->Arg(1000)->Unit(benchmark::kMillisecond);

// The last listener's stop: every session retired, the engine thread ended.
void BM_LastStop(benchmark::State& state)
{
    const int sessions = static_cast<int>(state.range(0));
    std::vector<zarvo::test::test_device> devices(static_cast<std::size_t>(sessions));
    bench_devices = &devices;
    sessions_to_publish = sessions;
    for (auto _ : state) {
        counting_listener l;
        l.start();
        spin_until([&] { return l.established_count == sessions; });
        const auto stopping = clock_type::now();
        l.stop();
        state.SetIterationTime(std::chrono::duration<double>(clock_type::now() - stopping).count());
    }
    sessions_to_publish = 0;
    bench_devices = nullptr;
}
BENCHMARK(BM_LastStop)->Arg(1)->Arg(10)->Arg(100)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ListingConverter(benchmark::State& state)
{
    protocol::PbZFtpDirectory listing;
    for (int i = 0; i < state.range(0); ++i) {
        auto* e = listing.add_entries();
        e->set_name(i % 10 == 0 ? "DIR" + std::to_string(i) + "/"
                                : "F" + std::to_string(i) + ".BPB");
        e->set_size(static_cast<std::uint64_t>(i));
    }
    const std::string bytes = listing.SerializeAsString();
    for (auto _ : state) {
        std::istringstream in(bytes);
        std::set<zarvo::entry> out;
        zarvo::core::insert_listing(in, out);
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_ListingConverter)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace
