#include "connectlib/worker/tc_worker.h"

#include "connectlib/common/common.h"
#include "connectlib/logging/log_prefix.h"
#include "connectlib/logging/logger.h"
#include "connectlib/worker/backup_catch_families.h"
#include "connectlib/worker/entry_file_count.h"
#include "connectlib/worker/session_guard.h"
#include "connectlib/worker/worker_frame.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTime>

#include <sstream>

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

// Creates a folder of the running backup; never one outside it.
bool makeBackupFolder(const QString& root, const QString& path)
{
    const QString cleaned = QDir::cleanPath(path);
    if (cleaned != QDir::cleanPath(root) && !Common::isInsideDirectory(root, cleaned))
        return false;
    return QDir().mkpath(cleaned);
}

// The paths a requested data path with the date tag selects below the folder
// that holds the day folders.
QStringList dailySelection(TCWorker& worker, const QString& requested, const QDate& from)
{
    const QStringList parts = requested.split(dateTag, Qt::KeepEmptyParts, Qt::CaseSensitive);
    const QString base = parts.at(0);
    const QString rest = parts.value(1);
    TCEntryItem node(base, nullptr);
    const CPStateFlags read = worker.readEntryTree(&node);
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
                            collected.append(inner->absolutePath() + QLatin1Char('/') + fileName);
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
    QStringList requestedPaths = listOfDirs.split(QLatin1Char(','), Qt::KeepEmptyParts);
    if (listOfDirs.contains(QStringLiteral("[USER]"))) {
        TCEntryItem users(QStringLiteral("/U"), nullptr);
        QStringList ids;
        if (readEntryTree(&users).testFlag(OK)) {
            for (int i = 0; i < users.childCount(); ++i) {
                if (users.child(i)->type() == TCEntryItem::Directory)
                    ids.append(users.child(i)->entryName());
            }
        }
        requestedPaths = Common::replaceUserTags(requestedPaths, ids);
    }
    const QString backupDir = backups + QLatin1Char('/') + data.deviceIdAsHexString();
    Common::deleteLocalDirectory(backupDir);
    waitSeconds(1);

    m_exportRoot = backupDir;
    CPStateFlags flags;
    // The early end: a local folder that cannot be made.
    const auto fail = [&](const QString& dir, const QString& reported) {
        m_exportRoot.clear();
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
        if (Common::isFilePath(requested) && !requested.contains(dateTag)) {
            const QString dataPath = requested.left(requested.lastIndexOf(QLatin1Char('/')));
            if (!makeBackupFolder(backupDir, backupDir + dataPath)) {
                fail(dataPath, backupDir);
                return;
            }
            const CPStateFlags result = exportFile(requested, backupDir + requested);
            flags |= result;
            if (result.testFlag(FILE_OPERATION_FAILED))
                logText(QStringLiteral("Export failed with data path ") + requested +
                        QStringLiteral(" to ") + dataPath + QStringLiteral(" State: ") +
                        Common::stringFromStateFlags(result));
            continue;
        }
        const QStringList paths = requested.contains(dateTag)
                                      ? dailySelection(*this, requested, fromDate)
                                      : QStringList{requested};
        for (const QString& path : paths) {
            TCEntryItem node(path, nullptr);
            // A file's folder is the text before its last "/", even when its
            // name also appears earlier in the path.
            const QString dataPath =
                backupDir + (node.type() == TCEntryItem::File
                                 ? path.left(path.lastIndexOf(QLatin1Char('/')))
                                 : path);
            if (!makeBackupFolder(backupDir, dataPath)) {
                fail(dataPath, QString());
                return;
            }
            // A file has nothing to list: its export reads it.
            const CPStateFlags read =
                node.type() == TCEntryItem::File ? CPStateFlags(OK) : readEntryTree(&node);
            if (read.testFlag(OK) && exportEntryTree(data, &node, dataPath)) {
                logText(QStringLiteral("Export done ") + path + QStringLiteral(" to ") + dataPath);
                flags |= OK;
            } else {
                logText(QStringLiteral("Export failed with data path ") + path +
                        QStringLiteral(" to ") + dataPath + QStringLiteral("State: ") +
                        Common::stringFromStateFlags(read));
            }
        }
    }
    m_exportRoot.clear();
    emit SIGNAL_backupDone(data, backupDir, flags);
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
            logText(QStringLiteral("Unable to open file for writing: ") + localPath);
            return fileFailure;
        }
        if (file.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()) ||
            !file.flush()) {
            logText(QStringLiteral("Write failed for file: ") + localPath);
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
    if (node->childCount() == 0 && node->type() == TCEntryItem::File)
        return !exportFile(node->absolutePath(), localDir + QLatin1Char('/') + node->entryName())
                    .testFlag(FILE_OPERATION_FAILED);
    for (int i = 0; i < node->childCount(); ++i) {
        TCEntryItem* child = node->child(i);
        const QString target = localDir + QLatin1Char('/') + child->entryName();
        if (child->type() == TCEntryItem::File) {
            if (exportFile(child->absolutePath(), target).testFlag(FILE_OPERATION_FAILED))
                return false;
        } else if (child->type() == TCEntryItem::Directory) {
            if (!makeBackupFolder(m_exportRoot, target)) {
                logText(QStringLiteral("Unable to create folder: ") + target);
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
    m_importFailures = CPStateFlags();
    m_importFailed = false;
    const bool walked = uploadEntryTree(data, &tree, QString());
    m_rootPath = previousRoot;
    // Every file not written fails the import; the backup is kept for
    // another attempt.
    if (!walked || m_importFailed) {
        logText(QStringLiteral("Import failed with data path ") + backupDir);
        emit SIGNAL_backupRevertDone(data, fileFailure | m_importFailures);
        return;
    }
    Common::deleteLocalDirectory(dir);
    emit SIGNAL_backupRevertDone(data, OK);
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
