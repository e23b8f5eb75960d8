#include "connectlib/common/common.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

namespace ConnectLib {

namespace {

// The entry's file name is the program's own, whatever a setting says, so
// no value can name another program's entry.
const QLatin1String entryFileName("ravosync.desktop");
// Every entry this program writes carries this line; only such an entry is
// ever replaced or removed.
const QLatin1String ownerLine("X-RavoSync-Entry=true");

// Whether path holds an entry this program wrote (or nothing at all).
bool isOwnOrMissing(const QString& path)
{
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // An entry is small; a large file is nobody's entry of ours.
    const QByteArray text = file.read(64 * 1024);
    for (const QByteArray& line : text.split('\n')) {
        if (line.trimmed() == QByteArray(ownerLine.data(), ownerLine.size()))
            return true;
    }
    return false;
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

QString Common::autostartEntryPath()
{
    return autostartFolder() + QLatin1Char('/') + entryFileName;
}

void Common::setApplicationAutostart(QString valueName, bool enable)
{
    const QString folder = autostartFolder();
    const QString path = autostartEntryPath();
    // A file of that name that another program wrote stays as it is.
    if (!isOwnOrMissing(path))
        return;
    if (!enable) {
        QFile::remove(path);
        return;
    }
    if (valueName.trimmed().isEmpty())
        return;

    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=%1\n"
                                         "Exec=%2\n"
                                         "Terminal=false\n"
                                         "%3\n")
                              .arg(escapeValue(valueName),
                                   execValue(QCoreApplication::applicationFilePath()), ownerLine);
    // Written whole or not at all: a half-written entry could start anything.
    QDir().mkpath(folder);
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(entry.toUtf8());
        file.commit();
    }
}

} // namespace ConnectLib
