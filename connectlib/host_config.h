#pragma once

#include <QMap>
#include <QString>

namespace ConnectLib {

// Parses the text of a hosts.conf: one "key=value" per line. Lines starting
// with "#" and lines without a key before the first "=" (line ends do not
// count) are skipped; the value is everything after the first "=", so
// addresses with queries and passwords containing "=" survive. CR and LF are
// removed from key and value, nothing else is trimmed. A later key replaces
// an earlier one.
QMap<QString, QString> parseHostConfig(const QString& text);

} // namespace ConnectLib
