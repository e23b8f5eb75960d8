// A device worker's 64 MiB reads and writes and a 20,000-entry tree, on the
// rig of bench_worker.h.
#include "bench/ktlib/bench_worker.h"

#include <benchmark/benchmark.h>

namespace {

using namespace ConnectLib;
using Bench::BenchWorker;

constexpr int fileSize = 64 * 1024 * 1024;

QByteArray binaryContent()
{
    QByteArray data(fileSize, '\0');
    for (int i = 0; i < fileSize; ++i)
        data[i] = char(i * 31 % 251);
    return data;
}

void BM_worker_read_64MiB(benchmark::State& state)
{
    BenchWorker bench;
    const QByteArray data = binaryContent();
    bench.model->put_file("/BIG.BIN", std::string(data.constData(), std::size_t(data.size())));
    for (auto _ : state) {
        if (bench.roundTrip(&TCWorker::SIGNAL_fileRead, [](TCWorker* w) {
                w->SLOT_readFile(TCData(), QStringLiteral("/BIG.BIN"));
            }) != OK)
            state.SkipWithError("the request failed");
        bench.model->clear_transcript();
    }
    state.SetBytesProcessed(state.iterations() * std::int64_t(fileSize));
}
BENCHMARK(BM_worker_read_64MiB)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_worker_write_64MiB(benchmark::State& state)
{
    BenchWorker bench;
    const QByteArray data = binaryContent();
    for (auto _ : state) {
        if (bench.roundTrip(&TCWorker::SIGNAL_fileWrote, [data](TCWorker* w) {
                w->SLOT_writeFile(TCData(), QStringLiteral("/BIG.BIN"), data);
            }) != OK)
            state.SkipWithError("the request failed");
        bench.model->clear_transcript();
    }
    state.SetBytesProcessed(state.iterations() * std::int64_t(fileSize));
}
BENCHMARK(BM_worker_write_64MiB)->Unit(benchmark::kMillisecond)->UseRealTime();

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
