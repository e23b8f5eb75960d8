// A device worker's 16, 64 and 256 MiB reads and writes and a 20,000-entry
// tree, on the rig of bench_worker.h. File transfers also report how far the
// process's resident memory rose during a round (peak_MiB, and peak_per_file
// as a multiple of the file's size); the device model's own copy of the file
// is made before that.
#include "bench/ktlib/bench_worker.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>

namespace {

using namespace ConnectLib;
using Bench::BenchWorker;

constexpr std::int64_t mebibyte = 1024 * 1024;

QByteArray binaryContent(int size)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char(i * 31 % 251);
    return data;
}

// A value of /proc/self/status in KiB, or -1.
std::int64_t statusKiB(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(status, line)) {
        if (line.compare(0, prefix.size(), prefix) == 0)
            return std::stoll(line.substr(prefix.size()));
    }
    return -1;
}

// How far the resident memory rises above where it stood when the
// measurement began: the kernel's high-water mark is reset first.
class PeakMemory {
public:
    void begin()
    {
        std::ofstream("/proc/self/clear_refs") << "5";
        m_start = statusKiB("VmRSS");
    }
    void end()
    {
        const std::int64_t high = statusKiB("VmHWM");
        if (m_start >= 0 && high >= 0)
            m_rise = std::max(m_rise, high - m_start);
    }
    // Peak memory above the start in MiB, and as a multiple of size.
    void report(benchmark::State& state, std::int64_t size) const
    {
        state.counters["peak_MiB"] = double(m_rise) / 1024.0;
        state.counters["peak_per_file"] = double(m_rise) * 1024.0 / double(size);
    }

private:
    std::int64_t m_start = -1;
    std::int64_t m_rise = 0;
};

// Reads a file of state.range(0) MiB through the worker.
void BM_worker_read(benchmark::State& state)
{
    const std::int64_t size = state.range(0) * mebibyte;
    BenchWorker bench;
    {
        const QByteArray data = binaryContent(int(size));
        bench.model->put_file("/BIG.BIN", std::string(data.constData(), std::size_t(size)));
    }
    PeakMemory peak;
    for (auto _ : state) {
        peak.begin();
        if (bench.roundTrip(&TCWorker::SIGNAL_fileRead, [](TCWorker* w) {
                w->SLOT_readFile(TCData(), QStringLiteral("/BIG.BIN"));
            }) != OK)
            state.SkipWithError("the request failed");
        peak.end();
        bench.model->clear_transcript();
    }
    state.SetBytesProcessed(state.iterations() * size);
    peak.report(state, size);
}
BENCHMARK(BM_worker_read)->Arg(16)->Arg(64)->Arg(256)->Unit(benchmark::kMillisecond)->UseRealTime();

// Writes a file of state.range(0) MiB through the worker.
void BM_worker_write(benchmark::State& state)
{
    const std::int64_t size = state.range(0) * mebibyte;
    BenchWorker bench;
    const QByteArray data = binaryContent(int(size));
    PeakMemory peak;
    for (auto _ : state) {
        // The device's earlier copy goes first, so each round starts alike.
        bench.model->remove_entry("/BIG.BIN");
        peak.begin();
        if (bench.roundTrip(&TCWorker::SIGNAL_fileWrote, [data](TCWorker* w) {
                w->SLOT_writeFile(TCData(), QStringLiteral("/BIG.BIN"), data);
            }) != OK)
            state.SkipWithError("the request failed");
        peak.end();
        bench.model->clear_transcript();
    }
    state.SetBytesProcessed(state.iterations() * size);
    peak.report(state, size);
}
BENCHMARK(BM_worker_write)
    ->Arg(16)
    ->Arg(64)
    ->Arg(256)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Three directories below each directory down to the seventh level, eight
// files in each of the deepest: 3,279 directories and 17,496 files.
int fillTree(zarvo::emulator::device_model& model, const std::string& path, int level)
{
    if (level == 8) {
        for (int i = 0; i < 8; ++i)
            model.put_file(path + "/F" + std::to_string(i) + ".BPB", "x");
        return 8;
    }
    int entries = 0;
    for (int i = 0; i < 3; ++i) {
        const std::string child = path + "/D" + std::to_string(i);
        model.make_directory(child);
        entries += 1 + fillTree(model, child, level + 1);
    }
    return entries;
}

void BM_worker_entries_of_root(benchmark::State& state)
{
    BenchWorker bench;
    const int entries = fillTree(*bench.model, "/T", 1) + 1;
    for (auto _ : state) {
        if (bench.roundTrip(&TCWorker::SIGNAL_entriesReceived, [](TCWorker* w) {
                w->SLOT_getEntries(TCData(), QStringLiteral("/"));
            }) != OK)
            state.SkipWithError("the request failed");
        bench.model->clear_transcript();
    }
    state.SetItemsProcessed(state.iterations() * entries);
}
BENCHMARK(BM_worker_entries_of_root)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
