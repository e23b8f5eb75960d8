#pragma once

#include "app/bridge/jsobject.h"
#include "tests/app/support/fake_web.h"
#include "tests/app/support/stub_synchroniser.h"

#include <QString>
#include <QVariant>

#include <functional>
#include <memory>

class QWebFrame;

// The sync window's rig for the program's page benchmarks: the process runs
// the offscreen platform with private folders and the program's resources
// (app_bench_main.cpp); one fake web service on loopback serves the content
// server for every benchmark of the run; each measured round gets a fresh
// window (a real bridge with the stub synchroniser) so the waiting
// animation starts as in a new sync window.
namespace RavoSync::Bench {

// The fake web service shared by the run, started on first use with the
// sync fixtures and the web service's handlers; null when it could not
// start.
Test::FakeWeb* fakeWeb();
// Stops it (main, before the application ends).
void releaseFakeWeb();

// A new sync window: the bridge, its web view and a stub synchroniser that
// records what the page asks of the program.
class BenchWindow {
public:
    BenchWindow();
    ~BenchWindow();
    BenchWindow(const BenchWindow&) = delete;
    BenchWindow& operator=(const BenchWindow&) = delete;

    JsObject* bridge() const { return m_bridge.get(); }
    Test::StubSynchroniser* stub() const { return m_stub.get(); }
    QWebFrame* frame() const;

    QVariant js(const QString& expression) const;
    // Whether the waiting animation of the first page load still runs.
    bool waitingAnimationRuns() const;

private:
    std::unique_ptr<JsObject> m_bridge;
    std::unique_ptr<Test::StubSynchroniser> m_stub;
};

// Dispatches events until done() is true or timeoutMs passed; whether it
// became true.
bool dispatchUntil(const std::function<bool()>& done, int timeoutMs = 30000);

} // namespace RavoSync::Bench
