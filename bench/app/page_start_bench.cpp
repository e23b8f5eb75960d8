// How long a sync window takes from asking for "ui/index.html" until its
// page stops the waiting animation (SLOT_stopWaitingAnim, the first thing
// the page's start does), online through the fake content server and
// offline from the built-in pages; and how long the shell takes to show the
// progress page in its content area (smain.showDialog) once it runs; and
// how long until the first page shows in the content area.
#include "bench/app/app_bench_env.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <benchmark/benchmark.h>

namespace {

using RavoSync::Bench::BenchWindow;
using RavoSync::Bench::dispatchUntil;

// The window's time from the request to the end of the waiting animation;
// false when the animation did not start or did not end in time.
bool timeStart(benchmark::State& state, BenchWindow& window, const std::function<void()>& load)
{
    QElapsedTimer clock;
    clock.start();
    load();
    if (!window.waitingAnimationRuns()) {
        state.SkipWithError("the waiting animation did not start");
        return false;
    }
    if (!dispatchUntil([&] { return !window.waitingAnimationRuns(); })) {
        state.SkipWithError("the page did not stop the waiting animation");
        return false;
    }
    state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
    return true;
}

void BM_IndexStartOnline(benchmark::State& state)
{
    if (!RavoSync::Bench::fakeWeb()) {
        state.SkipWithError("the fake web service did not start");
        return;
    }
    for (auto _ : state) {
        BenchWindow window;
        if (!timeStart(state, window, [&] {
                window.bridge()->SLOT_startByLoading(QStringLiteral("ui/index.html"));
            }))
            return;
    }
}
BENCHMARK(BM_IndexStartOnline)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_IndexStartOffline(benchmark::State& state)
{
    for (auto _ : state) {
        BenchWindow window;
        if (!timeStart(state, window, [&] {
                window.bridge()->SLOT_startByLoading(
                    QStringLiteral("qrc:/resources/ui/index.html"),
                    QStringLiteral("ui/progress.html"),
                    QStringList{QStringLiteral("error_nonetworkconnection")},
                    QStringLiteral(
                        "errorDlgValues.buttons.syncagain=1;errorDlgValues.buttons.close=1;"),
                    QStringLiteral("App.syncMain.errorCase();"));
            }))
            return;
    }
}
BENCHMARK(BM_IndexStartOffline)->UseManualTime()->Unit(benchmark::kMillisecond);

// From the request of "ui/index.html" until the content area shows its first
// page: the device list (argument 0) or, for a plugged device (1), the
// progress page. The phase scripts load meanwhile.
void BM_FirstPageOnline(benchmark::State& state)
{
    if (!RavoSync::Bench::fakeWeb()) {
        state.SkipWithError("the fake web service did not start");
        return;
    }
    const bool device = state.range(0) == 1;
    for (auto _ : state) {
        BenchWindow window;
        if (device)
            window.bridge()->SLOT_saveVariable(QStringLiteral("tcdeviceid"),
                                               QStringLiteral("4001"));
        QElapsedTimer clock;
        clock.start();
        window.bridge()->SLOT_startByLoading(QStringLiteral("ui/index.html"));
        if (!dispatchUntil([&] {
                return window
                    .js(QStringLiteral("typeof jQuery !== 'undefined' && "
                                       "jQuery('#pageContent #progress_container').length > 0"))
                    .toBool();
            })) {
            state.SkipWithError("no page in the content area");
            return;
        }
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
    }
}
BENCHMARK(BM_FirstPageOnline)
    ->ArgName("device")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// A script text literal of text.
QString scriptLiteral(const QString& text)
{
    const QString json =
        QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact));
    return json.mid(1, json.size() - 2);
}

QString builtInPage(const QString& name)
{
    QFile page(QStringLiteral(":/resources/ui/") + name);
    return page.open(QIODevice::ReadOnly) ? QString::fromUtf8(page.readAll()) : QString();
}

// Shows html in the content area; true once the fragment's own start (its
// ready handlers) has run.
bool showFragment(BenchWindow& window, const QString& variable)
{
    // The marker's ready handler runs after the fragment's.
    // The script's value is converted for the caller: undefined, not the
    // jQuery object of the document, whose conversion takes longer than the
    // switch.
    window.js(QStringLiteral("window.benchShown = false; smain.showDialog(%1); "
                             "jQuery(function () { window.benchShown = true; }); undefined;")
                  .arg(variable));
    return dispatchUntil([&] { return window.js(QStringLiteral("window.benchShown")).toBool(); });
}

// Waits until the page is idle: no request is open and a zero-delay timer
// fires at once three times in a row (the device list's plug animation
// runs on, one step now and then).
bool settle(BenchWindow& window)
{
    QElapsedTimer total;
    total.start();
    int quick = 0;
    while (quick < 3) {
        if (total.elapsed() > 10000)
            return false;
        window.js(QStringLiteral("window.benchTick = false; "
                                 "setTimeout(function () { window.benchTick = true; }, 0);"));
        QElapsedTimer tick;
        tick.start();
        if (!dispatchUntil([&] { return window.js(QStringLiteral("window.benchTick")).toBool(); }))
            return false;
        const bool idle =
            tick.elapsed() < 5 && window.js(QStringLiteral("jQuery.active === 0")).toBool();
        quick = idle ? quick + 1 : 0;
    }
    return true;
}

// The sync start's switch: from the device list to the progress page.
void BM_ProgressPageSwitch(benchmark::State& state)
{
    if (!RavoSync::Bench::fakeWeb()) {
        state.SkipWithError("the fake web service did not start");
        return;
    }
    const QString progress = builtInPage(QStringLiteral("progress.html"));
    const QString deviceList = builtInPage(QStringLiteral("devicelist.html"));
    if (progress.isEmpty() || deviceList.isEmpty()) {
        state.SkipWithError("no built-in fragments");
        return;
    }

    BenchWindow window;
    window.bridge()->SLOT_startByLoading(QStringLiteral("ui/index.html"));
    // The shell's own start has ended (its device list, or its error) and
    // no request of the page is open.
    if (!dispatchUntil([&] {
            return window
                .js(QStringLiteral("typeof smain !== 'undefined' && smain !== null && "
                                   "jQuery.active === 0 && (smain.errorShown === true || "
                                   "(smain.phasesStarted === true && "
                                   "jQuery('#pageContent').children().length > 0))"))
                .toBool();
        })) {
        state.SkipWithError("the main page did not start");
        return;
    }
    window.js(
        QStringLiteral("window.benchProgressPage = %1; window.benchDeviceList = %2; undefined;")
            .arg(scriptLiteral(progress), scriptLiteral(deviceList)));

    for (auto _ : state) {
        if (!showFragment(window, QStringLiteral("benchDeviceList")) || !settle(window)) {
            state.SkipWithError("the device list did not start");
            return;
        }
        QElapsedTimer clock;
        clock.start();
        if (!showFragment(window, QStringLiteral("benchProgressPage"))) {
            state.SkipWithError("the progress page did not start");
            return;
        }
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
    }
}
BENCHMARK(BM_ProgressPageSwitch)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
