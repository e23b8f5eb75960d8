#include <benchmark/benchmark.h>

#include <string>

// Baseline so the harness has something to run before real benchmarks land.
static void BM_string_copy(benchmark::State& state)
{
    std::string s(64, 'x');
    for (auto _ : state)
        benchmark::DoNotOptimize(std::string(s));
}
BENCHMARK(BM_string_copy);
