#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

namespace ConnectGlobals {

// What the log says about a finished reply, as texts (empty: no line).

// "Reply: <path>, status: <n>, reason: <r>, <error name>", with
// ", redirected to: <target>" for a 302 that names one; nothing for status
// 200, "qrc:" addresses, pictures, ".json" and translation files.
QString replyLogLine(const QUrl& address, int status, const QString& reason, int error,
                     const QUrl& redirectTarget);

// "Content:\n <text>..." with the body's first 150 characters (NUL, line
// feed, tab and carriage return removed) when force is set (the reply
// failed) or the status is above 300; nothing for the addresses above or an
// empty text.
QString replyContentLogLine(const QString& address, const QByteArray& body, int status, bool force);

} // namespace ConnectGlobals
