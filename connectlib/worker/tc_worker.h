#pragma once

#include "connectlib/export.h"
#include "connectlib/types/cp_state_flags.h"
#include "connectlib/types/tc_data.h"
#include "connectlib/types/tc_entry_item.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QObject>
#include <QString>
#include <QStringList>

namespace zarvo {
class exception;
class path;
} // namespace zarvo

namespace ConnectLib {

class LZ2Listener;
class SessionGuard;

// Runs the operations of one device on the thread it lives on, one at a time
// in arrival order, and answers each with one result signal carrying
// CPStateFlags. A local worker (no guard) stands for a folder on disk: the
// local pseudo-device or the offline storage below rootPath.
//
// Signals and slots are connected by signature strings, so every argument
// type is written fully qualified.
class KTLIB_EXPORT TCWorker : public QObject {
    Q_OBJECT
public:
    // Takes ownership of guard; listener is the adapter that made it.
    TCWorker(ConnectLib::TCData data, ConnectLib::LZ2Listener* listener, QObject* parent,
             ConnectLib::SessionGuard* guard, QString rootPath);
    ~TCWorker() override;

    // The record given at construction; callable from any thread.
    ConnectLib::TCData tcData();
    // From another thread: waits for the running operation, then leaves a
    // cancel request that the device's next transfer meets.
    void cancelOperation();
    // From another thread: drops the adapter's entry and empties the guard,
    // waiting for the running operation.
    void releaseSession();
    // The adapter has let go of the guard's session already (its removal, or
    // a re-registration that forgot it): the worker's deletion, on the
    // provider's thread, then leaves the adapter and its mutex alone. Called
    // under the provider's table mutex when the worker retires.
    void detachAdapter();

public slots:
    void SLOT_getTCData();
    void SLOT_readFile(ConnectLib::TCData data, QString file);
    void SLOT_writeFile(ConnectLib::TCData data, QString file, QByteArray fileData);
    void SLOT_writeOfflineFileToTC(ConnectLib::TCData data, QString srcPath, QString dstPath,
                                   QByteArray content);
    void SLOT_mergeFile(ConnectLib::TCData data, QString file, QByteArray fileData);
    void SLOT_getTimestamp(ConnectLib::TCData data);
    void SLOT_getCurrentUserData(ConnectLib::TCData data);
    void SLOT_getSubdirectories(ConnectLib::TCData data, QString rootPath);
    void SLOT_getSubdirectoriesWithoutFile(ConnectLib::TCData data, QString rootPath,
                                           QString fileName);
    void SLOT_getDailySubdirectoriesWithoutFile(ConnectLib::TCData data, QString rootPath,
                                                QString fileName);
    void SLOT_getDailyEntries(ConnectLib::TCData data, QString rootPath);
    void SLOT_generateChallengeToken(ConnectLib::TCData data, uint userId, QByteArray nonse);
    void SLOT_readOfflineFile(QString file);
    void SLOT_writeOfflineFile(QString file, QByteArray data);
    void SLOT_isOfflineFile(QString file);
    void SLOT_reset(ConnectLib::TCData data, bool sleep, bool do_factory_defaults);
    void SLOT_startSync();
    void SLOT_stopSync(bool syncSuccess);
    void SLOT_setTCTimes(ConnectLib::TCData data, QDateTime system, bool trusted, QDateTime local,
                         int timezone);
    void SLOT_getTCTimes(ConnectLib::TCData data);
    void SLOT_getFreeSpace(ConnectLib::TCData data);
    void SLOT_cleanupDisk(ConnectLib::TCData data, qulonglong requiredBytes);
    void SLOT_getTCDirSize(ConnectLib::TCData data, QString rootPath);
    void SLOT_readBatteryStatus(ConnectLib::TCData data);
    void SLOT_removeFile(ConnectLib::TCData data, QString path);
    void SLOT_createDirectory(ConnectLib::TCData data, QString path);
    void SLOT_removeDirectory(ConnectLib::TCData data, QString path);
    void SLOT_removeEntry(ConnectLib::TCData data, QString path);
    void SLOT_removeEntries(ConnectLib::TCData data, QStringList entries);
    void SLOT_ADB_enable(ConnectLib::TCData data, bool enable);
    void SLOT_getEntries(ConnectLib::TCData data, QString rootPath);
    void SLOT_updateFW(ConnectLib::TCData data, QString updateFile, bool makeRoom);
    void SLOT_copyFWData(ConnectLib::TCData data, QString path);
    void SLOT_ZFTP_installUpdate(ConnectLib::TCData data, QString updateFile, bool makeRoom);
    void SLOT_doBackup(ConnectLib::TCData data, QString listOfDirs, QString from, QString to);
    void SLOT_revertBackup(ConnectLib::TCData data, QString backupDir);

signals:
    void SIGNAL_TCDataReceived(ConnectLib::TCData data, ConnectLib::CPStateFlags flags);
    void SIGNAL_fileRead(ConnectLib::TCData data, QByteArray fileData,
                         ConnectLib::CPStateFlags flags);
    void SIGNAL_fileWrote(ConnectLib::TCData data, qlonglong bytesWritten,
                          ConnectLib::CPStateFlags flags);
    void SIGNAL_fileMerged(ConnectLib::TCData data, ConnectLib::CPStateFlags flags);
    void SIGNAL_timestampReceived(ConnectLib::TCData data, QDateTime timestamp,
                                  ConnectLib::CPStateFlags flags);
    void SIGNAL_currentUserDataReceived(ConnectLib::TCData data, QString userPath, uint userId,
                                        qulonglong masterId, ConnectLib::CPStateFlags flags);
    void SIGNAL_subdirectoriesReceived(ConnectLib::TCData data, QStringList subdirs,
                                       ConnectLib::CPStateFlags flags);
    void SIGNAL_getDailyEntriesReceived(ConnectLib::TCData data, QStringList entries,
                                        ConnectLib::CPStateFlags flags);
    void SIGNAL_offLineFileRead(QByteArray fileData, ConnectLib::CPStateFlags flags);
    void SIGNAL_offLineFileWrote(ConnectLib::CPStateFlags flags);
    void SIGNAL_offLineFileExists(ConnectLib::CPStateFlags flags);
    void SIGNAL_fileRemoved(ConnectLib::TCData data, ConnectLib::CPStateFlags flags);
    void SIGNAL_directoryRemoved(ConnectLib::TCData data, ConnectLib::CPStateFlags flags);
    void SIGNAL_entryRemoved(ConnectLib::TCData data, ConnectLib::CPStateFlags flags);
    void SIGNAL_entriesRemoved(ConnectLib::TCData data, ConnectLib::CPStateFlags flags);
    void SIGNAL_directoryCreated(ConnectLib::TCData data, ConnectLib::CPStateFlags flags);
    void SIGNAL_entriesReceived(ConnectLib::TCData data, ConnectLib::TCEntryItem rootItem,
                                ConnectLib::CPStateFlags flags);
    void SIGNAL_challengeTokenReceived(ConnectLib::TCData data, QString challengeToken,
                                       ConnectLib::CPStateFlags flags);
    void SIGNAL_fwUpdateProgress(int progress, int total, ConnectLib::CPStateFlags flags);
    // Emitted by no operation; the provider forwards it all the same.
    void SIGNAL_fileWriteProgress(int progress, int total, ConnectLib::CPStateFlags flags);
    void SIGNAL_firmwareUpdated(ConnectLib::TCData data, ConnectLib::CPStateFlags flags);
    void SIGNAL_fwDataCopied(ConnectLib::TCData data, ConnectLib::CPStateFlags states);
    void SIGNAL_tcTimesSet(ConnectLib::TCData data, ConnectLib::CPStateFlags states);
    void SIGNAL_tcTimesGet(ConnectLib::TCData data, QDateTime system, QDateTime local,
                           ConnectLib::CPStateFlags states);
    void SIGNAL_freeSpaceReceived(ConnectLib::TCData data, qulonglong freeSpace,
                                  ConnectLib::CPStateFlags states);
    void SIGNAL_cleanupDone(ConnectLib::TCData data, qulonglong freeSpace,
                            ConnectLib::CPStateFlags states);
    void SIGNAL_batteryStatusReceived(ConnectLib::TCData data, int charge,
                                      ConnectLib::CPStateFlags flags);
    void SIGNAL_tcDirSizeReceived(ConnectLib::TCData data, qulonglong freeSpace,
                                  ConnectLib::CPStateFlags states);
    void SIGNAL_backupDone(ConnectLib::TCData data, QString backupDir,
                           ConnectLib::CPStateFlags flags);
    void SIGNAL_backupRevertDone(ConnectLib::TCData data, ConnectLib::CPStateFlags flags);
    void SIGNAL_ADBenableCompleted(ConnectLib::TCData data, bool enable,
                                   ConnectLib::CPStateFlags flags);
    void SIGNAL_ZFTP_installUpdateCompleted(ConnectLib::TCData data,
                                            ConnectLib::CPStateFlags flags);

public:
    // Helpers shared by several operations; called on the worker's thread.

