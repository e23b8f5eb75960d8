#include "devicelib/values/version.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

void BM_version_parse(benchmark::State& state, const std::string& text)
{
    for (auto _ : state) {
        zarvo::version v(text);
        benchmark::DoNotOptimize(v);
    }
}
BENCHMARK_CAPTURE(BM_version_parse, valid, std::string("2.1.13-beta"));
BENCHMARK_CAPTURE(BM_version_parse, invalid, std::string("2.1.13.4"));

} // namespace
