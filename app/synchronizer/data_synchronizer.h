#pragma once

#include "app/sync_state/sync_state.h"
#include "connectlib/types/cp_state_flags.h"
#include "connectlib/types/tc_data.h"
#include "connectlib/types/tc_entry_item.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

class JsObject;

namespace ConnectLayout {
class Viewer;
}

// One sync window: the window, its bridge "JSObject" and the device it
// serves. It stands between the pages and the connection provider: every
// device request of the pages gets the window's device record and leaves as
// a request signal to the provider; every result and device event of the
// provider reaches every synchroniser, which drops those of other devices
// and hands the rest to its bridge.
//
// The provider is reached only through connections by signature text (see
// connectSynchronizer), so anything with the provider's signatures can stand
// in for it. Every type in a signature is spelled fully qualified.
class DataSynchronizer : public QObject {
    Q_OBJECT
public:
    // provider is not owned; parent is the controller.
    DataSynchronizer(QObject* provider, QObject* parent);
    ~DataSynchronizer() override;

    // Shows the window and answers true when its page already has text.
    bool showDialogIfLoaded();
    // Whether its pages run a sync, firmware update, reset or restore that
    // taking record (or none) would cut short; the device a page waits for
    // is no obstacle.
    bool busyFor(const ConnectLib::TCData* record) const;

    quint64 deviceId() const { return m_tcData.deviceId(); }
    QString deviceModel() const { return m_tcData.model(); }
    const ConnectLib::TCData& tcData() const { return m_tcData; }

    JsObject* bridge() const { return m_bridge; }
    ConnectLayout::Viewer* viewer() const { return m_viewer; }

    // Stores the record's nine device variables in the bridge.
    void publishTCData(const ConnectLib::TCData& tcData);

public slots:
    void SLOT_runScript(QString script);
    void SLOT_configChanged();

    // Taking a device and starting the pages.
    void SLOT_startSyncProcess(ConnectLib::TCData tcData);
    void SLOT_startSyncProcess();
    void SLOT_TCDataReceived(ConnectLib::TCData tcData, ConnectLib::CPStateFlags flags);
    void SLOT_currentUserDataReceived(ConnectLib::TCData tcData, QString userPath, uint userId,
                                      qulonglong masterId, ConnectLib::CPStateFlags status);
    void SLOT_Announce_Dorvane();
    void SLOT_showOfflineDialog(QString htmlFileName);
    void SLOT_showOfflineDialog(QString htmlFileName, QStringList contentIds);
    void SLOT_showOfflineDialog(QString htmlFileName, QStringList contentIds,
                                QString dialogButtons);
    void SLOT_showOfflineDialog(QString htmlFileName, QStringList contentIds, QString dialogButtons,
                                QString executeScript);

    // The page's request for a device (the bridge's SIGNAL_startSyncWithDevice):
    // the first is connected before the provider's SLOT_getTCData, the second
    // after it, so an answer given inside the request is known as this
    // window's own.
    void SLOT_startSyncWithDeviceRequested(qulonglong deviceId);
    void SLOT_startSyncWithDeviceSent(qulonglong deviceId);

    // Device requests from the bridge.
    void SLOT_readFromFile(QString url);
    void SLOT_writeToFile(QString url, QString content);
    void SLOT_writeToFile(QString url, QByteArray content);
    void SLOT_mergeToFile(QString url, QString content);
    void SLOT_getSubdirs(QString parentDir);
    void SLOT_getSubdirsWithoutFile(QString parentDir, QString filename);
    void SLOT_getDailySubdirsWithoutFile(QString parentDir, QString filename);
    void SLOT_getDailyEntries(QString parentDir);
    void SLOT_getEntries(QString path);
    void SLOT_createDir(QString dirpath);
    void SLOT_removeEntries(QStringList entryList);
    void SLOT_getFreeSpace();
    void SLOT_cleanupDisk(qulonglong requiredBytes);
    void SLOT_readBatteryStatus();
    void SLOT_setTCTimes(QString system, bool trusted, QString local, int timezone);
    void SLOT_getTCTimes();
    void SLOT_doReset(bool sleep, bool do_factory_defaults);
    void SLOT_startSync();
    void SLOT_stopSync(bool syncSuccess);
    void SLOT_generateChallengeToken(uint userId, QByteArray nonse);
    void SLOT_updateFirmware(QString zipPath, bool makeRoom);
    void SLOT_ZFTP_installUpdate(QString zipPath, bool makeRoom);
    void SLOT_copyFirmwareData(QString path);
    void SLOT_doBackup(QString listOfDirs, QString from, QString to);
    void SLOT_revertBackup(QString backupDir);