    // The two error lines of a device-library error; sets no flags.
    void reportException(const zarvo::exception* error);
    // A direct child of directory that is a file named name, ignoring case.
    bool hasFileChild(ConnectLib::TCEntryItem* directory, QString name);
    // Eight characters forming a valid "yyyyMMdd" date.
    bool isDailyFolderName(QString name);
    // The bytes a tree takes on the device in whole fragments: each file
    // rounds up past its last fragment, each directory takes one. With
    // fragment size 0 the plain sum of the file sizes.
    quint64 occupiedSpace(ConnectLib::TCEntryItem* item, quint64 fragmentSize);
    // Sleeps the worker's thread without running its events, so queued
    // requests stay behind the running one. Always true.
    bool waitSeconds(int seconds);

    // Disk space of the device; all ones for a local worker or on any error
    // (which is logged).
    quint64 readFragmentSize();
    quint64 readFreeSpace();
    quint64 cleanupDiskSpace(quint64 requiredBytes);

    // Whether an offline file exists, by the same path a read uses.
    bool offlineFileExists(QString file);

    // Copies a whole local file to a device file. Errors pass to the caller;
    // an unreadable file or a local worker raise std::runtime_error.
    void putLocalFile(QString localPath, QString devicePath);
    // Removes one device file or directory; never throws.
    ConnectLib::CPStateFlags removePath(QString path);

