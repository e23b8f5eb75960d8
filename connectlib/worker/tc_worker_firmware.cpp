#include "connectlib/worker/tc_worker.h"

#include "connectlib/common/common.h"
#include "connectlib/common/firmware_lock.h"
#include "connectlib/logging/log_prefix.h"
#include "connectlib/logging/logger.h"
#include "connectlib/worker/entry_file_count.h"
#include "connectlib/worker/firmware_catch_families.h"
#include "connectlib/worker/local_entry_tree.h"
#include "connectlib/worker/session_guard.h"
#include "connectlib/worker/worker_frame.h"
#include "devicelib/errors/errors.h"
#include "devicelib/platform/sleep_block.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <limits>
#include <mutex>
#include <stdexcept>

namespace ConnectLib {

namespace {

constexpr CPStateFlags firmwareFailure = FW_UPDATE_FAILED | GENERAL_ERROR;
constexpr CPStateFlags noRoom = FW_UPDATE_FAILED | DISK_FULL;
constexpr CPStateFlags folderMissing = FILE_OR_DIR_NOT_FOUND | GENERAL_ERROR;
constexpr quint64 allOnes = std::numeric_limits<quint64>::max();

void logText(const QString& text)
{
    Logger::instance()->logPrint(appendLogPrefix(text));
}

std::string utf8(const QString& text)
{
    return text.toUtf8().toStdString();
}

QFileInfoList entriesOf(const QString& dir)
{
    return QDir(dir).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                       QDir::NoDotAndDotDot,
                                   QDir::Name | QDir::IgnoreCase);
}

// A top-level entry of the firmware folder by name, ignoring case, as the
// archives name them in either case. Links are never taken.
QString findEntry(const QString& fw, const QString& name, bool directory)
{
    for (const QFileInfo& info : entriesOf(fw)) {
        if (info.isSymLink() || info.fileName().compare(name, Qt::CaseInsensitive) != 0)
            continue;
        if (directory ? info.isDir() : info.isFile())
            return info.absoluteFilePath();
    }
    return QString();
}

// A file the program downloaded: a regular file, not a link, in the private
// working folder, so a page cannot send any readable file to a device.
bool isDownloadedFile(const QString& file)
{
    const QString temp = Common::getTempFilesDataPath();
    if (temp.isEmpty()) {
        logText(QStringLiteral("No private working folder for update files."));
        return false;
    }
    const QFileInfo info(file);
    if (info.isSymLink() || !info.isFile() ||
        !Common::isInsideDirectory(QFileInfo(temp).canonicalFilePath(), info.canonicalFilePath())) {
        logText(QStringLiteral("Refused an update file outside the working folder: ") + file);
        return false;
    }
    return true;
}

// Empties dir, keeping only keep (and the folders on its way), so an
// extraction never mixes with an earlier archive's files.
bool clearKeeping(const QString& dir, const QString& keep)
{
    bool cleared = true;
    for (const QFileInfo& info : entriesOf(dir)) {
        const QString path = info.absoluteFilePath();
        if (path == keep)
            continue;
        const bool realDir = info.isDir() && !info.isSymLink();
        if (realDir && Common::isInsideDirectory(path, keep))
            cleared = clearKeeping(path, keep) && cleared;
        else if (realDir)
            cleared = Common::deleteLocalDirectory(path) && cleared;
        else
            cleared = QFile::remove(path) && cleared;
    }
    return cleared;
}

// Names of the folders below the extracted "SYS", sorted ignoring case.
QStringList systemFolders(const QString& fw)
{
    QStringList names;
    const QString sys = findEntry(fw, QStringLiteral("SYS"), true);
    if (sys.isEmpty())
        return names;
    for (const QFileInfo& info : entriesOf(sys)) {
        if (info.isDir() && !info.isSymLink())
            names.append(info.fileName());
    }
    return names;
}

// Checks the room an upload of needed bytes takes and makes it when the
// device has too little; false (logged) when it could not be made. An
// unknown free space (all ones) never asks for room.
bool roomFor(TCWorker& worker, quint64 needed)
{
    const quint64 free = worker.readFreeSpace();
    if (needed <= free)
        return true;
    logText(QStringLiteral("Not enough room. Needed ") + QString::number(needed) +
            QStringLiteral(" now ") + QString::number(free));
    if (!worker.makeRoomForUpdate(needed, free)) {
        logText(QStringLiteral("Could not make room for firmware update."));
        return false;
    }
    logText(QStringLiteral("There is now enough room. Needed ") + QString::number(needed) +
            QStringLiteral(" now ") + QString::number(worker.readFreeSpace()));
    return true;
}

} // namespace

