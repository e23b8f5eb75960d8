#include "connectlib/common/common.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

namespace ConnectLib {

namespace {

// The value is a file name in the autostart folder; anything that could
// name another place is refused.
bool isPlainFileName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

// Escapes of a desktop entry string value.
QString escapeValue(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar ch : text) {
        switch (ch.unicode()) {
        case '\\':
            escaped += QLatin1String("\\\\");
            break;
        case '\n':
            escaped += QLatin1String("\\n");
            break;
        case '\t':
            escaped += QLatin1String("\\t");
            break;
        case '\r':
            escaped += QLatin1String("\\r");
            break;
        default:
            escaped += ch;
        }
    }
    return escaped;
}

// The program as one quoted Exec argument: inside double quotes ", `, $ and
// \ take a backslash, and % is doubled so it is not read as a field code.
// The string value escapes apply on top, as readers undo them first.
QString execValue(const QString& program)
{
    QString quoted = QStringLiteral("\"");
    for (const QChar ch : program) {
        if (ch == QLatin1Char('"') || ch == QLatin1Char('`') || ch == QLatin1Char('$') ||
            ch == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        if (ch == QLatin1Char('%'))
            quoted += QLatin1Char('%');
        quoted += ch;
    }
    quoted += QLatin1Char('"');
    return escapeValue(quoted);
}

QString autostartFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart");
}

} // namespace

void Common::setApplicationAutostart(QString valueName, bool enable)
{
    if (!isPlainFileName(valueName))
        return;
    const QString folder = autostartFolder();
    const QString path = folder + QLatin1Char('/') + valueName + QStringLiteral(".desktop");
    if (!enable) {
        QFile::remove(path);
        return;
    }

    const QString entry =
        QStringLiteral("[Desktop Entry]\n"
                       "Type=Application\n"
                       "Name=%1\n"
                       "Exec=%2\n"
                       "Terminal=false\n")
            .arg(escapeValue(valueName), execValue(QCoreApplication::applicationFilePath()));
    // Written whole or not at all: a half-written entry could start anything.
    QDir().mkpath(folder);
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(entry.toUtf8());
        file.commit();
    }
}

} // namespace ConnectLib
