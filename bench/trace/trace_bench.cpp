#include "devicelib/trace/trace.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

// The usual case in this system: no logger registered, one lock per call.
void BM_tracef_no_logger(benchmark::State& state)
{
    if (state.thread_index() == 0)
        zarvo::clear_trace_loggers();
    for (auto _ : state)
        ZARVO_TRACE("bench", "value %d of %s", 42, "/U/0/UDB.BPB");
}
BENCHMARK(BM_tracef_no_logger)->Threads(1)->Threads(8)->UseRealTime();

// Lines per second into a file (flushed per line).
void BM_tracef_file_logger(benchmark::State& state)
{
    std::string dir = (std::filesystem::temp_directory_path() / "zarvo-bench-XXXXXX").string();
    if (!::mkdtemp(dir.data())) {
        state.SkipWithError("mkdtemp failed");
        return;
    }
    {
        zarvo::file_logger logger(dir + "/trace.log");
        zarvo::set_trace_logger(&logger);
        for (auto _ : state)
            ZARVO_TRACE("bench", "value %d of %s", 42, "/U/0/UDB.BPB");
        zarvo::clear_trace_loggers();
    }
    state.SetItemsProcessed(state.iterations());
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}
BENCHMARK(BM_tracef_file_logger);

} // namespace
