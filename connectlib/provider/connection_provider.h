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

namespace ConnectLib {

class ConnectionProviderPrivate;

// The program's one way to the devices. Devices are announced by signals;
// each request slot hands its operation to the device's worker thread, and
// the operation's result comes back as one result signal on the provider's
// thread. A request for a device id that is not registered is answered at
// once, before the slot returns, with TC_NOT_FOUND set.
//
// Callers connect by signature strings, so every argument type is written
// fully qualified.
class KTLIB_EXPORT ConnectionProvider : public QObject {
    Q_OBJECT
public:
    // offlineRoot: the folder the offline-storage requests work below.
    explicit ConnectionProvider(QObject* parent = nullptr,
                                const QString& offlineRoot = QDir::home().absolutePath());
    // Stops the device listener and every worker thread before it returns;
    // emits no SIGNAL_TCDisappeared.
    ~ConnectionProvider() override;

public slots:
    void SLOT_getTCData(qulonglong deviceId);
    void SLOT_readFile(ConnectLib::TCData data, QString file);
    void SLOT_writeFile(ConnectLib::TCData data, QString file, QByteArray fileData);
    void SLOT_writeOfflineFileToTC(ConnectLib::TCData data, QString source, QString file,
                                   QByteArray fileData);
    void SLOT_mergeFile(ConnectLib::TCData data, QString file, QByteArray fileData);
    void SLOT_createDirectory(ConnectLib::TCData data, QString path);
    void SLOT_removeFile(ConnectLib::TCData data, QString path);
    void SLOT_removeDirectory(ConnectLib::TCData data, QString path);
    void SLOT_removeEntry(ConnectLib::TCData data, QString path);
    void SLOT_removeEntries(ConnectLib::TCData data, QStringList entryList);
    void SLOT_getEntries(ConnectLib::TCData data, QString rootPath);
    void SLOT_getSubdirectories(ConnectLib::TCData data, QString rootPath);
    void SLOT_getSubdirectoriesWithoutFile(ConnectLib::TCData data, QString rootPath,
                                           QString fileName);
    void SLOT_getDailySubdirectoriesWithoutFile(ConnectLib::TCData data, QString rootPath,
                                                QString fileName = QString());
    void SLOT_getDailyEntries(ConnectLib::TCData data, QString rootPath);
    void SLOT_getTCDirSize(ConnectLib::TCData data, QString rootPath);
    void SLOT_getTimestamp(ConnectLib::TCData data);
    void SLOT_getCurrentUserData(ConnectLib::TCData data);
    void SLOT_generateChallengeToken(ConnectLib::TCData data, uint userId, QByteArray nonse);
    void SLOT_setTCTimes(ConnectLib::TCData data, QDateTime system, bool trusted, QDateTime local,
                         int timezone);
    void SLOT_getTCTimes(ConnectLib::TCData data);
    void SLOT_readBatteryStatus(ConnectLib::TCData data);
    void SLOT_getFreeSpace(ConnectLib::TCData data);
    void SLOT_cleanupDisk(ConnectLib::TCData data, qulonglong requiredSpace);
    void SLOT_startSync(ConnectLib::TCData data);
    void SLOT_stopSync(ConnectLib::TCData data, bool syncSuccess);
    void SLOT_doReset(ConnectLib::TCData data, bool sleep, bool do_factory_defaults);
    // Blocks until the device's running operation has returned; the cancel
    // then waits on the device for its next operation.
    void SLOT_cancel(ConnectLib::TCData data);
    void SLOT_ADB_enable(ConnectLib::TCData data, bool enable);
    void SLOT_updateFW(ConnectLib::TCData data, QString updateFile, bool makeRoom);
    void SLOT_ZFTP_installUpdate(ConnectLib::TCData data, QString updateFile, bool makeRoom);
    void SLOT_copyFirmwareData(ConnectLib::TCData data, QString path);
    void SLOT_doBackup(ConnectLib::TCData data, QString listOfDirs, QString from, QString to);
    void SLOT_revertBackup(ConnectLib::TCData data, QString backupDir);

    // Offline storage; no device involved.
    void SLOT_readOfflineFile(QString file);
    void SLOT_writeOfflineFile(QString file, QByteArray data);
    void SLOT_isOfflineFile(QString file);

