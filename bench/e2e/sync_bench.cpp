// The whole system on the end-to-end harness (tests/e2e/harness): the real
// RavoSync on a private display, the HID emulator program and the fake web
// service. One run per case, timed by hand:
// - plug-in to sync window: from the emulator's "ok" to the plug until the
//   window's page logs its start after the device's arrival;
// - sync: from that line until the device's stored state is "5;…" (synced),
//   in all and per exercise file;
// - the program's peak memory (VmHWM) at the end of the sync;
// - the start (plug-in to the first file done) and the marginal cost of each
//   further file, and per file its steps: the device read, the HTTPS upload,
//   the marker written back, the device link's time (the emulator's "link",
//   which holds the program's USB thread's share too) and the rest, the
//   program's work outside the link and the uploads;
// - per file, the processor time of the program's main thread (pages,
//   bridge, engine) and of its other threads (USB, device worker, network).
// The emulator answers at once; beside each sync the time the same bytes
// would take on a full-speed USB HID link is printed for context.
#include "tests/e2e/harness/e2e_run.h"
#include "tests/e2e/sync_routes.h"
#include "tests/support/usb_test_device.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QThread>

#include <benchmark/benchmark.h>

#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

using RavoSync::E2e::EndToEndRun;

constexpr int exerciseBytes = 32 * 1024;
// Exercise payload over a full-speed HID link (the USB benchmark's figure):
// about 34 s per MiB.
constexpr double wirePayloadBytesPerSecond = 30500;

const QString startLine = QStringLiteral("Start... Version: ");

// The program logs in its own zone (the harness's fixed +120 minutes); the
// milliseconds of the day there.
qint64 programClockMs()
{
    return QDateTime::currentDateTimeUtc()
        .addSecs(qint64(EndToEndRun::zoneOffsetMinutes) * 60)
        .time()
        .msecsSinceStartOfDay();
}

// The time stamp "[HH:mm:ss.zzz]" that starts a log line, -1 without one.
qint64 lineClockMs(const QString& line)
{
    static const QRegularExpression stamp(
        QStringLiteral("^\\[(\\d\\d):(\\d\\d):(\\d\\d)\\.(\\d\\d\\d)\\]"));
    const QRegularExpressionMatch m = stamp.match(line);
    if (!m.hasMatch())
        return -1;
    return ((m.captured(1).toLongLong() * 60 + m.captured(2).toLongLong()) * 60 +
            m.captured(3).toLongLong()) *
               1000 +
           m.captured(4).toLongLong();
}

qint64 sinceMs(qint64 from, qint64 to)
{
    const qint64 day = 24LL * 3600 * 1000;
    return ((to - from) % day + day) % day;
}

// N exercise folders of one user, "<day>/E/<time>/BASE.BPB", 32 KiB each,
// numbered from first: each number names a folder of its own.
bool seedExercises(EndToEndRun& run, const std::string& serial, int count, int first = 0)
{
    const QString folder = run.sandbox().path(QStringLiteral("seed-%1").arg(first));
    QByteArray bytes(exerciseBytes, '\0');
    for (int i = first; i < first + count; ++i) {
        for (int b = 0; b < exerciseBytes; ++b)
            bytes[b] = char((b * 31 + i) % 256);
        const QString day = QDate(2026, 1, 1).addDays(i / 50).toString(QStringLiteral("yyyyMMdd"));
        const QString time = QStringLiteral("%1%2%3")
                                 .arg(8 + (i % 50) / 6, 2, 10, QLatin1Char('0'))
                                 .arg((i % 6) * 10, 2, 10, QLatin1Char('0'))
                                 .arg(0, 2, 10, QLatin1Char('0'));
        const QString dir = folder + QStringLiteral("/U/0/") + day + QStringLiteral("/E/") + time;
        if (!QDir().mkpath(dir))
            return false;
        QFile file(dir + QStringLiteral("/BASE.BPB"));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return false;
    }
    return run.emulator("seed " + serial + " " + folder.toStdString()) == "ok";
}

// The first line with text after the first line with after.
QString lineAfter(EndToEndRun& run, const QString& after, const QString& text)
{
    bool seen = false;
    for (const QString& line : run.sandbox().logLines()) {
        if (!seen)
            seen = line.contains(after);
        else if (line.contains(text))
            return line;
    }
    return QString();
}

