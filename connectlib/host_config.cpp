#include "connectlib/host_config.h"

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
    for (const QString& line : lines) {
        const int separator = line.indexOf(QLatin1Char('='));
        if (line.startsWith(QLatin1Char('#')) || separator <= 0)
            continue;
        // A stray CR before the "=" is no key either.
        const QString key = withoutLineEnds(line.left(separator));
        if (key.isEmpty())
            continue;
        table.insert(key, withoutLineEnds(line.mid(separator + 1)));
    }
    return table;
}

} // namespace ConnectLib
