#include "connectlib/worker/tc_worker.h"

#include "connectlib/common/common.h"
#include "connectlib/logging/log_prefix.h"
#include "connectlib/logging/logger.h"
#include "connectlib/worker/backup_catch_families.h"
#include "connectlib/worker/backup_folders.h"
#include "connectlib/worker/entry_file_count.h"
#include "connectlib/worker/session_guard.h"
#include "connectlib/worker/worker_frame.h"
#include "devicelib/platform/sleep_block.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTime>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <unistd.h>

namespace ConnectLib {

namespace {

constexpr CPStateFlags fileFailure = GENERAL_ERROR | FILE_OPERATION_FAILED;
constexpr CPStateFlags folderFailure = GENERAL_ERROR | FILE_OR_DIR_NOT_FOUND;
const QString dateTag = QStringLiteral("/[YYYYMMDD]");
const QString timeTag = QStringLiteral("[HHMMSS]");

void logText(const QString& text)
{
    Logger::instance()->logPrint(appendLogPrefix(text));
}

std::string utf8(const QString& text)
{
    return text.toUtf8().toStdString();
}

// A page's path text that climbs or stays put ("." or "..") would place
// files outside the backup folder or twice inside it.
bool hasDotComponent(const QString& requested)
{
    const QStringList parts = requested.split(QLatin1Char('/'));
    return parts.contains(QStringLiteral(".")) || parts.contains(QStringLiteral(".."));
}

// The device has no such path (its listing or read answered "not found"):
// nothing to back up, no failure.
bool isAbsent(CPStateFlags flags)
{
    return (flags & ~CPStateFlags(FILE_OPERATION_FAILED)) == FILE_OR_DIR_NOT_FOUND;
}

// Creates a folder of the running backup; never one outside it.
bool makeBackupFolder(const QString& root, const QString& path)
{
    const QString cleaned = QDir::cleanPath(path);
    if (cleaned != QDir::cleanPath(root) && !Common::isInsideDirectory(root, cleaned))
        return false;
    return QDir().mkpath(cleaned);
}

// The name the device gave a file child found ignoring case: the device
// reads it only under that name.
QString fileNamed(const TCEntryItem* directory, const QString& name)
{
    for (int row = 0; row < directory->childCount(); ++row) {
        const TCEntryItem* child = directory->child(row);
        if (child->type() == TCEntryItem::File &&
            child->entryName().compare(name, Qt::CaseInsensitive) == 0)
            return child->entryName();
    }
    return name;
}

// The paths a requested data path with the date tag selects below the folder
// that holds the day folders.
QStringList dailySelection(TCWorker& worker, const QString& requested, const QDate& from,
                           CPStateFlags& read)
{
    const QStringList parts = requested.split(dateTag, Qt::KeepEmptyParts, Qt::CaseSensitive);
    const QString base = parts.at(0);
    const QString rest = parts.value(1);
    TCEntryItem node(base, nullptr);
    read = worker.readEntryTree(&node);
    if (!read.testFlag(OK)) {
        logText(QStringLiteral("Export failed with data path ") + requested +
                QStringLiteral(" State: ") + Common::stringFromStateFlags(read));
        return {};
    }
    const QString tail = rest.startsWith(QLatin1Char('/')) ? rest.mid(1) : rest;
    QString fileName;
    bool byTime = false;
    QStringList restParts = rest.split(QLatin1Char('/'));
    if (restParts.size() > 2) {
        if (restParts.last().endsWith(QStringLiteral(".BPB")))
            fileName = restParts.takeLast();
        byTime = restParts.contains(timeTag);
    }

    QStringList collected;
    for (int i = 0; i < node.childCount(); ++i) {
        const TCEntryItem* day = node.child(i);
        if (!worker.isDailyFolderName(day->entryName()))
            continue;
        const QDate date = QDate::fromString(day->entryName(), QStringLiteral("yyyyMMdd"));
        for (int j = 0; j < day->childCount(); ++j) {
            const TCEntryItem* sub = day->child(j);
            if (sub->type() != TCEntryItem::Directory)
                continue;
            if (sub->entryName() == QLatin1String("E")) {
                if (!byTime)
                    continue;
                for (int k = 0; k < sub->childCount(); ++k) {
                    const TCEntryItem* time = sub->child(k);
                    if (time->entryName().size() != 6 ||
                        !QTime::fromString(time->entryName(), QStringLiteral("hhmmss")).isValid())
                        continue;
                    for (int m = 0; m < time->childCount(); ++m) {
                        TCEntryItem* inner = time->child(m);
                        if (inner->type() == TCEntryItem::Directory && !fileName.isEmpty() &&
                            worker.hasFileChild(inner, fileName) &&
                            (!from.isValid() || date >= from))
                            collected.append(inner->absolutePath() + QLatin1Char('/') +
                                             fileNamed(inner, fileName));
                    }
                }
            } else if (sub->entryName().endsWith(tail, Qt::CaseInsensitive)) {
                collected.append(base + QLatin1Char('/') + day->entryName() + QLatin1Char('/') +
                                 tail);
            }
        }
    }
    return collected;
}

} // namespace

void TCWorker::SLOT_doBackup(ConnectLib::TCData data, QString listOfDirs, QString from, QString to)
{
    const QDate fromDate = QDate::fromString(from, QStringLiteral("yyyy-MM-dd"));
    // Read as the pages send it; no folder is left out because of it.
    const QDate toDate = QDate::fromString(to, QStringLiteral("yyyy-MM-dd"));
    Q_UNUSED(toDate)
    if (m_local || listOfDirs.isEmpty()) {
        emit SIGNAL_backupDone(data, QString(), GENERAL_ERROR);
        return;
    }
    const QString backups = Common::getBackupDataPath();
    if (backups.isEmpty()) {
        logText(QStringLiteral("No private working folder for backups."));
        emit SIGNAL_backupDone(data, QString(), folderFailure);
        return;
    }
    // Every failed step's flags (each with FILE_OPERATION_FAILED); the
    // backup is OK only when there is none.
    CPStateFlags failures;
    const auto failed = [&failures](CPStateFlags cause) {
        failures |= FILE_OPERATION_FAILED | (cause & ~CPStateFlags(OK));
    };
    QStringList requestedPaths = listOfDirs.split(QLatin1Char(','), Qt::KeepEmptyParts);
    if (listOfDirs.contains(QStringLiteral("[USER]"))) {
        TCEntryItem users(QStringLiteral("/U"), nullptr);
        QStringList ids;
        const CPStateFlags read = readEntryTree(&users);
        if (read.testFlag(OK)) {
            for (int i = 0; i < users.childCount(); ++i) {
                if (users.child(i)->type() == TCEntryItem::Directory)
                    ids.append(users.child(i)->entryName());
            }
        } else if (!isAbsent(read)) {
            logText(QStringLiteral("Could not list the users for the backup. State: ") +
                    Common::stringFromStateFlags(read));
            failed(read);
        }
        requestedPaths = Common::replaceUserTags(requestedPaths, ids);
    }
    const QString backupDir = backups + QLatin1Char('/') + data.deviceIdAsHexString();
    // The new backup is written beside the previous one, which stays until
    // the new one is complete and on the disk.
    const QString staging = backupStagingFolder(backupDir);
    // A swap cut between its renames is settled first: its staging folder
    // may be the newest complete backup.
    if (!recoverCutSwap(backupDir)) {
        emit SIGNAL_backupDone(data, backupDir, fileFailure);
        return;
    }
    Common::deleteLocalDirectory(staging);
    waitSeconds(1);
    if (!QDir().mkpath(staging)) {
        logText(QStringLiteral("Could not create dir for backups ") + staging);
        emit SIGNAL_backupDone(data, backupDir, folderFailure);
        return;
    }

    m_exportRoot = staging;
    bool accepted = false;
    // The early end: a local folder that cannot be made.
    const auto fail = [&](const QString& dir, const QString& reported) {
        m_exportRoot.clear();
        Common::deleteLocalDirectory(staging);
        logText(QStringLiteral("Could not create dir for backups ") + dir);
        emit SIGNAL_backupDone(data, reported, folderFailure);
    };
    for (const QString& requested : qAsConst(requestedPaths)) {
        if (!requested.startsWith(QLatin1Char('/'))) {
            logText(QStringLiteral("Data path no good. Must start with '/'. Now ") + requested);
            continue;
        }
        if (hasDotComponent(requested)) {
            logText(QStringLiteral("Data path refused, it holds a \".\" or \"..\" part: ") +
                    requested);
            continue;
        }
        accepted = true;
        if (Common::isFilePath(requested) && !requested.contains(dateTag)) {
            const QString dataPath = requested.left(requested.lastIndexOf(QLatin1Char('/')));
            if (!makeBackupFolder(staging, staging + dataPath)) {
                fail(dataPath, backupDir);
                return;
            }
            const CPStateFlags result = exportFile(requested, staging + requested);
            if (isAbsent(result)) {
                logText(QStringLiteral("Not on the device, nothing to back up: ") + requested);
            } else if (result.testFlag(FILE_OPERATION_FAILED)) {
                failed(result);
                logText(QStringLiteral("Export failed with data path ") + requested +
                        QStringLiteral(" to ") + dataPath + QStringLiteral(" State: ") +
                        Common::stringFromStateFlags(result));
            }
            continue;
        }
        QStringList paths{requested};
        if (requested.contains(dateTag)) {
            CPStateFlags read;
            paths = dailySelection(*this, requested, fromDate, read);
            if (!read.testFlag(OK) && !isAbsent(read))
                failed(read);
        }
        for (const QString& path : qAsConst(paths)) {
            TCEntryItem node(path, nullptr);
            // A file's folder is the text before its last "/", even when its
            // name also appears earlier in the path.
            const QString dataPath = staging + (node.type() == TCEntryItem::File
                                                    ? path.left(path.lastIndexOf(QLatin1Char('/')))
                                                    : path);
            if (!makeBackupFolder(staging, dataPath)) {
                fail(dataPath, QString());
                return;
            }
            // A file has nothing to list: its export reads it.
            CPStateFlags result =
                node.type() == TCEntryItem::File ? CPStateFlags(OK) : readEntryTree(&node);
            if (result.testFlag(OK)) {
                m_exportFailure = CPStateFlags();
                if (exportEntryTree(data, &node, dataPath)) {
                    logText(QStringLiteral("Export done ") + path + QStringLiteral(" to ") +
                            dataPath);
                    continue;
                }
                // A listed file that cannot be read is a failure; only a
                // requested file the device does not have is absent.
                if (node.type() == TCEntryItem::File || !isAbsent(m_exportFailure))
                    result = m_exportFailure;
                else
                    result = m_exportFailure | GENERAL_ERROR;
            }
            if (isAbsent(result)) {
                logText(QStringLiteral("Not on the device, nothing to back up: ") + path);
                continue;
            }
            failed(result);
            logText(QStringLiteral("Export failed with data path ") + path +
                    QStringLiteral(" to ") + dataPath + QStringLiteral(" State: ") +
                    Common::stringFromStateFlags(result));
        }
    }
    m_exportRoot.clear();

    if (!failures && accepted) {
        // On the disk before anyone is told the backup is there: the reset
        // that follows erases the device.
        QString failure = syncFolderTree(staging);
        if (failure.isEmpty())
            failure = keepBackupAside(backupDir);
        if (failure.isEmpty())
            failure = swapInFolder(staging, backupDir);
        if (failure.isEmpty()) {
            logText(QStringLiteral("Backup complete: ") + backupDir);
            emit SIGNAL_backupDone(data, backupDir, OK);
            return;
        }
        logText(QStringLiteral("Could not store the backup: ") + failure);
        failed(GENERAL_ERROR);
    }
    // A swap whose way back failed too keeps its staging folder for the
    // next run.
    if (recoverCutSwap(backupDir))
        Common::deleteLocalDirectory(staging);
    if (failures)
        logText(QStringLiteral("Backup failed, the previous backup is kept. State: ") +
                Common::stringFromStateFlags(failures));
    emit SIGNAL_backupDone(data, backupDir, failures);
}

ConnectLib::CPStateFlags TCWorker::exportFile(QString devicePath, QString localPath)
{
    if (m_local)
        return fileFailure;
    if (!Common::isInsideDirectory(m_exportRoot, localPath)) {
        logText(QStringLiteral("Refused an export outside the backup folder: ") + localPath);
        return fileFailure;
    }
    CPStateFlags flags;
    runDeviceCall(*m_guard, exportFamily(), flags, [&](zarvo::session& session) {
        std::ostringstream stream(std::ios::out | std::ios::binary);
        session.read(utf8(devicePath), stream);
        // Opened only once the device gave the whole file, so a failed read
        // leaves no local file behind.
        const std::string bytes = stream.str();
        QFile file(localPath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            logText(QStringLiteral("Unable to open file for writing: ") + localPath +
                    QStringLiteral(": ") + file.errorString());
            return fileFailure;
        }
        // Flushed to the disk here: a full disk or a failing one shows now,
        // not after the backup was reported.
        if (file.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()) ||
            !file.flush() || ::fsync(file.handle()) != 0) {
            const QString reason = file.error() != QFileDevice::NoError
                                       ? file.errorString()
                                       : QString::fromLocal8Bit(std::strerror(errno));
            logText(QStringLiteral("Write failed for file: ") + localPath + QStringLiteral(": ") +
                    reason);
            file.remove();
            return fileFailure;
        }
        return CPStateFlags(OK);
    });
    return flags;
}

