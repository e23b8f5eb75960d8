#include "app/synchronizer/connection_table.h"

#include "app/synchronizer/data_synchronizer.h"

namespace ConnectGlobals {

namespace {

using Link = SynchronizerLink;
constexpr Link::Party P = Link::Provider;
constexpr Link::Party S = Link::Synchronizer;
constexpr Link::Party C = Link::Controller;

// Provider results and events to every synchroniser, the synchroniser's
// requests to the provider and its window requests to the controller.
const QVector<Link> links = {
    {S, SIGNAL(SIGNAL_quit()), C, SLOT(SLOT_deleteDataSync())},
    {S, SIGNAL(SIGNAL_configChanged()), C, SLOT(SLOT_configChangedFromOutside())},
    {P, SIGNAL(SIGNAL_TCDataReceived(ConnectLib::TCData, ConnectLib::CPStateFlags)), S,
     SLOT(SLOT_TCDataReceived(ConnectLib::TCData, ConnectLib::CPStateFlags))},
    {P, SIGNAL(SIGNAL_TCAppeared(ConnectLib::TCData)), S,
     SLOT(SLOT_tcAppeared(ConnectLib::TCData))},
    {P, SIGNAL(SIGNAL_TCRerouted(ConnectLib::TCData)), S,
     SLOT(SLOT_tcRerouted(ConnectLib::TCData))},
    {P, SIGNAL(SIGNAL_TCIdling(ConnectLib::TCData)), S, SLOT(SLOT_tcIdling(ConnectLib::TCData))},
    {P, SIGNAL(SIGNAL_TCBatteryStatus(ConnectLib::TCData, int)), S,
     SLOT(SLOT_tcBatteryStatus(ConnectLib::TCData, int))},
    {P, SIGNAL(SIGNAL_TCDisappeared(ConnectLib::TCData)), S,
     SLOT(SLOT_tcDisappeared(ConnectLib::TCData))},
    {P, SIGNAL(SIGNAL_fileRead(ConnectLib::TCData, QByteArray, ConnectLib::CPStateFlags)), S,
     SLOT(SLOT_fileRead(ConnectLib::TCData, QByteArray, ConnectLib::CPStateFlags))},
    {P, SIGNAL(SIGNAL_fileWrote(ConnectLib::TCData, qlonglong, ConnectLib::CPStateFlags)), S,
     SLOT(SLOT_fileWrote(ConnectLib::TCData, qlonglong, ConnectLib::CPStateFlags))},
    {P, SIGNAL(SIGNAL_fileMerged(ConnectLib::TCData, ConnectLib::CPStateFlags)), S,
     SLOT(SLOT_fileMerged(ConnectLib::TCData, ConnectLib::CPStateFlags))},
    {P,
     SIGNAL(
         SIGNAL_subdirectoriesReceived(ConnectLib::TCData, QStringList, ConnectLib::CPStateFlags)),
     S, SLOT(SLOT_subdirsReceived(ConnectLib::TCData, QStringList, ConnectLib::CPStateFlags))},
    {P,
     SIGNAL(
         SIGNAL_getDailyEntriesReceived(ConnectLib::TCData, QStringList, ConnectLib::CPStateFlags)),
     S,
     SLOT(SLOT_getDailyEntriesReceived(ConnectLib::TCData, QStringList, ConnectLib::CPStateFlags))},
    {P, SIGNAL(SIGNAL_offLineFileRead(QByteArray, ConnectLib::CPStateFlags)), S,
     SLOT(SLOT_offlineFileRead(QByteArray, ConnectLib::CPStateFlags))},
    {P, SIGNAL(SIGNAL_offLineFileWrote(ConnectLib::CPStateFlags)), S,
     SLOT(SLOT_offlineFileWrote(ConnectLib::CPStateFlags))},
    {P,
     SIGNAL(SIGNAL_currentUserDataReceived(ConnectLib::TCData, QString, uint, qulonglong,
                                           ConnectLib::CPStateFlags)),
     S,
     SLOT(SLOT_currentUserDataReceived(ConnectLib::TCData, QString, uint, qulonglong,
                                       ConnectLib::CPStateFlags))},
    {P, SIGNAL(SIGNAL_fwUpdateProgress(int, int, ConnectLib::CPStateFlags)), S,
     SLOT(SLOT_fwUpdateProgress(int, int, ConnectLib::CPStateFlags))},
    {P, SIGNAL(SIGNAL_fileWriteProgress(int, int, ConnectLib::CPStateFlags)), S,
     SLOT(SLOT_fileWriteProgress(int, int, ConnectLib::CPStateFlags))},
    {P, SIGNAL(SIGNAL_firmwareUpdated(ConnectLib::TCData, ConnectLib::CPStateFlags)), S,
     SLOT(SLOT_firmwareUpdated(ConnectLib::TCData, ConnectLib::CPStateFlags))},
    {P, SIGNAL(SIGNAL_ZFTP_installUpdateComplete(ConnectLib::TCData, ConnectLib::CPStateFlags)), S,
     SLOT(SLOT_ZFTP_installUpdateCompleted(ConnectLib::TCData, ConnectLib::CPStateFlags))},
    {P, SIGNAL(SIGNAL_firmwareDataCopied(ConnectLib::TCData, ConnectLib::CPStateFlags)), S,
     SLOT(SLOT_firmwareDataCopied(ConnectLib::TCData, ConnectLib::CPStateFlags))},
    {P,
     SIGNAL(SIGNAL_challengeTokenReceived(ConnectLib::TCData, QString, ConnectLib::CPStateFlags)),
     S, SLOT(SLOT_challengeTokenReceived(ConnectLib::TCData, QString, ConnectLib::CPStateFlags))},
    {P, SIGNAL(SIGNAL_entriesRemoved(ConnectLib::TCData, ConnectLib::CPStateFlags)), S,
     SLOT(SLOT_entriesRemoved(ConnectLib::TCData, ConnectLib::CPStateFlags))},
    {P, SIGNAL(SIGNAL_tcTimesSet(ConnectLib::TCData, ConnectLib::CPStateFlags)), S,
     SLOT(SLOT_tcTimesSet(ConnectLib::TCData, ConnectLib::CPStateFlags))},
    {P,
     SIGNAL(SIGNAL_tcTimesGet(ConnectLib::TCData, QDateTime, QDateTime, ConnectLib::CPStateFlags)),
     S, SLOT(SLOT_tcTimesGet(ConnectLib::TCData, QDateTime, QDateTime, ConnectLib::CPStateFlags))},
    {P, SIGNAL(SIGNAL_directoryCreated(ConnectLib::TCData, ConnectLib::CPStateFlags)), S,
     SLOT(SLOT_dirCreated(ConnectLib::TCData, ConnectLib::CPStateFlags))},
    {P, SIGNAL(SIGNAL_freeSpaceReceived(ConnectLib::TCData, qulonglong, ConnectLib::CPStateFlags)),
     S, SLOT(SLOT_freeSpaceReceived(ConnectLib::TCData, qulonglong, ConnectLib::CPStateFlags))},
    {P, SIGNAL(SIGNAL_cleanupDone(ConnectLib::TCData, qulonglong, ConnectLib::CPStateFlags)), S,
     SLOT(SLOT_cleanupDone(ConnectLib::TCData, qulonglong, ConnectLib::CPStateFlags))},
    {P, SIGNAL(SIGNAL_batteryStatusReceived(ConnectLib::TCData, int, ConnectLib::CPStateFlags)), S,
     SLOT(SLOT_batteryStatusReceived(ConnectLib::TCData, int, ConnectLib::CPStateFlags))},
    {P, SIGNAL(SIGNAL_backupDone(ConnectLib::TCData, QString, ConnectLib::CPStateFlags)), S,
     SLOT(SLOT_backupDone(ConnectLib::TCData, QString, ConnectLib::CPStateFlags))},
    {P, SIGNAL(SIGNAL_backupRevertDone(ConnectLib::TCData, ConnectLib::CPStateFlags)), S,
     SLOT(SLOT_backupRevertDone(ConnectLib::TCData, ConnectLib::CPStateFlags))},
    {P,
     SIGNAL(SIGNAL_entriesReceived(ConnectLib::TCData, ConnectLib::TCEntryItem,
                                   ConnectLib::CPStateFlags)),
     S,
     SLOT(SLOT_entriesReceived(ConnectLib::TCData, ConnectLib::TCEntryItem,
                               ConnectLib::CPStateFlags))},
    {P, SIGNAL(SIGNAL_Removed_Dorvane()), S, SLOT(SLOT_Removed_Dorvane())},
    {S, SIGNAL(SIGNAL_requestAvailableTCs()), C, SLOT(SLOT_reannounceTCs())},
    {S, SIGNAL(SIGNAL_readFile(ConnectLib::TCData, QString)), P,
     SLOT(SLOT_readFile(ConnectLib::TCData, QString))},
    {S, SIGNAL(SIGNAL_writeFile(ConnectLib::TCData, QString, QByteArray)), P,
     SLOT(SLOT_writeFile(ConnectLib::TCData, QString, QByteArray))},
    {S, SIGNAL(SIGNAL_writeOfflineFileToTC(ConnectLib::TCData, QString, QString, QByteArray)), P,
     SLOT(SLOT_writeOfflineFileToTC(ConnectLib::TCData, QString, QString, QByteArray))},
    {S, SIGNAL(SIGNAL_mergeFile(ConnectLib::TCData, QString, QByteArray)), P,
     SLOT(SLOT_mergeFile(ConnectLib::TCData, QString, QByteArray))},
    {S, SIGNAL(SIGNAL_readOfflineFile(QString)), P, SLOT(SLOT_readOfflineFile(QString))},
    {S, SIGNAL(SIGNAL_writeOfflineFile(QString, QByteArray)), P,
     SLOT(SLOT_writeOfflineFile(QString, QByteArray))},
    {S, SIGNAL(SIGNAL_getSubdirs(ConnectLib::TCData, QString)), P,
     SLOT(SLOT_getSubdirectories(ConnectLib::TCData, QString))},
    {S, SIGNAL(SIGNAL_getSubdirsWithoutfile(ConnectLib::TCData, QString, QString)), P,
     SLOT(SLOT_getSubdirectoriesWithoutFile(ConnectLib::TCData, QString, QString))},
    {S, SIGNAL(SIGNAL_getDailySubdirsWithoutfile(ConnectLib::TCData, QString, QString)), P,
     SLOT(SLOT_getDailySubdirectoriesWithoutFile(ConnectLib::TCData, QString, QString))},
    {S, SIGNAL(SIGNAL_getDailyEntries(ConnectLib::TCData, QString)), P,
     SLOT(SLOT_getDailyEntries(ConnectLib::TCData, QString))},
    {S, SIGNAL(SIGNAL_getCurrentUserData(ConnectLib::TCData)), P,
     SLOT(SLOT_getCurrentUserData(ConnectLib::TCData))},
    {S, SIGNAL(SIGNAL_updateFW(ConnectLib::TCData, QString, bool)), P,
     SLOT(SLOT_updateFW(ConnectLib::TCData, QString, bool))},
    {S, SIGNAL(SIGNAL_copyFirmwareData(ConnectLib::TCData, QString)), P,
     SLOT(SLOT_copyFirmwareData(ConnectLib::TCData, QString))},
    {S,
     SIGNAL(
         SIGNAL_syncProcessStateChanged(qulonglong, ConnectGlobals::SyncState::SyncProcessState)),
     C, SLOT(SLOT_setProcessState(qulonglong, ConnectGlobals::SyncState::SyncProcessState))},
    {S, SIGNAL(SIGNAL_ravoSyncInstallerDownloadDone(QString, QString)), C,
     SLOT(SLOT_runRavoSyncInstaller(QString, QString))},
    {S, SIGNAL(SIGNAL_generateChallengeToken(ConnectLib::TCData, uint, QByteArray)), P,
     SLOT(SLOT_generateChallengeToken(ConnectLib::TCData, uint, QByteArray))},
    {S, SIGNAL(SIGNAL_doReset(ConnectLib::TCData, bool, bool)), P,
     SLOT(SLOT_doReset(ConnectLib::TCData, bool, bool))},
    {S, SIGNAL(SIGNAL_startSync(ConnectLib::TCData)), P, SLOT(SLOT_startSync(ConnectLib::TCData))},
    {S, SIGNAL(SIGNAL_stopSync(ConnectLib::TCData, bool)), P,
     SLOT(SLOT_stopSync(ConnectLib::TCData, bool))},
    {S, SIGNAL(SIGNAL_removeEntries(ConnectLib::TCData, QStringList)), P,
     SLOT(SLOT_removeEntries(ConnectLib::TCData, QStringList))},
    {S, SIGNAL(SIGNAL_setTCTimes(ConnectLib::TCData, QDateTime, bool, QDateTime, int)), P,
     SLOT(SLOT_setTCTimes(ConnectLib::TCData, QDateTime, bool, QDateTime, int))},
    {S, SIGNAL(SIGNAL_getTCTimes(ConnectLib::TCData)), P,
     SLOT(SLOT_getTCTimes(ConnectLib::TCData))},
    {S, SIGNAL(SIGNAL_createDir(ConnectLib::TCData, QString)), P,
     SLOT(SLOT_createDirectory(ConnectLib::TCData, QString))},
    {S, SIGNAL(SIGNAL_getFreeSpace(ConnectLib::TCData)), P,
     SLOT(SLOT_getFreeSpace(ConnectLib::TCData))},
    {S, SIGNAL(SIGNAL_cleanupDisk(ConnectLib::TCData, qulonglong)), P,
     SLOT(SLOT_cleanupDisk(ConnectLib::TCData, qulonglong))},
    {S, SIGNAL(SIGNAL_doBackup(ConnectLib::TCData, QString, QString, QString)), P,
     SLOT(SLOT_doBackup(ConnectLib::TCData, QString, QString, QString))},
    {S, SIGNAL(SIGNAL_revertBackup(ConnectLib::TCData, QString)), P,
     SLOT(SLOT_revertBackup(ConnectLib::TCData, QString))},
    {S, SIGNAL(SIGNAL_ZFTP_installUpdate(ConnectLib::TCData, QString, bool)), P,
     SLOT(SLOT_ZFTP_installUpdate(ConnectLib::TCData, QString, bool))},
    {S, SIGNAL(SIGNAL_getEntries(ConnectLib::TCData, QString)), P,
     SLOT(SLOT_getEntries(ConnectLib::TCData, QString))},
    {S, SIGNAL(SIGNAL_readBatteryStatus(ConnectLib::TCData)), P,
     SLOT(SLOT_readBatteryStatus(ConnectLib::TCData))},
};

} // namespace

const QVector<SynchronizerLink>& synchronizerLinks()
{
    return links;
}

bool connectSynchronizer(QObject* provider, DataSynchronizer* synchronizer, QObject* controller)
{
    QObject* const parties[] = {provider, synchronizer, controller};
    for (const Link& link : links) {
        QObject* const sender = parties[link.sender];
        QObject* const receiver = parties[link.receiver];
        if (!sender || !receiver || !QObject::connect(sender, link.signal, receiver, link.method))
            return false;
    }
    return true;
}

} // namespace ConnectGlobals
