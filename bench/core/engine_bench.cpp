// The engine's message path: latency, query round trip and throughput.
#include "devicelib/core/engine.h"
#include "devicelib/core/message.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

namespace {

using zarvo::core::engine;

class call : public zarvo::core::message {
public:
    explicit call(std::function<void(zarvo::core::listener_map&)> f)
        : f_(std::move(f))
    {
    }
    void execute(engine&, zarvo::core::listener_map& l, zarvo::core::session_map&) override
    {
        f_(l);
    }

private:
    std::function<void(zarvo::core::listener_map&)> f_;
};

class noop_query : public zarvo::core::query {
public:
    void execute(engine&, zarvo::core::listener_map&, zarvo::core::session_map&) override {}
};

void send_noop()
{
    noop_query q;
    engine::instance().send(q);
    q.wait();
}

// An attached listener keeps the engine thread waiting for messages instead
// of ending when the queue drains. The key is never dereferenced here.
int listener_stand_in;
zarvo::listener* const stand_in = reinterpret_cast<zarvo::listener*>(&listener_stand_in);

void attach_stand_in()
{
    engine::instance().post(std::make_unique<call>([](auto& l) { l[stand_in]; }));
    send_noop();
}

void detach_stand_in()
{
    engine::instance().post(std::make_unique<call>([](auto& l) { l.erase(stand_in); }));
    send_noop();
}

// Time from post to the start of execute, on an engine thread that waits.
void BM_PostToExecuteLatency(benchmark::State& state)
{
    attach_stand_in();
    using clock = std::chrono::steady_clock;
    std::atomic<clock::rep> executed_at{0};
    for (auto _ : state) {
        executed_at.store(0);
        const auto posted_at = clock::now();
        engine::instance().post(std::make_unique<call>(
            [&](auto&) { executed_at.store(clock::now().time_since_epoch().count()); }));
        clock::rep at;
        while ((at = executed_at.load()) == 0) {
        }
        const auto latency = clock::duration(at) - posted_at.time_since_epoch();
        state.SetIterationTime(std::chrono::duration<double>(latency).count());
    }
    detach_stand_in();
}
BENCHMARK(BM_PostToExecuteLatency)->UseManualTime();

void BM_QueryRoundTrip(benchmark::State& state)
{
    attach_stand_in();
    for (auto _ : state)
        send_noop();
    detach_stand_in();
}
BENCHMARK(BM_QueryRoundTrip);

// No-op messages posted by 1 or 8 threads, until each poster's last one ran.
void BM_NoOpThroughput(benchmark::State& state)
{
    if (state.thread_index() == 0)
        attach_stand_in();
    for (auto _ : state)
        engine::instance().post(std::make_unique<call>([](auto&) {}));
    send_noop();
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0)
        detach_stand_in();
}
BENCHMARK(BM_NoOpThroughput)->Threads(1)->Threads(8)->UseRealTime();

} // namespace
