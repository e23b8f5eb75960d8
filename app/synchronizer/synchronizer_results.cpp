// Results and device events of the provider: filtered by device, turned
// into the forms the pages take, handed to the bridge. The flags pass
// unjudged; the bridge decides.
#include "app/bridge/jsobject.h"
#include "app/synchronizer/data_synchronizer.h"

using ConnectLib::CPStateFlags;
using ConnectLib::TCData;

void DataSynchronizer::SLOT_fileRead(TCData tcData, QByteArray fileData, CPStateFlags status)
{
    if (passesResult(tcData))
        emit SIGNAL_fileRead(status, QString::fromLatin1(fileData.toBase64()));
}

void DataSynchronizer::SLOT_offlineFileRead(QByteArray content, CPStateFlags status)
{
    if (m_pendingOfflineReads == 0)
        return;
    --m_pendingOfflineReads;
    const int end = content.indexOf('\0');
    m_bridge->SLOT_readFromLocalDone(status,
                                     QString::fromUtf8(end < 0 ? content : content.left(end)));
}

void DataSynchronizer::SLOT_fileWrote(TCData tcData, qlonglong, CPStateFlags status)
{
    if (passesResult(tcData))
        emit SIGNAL_fileWritten(status);
}

void DataSynchronizer::SLOT_offlineFileWrote(CPStateFlags status)
{
    if (m_pendingOfflineWrites == 0)
        return;
    --m_pendingOfflineWrites;
    SLOT_fileWrote(m_tcData, 1, status);
}

void DataSynchronizer::SLOT_fileMerged(TCData tcData, CPStateFlags status)
{
    if (passesResult(tcData))
        emit SIGNAL_fileMerged(status);
}

void DataSynchronizer::SLOT_subdirsReceived(TCData tcData, QStringList subdirs, CPStateFlags status)
{
    if (passesResult(tcData))
        m_bridge->SLOT_returnSubdirs(status, subdirs);
}

void DataSynchronizer::SLOT_getDailyEntriesReceived(TCData tcData, QStringList entries,
                                                    CPStateFlags status)
{
    if (passesResult(tcData))
        m_bridge->SLOT_returnDailyEntries(status, entries);
}

void DataSynchronizer::SLOT_entriesReceived(TCData tcData, ConnectLib::TCEntryItem entries,
                                            CPStateFlags flags)
{
    if (!passesResult(tcData))
        return;
    QStringList paths;
    for (int row = 0; row < entries.childCount(); ++row) {
        const ConnectLib::TCEntryItem* child = entries.child(row);
        if (child->size() > 0)
            paths.append(child->absolutePath());
    }
    emit SIGNAL_entriesReceived(paths, flags);
}

void DataSynchronizer::SLOT_entriesRemoved(TCData tcData, CPStateFlags status)
{
    if (passesResult(tcData))
        emit SIGNAL_entriesRemoved(status);
}

void DataSynchronizer::SLOT_dirCreated(TCData tcData, CPStateFlags status)
{
    if (passesResult(tcData))
        emit SIGNAL_dirCreated(status);
}

void DataSynchronizer::SLOT_freeSpaceReceived(TCData tcData, qulonglong freeSpace,
                                              CPStateFlags status)
{
    if (passesResult(tcData))
        emit SIGNAL_freeSpaceReceived(freeSpace, status);
}

void DataSynchronizer::SLOT_cleanupDone(TCData tcData, qulonglong freeSpace, CPStateFlags status)
{
    if (passesResult(tcData))
        emit SIGNAL_cleanupDone(freeSpace, status);
}

void DataSynchronizer::SLOT_batteryStatusReceived(TCData tcData, int charge, CPStateFlags status)
{
    if (passesResult(tcData))
        emit SIGNAL_batteryStatusReceived(charge, status);
}

void DataSynchronizer::SLOT_tcTimesSet(TCData tcData, CPStateFlags status)
{
    if (passesResult(tcData))
        emit SIGNAL_tcTimesSet(status);
}

void DataSynchronizer::SLOT_tcTimesGet(TCData tcData, QDateTime system, QDateTime local,
                                       CPStateFlags status)
{
    if (passesResult(tcData))
        emit SIGNAL_tcTimesGet(system.toString(Qt::ISODate), local.toString(Qt::ISODate), status);
}

void DataSynchronizer::SLOT_challengeTokenReceived(TCData tcData, QString challengeToken,
                                                   CPStateFlags)
{
    if (passesResult(tcData))
        emit SIGNAL_challengeTokenReceived(challengeToken);
}

void DataSynchronizer::SLOT_backupDone(TCData tcData, QString backupDir, CPStateFlags flags)
{
    if (passesResult(tcData))
        emit SIGNAL_backupDone(backupDir, flags);
}

void DataSynchronizer::SLOT_backupRevertDone(TCData tcData, CPStateFlags flags)
{
    if (passesResult(tcData))
        emit SIGNAL_backupRevertDone(flags);
}

void DataSynchronizer::SLOT_firmwareDataCopied(TCData tcData, CPStateFlags status)
{
    if (passesResult(tcData))
        emit SIGNAL_firmwareDataCopied(status);
}

void DataSynchronizer::SLOT_fwUpdateProgress(int progress, int total, CPStateFlags)
{
    if (m_firmwarePending)
        emit SIGNAL_fwUpdateProgress(progress, total);
}

void DataSynchronizer::SLOT_fileWriteProgress(int progress, int total, CPStateFlags)
{
    if (m_firmwarePending)
        emit SIGNAL_fileWriteProgress(progress, total);
}

void DataSynchronizer::SLOT_firmwareUpdated(TCData tcData, CPStateFlags status)
{
    if (!passesResult(tcData))
        return;
    m_firmwarePending = false;
    // A successful update restarts the device, which comes back as an event.
    if (status.testFlag(ConnectLib::FW_UPDATE_FAILED))
        m_bridge->SLOT_continueWithDevice(m_tcData.deviceIdAsHexString(), status);
}

void DataSynchronizer::SLOT_ZFTP_installUpdateCompleted(TCData tcData, CPStateFlags status)
{
    if (!passesResult(tcData))
        return;
    m_firmwarePending = false;
    m_bridge->SLOT_continueWithDevice(m_tcData.deviceIdAsHexString(), status);
}

void DataSynchronizer::SLOT_tcAppeared(TCData tcData)
{
    if (passesEvent(tcData))
        emit SIGNAL_tcAppeared(tcData);
}

void DataSynchronizer::SLOT_tcRerouted(TCData tcData)
{
    if (passesEvent(tcData))
        emit SIGNAL_tcRerouted(tcData);
}

void DataSynchronizer::SLOT_tcIdling(TCData tcData)
{
    if (passesEvent(tcData))
        emit SIGNAL_tcIdling(tcData);
}

void DataSynchronizer::SLOT_tcBatteryStatus(TCData tcData, int charge)
{
    if (passesEvent(tcData))
        emit SIGNAL_tcBatteryStatus(tcData, charge);
}

void DataSynchronizer::SLOT_tcDisappeared(TCData tcData)
{
    if (!passesEvent(tcData))
        return;
    m_bridge->SLOT_cancelFWDownload(ConnectLib::TC_CONNECTION_LOST);
    emit SIGNAL_tcDisappeared(tcData);
}

void DataSynchronizer::SLOT_Removed_Dorvane()
{
    m_bridge->SLOT_Removed_Dorvane();
}
