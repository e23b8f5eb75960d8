#pragma once

#include <QMap>
#include <QString>

namespace ConnectLib {

// Parses the text of a hosts.conf: one "key=value" per line, judged with its
// CR and LF characters removed. Lines starting with "#" and lines without a
// key before the first "=" are skipped; the value is everything after the
// first "=", so addresses with queries and passwords containing "=" survive.
// Nothing else is trimmed. A later key replaces an earlier one.
QMap<QString, QString> parseHostConfig(const QString& text);

} // namespace ConnectLib
