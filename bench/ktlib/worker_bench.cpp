// A device worker on its own thread over the device emulator's model behind
// a model-backed fake connection, published into the device library's core,
// with no link latency: each round is timed from queuing the request to its
// result signal. File transfers of 16, 64 and 256 MiB also report how far the
// process's resident memory rose during a round (peak_MiB, and peak_per_file
// as a multiple of the file's size); the device model's own copy of the file
// is made before that.
// The model before any Qt header: it has a member named emit.
#include "tests/support/fake_links.h"
#include "tests/support/model_links.h"
#include "tools/emulator/device_model.h"

#include "connectlib/worker/session_guard.h"
#include "connectlib/worker/tc_worker.h"
#include "devicelib/core/listener.h"
#include "devicelib/core/posting.h"
#include "devicelib/core/session.h"
#include "tests/devicelib/core/test_device.h"

#include <QCoreApplication>
#include <QThread>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>

namespace {

using namespace ConnectLib;

QCoreApplication& application()
{
    static int argc = 1;
    static char name[] = "zarvo_ktlib_bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// Hands over the session once established; empties the guard when it ends.
class SessionCatcher : public zarvo::listener {
public:
    void established(zarvo::session& s) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_session)
            m_session = &s;
        m_changed.notify_all();
    }
    void rerouted(zarvo::session&) override {}
    void disconnected(zarvo::session& s) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (s.connection_count() == 0)
            m_ended = true;
        m_changed.notify_all();
    }
    zarvo::session* waitSession()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_session != nullptr; });
        return m_session;
    }
    void waitEnded()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_ended; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    zarvo::session* m_session = nullptr;
    bool m_ended = false;
};

// One round trip at a time: the request is queued and the caller waits for
// the result signal.
class BenchWorker {
public:
    BenchWorker()
    {
        application();
        zarvo::emulator::device_profile profile = zarvo::emulator::device_profile::usb_device();
        profile.id = m_device.id();
        model = std::make_shared<zarvo::emulator::device_model>(profile);
        // Room for the large file beside the seed content.
        model->set_total_fragments(model->disk().total_fragments * 64);
        m_listener.start();
        m_connection = new zarvo::test::usb_like_connection(
            m_device.id(), std::make_shared<zarvo::test::model_backend>(model));
        zarvo::core::post_publish_connection(m_device.id(), m_connection, 0);
        m_guard = new SessionGuard(m_listener.waitSession());
        worker = new TCWorker(TCData(), nullptr, nullptr, m_guard, QString());
        worker->moveToThread(&m_thread);
        m_thread.start();
    }
    ~BenchWorker()
    {
        zarvo::core::post_withdraw_connection(m_device.id(), m_connection);
        m_listener.waitEnded();
        m_guard->nullify();
        m_thread.quit();
        m_thread.wait();
        delete worker;
        m_listener.stop();
    }

    // Queues request on the worker's thread, waits for signal and returns
    // the flags it carried (always its last argument).
    template <typename... Args, typename Request>
    CPStateFlags roundTrip(void (TCWorker::*signal)(Args...), Request request)
    {
        bool done = false;
        CPStateFlags flags;
        const auto connection = QObject::connect(worker, signal, [&](Args... args) {
            std::lock_guard<std::mutex> lock(m_mutex);
            flags = std::get<sizeof...(Args) - 1>(std::forward_as_tuple(args...));
            done = true;
            m_done.notify_all();
        });
        TCWorker* w = worker;
        QMetaObject::invokeMethod(
            worker, [w, request] { request(w); }, Qt::QueuedConnection);
        std::unique_lock<std::mutex> lock(m_mutex);
        m_done.wait(lock, [&] { return done; });
        QObject::disconnect(connection);
        return flags;
    }

    std::shared_ptr<zarvo::emulator::device_model> model;
    TCWorker* worker = nullptr;

private:
    zarvo::test::test_device m_device;
    SessionCatcher m_listener;
    zarvo::core::connection* m_connection = nullptr;
    SessionGuard* m_guard = nullptr;
    QThread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_done;
};

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
BENCHMARK(BM_worker_read)
    ->Arg(16)
    ->Arg(64)
    ->Arg(256)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

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
