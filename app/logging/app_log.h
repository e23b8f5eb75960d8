#pragma once

#include <QString>

namespace ConnectGlobals {

// "[HH:mm:ss.zzz] [pid] " (local time, process id in decimal) followed by
// text: the start of every line the program writes to the log. The program
// keeps its own copy; ktlib's is internal to the library.
QString appendLogPrefix(const QString& text = QString());

// Writes one program line (prefix added) to the process-wide log.
void logLine(const QString& text);

} // namespace ConnectGlobals
