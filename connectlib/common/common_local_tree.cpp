#include "connectlib/common/common.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileInfoList>

namespace ConnectLib {

namespace {

// Everything in a folder, dot-names, sockets and broken links included.
QFileInfoList entriesOf(const QString& dir)
{
    return QDir(dir).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                   QDir::NoDotAndDotDot);
}

// A folder reached through a symlink belongs to another tree.
bool isRealDirectory(const QFileInfo& info)
{
    return !info.isSymLink() && info.isDir();
}

} // namespace

quint64 Common::getDirTotalSize(QString dir)
{
    quint64 total = 0;
    for (const QFileInfo& entry : entriesOf(dir)) {
        if (entry.isSymLink())
            continue;
        if (entry.isDir())
            total += getDirTotalSize(entry.absoluteFilePath());
        else if (entry.isFile())
            total += quint64(entry.size());
    }
    return total;
}

bool Common::deleteLocalDirectory(const QString& dir)
{
    const QFileInfo self(dir);
    // Checked again at every level, so a folder swapped for a link after it
    // was listed is still removed as a link, never emptied through it.
    if (self.isSymLink())
        return QFile::remove(dir);
    if (!self.isDir())
        return true;

    const QFileInfoList entries = entriesOf(dir);
    for (const QFileInfo& entry : entries) {
        if (!isRealDirectory(entry) && !QFile::remove(entry.absoluteFilePath()))
            return false;
    }
    for (const QFileInfo& entry : entries) {
        if (isRealDirectory(entry) && !deleteLocalDirectory(entry.absoluteFilePath()))
            return false;
    }
    return QDir().rmdir(dir);
}

} // namespace ConnectLib
