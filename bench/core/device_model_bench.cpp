// Device commands and file transfers through a core session, a model-backed
// fake connection and the device emulator's model: what the host side and
// the model cost without a real link.
#include "devicelib/core/core_session.h"
#include "tests/devicelib/core/test_device.h"
#include "tests/support/model_links.h"
#include "tools/emulator/device_model.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <set>
#include <sstream>
#include <string>

namespace {

using zarvo::test::link_kind;
using zarvo::test::model_link;

struct bench_device {
    bench_device()
        : model(std::make_shared<zarvo::emulator::device_model>())
        , link(link_kind::usb_like, model)
        , session(device.id())
    {
        session.add_connection(&link.connection(), true);
    }

    zarvo::test::test_device device;
    std::shared_ptr<zarvo::emulator::device_model> model;
    model_link link;
    zarvo::core::session session;
};

void BM_battery_status_round_trip(benchmark::State& state)
{
    bench_device d;
    for (auto _ : state) {
        benchmark::DoNotOptimize(d.session.battery_status());
        // The transcript would otherwise grow with every round.
        if (state.iterations() % 1024 == 0)
            d.model->clear_transcript();
    }
    state.counters["us_per_op"] =
        benchmark::Counter(static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_battery_status_round_trip)->Unit(benchmark::kMicrosecond);

void BM_fetch_directory(benchmark::State& state)
{
    bench_device d;
    const int entries = static_cast<int>(state.range(0));
    for (int i = 0; i < entries; ++i)
        d.model->put_file("/D/" + std::to_string(100000 + i) + ".BPB", std::string(16, 'x'));
    for (auto _ : state) {
        std::set<zarvo::entry> out;
        d.session.fetch("/D", out);
        benchmark::DoNotOptimize(out);
        d.model->clear_transcript();
    }
}
BENCHMARK(BM_fetch_directory)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_write_read_1MiB(benchmark::State& state)
{
    bench_device d;
    const std::string content(1 << 20, 'z');
    for (auto _ : state) {
        std::istringstream in(content);
        d.session.write("/F.BIN", in);
        std::ostringstream out;
        d.session.read("/F.BIN", out);
        benchmark::DoNotOptimize(out);
        d.model->clear_transcript();
    }
    // Both directions count.
    state.SetBytesProcessed(state.iterations() * 2 * static_cast<std::int64_t>(content.size()));
}
BENCHMARK(BM_write_read_1MiB)->Unit(benchmark::kMillisecond);

} // namespace