void TCWorker::SLOT_updateFW(ConnectLib::TCData data, QString updateFile, bool makeRoom)
{
    if (m_local) {
        emit SIGNAL_firmwareUpdated(data, firmwareFailure);
        return;
    }
    std::lock_guard<std::mutex> firmwareLock(firmwareFolderMutex());
    const QString fw = Common::getFWUpdateDataPath();
    if (fw.isEmpty()) {
        logText(QStringLiteral("No private working folder for firmware updates."));
        emit SIGNAL_firmwareUpdated(data, firmwareFailure);
        return;
    }
    if (!isDownloadedFile(updateFile)) {
        emit SIGNAL_firmwareUpdated(data, firmwareFailure);
        return;
    }
    const QString archive = QDir::cleanPath(QFileInfo(updateFile).absoluteFilePath());
    if (!clearKeeping(fw, archive)) {
        logText(QStringLiteral("Could not clear the firmware folder ") + fw);
        emit SIGNAL_firmwareUpdated(data, firmwareFailure);
        return;
    }
    QString failure;
    if (Common::extractDir(updateFile, fw, failure).isEmpty()) {
        logText(failure.isEmpty()
                    ? QStringLiteral("Extracted firmware.zip directory was empty.")
                    : QStringLiteral("Could not extract the firmware archive: ") + failure);
        emit SIGNAL_firmwareUpdated(data, firmwareFailure);
        return;
    }
    // Checked before the device is touched: without its image the device
    // would be left with its system folders cleared and half an update.
    const QString image = findEntry(fw, QStringLiteral("SYSUPDAT.IMG"), false);
    if (image.isEmpty()) {
        logText(QStringLiteral("Firmware archive holds no SYSUPDAT.IMG: ") + updateFile);
        emit SIGNAL_firmwareUpdated(data, firmwareFailure);
        return;
    }
    const QStringList sysFolders = systemFolders(fw);
    if (Common::isInsideDirectory(fw, archive))
        QFile::remove(archive);

    // Cut off half-way, the device would be left without a working system.
    const zarvo::platform::sleep_block noSleep =
        zarvo::platform::block_sleep("Updating a device's firmware");
    CPStateFlags flags = firmwareFailure;
    QStringList cleared;
    // Device paths this run wrote or began to write.
    QStringList written;
    try {
        removeSysDirectories(sysFolders);
        cleared = sysFolders;
        if (makeRoom && !roomFor(*this, Common::getDirTotalSize(fw))) {
            flags = noRoom;
        } else {
            for (const QString& name :
                 {QStringLiteral("BTUPDAT.BIN"), QStringLiteral("TCHUPDAT.BIN")}) {
                const QString local = findEntry(fw, name, false);
                if (local.isEmpty())
                    continue;
                written.append(QLatin1Char('/') + name);
                putLocalFile(local, written.last());
            }
            written.append(QStringLiteral("/SYSUPDAT.IMG"));
            putLocalFile(image, written.last());
            flags = OK;
        }
    } catch (const zarvo::exception& error) {
        flags = firmwareFamily().handle(error, flags);
    } catch (const std::exception& error) {
        flags = firmwareFamily().handle(error, flags);
    }
    if (flags != OK)
        dropFailedUpdate(cleared, written, flags);
    emit SIGNAL_firmwareUpdated(data, flags);
}