    // Offline store and local files.
    void SLOT_writeOfflineFile(QString url, QString content);
    void SLOT_writeOfflineBinaryFile(QString url, QByteArray bytes);
    void SLOT_writeOfflineToTCFile(QString filename, QByteArray content);
    void SLOT_readOfflineFile(QString url);
    void SLOT_writeFileToAbsolutePath(QString storagePath, QString path, QByteArray data);
    void SLOT_writeFWFileToAbsolutePath(QString path, QByteArray data);

    // Results from the provider.
    void SLOT_fileRead(ConnectLib::TCData tcData, QByteArray fileData,
                       ConnectLib::CPStateFlags status);
    void SLOT_offlineFileRead(QByteArray content, ConnectLib::CPStateFlags status);
    void SLOT_fileWrote(ConnectLib::TCData tcData, qlonglong bytesWritten,
                        ConnectLib::CPStateFlags status);
    void SLOT_offlineFileWrote(ConnectLib::CPStateFlags status);
    void SLOT_fileMerged(ConnectLib::TCData tcData, ConnectLib::CPStateFlags status);
    void SLOT_subdirsReceived(ConnectLib::TCData tcData, QStringList subdirs,
                              ConnectLib::CPStateFlags status);
    void SLOT_getDailyEntriesReceived(ConnectLib::TCData tcData, QStringList entries,
                                      ConnectLib::CPStateFlags status);
    void SLOT_entriesReceived(ConnectLib::TCData tcData, ConnectLib::TCEntryItem entries,
                              ConnectLib::CPStateFlags flags);
    void SLOT_entriesRemoved(ConnectLib::TCData tcData, ConnectLib::CPStateFlags status);
    void SLOT_dirCreated(ConnectLib::TCData tcData, ConnectLib::CPStateFlags status);
    void SLOT_freeSpaceReceived(ConnectLib::TCData tcData, qulonglong freeSpace,
                                ConnectLib::CPStateFlags status);
    void SLOT_cleanupDone(ConnectLib::TCData tcData, qulonglong freeSpace,
                          ConnectLib::CPStateFlags status);
    void SLOT_batteryStatusReceived(ConnectLib::TCData tcData, int charge,
                                    ConnectLib::CPStateFlags status);
    void SLOT_tcTimesSet(ConnectLib::TCData tcData, ConnectLib::CPStateFlags status);
    void SLOT_tcTimesGet(ConnectLib::TCData tcData, QDateTime system, QDateTime local,
                         ConnectLib::CPStateFlags status);
    void SLOT_challengeTokenReceived(ConnectLib::TCData tcData, QString challengeToken,
                                     ConnectLib::CPStateFlags flags);
    void SLOT_backupDone(ConnectLib::TCData tcData, QString backupDir,
                         ConnectLib::CPStateFlags flags);
    void SLOT_backupRevertDone(ConnectLib::TCData tcData, ConnectLib::CPStateFlags flags);
    void SLOT_firmwareDataCopied(ConnectLib::TCData tcData, ConnectLib::CPStateFlags status);
    void SLOT_fwUpdateProgress(int progress, int total, ConnectLib::CPStateFlags flags);
    void SLOT_fileWriteProgress(int progress, int total, ConnectLib::CPStateFlags flags);
    void SLOT_firmwareUpdated(ConnectLib::TCData tcData, ConnectLib::CPStateFlags status);
    void SLOT_ZFTP_installUpdateCompleted(ConnectLib::TCData tcData,
                                          ConnectLib::CPStateFlags status);