// The exercises phase's line per file: the page's own times of its steps.
const QRegularExpression
    stepsLine(QStringLiteral("e2e exercise steps: read (\\d+) upload (\\d+) marker (\\d+)"));

// The device link's time so far in milliseconds (the emulator's "link"), -1
// when it cannot tell.
double linkMs(EndToEndRun& run, const std::string& serial)
{
    std::istringstream answer(run.emulator("link " + serial));
    std::string ok;
    long long messages = 0;
    long long micros = 0;
    if (!(answer >> ok >> messages >> micros) || ok != "ok")
        return -1;
    return double(micros) / 1000.0;
}

// The processor time (user and system) of the program's main thread and of
// all its other threads so far, in milliseconds.
struct ThreadTimes {
    double mainMs = 0;
    double otherMs = 0;
};

double statCpuMs(const QString& statFile)
{
    QFile file(statFile);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = file.readAll();
    // The fields after the command name, which may hold blanks.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    return 1000.0 * double(fields[11].toLongLong() + fields[12].toLongLong()) /
           double(sysconf(_SC_CLK_TCK));
}

// Threads that ended before the reading are left out.
ThreadTimes threadTimes(pid_t pid)
{
    ThreadTimes times;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString& tid : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const double ms = statCpuMs(tasks + QLatin1Char('/') + tid + QStringLiteral("/stat"));
        if (tid == QString::number(pid))
            times.mainMs += ms;
        else
            times.otherMs += ms;
    }
    return times;
}

// The exercise uploads the fake web service has taken.
int uploads(EndToEndRun& run)
{
    int count = 0;
    for (const auto& request : run.web().requests())
        count += request.method != QLatin1String("GET") &&
                         request.path.contains(QLatin1String("/exercises/"))
                     ? 1
                     : 0;
    return count;
}