void TCWorker::SLOT_ZFTP_installUpdate(ConnectLib::TCData data, QString updateFile, bool makeRoom)
{
    if (m_local) {
        emit SIGNAL_ZFTP_installUpdateCompleted(data, firmwareFailure);
        return;
    }
    std::lock_guard<std::mutex> firmwareLock(firmwareFolderMutex());
    if (!isDownloadedFile(updateFile)) {
        emit SIGNAL_ZFTP_installUpdateCompleted(data, firmwareFailure);
        return;
    }
    const zarvo::platform::sleep_block noSleep =
        zarvo::platform::block_sleep("Installing a device update");
    CPStateFlags flags = firmwareFailure;
    QStringList written;
    try {
        // The archive alone goes to the device, whatever else the working
        // folders hold.
        if (makeRoom && !roomFor(*this, quint64(QFileInfo(updateFile).size()))) {
            flags = noRoom;
        } else {
            written.append(QStringLiteral("/update.zip"));
            putLocalFile(updateFile, written.last());
            flags = OK;
        }
    } catch (const zarvo::exception& error) {
        flags = firmwareFamily().handle(error, flags);
    } catch (const std::exception& error) {
        flags = firmwareFamily().handle(error, flags);
    }
    if (flags != OK)
        dropFailedUpdate(QStringList(), written, flags);
    emit SIGNAL_ZFTP_installUpdateCompleted(data, flags);
}

void TCWorker::SLOT_copyFWData(ConnectLib::TCData data, QString path)
{
    if (m_local) {
        emit SIGNAL_fwDataCopied(data, firmwareFailure);
        return;
    }
    std::lock_guard<std::mutex> firmwareLock(firmwareFolderMutex());
    const QString fw = Common::getFWUpdateDataPath();
    if (fw.isEmpty()) {
        logText(QStringLiteral("No private working folder for firmware updates."));
        emit SIGNAL_fwDataCopied(data, folderMissing);
        return;
    }
    // The bridge sends "/SYS" as well as "SYS".
    const QString folder = QDir::cleanPath(fw + QLatin1Char('/') + path);
    const QFileInfo info(folder);
    // Lexically and on disk: a link on the way may not lead elsewhere.
    if (!Common::isInsideDirectory(fw, folder) || info.isSymLink() ||
        (info.exists() &&
         !Common::isInsideDirectory(QFileInfo(fw).canonicalFilePath(), info.canonicalFilePath()))) {
        logText(QStringLiteral("Refused a firmware folder outside the working folder: ") + path);
        emit SIGNAL_fwDataCopied(data, folderMissing);
        return;
    }
    m_firmwareDone = 0;
    m_firmwareTotal = info.isDir() ? countLocalFiles(folder) : 0;
    if (m_firmwareTotal == 0) {
        logText(QStringLiteral("No firmware files to copy in ") + folder);
        emit SIGNAL_fwDataCopied(data, folderMissing);
        return;
    }
    CPStateFlags failures;
    uploadFirmwareTree(failures, QDir(fw).relativeFilePath(folder));
    // OK only for a copy in which nothing failed.
    CPStateFlags flags = failures;
    if (!failures)
        flags = m_firmwareDone > 0 ? CPStateFlags(OK) : folderMissing;
    emit SIGNAL_fwDataCopied(data, flags);
}

namespace {

// The walk of one local folder of the firmware tree; an error ends the walk
// through this folder and the caller goes on with its next entry.
struct FirmwareUpload {
    TCWorker& worker;
    SessionGuard& guard;
    const QString& fw;
    int& done;
    int total;
    CPStateFlags& result;

    void walk(const TCEntryItem* node, const QString& devicePath)
    {
        try {
            for (int i = 0; i < node->childCount(); ++i) {
                const TCEntryItem* child = node->child(i);
                const QString target = devicePath + QLatin1Char('/') + child->entryName();
                if (child->type() == TCEntryItem::File) {
                    worker.putLocalFile(fw + child->absolutePath(), target);
                    ++done;
                    emit worker.SIGNAL_fwUpdateProgress(done, total, OK);
                } else {
                    // Held for the folder's whole upload.
                    SessionPointer session = guard.getSessionPointer();
                    zarvo::session_lock lock(*session, 0);
                    session->create(utf8(target));
                    walk(child, target);
                }
            }
        } catch (const zarvo::exception& error) {
            result |= firmwareUploadFamily().handle(error, CPStateFlags());
        } catch (const std::exception& error) {
            result |= firmwareUploadFamily().handle(error, CPStateFlags());
        }
    }
};

} // namespace

