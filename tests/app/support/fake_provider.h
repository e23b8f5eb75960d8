#pragma once

#include "connectlib/types/cp_state_flags.h"
#include "connectlib/types/tc_data.h"
#include "connectlib/types/tc_entry_item.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantList>

namespace RavoSync::Test {

// Stands in for ConnectLib::ConnectionProvider where a synchroniser is
// wired by signature text: the same signals and slots, spelled the same
// (a test holds every one against the provider's meta-object). Each request
// is recorded (name without "SLOT_", arguments); a request for a device id
// not made known is answered before the slot returns, with the answer the
// provider gives an unregistered device. Results are emitted by the tests.
class FakeProvider : public QObject {
    Q_OBJECT
public:
    struct Call {
        QString name;
        QVariantList arguments;
    };

    FakeProvider() = default;

    void addDevice(quint64 deviceId) { m_known.insert(deviceId); }
    const QList<Call>& calls() const { return m_calls; }
    QStringList callNames() const;
    void clearCalls() { m_calls.clear(); }

public slots:
    void SLOT_getTCData(qulonglong deviceId);
    void SLOT_readFile(ConnectLib::TCData data, QString file);
    void SLOT_writeFile(ConnectLib::TCData data, QString file, QByteArray fileData);
    void SLOT_writeOfflineFileToTC(ConnectLib::TCData data, QString source, QString file,
                                   QByteArray fileData);
    void SLOT_mergeFile(ConnectLib::TCData data, QString file, QByteArray fileData);
    void SLOT_createDirectory(ConnectLib::TCData data, QString path);
    void SLOT_removeEntries(ConnectLib::TCData data, QStringList entryList);
    void SLOT_getEntries(ConnectLib::TCData data, QString rootPath);
    void SLOT_getSubdirectories(ConnectLib::TCData data, QString rootPath);
    void SLOT_getSubdirectoriesWithoutFile(ConnectLib::TCData data, QString rootPath,
                                           QString fileName);
    void SLOT_getDailySubdirectoriesWithoutFile(ConnectLib::TCData data, QString rootPath,
                                                QString fileName);
    void SLOT_getDailyEntries(ConnectLib::TCData data, QString rootPath);
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
    void SLOT_updateFW(ConnectLib::TCData data, QString updateFile, bool makeRoom);
    void SLOT_ZFTP_installUpdate(ConnectLib::TCData data, QString updateFile, bool makeRoom);
    void SLOT_copyFirmwareData(ConnectLib::TCData data, QString path);
    void SLOT_doBackup(ConnectLib::TCData data, QString listOfDirs, QString from, QString to);
    void SLOT_revertBackup(ConnectLib::TCData data, QString backupDir);
    void SLOT_readOfflineFile(QString file);
    void SLOT_writeOfflineFile(QString file, QByteArray data);

signals:
    void SIGNAL_TCAppeared(ConnectLib::TCData data);
    void SIGNAL_TCIdling(ConnectLib::TCData data);
    void SIGNAL_TCBatteryStatus(ConnectLib::TCData data, int charge);
    void SIGNAL_TCDisappeared(ConnectLib::TCData data);
    void SIGNAL_TCRerouted(ConnectLib::TCData data);
    void SIGNAL_Removed_Dorvane();

    void SIGNAL_TCDataReceived(ConnectLib::TCData data, ConnectLib::CPStateFlags flags);
    void SIGNAL_fileRead(ConnectLib::TCData data, QByteArray fileData,
                         ConnectLib::CPStateFlags flags);
    void SIGNAL_fileWrote(ConnectLib::TCData data, qlonglong bytesWritten,
                          ConnectLib::CPStateFlags flags);
    void SIGNAL_fileMerged(ConnectLib::TCData data, ConnectLib::CPStateFlags flags);
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
    void SIGNAL_tcTimesSet(ConnectLib::TCData data, ConnectLib::CPStateFlags states);
    void SIGNAL_tcTimesGet(ConnectLib::TCData data, QDateTime system, QDateTime local,
                           ConnectLib::CPStateFlags states);
    void SIGNAL_directoryCreated(ConnectLib::TCData data, ConnectLib::CPStateFlags flags);
    void SIGNAL_entriesRemoved(ConnectLib::TCData data, ConnectLib::CPStateFlags flags);
    void SIGNAL_freeSpaceReceived(ConnectLib::TCData data, qulonglong freeSpace,
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

private:
    // Records the call; true when its device is known.
    bool record(const char* name, quint64 deviceId, const QVariantList& arguments);

    QSet<quint64> m_known;
    QList<Call> m_calls;
};

} // namespace RavoSync::Test
