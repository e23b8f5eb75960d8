// gzip filtering of 1 MiB through the stream wrappers.
#include "devicelib/helpers/zfilter.h"

#include <benchmark/benchmark.h>

#include <sstream>
#include <string>

namespace {

// Text-like data: compresses about as well as device files do.
std::string payload()
{
    std::string s;
    s.reserve(1 << 20);
    unsigned x = 1;
    while (s.size() < (1u << 20)) {
        x = x * 1103515245u + 12345u;
        s += "sample,";
        s += std::to_string((x >> 16) % 1000);
        s += (x & 1) ? '\n' : ';';
    }
    s.resize(1 << 20);
    return s;
}

std::string compressed(const std::string& data)
{
    std::ostringstream sink;
    {
        zarvo::io::ostream_zfilter out(sink, zarvo::io::compress);
        out->write(data.data(), static_cast<std::streamsize>(data.size()));
    }
    return sink.str();
}

void BM_ZfilterCompress1MiB(benchmark::State& state)
{
    const std::string data = payload();
    for (auto _ : state)
        benchmark::DoNotOptimize(compressed(data));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * int64_t(data.size()));
}
BENCHMARK(BM_ZfilterCompress1MiB)->Unit(benchmark::kMillisecond);

void BM_ZfilterDecompress1MiB(benchmark::State& state)
{
    const std::string data = payload();
    const std::string gz = compressed(data);
    for (auto _ : state) {
        std::istringstream source(gz);
        zarvo::io::istream_zfilter in(source, zarvo::io::decompress);
        std::ostringstream all;
        all << in->rdbuf();
        benchmark::DoNotOptimize(all.str());
    }
    // Throughput of the decompressed bytes.
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * int64_t(data.size()));
}
BENCHMARK(BM_ZfilterDecompress1MiB)->Unit(benchmark::kMillisecond);

} // namespace