    // Fills node with everything below its absolute path, from the device or
    // from the local folder.
    ConnectLib::CPStateFlags readEntryTree(ConnectLib::TCEntryItem* node);
    // One directory level of a device read, under its own session pointer
    // and device lock, then the levels below. Stops with GENERAL_ERROR past
    // maxTreeDepth levels below the start.
    ConnectLib::CPStateFlags readEntries(ConnectLib::TCEntryItem* node, zarvo::path path,
                                         ConnectLib::SessionGuard* guard, int depth = 0);
    // The local part of a read; always 1.
    int readLocalEntries(ConnectLib::TCEntryItem* node, QDir directory);
    // Absolute paths of everything below node, each directory before its
    // contents.
    QStringList collectEntryPaths(ConnectLib::TCEntryItem* node);

    // Firmware and update files (tc_worker_firmware.cpp).

    // Removes whole day folders of the users under "/U", oldest first, when
    // together with free they give needed; true when enough was found.
    bool makeRoomForUpdate(quint64 needed, quint64 free);
    // Uploads the firmware folder's relativePath to the same device path,
    // one progress signal per file; ORs the cause of every failure into
    // result and returns it.
    ConnectLib::CPStateFlags uploadFirmwareTree(ConnectLib::CPStateFlags& result,
                                                QString relativePath);
    // Removes "SYS/" + each name from the device; a missing one is skipped,
    // other errors pass to the caller.
    void removeSysDirectories(QStringList directories);
    // The files below a local folder that an upload would send.
    int countLocalFiles(QString directory);

    // Backup and restore (tc_worker_backup.cpp).

    // One device file into one local file inside the running backup's
    // folder; never throws.
    ConnectLib::CPStateFlags exportFile(QString devicePath, QString localPath);
    // The files of a listed device tree below localDir; false at the first
    // file or folder that failed.
    bool exportEntryTree(ConnectLib::TCData& data, ConnectLib::TCEntryItem* node, QString localDir);
    // Writes a scanned local tree below the root path onto the device below
    // devicePath, creating its folders.
    bool uploadEntryTree(ConnectLib::TCData& data, ConnectLib::TCEntryItem* node,
                         QString devicePath);

    // Far deeper than any real device tree; a device that answers every
    // directory with another one ends here.
    static constexpr int maxTreeDepth = 32;

private:
    // After a failed firmware update or install: logs the system folders
    // already cleared and, while the link stands, removes the update files
    // this run wrote.
    void dropFailedUpdate(const QStringList& cleared, const QStringList& written,
                          ConnectLib::CPStateFlags flags);
    // Moves a backup whose restore failed or never ended out of the next
    // backup's way; the failure's text, empty when there was nothing to do
    // or it moved.
    QString keepBackupAside(const QString& backupDir);
    // Removes a backup's restore mark, logging a failure.
    void dropRestoringMarker(const QString& backupDir);
    // Where an offline read looks: below the root, or an absolute name as it
    // is when nothing is below the root under it.
    QString offlinePath(const QString& file) const;

    ConnectLib::SessionGuard* m_guard;
    ConnectLib::LZ2Listener* m_listener;
    const ConnectLib::TCData m_tcData;
    const bool m_local;
    QString m_rootPath;

    // Progress of this worker's firmware folder upload.
    int m_firmwareTotal = 0;
    int m_firmwareDone = 0;
    // The running backup's folder: exports land only inside it.
    QString m_exportRoot;
    // The flags of the step that ended the running tree export.
    ConnectLib::CPStateFlags m_exportFailure;
    // Causes of the running restore's failed steps; GENERAL_ERROR alone for
    // a step without a cause of its own.
    ConnectLib::CPStateFlags m_importFailures;
    bool m_importFailed = false;
};

} // namespace ConnectLib
