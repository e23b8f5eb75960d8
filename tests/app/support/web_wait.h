#pragma once

#include <QString>
#include <QVariant>

#include <QUrl>

class QWebFrame;
class QWebView;

namespace RavoSync::Test {

// The value of a script expression in frame.
QVariant evalJs(QWebFrame* frame, const QString& expression);

// Processes events until expression is true in frame; false (and a test
// failure naming it) when it is not within timeoutMs.
bool waitForJs(QWebFrame* frame, const QString& expression, int timeoutMs = 20000);

// Loads url into view and processes events until the load ends; true when it
// ended well.
bool loadAndWait(QWebView* view, const QUrl& url, int timeoutMs = 20000);

} // namespace RavoSync::Test
