// Validation speed: warm checks of the clock messages, large messages,
// several threads at once and the cold first validation.
#include "devicelib/introspection/data_type_registry.h"
#include "devicelib/introspection/validate.h"
#include "devicelib/introspection/validate_fields.h"
#include "tests/devicelib/introspection/clock_messages.h"

#include "validation_bench.pb.h"

#include <benchmark/benchmark.h>

namespace {

using zarvo::introspection::default_auditor;
using zarvo::introspection::validate;
using zarvo::test::complete_date;
using zarvo::test::complete_time;

// Warm validations of the message; items are its elements (1 for a message
// without repeated fields).
template <typename Message>
void warm_validation(benchmark::State& state, const Message& message, int64_t elements = 1)
{
    validate(message, default_auditor());
    for (auto _ : state)
        benchmark::DoNotOptimize(validate(message, default_auditor()));
    state.SetItemsProcessed(state.iterations() * elements);
}

void BM_validate_time(benchmark::State& state)
{
    warm_validation(state, complete_time());
}
BENCHMARK(BM_validate_time);

void BM_validate_date(benchmark::State& state)
{
    warm_validation(state, complete_date());
}
BENCHMARK(BM_validate_date);

// Validations per second in total, summed over the threads.
void BM_validate_time_threads(benchmark::State& state)
{
    warm_validation(state, complete_time());
}
BENCHMARK(BM_validate_time_threads)->Threads(1)->Threads(4)->Threads(8)->UseRealTime();

// From a thousand to a million elements, fitted to O(N).
void large_message(benchmark::internal::Benchmark* bench)
{
    bench->RangeMultiplier(10)
        ->Range(1000, 1000000)
        ->Unit(benchmark::kMillisecond)
        ->Complexity(benchmark::oN);
}

void BM_validate_repeated_scalars(benchmark::State& state)
{
    zarvo_bench::Hours message;
    for (int i = 0; i < state.range(0); ++i)
        message.add_hours(static_cast<unsigned>(i % 24));
    warm_validation(state, message, state.range(0));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_validate_repeated_scalars)->Apply(large_message);

void BM_validate_repeated_messages(benchmark::State& state)
{
    zarvo_bench::Clocks message;
    for (int i = 0; i < state.range(0); ++i) {
        auto* clock = message.add_clocks();
        clock->set_hour(static_cast<unsigned>(i % 24));
        clock->set_minute(static_cast<unsigned>(i % 60));
        clock->set_seconds(static_cast<unsigned>(i % 60));
        clock->set_millis(static_cast<unsigned>(i % 1000));
    }
    warm_validation(state, message, state.range(0));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_validate_repeated_messages)->Apply(large_message);

// Table parse and the first builds of the clock's data types, on a registry
// made afresh for each run.
void BM_cold_first_validation(benchmark::State& state)
{
    const PbTime time = complete_time();
    for (auto _ : state) {
        zarvo::introspection::data_type_registry registry(
            zarvo::introspection::builtin_table_source());
        benchmark::DoNotOptimize(validate(time, default_auditor(), registry));
    }
}
BENCHMARK(BM_cold_first_validation)->Unit(benchmark::kMicrosecond);

} // namespace