void BM_PlugInAndSync(benchmark::State& state)
{
    const int files = int(state.range(0));
    double plugMs = 0;
    double syncMs = 0;
    double peakMiB = 0;
    double startMs = 0;
    double marginalMs = 0;
    double readMs = 0;
    double uploadMs = 0;
    double markerMs = 0;
    double linkPerFileMs = -1;
    double emulatorPeakMiB = 0;
    double mainCpuPerFileMs = 0;
    double otherCpuPerFileMs = 0;
    for (auto _ : state) {
        zarvo::test::usb_test_device device;
        EndToEndRun run(QStringLiteral("bench-%1").arg(files));
        if (!run.ready()) {
            state.SkipWithError(run.error().toStdString().c_str());
            return;
        }
        const QString hexId =
            QStringLiteral("%1").arg(quint64(device.id()), 8, 16, QLatin1Char('0')).toUpper();
        // Past the first start: no window exists before the device's.
        run.sandbox().setSetting(QStringLiteral("secondtimeuse"), QStringLiteral("1"));
        run.web().setRoutes(RavoSync::E2e::syncRunRoutes());
        if (!seedExercises(run, device.serial(), files)) {
            state.SkipWithError("could not seed the exercises");
            return;
        }
        if (!run.startProgram() || !run.waitForLog(QStringLiteral("Application started"), 60000)) {
            state.SkipWithError("the program did not start");
            return;
        }

        const ThreadTimes beforePlug = threadTimes(run.programPid());
        if (run.emulator("plug " + device.serial()) != "ok") {
            state.SkipWithError("the emulator did not plug the device");
            return;
        }
        const qint64 plugged = programClockMs();
        const QString appeared = QStringLiteral("Device appeared. DeviceId: ") + hexId;
        if (!run.waitForLogAfter(appeared, startLine, 120000)) {
            state.SkipWithError("no sync window");
            return;
        }
        const qint64 started = lineClockMs(lineAfter(run, appeared, startLine));
        // Synced ("5;"), or ended with an error ("6;").
        const QString key = QString::number(quint64(device.id()));
        if (!run.waitForSetting(
                key,
                [](const QString& value) {
                    return value.startsWith(QLatin1String("5;")) ||
                           value.startsWith(QLatin1String("6;"));
                },
                120000 + files * 1000) ||
            !run.sandbox().setting(key).toString().startsWith(QLatin1String("5;"))) {
            state.SkipWithError("the sync did not end as synced");
            return;
        }
        const qint64 synced = programClockMs();
        const ThreadTimes afterSync = threadTimes(run.programPid());
        mainCpuPerFileMs = (afterSync.mainMs - beforePlug.mainMs) / files;
        otherCpuPerFileMs = (afterSync.otherMs - beforePlug.otherMs) / files;
        peakMiB = double(EndToEndRun::peakKiB(run.programPid())) / 1024.0;
        emulatorPeakMiB = double(run.emulatorPeakKiB()) / 1024.0;
        const double link = linkMs(run, device.serial());
        run.stopProgram();

        // The files' lines: when each file was done and its steps.
        QList<qint64> done;
        double read = 0;
        double upload = 0;
        double marker = 0;
        for (const QString& line : run.sandbox().logLines()) {
            const QRegularExpressionMatch m = stepsLine.match(line);
            if (!m.hasMatch())
                continue;
            done.append(lineClockMs(line));
            read += m.captured(1).toDouble();
            upload += m.captured(2).toDouble();
            marker += m.captured(3).toDouble();
        }
        if (done.size() != files) {
            state.SkipWithError("not every file reported its steps");
            return;
        }
        plugMs = double(sinceMs(plugged, started));
        syncMs = double(sinceMs(started, synced));
        startMs = double(sinceMs(plugged, done.first()));
        marginalMs = files > 1 ? double(sinceMs(done.first(), done.last())) / (files - 1) : 0;
        readMs = read / files;
        uploadMs = upload / files;
        markerMs = marker / files;
        linkPerFileMs = link < 0 ? -1 : link / files;
        state.SetIterationTime(syncMs / 1000.0);
    }
    state.counters["plug_to_window_ms"] = plugMs;
    state.counters["sync_ms"] = syncMs;
    state.counters["sync_ms_per_file"] = syncMs / files;
    // Plug-in to the first file done, then what each further file adds.
    state.counters["start_ms"] = startMs;
    state.counters["marginal_ms_per_file"] = marginalMs;
    // Per file, as the page sees it: the device read (the link and the
    // hand-over to the page), the HTTPS upload, the marker written back.
    state.counters["read_ms"] = readMs;
    state.counters["upload_ms"] = uploadMs;
    state.counters["marker_ms"] = markerMs;
    // The device link's time per file (every device message of the sync
    // counted, from its first report to its answer's last: the emulator's
    // work and the program's USB thread writing and reading the reports),
    // the hand-over of the device steps to and from the page, and what is
    // left of a file's cost outside the link and the upload (the program's
    // main thread, its device worker, the pages).
    if (linkPerFileMs >= 0) {
        state.counters["link_ms"] = linkPerFileMs;
        state.counters["handover_ms"] = readMs + markerMs - linkPerFileMs;
        state.counters["outside_link_ms_per_file"] = marginalMs - linkPerFileMs - uploadMs;
    }
    // The program's threads measured apart, as processor time per file from
    // the plug to the synced state.
    state.counters["main_thread_cpu_ms_per_file"] = mainCpuPerFileMs;
    state.counters["other_threads_cpu_ms_per_file"] = otherCpuPerFileMs;
    state.counters["peak_MiB"] = peakMiB;
    state.counters["emulator_peak_MiB"] = emulatorPeakMiB;
    state.counters["usb_wire_s"] = double(files) * exerciseBytes / wirePayloadBytesPerSecond;
}

// The program's resident memory (VmRSS) in KiB, 0 when unknown.
long residentKiB(pid_t pid)
{
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("VmRSS:\\s+(\\d+) kB"))
                                              .match(QString::fromLatin1(file.readAll()));
    return match.hasMatch() ? match.captured(1).toLong() : 0;
}

int linesWith(EndToEndRun& run, const QString& text)
{
    int count = 0;
    for (const QString& line : run.sandbox().logLines())
        count += line.contains(text) ? 1 : 0;
    return count;
}

