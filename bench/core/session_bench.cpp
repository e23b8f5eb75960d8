// The device lock and the session's frame: what a device operation and a
// session lock hold cost beyond the transfer, and how fast a waiter in one
// process gets the device when another process lets go.
#include "devicelib/core/connection.h"
#include "devicelib/core/core_session.h"
#include "devicelib/core/interprocess_mutex.h"
#include "devicelib/core/session_lock.h"
#include "tests/devicelib/core/lock_holder_process.h"
#include "tests/devicelib/core/test_device.h"

#include <benchmark/benchmark.h>

#include <ctime>
#include <set>
#include <string>
#include <thread>

namespace {

using zarvo::core::create_interprocess_mutex;
using zarvo::test::lock_holder_process;
using zarvo::test::test_device;

// Answers every operation at once with an empty result.
class instant_connection : public zarvo::core::connection {
public:
    bool transport(std::string& name) override
    {
        name = "HID";
        return true;
    }
    bool family(std::string& name) override
    {
        name.clear();
        return true;
    }
    zarvo::disk_space disk_space() override { return {}; }
    bool fetch(const boost::filesystem::path&, std::set<zarvo::entry>&) override { return true; }
    bool create(const boost::filesystem::path&) override { return true; }
    void read(const boost::filesystem::path&, std::ostream&) override {}
    void write(const boost::filesystem::path&, std::istream&) override {}
    void merge(const boost::filesystem::path&, std::istream&) override {}
    bool remove(const boost::filesystem::path&) override { return true; }
    void cancel() override {}
    void reset_cancel() override {}
    int query(int, std::istream&, std::ostream&) override { return 0; }
    int notify(int, std::istream&) override { return 0; }
    int readiness() override { return 0; }
    void withdrawn() override {}
};

long long monotonic_ns()
{
    timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

void BM_device_lock_outermost(benchmark::State& state)
{
    test_device device;
    auto mutex = create_interprocess_mutex(device.id());
    for (auto _ : state) {
        mutex->try_lock();
        mutex->unlock();
    }
}
BENCHMARK(BM_device_lock_outermost);

void BM_device_lock_nested(benchmark::State& state)
{
    test_device device;
    auto mutex = create_interprocess_mutex(device.id());
    mutex->try_lock();
    for (auto _ : state) {
        mutex->try_lock();
        mutex->unlock();
    }
    mutex->unlock();
}
BENCHMARK(BM_device_lock_nested);

// A session whose one connection answers at once.
struct instant_session {
    instant_session() { session.add_connection(&connection, false); }

    test_device device;
    zarvo::core::session session{device.id()};
    instant_connection connection;
};

void BM_session_fetch_frame(benchmark::State& state)
{
    instant_session s;
    std::set<zarvo::entry> out;
    for (auto _ : state)
        benchmark::DoNotOptimize(s.session.fetch("/", out));
}
BENCHMARK(BM_session_fetch_frame);

void BM_session_lock_hold(benchmark::State& state)
{
    instant_session s;
    for (auto _ : state)
        zarvo::session_lock hold(s.session, 0);
}
BENCHMARK(BM_session_lock_hold);

// From the moment another process starts its release to the moment the
// waiting lock here returns.
void BM_device_lock_handover_from_another_process(benchmark::State& state)
{
    test_device device;
    lock_holder_process holder;
    auto mutex = create_interprocess_mutex(device.id());
    const std::string id = std::to_string(device.id());
    for (auto _ : state) {
        if (holder.command("hold " + id) != "held") {
            state.SkipWithError("lock holder could not take the device");
            break;
        }
        long long woke = 0;
        std::thread waiter([&] {
            mutex->lock();
            woke = monotonic_ns();
            mutex->unlock();
        });
        // Let the waiter reach the kernel before the release starts.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::string reply = holder.command("release timed");
        waiter.join();
        long long released = std::stoll(reply.substr(reply.find(' ') + 1));
        state.SetIterationTime(static_cast<double>(woke - released) / 1e9);
    }
}
BENCHMARK(BM_device_lock_handover_from_another_process)
    ->UseManualTime()
    ->Iterations(200)
    ->Unit(benchmark::kMicrosecond);

} // namespace
