#include "tests/app/support/web_wait.h"

#include "tests/connectlib/support/process_events.h"

#include <QSignalSpy>
#include <QWebFrame>
#include <QWebView>
#include <gtest/gtest.h>

namespace RavoSync::Test {

QVariant evalJs(QWebFrame* frame, const QString& expression)
{
    return frame->evaluateJavaScript(expression);
}

bool waitForJs(QWebFrame* frame, const QString& expression, int timeoutMs)
{
    const bool reached = ConnectLib::Test::processUntil(
        [&] { return frame->evaluateJavaScript(expression).toBool(); }, timeoutMs);
    if (!reached)
        ADD_FAILURE() << "script never became true: " << expression.toStdString();
    return reached;
}

bool loadAndWait(QWebView* view, const QUrl& url, int timeoutMs)
{
    QSignalSpy finished(view, &QWebView::loadFinished);
    view->load(url);
    if (!ConnectLib::Test::processUntil([&] { return !finished.isEmpty(); }, timeoutMs))
        return false;
    return finished.first().at(0).toBool();
}

} // namespace RavoSync::Test
