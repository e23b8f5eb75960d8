#pragma once

#include <QString>

namespace ConnectLib {

// "[HH:mm:ss.zzz] [pid] " followed by text: the start of every ktlib log line.
QString appendLogPrefix(const QString& text = QString());

} // namespace ConnectLib
