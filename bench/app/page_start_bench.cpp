// How long a sync window takes from asking for "ui/index.html" until its
// page stops the waiting animation (SLOT_stopWaitingAnim, the first thing
// the page's start does), online through the fake content server and
// offline from the built-in pages; and how long the shell takes to show the
// progress page in its content area (smain.showDialog) once it runs.
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

// A script text literal of text.
QString scriptLiteral(const QString& text)
{
    const QString json =
        QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact));
    return json.mid(1, json.size() - 2);
}

void BM_ProgressPageSwitch(benchmark::State& state)
{
    if (!RavoSync::Bench::fakeWeb()) {
        state.SkipWithError("the fake web service did not start");
        return;
    }
    QFile page(QStringLiteral(":/resources/ui/progress.html"));
    if (!page.open(QIODevice::ReadOnly)) {
        state.SkipWithError("no built-in progress page");
        return;
    }
    const QString html = QString::fromUtf8(page.readAll());

    BenchWindow window;
    window.bridge()->SLOT_startByLoading(QStringLiteral("ui/index.html"));
    // The shell's own start has ended (its device list, or its error) and
    // no request of the page is open.
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
    window.js(QStringLiteral("window.benchProgressPage = %1;").arg(scriptLiteral(html)));

    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        // The fragment's ready handlers run after the call; the marker's
        // runs after theirs.
        window.js(QStringLiteral("window.benchShown = false; smain.showDialog(benchProgressPage); "
                                 "jQuery(function () { window.benchShown = true; });"));
        if (!dispatchUntil(
                [&] { return window.js(QStringLiteral("window.benchShown")).toBool(); })) {
            state.SkipWithError("the progress page did not start");
            return;
        }
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
    }
}
BENCHMARK(BM_ProgressPageSwitch)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