    // Makes (or replaces) the local pseudo-device over the folder rootPath.
    void SLOT_createLocalTC(QString rootPath);

signals:
    // Device events.
    void SIGNAL_TCAppeared(ConnectLib::TCData data);
    void SIGNAL_TCIdling(ConnectLib::TCData data);
    void SIGNAL_TCBatteryStatus(ConnectLib::TCData data, int charge);
    void SIGNAL_TCDisappeared(ConnectLib::TCData data);
    // Never emitted; callers connect to it.
    void SIGNAL_TCRerouted(ConnectLib::TCData data);
    // A device of the network-attached family was plugged into or pulled
    // from a USB port.
    void SIGNAL_Announce_Dorvane();
    void SIGNAL_Removed_Dorvane();

    // Results.
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
    void SIGNAL_entriesReceived(ConnectLib::TCData data, ConnectLib::TCEntryItem rootItem,
                                ConnectLib::CPStateFlags flags);
    void SIGNAL_subdirectoriesReceived(ConnectLib::TCData data, QStringList subdirs,
                                       ConnectLib::CPStateFlags flags);
    void SIGNAL_getDailyEntriesReceived(ConnectLib::TCData data, QStringList entries,
                                        ConnectLib::CPStateFlags flags);
    void SIGNAL_challengeTokenReceived(ConnectLib::TCData data, QString challengeToken,
                                       ConnectLib::CPStateFlags flags);
    void SIGNAL_fwUpdateProgress(int progress, int total, ConnectLib::CPStateFlags flags);
    void SIGNAL_fileWriteProgress(int progress, int total, ConnectLib::CPStateFlags flags);
    void SIGNAL_firmwareUpdated(ConnectLib::TCData data, ConnectLib::CPStateFlags flags);
    void SIGNAL_ZFTP_installUpdateComplete(ConnectLib::TCData data, ConnectLib::CPStateFlags flags);
    void SIGNAL_firmwareDataCopied(ConnectLib::TCData data, ConnectLib::CPStateFlags states);
    void SIGNAL_ADB_enableComplete(ConnectLib::TCData data, bool enable,
                                   ConnectLib::CPStateFlags flags);
    void SIGNAL_tcTimesSet(ConnectLib::TCData data, ConnectLib::CPStateFlags states);
    void SIGNAL_tcTimesGet(ConnectLib::TCData data, QDateTime system, QDateTime local,
                           ConnectLib::CPStateFlags states);
    void SIGNAL_fileRemoved(ConnectLib::TCData data, ConnectLib::CPStateFlags flags);
    void SIGNAL_directoryCreated(ConnectLib::TCData data, ConnectLib::CPStateFlags flags);
    void SIGNAL_directoryRemoved(ConnectLib::TCData data, ConnectLib::CPStateFlags flags);
    void SIGNAL_entryRemoved(ConnectLib::TCData data, ConnectLib::CPStateFlags flags);
    void SIGNAL_entriesRemoved(ConnectLib::TCData data, ConnectLib::CPStateFlags flags);
    void SIGNAL_freeSpaceReceived(ConnectLib::TCData data, qulonglong freeSpace,
                                  ConnectLib::CPStateFlags states);
    void SIGNAL_tcDirSizeReceived(ConnectLib::TCData data, qulonglong freeSpace,
                                  ConnectLib::CPStateFlags states);
    void SIGNAL_backupDone(ConnectLib::TCData data, QString backupDir,
                           ConnectLib::CPStateFlags flags);
    void SIGNAL_backupRevertDone(ConnectLib::TCData data, ConnectLib::CPStateFlags flags);
    void SIGNAL_cleanupDone(ConnectLib::TCData data, qulonglong freeSpace,
                            ConnectLib::CPStateFlags states);
    void SIGNAL_batteryStatusReceived(ConnectLib::TCData data, int charge,
                                      ConnectLib::CPStateFlags flags);
    void SIGNAL_cancelled(ConnectLib::TCData data, ConnectLib::CPStateFlags flags);
    void SIGNAL_offLineFileRead(QByteArray fileData, ConnectLib::CPStateFlags flags);
    void SIGNAL_offLineFileWrote(ConnectLib::CPStateFlags flags);
    void SIGNAL_offLineFileExists(ConnectLib::CPStateFlags flags);

private:
    friend class ConnectionProviderPrivate;
    // Library-internal access to the private part.
    friend struct ConnectionProviderAccess;
    Q_DISABLE_COPY(ConnectionProvider)

    ConnectionProviderPrivate* d;
};

} // namespace ConnectLib
