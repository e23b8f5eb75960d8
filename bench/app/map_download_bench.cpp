// A 64 MB map streamed from the fake content server over loopback into the
// offline store, with the main page's progress page live (every whole
// percent reaches its bar): the rate in MB/s and how much the process's peak
// resident memory (VmHWM) grows during the download, which shows that the
// map never sits whole in memory.
#include "bench/app/app_bench_env.h"

#include "connectlib/common/common.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <benchmark/benchmark.h>

#include <fstream>
#include <limits>
#include <string>

namespace {

using RavoSync::Bench::BenchWindow;
using RavoSync::Bench::dispatchUntil;

constexpr qint64 mapSize = 64 * 1048576;
const QString mapType = QStringLiteral("application/x-zarvo-map");

// A field of /proc/self/status in kB; -1 when absent.
long statusKb(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, field.size() + 1, field + ":") == 0)
            return std::stol(line.substr(field.size() + 1));
    }
    return -1;
}

// Sets the peak resident size back to the current one (Linux 4.0 and up);
// false where the kernel refuses.
bool resetPeak()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return bool(clear);
}

QString builtInPage(const QString& name)
{
    QFile page(QStringLiteral(":/resources/ui/") + name);
    return page.open(QIODevice::ReadOnly) ? QString::fromUtf8(page.readAll()) : QString();
}

QString scriptLiteral(const QString& text)
{
    const QString json =
        QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact));
    return json.mid(1, json.size() - 2);
}

void BM_MapDownload64MB(benchmark::State& state)
{
    RavoSync::Test::FakeWeb* web = RavoSync::Bench::fakeWeb();
    if (!web) {
        state.SkipWithError("the fake web service did not start");
        return;
    }
    const QString progress = builtInPage(QStringLiteral("progress.html"));
    if (progress.isEmpty()) {
        state.SkipWithError("no built-in progress page");
        return;
    }
    QJsonArray routes = RavoSync::Test::FakeWeb::webServiceRoutes();
    routes.prepend(QJsonObject{
        {QStringLiteral("path"), QStringLiteral("*/bench/maps/*")},
        {QStringLiteral("bodySize"), double(mapSize)},
        {QStringLiteral("headers"), QJsonObject{{QStringLiteral("Content-Type"), mapType}}}});
    web->setRoutes(routes);

    BenchWindow window;
    window.bridge()->SLOT_startByLoading(QStringLiteral("ui/index.html"));
    if (!dispatchUntil([&] {
            return window
                .js(QStringLiteral("typeof smain !== 'undefined' && smain !== null && "
                                   "jQuery.active === 0 && (smain.errorShown === true || "
                                   "smain.phasesStarted === true)"))
                .toBool();
        })) {
        state.SkipWithError("the main page did not start");
        return;
    }
    window.js(QStringLiteral("window.benchProgressPage = %1; window.benchShown = false; "
                             "smain.showDialog(benchProgressPage); "
                             "jQuery(function () { window.benchShown = true; });")
                  .arg(scriptLiteral(progress)));
    if (!dispatchUntil([&] { return window.js(QStringLiteral("window.benchShown")).toBool(); }) ||
        !window.js(QStringLiteral("typeof window.updateProgressbarStatus === 'function'"))
             .toBool()) {
        state.SkipWithError("the progress page did not start");
        return;
    }

    JsObject* bridge = window.bridge();
    bridge->SLOT_saveVariable(QStringLiteral("tcdeviceid"), QStringLiteral("BE0C"));
    bridge->SLOT_saveVariable(QStringLiteral("major_phases"), QStringLiteral("1"));
    bridge->SLOT_saveVariable(QStringLiteral("major_phase"), QStringLiteral("0"));
    // A device that reports no figure never limits the download.
    bridge->SLOT_freeSpaceReceived(std::numeric_limits<qulonglong>::max(), ConnectLib::OK);
    const QString contentServer =
        ConnectLib::Common::getSettingsValue(QStringLiteral("contenturl"));

    double seconds = 0;
    long growthKb = 0;
    const bool peakResets = resetPeak();
    for (auto _ : state) {
        QSignalSpy read(bridge, &JsObject::SIGNAL_fileRead);
        QSignalSpy failed(bridge, &JsObject::SIGNAL_fail);
        QSignalSpy dialog(bridge->requests(), &BridgeRequests::SIGNAL_showOfflineDialog);
        resetPeak();
        const long before = statusKb("VmRSS");
        QElapsedTimer clock;
        clock.start();
        if (!bridge->SLOT_downloadFile(contentServer + QStringLiteral("/bench/maps/m.map"),
                                       QStringLiteral("GET"), mapType, mapType,
                                       QStringLiteral("false"))) {
            state.SkipWithError("the download was refused");
            return;
        }
        if (!dispatchUntil(
                [&] { return !read.isEmpty() || !failed.isEmpty() || !dialog.isEmpty(); },
                120000) ||
            read.isEmpty() || read.first().at(0).toString() != QString::number(mapSize)) {
            state.SkipWithError("the map did not arrive whole");
            return;
        }
        const double elapsed = double(clock.nsecsElapsed()) / 1e9;
        state.SetIterationTime(elapsed);
        seconds += elapsed;
        growthKb = std::max(growthKb, statusKb("VmHWM") - before);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * mapSize);
    state.counters["MB_per_s"] = double(state.iterations()) * double(mapSize) / 1e6 / seconds;
    // The largest growth of the peak over any one download; without the
    // kernel's reset it is measured from the peak the run had reached.
    state.counters["peak_rss_growth_MB"] = double(growthKb) / 1024.0;
    state.counters["peak_reset"] = peakResets ? 1 : 0;
    web->setRoutes(RavoSync::Test::FakeWeb::webServiceRoutes());
}
BENCHMARK(BM_MapDownload64MB)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
