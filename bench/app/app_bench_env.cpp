#include "bench/app/app_bench_env.h"

#include "app/animation/kantrel_movie.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWebFrame>
#include <QWebPage>

namespace RavoSync::Bench {

namespace {

std::unique_ptr<Test::FakeWeb>& sharedFakeWeb()
{
    static std::unique_ptr<Test::FakeWeb> web;
    return web;
}

} // namespace

Test::FakeWeb* fakeWeb()
{
    std::unique_ptr<Test::FakeWeb>& web = sharedFakeWeb();
    if (!web) {
        // The content server with the sync fixtures and the web service's
        // handlers, so the main page starts as against the real service.
        web = std::make_unique<Test::FakeWeb>(Test::FakeWeb::Trust::TestCa,
                                              QList<Test::FakeWeb::Mount>{},
                                              QStringList{Test::FakeWeb::syncFixturesDir()});
        if (web->started())
            web->setRoutes(Test::FakeWeb::webServiceRoutes());
    }
    return web->started() ? web.get() : nullptr;
}

void releaseFakeWeb()
{
    sharedFakeWeb().reset();
}

BenchWindow::BenchWindow()
    : m_bridge(std::make_unique<JsObject>(nullptr))
    , m_stub(std::make_unique<Test::StubSynchroniser>(m_bridge.get()))
{
}

BenchWindow::~BenchWindow()
{
    m_stub.reset();
    m_bridge.reset();
    // The view's late deletions and aborted replies go before the next round.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

QWebFrame* BenchWindow::frame() const
{
    return m_bridge->webView()->page()->mainFrame();
}

QVariant BenchWindow::js(const QString& expression) const
{
    return frame()->evaluateJavaScript(expression);
}

bool BenchWindow::waitingAnimationRuns() const
{
    const KantrelMovie* movie = m_bridge->webView()->findChild<KantrelMovie*>();
    return movie && movie->timer() && movie->timer()->isActive();
}

bool dispatchUntil(const std::function<bool()>& done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    // Waits for the next event rather than spinning; the page's replies and
    // timers wake it, and this tick bounds a wait with nothing to come.
    QTimer tick;
    tick.start(20);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

} // namespace RavoSync::Bench