    // Device events from the provider.
    void SLOT_tcAppeared(ConnectLib::TCData tcData);
    void SLOT_tcRerouted(ConnectLib::TCData tcData);
    void SLOT_tcIdling(ConnectLib::TCData tcData);
    void SLOT_tcBatteryStatus(ConnectLib::TCData tcData, int charge);
    void SLOT_tcDisappeared(ConnectLib::TCData tcData);
    void SLOT_Removed_Dorvane();

signals:
    // To the bridge.
    void SIGNAL_runScript(QString script);
    void SIGNAL_tcAppeared(ConnectLib::TCData tcData);
    void SIGNAL_tcRerouted(ConnectLib::TCData tcData);
    void SIGNAL_tcIdling(ConnectLib::TCData tcData);
    void SIGNAL_tcBatteryStatus(ConnectLib::TCData tcData, int charge);
    void SIGNAL_tcDisappeared(ConnectLib::TCData tcData);
    void SIGNAL_fileRead(ConnectLib::CPStateFlags status, QString data);
    void SIGNAL_fileWritten(ConnectLib::CPStateFlags status);
    void SIGNAL_fileMerged(ConnectLib::CPStateFlags status);
    void SIGNAL_fwUpdateProgress(int progress, int total);
    void SIGNAL_fileWriteProgress(int progress, int total);
    void SIGNAL_firmwareDataCopied(ConnectLib::CPStateFlags status);
    void SIGNAL_challengeTokenReceived(QString challengeToken);
    void SIGNAL_tcTimesSet(ConnectLib::CPStateFlags status);
    void SIGNAL_entriesRemoved(ConnectLib::CPStateFlags status);
    void SIGNAL_dirCreated(ConnectLib::CPStateFlags status);
    void SIGNAL_tcTimesGet(QString system, QString local, ConnectLib::CPStateFlags status);
    void SIGNAL_freeSpaceReceived(qulonglong freeSpace, ConnectLib::CPStateFlags status);
    void SIGNAL_cleanupDone(qulonglong freeSpace, ConnectLib::CPStateFlags status);
    void SIGNAL_batteryStatusReceived(int charge, ConnectLib::CPStateFlags status);
    void SIGNAL_entriesReceived(QStringList entries, ConnectLib::CPStateFlags flags);
    void SIGNAL_backupDone(QString backupDir, ConnectLib::CPStateFlags flags);
    void SIGNAL_backupRevertDone(ConnectLib::CPStateFlags flags);

    // To the controller (passed on from the bridge).
    void SIGNAL_quit();
    void SIGNAL_configChanged();
    void SIGNAL_requestAvailableTCs();
    void SIGNAL_syncProcessStateChanged(qulonglong deviceId,
                                        ConnectGlobals::SyncState::SyncProcessState state);
    void SIGNAL_ravoSyncInstallerDownloadDone(QString filePath, QString updFilelistUrl);