bool TCWorker::exportEntryTree(ConnectLib::TCData& data, ConnectLib::TCEntryItem* node,
                               QString localDir)
{
    const auto exported = [this](const QString& devicePath, const QString& localPath) {
        const CPStateFlags result = exportFile(devicePath, localPath);
        if (!result.testFlag(FILE_OPERATION_FAILED))
            return true;
        m_exportFailure = result;
        return false;
    };
    if (node->childCount() == 0 && node->type() == TCEntryItem::File)
        return exported(node->absolutePath(), localDir + QLatin1Char('/') + node->entryName());
    for (int i = 0; i < node->childCount(); ++i) {
        TCEntryItem* child = node->child(i);
        const QString target = localDir + QLatin1Char('/') + child->entryName();
        if (child->type() == TCEntryItem::File) {
            if (!exported(child->absolutePath(), target))
                return false;
        } else if (child->type() == TCEntryItem::Directory) {
            if (!makeBackupFolder(m_exportRoot, target)) {
                logText(QStringLiteral("Unable to create folder: ") + target);
                m_exportFailure = fileFailure;
                return false;
            }
            if (!exportEntryTree(data, child, target))
                return false;
        }
    }
    return true;
}

void TCWorker::SLOT_revertBackup(ConnectLib::TCData data, QString backupDir)
{
    if (m_local) {
        emit SIGNAL_backupRevertDone(data, fileFailure);
        return;
    }
    if (backupDir.isEmpty()) {
        emit SIGNAL_backupRevertDone(data, GENERAL_ERROR);
        return;
    }
    // Only a device folder of the backups, never a page's choice of any
    // folder to upload and then delete.
    const QString backups = Common::getBackupDataPath();
    const QString dir = QDir::cleanPath(QDir(backupDir).absolutePath());
    const bool besideBackups =
        !backups.isEmpty() &&
        QDir::cleanPath(QFileInfo(dir).path()) == QDir::cleanPath(QDir(backups).absolutePath());
    // A backup a cut swap left beside its place is restored from its place.
    if (besideBackups)
        recoverCutSwap(dir);
    const QFileInfo info(dir);
    if (backups.isEmpty() || !Common::isInsideDirectory(backups, dir) ||
        QDir::cleanPath(info.path()) != QDir::cleanPath(QDir(backups).absolutePath()) ||
        info.isSymLink() || !info.isDir()) {
        logText(QStringLiteral("Refused a backup folder outside the backups: ") + backupDir);
        emit SIGNAL_backupRevertDone(data, fileFailure);
        return;
    }

    TCEntryItem tree(dir, nullptr);
    const QString previousRoot = m_rootPath;
    m_rootPath = dir;
    readLocalEntries(&tree, QDir(dir));
    if (countEntryFiles(&tree) == 0) {
        m_rootPath = previousRoot;
        logText(QStringLiteral("Nothing to import with data path ") + backupDir);
        emit SIGNAL_backupRevertDone(data, GENERAL_ERROR);
        return;
    }
    // A restore cut off half-way leaves the device with part of its data.
    const zarvo::platform::sleep_block noSleep =
        zarvo::platform::block_sleep("Restoring a device backup");
    // Until the restore succeeds the mark keeps this backup from the next
    // backup, also when the process ends mid-way; without it the device is
    // not touched.
    const QString unmarked = writeRestoringMarker(dir);
    if (!unmarked.isEmpty()) {
        m_rootPath = previousRoot;
        logText(QStringLiteral("Restore not started, its mark could not be written: ") + unmarked);
        emit SIGNAL_backupRevertDone(data, fileFailure);
        return;
    }
    m_importFailures = CPStateFlags();
    m_importFailed = false;
    const bool walked = uploadEntryTree(data, &tree, QString());
    m_rootPath = previousRoot;
    // Every file not written fails the import; the backup stays where the
    // page's retry finds it, with its mark, which the next backup honours.
    if (!walked || m_importFailed) {
        logText(QStringLiteral("Import failed with data path ") + backupDir);
        emit SIGNAL_backupRevertDone(data, fileFailure | m_importFailures);
        return;
    }
    Common::deleteLocalDirectory(dir);
    dropRestoringMarker(dir);
    emit SIGNAL_backupRevertDone(data, OK);
}

