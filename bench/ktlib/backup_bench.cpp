// Backup and restore of a user folder of 2,000 files of 2 KiB in 40 day
// folders, on the rig of bench_worker.h: each round is timed from queuing
// the request to its result signal; items are files, so the rate is files
// per second in each direction. A backup includes its one-second pause after
// the previous backup is deleted.
#include "bench/ktlib/bench_worker.h"

#include "connectlib/common/common.h"

#include <QDate>

#include <benchmark/benchmark.h>

#include <chrono>

namespace {

using namespace ConnectLib;
using Bench::BenchWorker;

constexpr int dayFolders = 40;
constexpr int filesPerDay = 50;
constexpr int files = dayFolders * filesPerDay;

void fillUser(zarvo::emulator::device_model& model)
{
    const std::string content(2048, 'x');
    for (int day = 0; day < dayFolders; ++day) {
        const std::string folder =
            "/U/0/" +
            QDate(2024, 1, 1).addDays(day).toString(QStringLiteral("yyyyMMdd")).toStdString() +
            "/ACT";
        for (int file = 0; file < filesPerDay; ++file)
            model.put_file(folder + "/F" + std::to_string(file) + ".BPB", content);
    }
}

CPStateFlags backup(BenchWorker& bench)
{
    return bench.roundTrip(&TCWorker::SIGNAL_backupDone, [](TCWorker* w) {
        w->SLOT_doBackup(TCData(), QStringLiteral("/U/0"), QString(), QString());
    });
}

QString backupDir()
{
    return Common::getBackupDataPath() + QLatin1Char('/') + TCData().deviceIdAsHexString();
}

CPStateFlags restore(BenchWorker& bench)
{
    const QString dir = backupDir();
    return bench.roundTrip(&TCWorker::SIGNAL_backupRevertDone,
                           [dir](TCWorker* w) { w->SLOT_revertBackup(TCData(), dir); });
}

void BM_worker_backup_2000_files(benchmark::State& state)
{
    BenchWorker bench;
    fillUser(*bench.model);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (backup(bench) != OK)
            state.SkipWithError("the backup failed");
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(took.count());
        bench.model->clear_transcript();
    }
    state.SetItemsProcessed(state.iterations() * files);
    Common::deleteLocalDirectory(backupDir());
}
BENCHMARK(BM_worker_backup_2000_files)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_worker_restore_2000_files(benchmark::State& state)
{
    BenchWorker bench;
    fillUser(*bench.model);
    for (auto _ : state) {
        // A fresh backup each round: a successful restore deletes it.
        if (backup(bench) != OK)
            state.SkipWithError("the backup failed");
        const auto start = std::chrono::steady_clock::now();
        if (restore(bench) != OK)
            state.SkipWithError("the restore failed");
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(took.count());
        bench.model->clear_transcript();
    }
    state.SetItemsProcessed(state.iterations() * files);
}
BENCHMARK(BM_worker_restore_2000_files)->Unit(benchmark::kMillisecond)->UseManualTime();

} // namespace
