// Validation speed: warm checks of the clock messages, large messages,
// several threads at once and the cold first validation.
#include "devicelib/introspection/data_type_registry.h"
#include "devicelib/introspection/validate.h"
#include "devicelib/introspection/validate_fields.h"

#include "types.pb.h"
#include "validation_bench.pb.h"

#include <benchmark/benchmark.h>

namespace {

using zarvo::introspection::default_auditor;
using zarvo::introspection::validate;

PbTime complete_time()
{
    PbTime time;
    time.set_hour(12);
    time.set_minute(34);
    time.set_seconds(56);
    time.set_millis(789);
    return time;
}

PbDate complete_date()
{
    PbDate date;
    date.set_year(2024);
    date.set_month(2);
    date.set_day(29);
    return date;
}

template <typename Message>
void warm_validation(benchmark::State& state, const Message& message)
{
    validate(message, default_auditor());
    for (auto _ : state)
        benchmark::DoNotOptimize(validate(message, default_auditor()));
    state.SetItemsProcessed(state.iterations());
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
    const PbTime time = complete_time();
    validate(time, default_auditor());
    for (auto _ : state)
        benchmark::DoNotOptimize(validate(time, default_auditor()));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_validate_time_threads)->Threads(1)->Threads(4)->Threads(8)->UseRealTime();

void BM_validate_repeated_scalars(benchmark::State& state)
{
    zarvo_bench::Hours message;
    for (int i = 0; i < state.range(0); ++i)
        message.add_hours(static_cast<unsigned>(i % 24));
    validate(message, default_auditor());
    for (auto _ : state)
        benchmark::DoNotOptimize(validate(message, default_auditor()));
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_validate_repeated_scalars)
    ->RangeMultiplier(10)
    ->Range(1000, 1000000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

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
    validate(message, default_auditor());
    for (auto _ : state)
        benchmark::DoNotOptimize(validate(message, default_auditor()));
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_validate_repeated_messages)
    ->RangeMultiplier(10)
    ->Range(1000, 1000000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

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