void TCWorker::dropRestoringMarker(const QString& backupDir)
{
    const QString failure = removeRestoringMarker(backupDir);
    if (!failure.isEmpty())
        logText(QStringLiteral("Could not remove the restore mark ") + failure);
}

QString TCWorker::keepBackupAside(const QString& backupDir)
{
    const QFileInfo marker(restoringMarker(backupDir));
    if (!marker.exists() && !marker.isSymLink())
        return QString();
    // The mark's backup was restored or has gone: it guards nothing here, and
    // a mark that cannot be removed costs no copy of a later backup.
    if (!QFileInfo::exists(backupDir) || !markerGuards(backupDir)) {
        dropRestoringMarker(backupDir);
        return QString();
    }
    const QString aside = moveBackupAside(backupDir);
    if (aside.isEmpty()) {
        const QString failure = QStringLiteral("Could not move aside the backup whose restore "
                                               "failed: ") +
                                backupDir;
        logText(failure);
        return failure;
    }
    dropRestoringMarker(backupDir);
    logText(QStringLiteral("The backup whose restore failed is kept as ") + aside);
    return QString();
}

bool TCWorker::uploadEntryTree(ConnectLib::TCData& data, ConnectLib::TCEntryItem* node,
                               QString devicePath)
{
    bool result = true;
    const auto failed = [&](CPStateFlags cause) {
        m_importFailed = true;
        m_importFailures |= cause;
        if (cause & restoreStopCauses)
            result = false;
    };
    for (int i = 0; i < node->childCount(); ++i) {
        TCEntryItem* child = node->child(i);
        if (child->type() == TCEntryItem::File) {
            try {
                putLocalFile(m_rootPath + child->absolutePath(), child->absolutePath());
            } catch (const zarvo::exception& error) {
                failed(restoreFileFamily().handle(error, CPStateFlags()));
            } catch (const std::exception& error) {
                failed(restoreFileFamily().handle(error, CPStateFlags()));
            }
            // After a lost link, a cancel or a full disk the next writes
            // would only fail, or reach a device that came back changed.
            if (!result)
                return false;
        } else if (child->type() == TCEntryItem::Directory) {
            const QString newPath = devicePath + QLatin1Char('/') + child->entryName();
            // Held until the folder's whole subtree is written.
            SessionPointer session = m_guard->getSessionPointer();
            bool enter = true;
            try {
                // An existing folder is simply used.
                session->create(utf8(newPath));
            } catch (const zarvo::exception& error) {
                const CPStateFlags cause = restoreDirectoryFamily().handle(error, CPStateFlags());
                enter = restoreEntersAnyway(cause);
                if (!enter)
                    failed(cause);
            } catch (const std::exception& error) {
                failed(restoreDirectoryFamily().handle(error, CPStateFlags()));
                enter = false;
            }
            if (enter && !uploadEntryTree(data, child, newPath))
                return false;
        }
    }
    return result;
}

} // namespace ConnectLib
