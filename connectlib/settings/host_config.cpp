#include "connectlib/settings/host_config.h"

#include <QStringList>

namespace ConnectLib {

namespace {
QString withoutLineEnds(QString text)
{
    text.remove(QLatin1Char('\r'));
    text.remove(QLatin1Char('\n'));
    return text;
}
} // namespace

QMap<QString, QString> parseHostConfig(const QString& text)
{
    QMap<QString, QString> table;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString& raw : lines) {
        // Stray CRs (CR LF ends, LF CR ends) are no part of a key: a line
        // is judged without them.
        const QString line = withoutLineEnds(raw);
        const int separator = line.indexOf(QLatin1Char('='));
        if (line.startsWith(QLatin1Char('#')) || separator <= 0)
            continue;
        table.insert(line.left(separator), line.mid(separator + 1));
    }
    return table;
}

} // namespace ConnectLib
