#include "devicelib/values/path.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

void BM_path_normalize(benchmark::State& state)
{
    const std::string typical = "U/0//2026/12/10/E/101500/./00/SAMPLES.GZB/";
    for (auto _ : state) {
        std::string normal = zarvo::path::normalize(typical);
        benchmark::DoNotOptimize(normal);
    }
}
BENCHMARK(BM_path_normalize);

} // namespace
