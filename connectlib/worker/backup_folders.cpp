#include "connectlib/worker/backup_folders.h"

#include "connectlib/common/clock.h"
#include "connectlib/common/common.h"
#include "connectlib/logging/log_prefix.h"
#include "connectlib/logging/logger.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace ConnectLib {

namespace {

std::mutex faultMutex;
std::function<int(BackupCall, const QString&)> callFault;

// False, with errno set, when a test fails this call.
bool allowed(BackupCall call, const QString& path)
{
    std::function<int(BackupCall, const QString&)> fault;
    {
        const std::lock_guard<std::mutex> lock(faultMutex);
        fault = callFault;
    }
    const int error = fault ? fault(call, path) : 0;
    errno = error;
    return error == 0;
}

void logText(const QString& text)
{
    Logger::instance()->logPrint(appendLogPrefix(text));
}

QString errnoText(const QString& path)
{
    return path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

bool exists(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// The folder's identity on its file system, which a rename keeps.
QString folderIdentity(const QString& path)
{
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISDIR(status.st_mode))
        return QString();
    return QString::number(quint64(status.st_dev)) + QLatin1Char(':') +
           QString::number(quint64(status.st_ino));
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
    if (!allowed(how == RENAME_EXCHANGE ? BackupCall::Exchange : BackupCall::Rename, from))
        return errnoText(from);
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
            else if (!renamePath(previous, target, 0).isEmpty())
                logText(QStringLiteral("Could not put the previous backup back: ") + previous);
        }
    }
    if (failure.isEmpty())
        failure = syncPath(parent, true);
    return failure;
}

bool recoverCutSwap(const QString& target)
{
    const QString previous = target + QStringLiteral(".previous");
    if (!exists(previous))
        return true;
    const QString parent = QFileInfo(target).path();
    if (exists(target)) {
        // The swap ended; only its clean-up was cut.
        Common::deleteLocalDirectory(previous);
        return true;
    }
    // The staging folder was complete and on the disk before the previous
    // backup stepped aside, so it is the newest complete copy.
    const QString staging = backupStagingFolder(target);
    if (QFileInfo(staging).isDir() && !QFileInfo(staging).isSymLink() &&
        renamePath(staging, target, 0).isEmpty()) {
        syncPath(parent, true);
        Common::deleteLocalDirectory(previous);
        logText(QStringLiteral("Completed a backup swap that was cut: ") + target);
        return true;
    }
    const QString failure = renamePath(previous, target, 0);
    if (failure.isEmpty()) {
        syncPath(parent, true);
        logText(QStringLiteral("Rolled back a backup swap that was cut: ") + target);
        return true;
    }
    logText(QStringLiteral("Could not complete or roll back a backup swap that was cut: ") +
            failure);
    return false;
}

QString writeRestoringMarker(const QString& backupDir)
{
    const QString marker = restoringMarker(backupDir);
    const QByteArray identity = folderIdentity(backupDir).toLatin1() + '\n';
    if (!allowed(BackupCall::CreateMark, marker))
        return errnoText(marker);
    const int fd = ::open(QFile::encodeName(marker).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return errnoText(marker);
    const bool written = ::write(fd, identity.constData(), std::size_t(identity.size())) ==
                             ssize_t(identity.size()) &&
                         ::fsync(fd) == 0;
    const QString failure = written ? QString() : errnoText(marker);
    ::close(fd);
    if (!failure.isEmpty())
        return failure;
    return syncPath(QFileInfo(marker).path(), true);
}

QString removeRestoringMarker(const QString& backupDir)
{
    const QString marker = restoringMarker(backupDir);
    if (!exists(marker))
        return QString();
    if (!allowed(BackupCall::RemoveMark, marker) ||
        ::unlink(QFile::encodeName(marker).constData()) != 0)
        return errnoText(marker);
    return QString();
}

bool markerGuards(const QString& backupDir)
{
    const QString marker = restoringMarker(backupDir);
    if (!exists(marker))
        return false;
    QFile file(marker);
    if (!file.open(QIODevice::ReadOnly))
        return true;
    const QString named = QString::fromLatin1(file.read(64)).trimmed();
    return named.isEmpty() || named == folderIdentity(backupDir);
}

void setBackupCallFault(std::function<int(BackupCall, const QString& path)> fault)
{
    const std::lock_guard<std::mutex> lock(faultMutex);
    callFault = std::move(fault);
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
