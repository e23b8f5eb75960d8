#include "connectlib/worker/backup_folders.h"

#include "connectlib/common/clock.h"
#include "connectlib/common/common.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace ConnectLib {

namespace {

QString errnoText(const QString& path)
{
    return path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

// fsync of one file or folder, never following a link.
QString syncPath(const QString& path, bool directory)
{
    const int flags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | (directory ? O_DIRECTORY : 0);
    const int fd = ::open(QFile::encodeName(path).constData(), flags);
    if (fd < 0)
        return errnoText(path);
    const bool synced = ::fsync(fd) == 0;
    const QString failure = synced ? QString() : errnoText(path);
    ::close(fd);
    return failure;
}

QString renamePath(const QString& from, const QString& to, unsigned int how)
{
    if (::renameat2(AT_FDCWD, QFile::encodeName(from).constData(), AT_FDCWD,
                    QFile::encodeName(to).constData(), how) != 0)
        return errnoText(from);
    return QString();
}

} // namespace

QString backupStagingFolder(const QString& backupDir)
{
    return backupDir + QStringLiteral(".partial");
}

QString restoringMarker(const QString& backupDir)
{
    return backupDir + QStringLiteral(".restoring");
}

QString syncFolderTree(const QString& dir)
{
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isSymLink())
            continue;
        const QString failure = syncPath(path, info.isDir());
        if (!failure.isEmpty())
            return failure;
    }
    return syncPath(dir, true);
}

QString swapInFolder(const QString& staging, const QString& target)
{
    const QString parent = QFileInfo(target).path();
    QString failure;
    if (!QFileInfo::exists(target)) {
        failure = renamePath(staging, target, 0);
    } else if (renamePath(staging, target, RENAME_EXCHANGE).isEmpty()) {
        // staging now holds the previous backup.
        Common::deleteLocalDirectory(staging);
    } else {
        // A file system without the exchange: the previous backup steps
        // aside first and comes back when the new one cannot take its place.
        const QString previous = target + QStringLiteral(".previous");
        Common::deleteLocalDirectory(previous);
        failure = renamePath(target, previous, 0);
        if (failure.isEmpty()) {
            failure = renamePath(staging, target, 0);
            if (failure.isEmpty())
                Common::deleteLocalDirectory(previous);
            else
                renamePath(previous, target, 0);
        }
    }
    if (failure.isEmpty())
        failure = syncPath(parent, true);
    return failure;
}

QString moveBackupAside(const QString& backupDir)
{
    const QString stamp = Clock::now().toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    QString aside = backupDir + QStringLiteral("-restore-failed-") + stamp;
    for (int n = 2; QFileInfo::exists(aside) || QFileInfo(aside).isSymLink(); ++n)
        aside = backupDir + QStringLiteral("-restore-failed-") + stamp + QLatin1Char('-') +
                QString::number(n);
    // RENAME_NOREPLACE: never over something that appeared meanwhile.
    if (!renamePath(backupDir, aside, RENAME_NOREPLACE).isEmpty())
        return QString();
    syncPath(QFileInfo(backupDir).path(), true);
    return aside;
}

} // namespace ConnectLib
