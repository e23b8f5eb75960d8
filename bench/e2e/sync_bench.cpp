// The whole system on the end-to-end harness (tests/e2e/harness): the real
// RavoSync on a private display, the HID emulator program and the fake web
// service. One run per case, timed by hand:
// - plug-in to sync window: from the emulator's "ok" to the plug until the
//   window's page logs its start after the device's arrival;
// - sync: from that line until the device's stored state is "5;…" (synced),
//   in all and per exercise file;
// - the program's peak memory (VmHWM) at the end of the sync.
// The emulator answers at once; beside each sync the time the same bytes
// would take on a full-speed USB HID link is printed for context.
#include "tests/e2e/harness/e2e_run.h"
#include "tests/e2e/sync_routes.h"
#include "tests/support/usb_test_device.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

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

// N exercise folders of one user, "<day>/E/<time>/BASE.BPB", 32 KiB each.
bool seedExercises(EndToEndRun& run, const std::string& serial, int count)
{
    const QString folder = run.sandbox().path(QStringLiteral("seed"));
    QByteArray bytes(exerciseBytes, '\0');
    for (int i = 0; i < count; ++i) {
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

void BM_PlugInAndSync(benchmark::State& state)
{
    const int files = int(state.range(0));
    double plugMs = 0;
    double syncMs = 0;
    double peakMiB = 0;
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
        peakMiB = double(EndToEndRun::peakKiB(run.programPid())) / 1024.0;
        run.stopProgram();

        plugMs = double(sinceMs(plugged, started));
        syncMs = double(sinceMs(started, synced));
        state.SetIterationTime(syncMs / 1000.0);
    }
    state.counters["plug_to_window_ms"] = plugMs;
    state.counters["sync_ms"] = syncMs;
    state.counters["sync_ms_per_file"] = syncMs / files;
    state.counters["peak_MiB"] = peakMiB;
    state.counters["usb_wire_s"] = double(files) * exerciseBytes / wirePayloadBytesPerSecond;
}

BENCHMARK(BM_PlugInAndSync)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