ConnectLib::CPStateFlags TCWorker::uploadFirmwareTree(ConnectLib::CPStateFlags& result,
                                                      QString relativePath)
{
    const QString fw = Common::getFWUpdateDataPath();
    if (m_local || fw.isEmpty()) {
        result |= GENERAL_ERROR;
        return result;
    }
    TCEntryItem tree(QLatin1Char('/') + relativePath, nullptr);
    appendLocalEntries(&tree, fw + QLatin1Char('/') + relativePath, fw);
    FirmwareUpload upload{*this, *m_guard, fw, m_firmwareDone, m_firmwareTotal, result};
    upload.walk(&tree, QLatin1Char('/') + relativePath);
    return result;
}

void TCWorker::removeSysDirectories(QStringList directories)
{
    if (m_local)
        throw std::runtime_error("No device to remove from");
    for (const QString& name : qAsConst(directories)) {
        try {
            SessionPointer session = m_guard->getSessionPointer();
            zarvo::session_lock lock(*session, 0);
            session->remove(utf8(QStringLiteral("/SYS/") + name));
        } catch (const zarvo::no_such_file_or_directory&) {
            // Nothing to clear.
        }
    }
}

void TCWorker::dropFailedUpdate(const QStringList& cleared, const QStringList& written,
                                ConnectLib::CPStateFlags flags)
{
    if (!cleared.isEmpty())
        logText(QStringLiteral("Firmware update failed; device folders already cleared: /SYS/") +
                cleared.join(QStringLiteral(", /SYS/")));
    if (written.isEmpty())
        return;
    if (flags.testFlag(TC_CONNECTION_LOST)) {
        logText(QStringLiteral("Firmware update failed with the link lost; update files left on "
                               "the device: ") +
                written.join(QStringLiteral(", ")));
        return;
    }
    // Best effort: the device would otherwise hold half an update.
    QStringList removed;
    for (const QString& path : written) {
        try {
            SessionPointer session = m_guard->getSessionPointer();
            zarvo::session_lock lock(*session, 0);
            session->remove(utf8(path));
            removed.append(path);
        } catch (const zarvo::no_such_file_or_directory&) {
            // Never written.
        } catch (const std::exception& error) {
            logText(QStringLiteral("Could not remove the update file ") + path +
                    QStringLiteral(": ") + QString::fromUtf8(error.what()));
        }
    }
    if (!removed.isEmpty())
        logText(QStringLiteral("Removed the update files of the failed update: ") +
                removed.join(QStringLiteral(", ")));
}

int TCWorker::countLocalFiles(QString directory)
{
    TCEntryItem tree(QStringLiteral("/"), nullptr);
    appendLocalEntries(&tree, directory, directory);
    return countEntryFiles(&tree);
}

bool TCWorker::makeRoomForUpdate(quint64 needed, quint64 free)
{
    const quint64 fragment = readFragmentSize();
    // A failed read (all ones) or a device that reports no fragment size
    // gives no figures to remove user data on.
    if (fragment == 0 || fragment == allOnes) {
        logText(QStringLiteral("No usable fragment size, no room made: ") +
                QString::number(fragment));
        return false;
    }
    TCEntryItem users(QStringLiteral("/U"), nullptr);
    QStringList candidates;
    quint64 collected = 0;
    if (readEntryTree(&users).testFlag(OK)) {
        bool enough = false;
        for (int i = 0; i < users.childCount() && !enough; ++i) {
            TCEntryItem* user = users.child(i);
            if (user->type() != TCEntryItem::Directory)
                continue;
            for (int j = 0; j < user->childCount() && !enough; ++j) {
                TCEntryItem* day = user->child(j);
                if (day->type() != TCEntryItem::Directory || !isDailyFolderName(day->entryName()))
                    continue;
                quint64 size = occupiedSpace(day, fragment);
                // Whole fragments, and one more for the folder itself.
                size = size >= fragment ? size - size % fragment + fragment : fragment;
                collected += size;
                candidates.append(day->absolutePath());
                enough = free + collected > needed;
            }
        }
    }
    if (free + collected < needed)
        return false;
    CPStateFlags removed;
    for (const QString& candidate : qAsConst(candidates))
        removed |= removePath(candidate);
    Common::logStateFlags(removed);
    return true;
}

} // namespace ConnectLib