    // To the provider.
    void SIGNAL_readFile(ConnectLib::TCData tcData, QString url);
    void SIGNAL_writeFile(ConnectLib::TCData tcData, QString url, QByteArray content);
    void SIGNAL_writeOfflineFileToTC(ConnectLib::TCData tcData, QString source, QString file,
                                     QByteArray content);
    void SIGNAL_mergeFile(ConnectLib::TCData tcData, QString url, QByteArray content);
    void SIGNAL_readOfflineFile(QString file);
    void SIGNAL_writeOfflineFile(QString file, QByteArray content);
    void SIGNAL_getSubdirs(ConnectLib::TCData tcData, QString parentDir);
    void SIGNAL_getSubdirsWithoutfile(ConnectLib::TCData tcData, QString parentDir,
                                      QString filename);
    void SIGNAL_getDailySubdirsWithoutfile(ConnectLib::TCData tcData, QString parentDir,
                                           QString filename);
    void SIGNAL_getDailyEntries(ConnectLib::TCData tcData, QString parentDir);
    void SIGNAL_getCurrentUserData(ConnectLib::TCData tcData);
    void SIGNAL_updateFW(ConnectLib::TCData tcData, QString zipPath, bool makeRoom);
    void SIGNAL_copyFirmwareData(ConnectLib::TCData tcData, QString path);
    void SIGNAL_generateChallengeToken(ConnectLib::TCData tcData, uint userId, QByteArray nonse);
    void SIGNAL_doReset(ConnectLib::TCData tcData, bool sleep, bool do_factory_defaults);
    void SIGNAL_startSync(ConnectLib::TCData tcData);
    void SIGNAL_stopSync(ConnectLib::TCData tcData, bool syncSuccess);
    void SIGNAL_removeEntries(ConnectLib::TCData tcData, QStringList entryList);
    void SIGNAL_setTCTimes(ConnectLib::TCData tcData, QDateTime system, bool trusted,
                           QDateTime local, int timezone);
    void SIGNAL_getTCTimes(ConnectLib::TCData tcData);
    void SIGNAL_createDir(ConnectLib::TCData tcData, QString dirpath);
    void SIGNAL_getFreeSpace(ConnectLib::TCData tcData);
    void SIGNAL_cleanupDisk(ConnectLib::TCData tcData, qulonglong requiredBytes);
    void SIGNAL_doBackup(ConnectLib::TCData tcData, QString listOfDirs, QString from, QString to);
    void SIGNAL_revertBackup(ConnectLib::TCData tcData, QString backupDir);
    void SIGNAL_ZFTP_installUpdate(ConnectLib::TCData tcData, QString zipPath, bool makeRoom);
    void SIGNAL_getEntries(ConnectLib::TCData tcData, QString path);
    void SIGNAL_readBatteryStatus(ConnectLib::TCData tcData);

    // Declared for callers that connect to them; never emitted (the page's
    // device request goes from the bridge to the provider directly, and
    // binary offline writes leave as SIGNAL_writeOfflineFile).
    void SIGNAL_getTCData(qulonglong deviceId);
    void SIGNAL_startSyncWithDevice(qulonglong deviceId);
    void SIGNAL_writeOfflineBinaryFile(QString file, QByteArray content);

private:
    void connectBridge();
    // True (after a log line) while the pages' run is under way: nothing
    // restarts it.
    bool keepsRun(const QString& what) const;
    // Device events pass for the device-less window and the window's own
    // device, results only for the window's own device; a dropped signal is
    // logged.
    bool passesEvent(const ConnectLib::TCData& tcData) const;
    bool passesResult(const ConnectLib::TCData& tcData) const;
    void logDropped(const ConnectLib::TCData& tcData) const;
    // Whether this window asked for the record the provider answered with.
    bool takesTCDataAnswer(const ConnectLib::TCData& tcData);
    // The bytes of a page's Base64 content for target; a refusal is logged.
    std::optional<QByteArray> decodeContent(const QString& target, const QString& content);
    // Writes data to path (inside the working folder only) and puts path
    // into the page variable storagePath on success.
    ConnectLib::CPStateFlags writeLocalFile(const QString& storagePath, const QString& path,
                                            const QByteArray& data);

    ConnectLayout::Viewer* m_viewer = nullptr;
    JsObject* m_bridge = nullptr;
    QObject* m_provider = nullptr;
    ConnectLib::TCData m_tcData;
    QString m_offlineFileDir;
    // Device ids this window's pages asked for whose answer has not come.
    QList<quint64> m_requestedIds;
    // Set while this window's own device request is being sent.
    bool m_sendingDeviceRequest = false;
    // The offline store answers every window alike and in request order:
    // each window takes as many answers as it asked for.
    int m_pendingOfflineReads = 0;
    int m_pendingOfflineWrites = 0;
    // Set from this window's firmware request until its result: only then
    // is the provider's progress (which names no device) its own.
    bool m_firmwarePending = false;
};