// One program, the same device plugged, synced and unplugged again and
// again, as a tray program left running for months sees it: the window stays
// open between the syncs and every sync loads its pages again. Before each
// plug the device gets one new exercise, so every sync uploads one (checked
// against the fake's log). Prints the resident memory after the 1st, 10th,
// 50th and 100th sync (those the run reaches) and the growth per sync from
// the first to the last.
void BM_RepeatedSyncs(benchmark::State& state)
{
    const int syncs = int(state.range(0));
    const QList<int> checkpoints{1, 10, 50, 100};
    QMap<int, double> rssMiB;
    double lastMiB = 0;
    int uploaded = 0;
    for (auto _ : state) {
        zarvo::test::usb_test_device device;
        EndToEndRun run(QStringLiteral("bench-repeated-%1").arg(syncs));
        if (!run.ready()) {
            state.SkipWithError(run.error().toStdString().c_str());
            return;
        }
        run.sandbox().setSetting(QStringLiteral("secondtimeuse"), QStringLiteral("1"));
        run.web().setRoutes(RavoSync::E2e::syncRunRoutes());
        if (!run.startProgram() || !run.waitForLog(QStringLiteral("Application started"), 60000)) {
            state.SkipWithError("the program did not start");
            return;
        }
        const QString key = QString::number(quint64(device.id()));
        const QString gone = QStringLiteral("Device disappeared: DeviceId: ");
        QElapsedTimer clock;
        clock.start();
        for (int sync = 1; sync <= syncs; ++sync) {
            if (!seedExercises(run, device.serial(), 1, sync - 1)) {
                state.SkipWithError("could not seed the exercises");
                return;
            }
            if (run.emulator("plug " + device.serial()) != "ok") {
                state.SkipWithError("the emulator did not plug the device");
                return;
            }
            // The arrival stores its own state before the page starts, so
            // a "5;" after this start is this sync's.
            if (!run.waitUntil([&] { return linesWith(run, startLine) >= sync; }, 120000) ||
                !run.waitForSetting(
                    key, [](const QString& value) { return value.startsWith(QLatin1String("5;")); },
                    120000)) {
                state.SkipWithError("a sync did not end as synced");
                return;
            }
            uploaded = uploads(run);
            if (uploaded != sync) {
                state.SkipWithError("a sync did not upload its new exercise");
                return;
            }
            if (run.emulator("unplug " + device.serial()) != "ok" ||
                !run.waitUntil([&] { return linesWith(run, gone) >= sync; }, 60000)) {
                state.SkipWithError("the device did not go");
                return;
            }
            lastMiB = double(residentKiB(run.programPid())) / 1024.0;
            if (checkpoints.contains(sync))
                rssMiB.insert(sync, lastMiB);
        }
        state.SetIterationTime(double(clock.elapsed()) / 1000.0);
        run.stopProgram();
    }
    for (auto it = rssMiB.cbegin(); it != rssMiB.cend(); ++it)
        state.counters["rss_" + std::to_string(it.key()) + "_MiB"] = it.value();
    state.counters["rss_last_MiB"] = lastMiB;
    state.counters["rss_growth_MiB"] = lastMiB - rssMiB.value(1);
    state.counters["rss_MiB_per_sync"] = syncs > 1 ? (lastMiB - rssMiB.value(1)) / (syncs - 1) : 0;
    state.counters["uploads"] = uploaded;
}

BENCHMARK(BM_RepeatedSyncs)
    ->Arg(3)
    ->Arg(100)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The program's processor time so far (user and system), in seconds.
double cpuSeconds(pid_t pid)
{
    return statCpuMs(QStringLiteral("/proc/%1/stat").arg(pid)) / 1000.0;
}

// A window left open with nothing to do: the first start's device-less
// window (its device list waits for a plug) on the display, idle for the
// given number of seconds. Prints the program's share of one processor.
void BM_IdleWindow(benchmark::State& state)
{
    const int seconds = int(state.range(0));
    double percent = 0;
    for (auto _ : state) {
        EndToEndRun run(QStringLiteral("bench-idle-%1").arg(seconds));
        if (!run.ready()) {
            state.SkipWithError(run.error().toStdString().c_str());
            return;
        }
        // The first start opens the window by itself.
        run.sandbox().setSetting(QStringLiteral("secondtimeuse"), QStringLiteral("0"));
        if (!run.startProgram() || !run.waitForLog(startLine, 60000) ||
            !run.waitUntil([&] { return !run.syncWindowArea().isEmpty(); }, 30000)) {
            state.SkipWithError("no device-less window");
            return;
        }
        // Past the page's start.
        QThread::msleep(3000);
        const double before = cpuSeconds(run.programPid());
        QElapsedTimer clock;
        clock.start();
        QThread::msleep(seconds * 1000UL);
        const double used = cpuSeconds(run.programPid()) - before;
        const double wall = double(clock.elapsed()) / 1000.0;
        percent = 100.0 * used / wall;
        state.SetIterationTime(wall);
        run.stopProgram();
    }
    state.counters["cpu_percent_of_one"] = percent;
}

BENCHMARK(BM_IdleWindow)
    ->Arg(2)
    ->Arg(30)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_PlugInAndSync)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
