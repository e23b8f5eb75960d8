#include "connectlib/provider/connection_provider.h"

#include "connectlib/provider/connection_provider_p.h"

#include <limits>

namespace ConnectLib {

namespace {
const CPStateFlags notFoundFileFailed = TC_NOT_FOUND | FILE_OPERATION_FAILED;
const CPStateFlags notFoundListFailed = TC_NOT_FOUND | GET_SUBDIRECTORIES_FAILED;
const CPStateFlags notFoundGeneral = TC_NOT_FOUND | GENERAL_ERROR;
} // namespace

ConnectionProvider::ConnectionProvider(QObject* parent, const QString& offlineRoot)
    : QObject(parent)
    , d(nullptr)
{
    d = new ConnectionProviderPrivate(this, offlineRoot);
}

ConnectionProvider::~ConnectionProvider()
{
    delete d;
}

void ConnectionProvider::SLOT_getTCData(qulonglong deviceId)
{
    if (!d->invokeWorker(deviceId, QString::number(deviceId), "SLOT_getTCData"))
        emit SIGNAL_TCDataReceived(TCData(), TC_NOT_FOUND);
}

void ConnectionProvider::SLOT_readFile(ConnectLib::TCData data, QString file)
{
    if (!d->invokeWorker(data, "SLOT_readFile", Q_ARG(ConnectLib::TCData, data),
                         Q_ARG(QString, file)))
        emit SIGNAL_fileRead(data, QByteArray(), notFoundFileFailed);
}

void ConnectionProvider::SLOT_writeFile(ConnectLib::TCData data, QString file, QByteArray fileData)
{
    if (!d->invokeWorker(data, "SLOT_writeFile", Q_ARG(ConnectLib::TCData, data),
                         Q_ARG(QString, file), Q_ARG(QByteArray, fileData)))
        emit SIGNAL_fileWrote(data, 0, notFoundFileFailed);
}

void ConnectionProvider::SLOT_writeOfflineFileToTC(ConnectLib::TCData data, QString source,
                                                   QString file, QByteArray fileData)
{
    if (!d->invokeWorker(data, "SLOT_writeOfflineFileToTC", Q_ARG(ConnectLib::TCData, data),
                         Q_ARG(QString, source), Q_ARG(QString, file), Q_ARG(QByteArray, fileData)))
        emit SIGNAL_fileWrote(data, 0, notFoundFileFailed);
}

void ConnectionProvider::SLOT_mergeFile(ConnectLib::TCData data, QString file, QByteArray fileData)
{
    if (!d->invokeWorker(data, "SLOT_mergeFile", Q_ARG(ConnectLib::TCData, data),
                         Q_ARG(QString, file), Q_ARG(QByteArray, fileData)))
        emit SIGNAL_fileMerged(data, notFoundFileFailed);
}

void ConnectionProvider::SLOT_createDirectory(ConnectLib::TCData data, QString path)
{
    if (!d->invokeWorker(data, "SLOT_createDirectory", Q_ARG(ConnectLib::TCData, data),
                         Q_ARG(QString, path)))
        emit SIGNAL_directoryCreated(data, notFoundFileFailed);
}

void ConnectionProvider::SLOT_removeFile(ConnectLib::TCData data, QString path)
{
    if (!d->invokeWorker(data, "SLOT_removeFile", Q_ARG(ConnectLib::TCData, data),
                         Q_ARG(QString, path)))
        emit SIGNAL_fileRemoved(data, notFoundFileFailed);
}

void ConnectionProvider::SLOT_removeDirectory(ConnectLib::TCData data, QString path)
{
    if (!d->invokeWorker(data, "SLOT_removeDirectory", Q_ARG(ConnectLib::TCData, data),
                         Q_ARG(QString, path)))
        emit SIGNAL_directoryRemoved(data, notFoundFileFailed);
}

void ConnectionProvider::SLOT_removeEntry(ConnectLib::TCData data, QString path)
{
    if (!d->invokeWorker(data, "SLOT_removeEntry", Q_ARG(ConnectLib::TCData, data),
                         Q_ARG(QString, path)))
        emit SIGNAL_entryRemoved(data, notFoundFileFailed);
}

void ConnectionProvider::SLOT_removeEntries(ConnectLib::TCData data, QStringList entryList)
{
    if (!d->invokeWorker(data, "SLOT_removeEntries", Q_ARG(ConnectLib::TCData, data),
                         Q_ARG(QStringList, entryList)))
        emit SIGNAL_entriesRemoved(data, notFoundFileFailed);
}

void ConnectionProvider::SLOT_getEntries(ConnectLib::TCData data, QString rootPath)
{
    if (!d->invokeWorker(data, "SLOT_getEntries", Q_ARG(ConnectLib::TCData, data),
                         Q_ARG(QString, rootPath)))
        emit SIGNAL_entriesReceived(data, TCEntryItem(), TC_NOT_FOUND | GET_ENTRIES_FAILED);
}

void ConnectionProvider::SLOT_getSubdirectories(ConnectLib::TCData data, QString rootPath)
{
    if (!d->invokeWorker(data, "SLOT_getSubdirectories", Q_ARG(ConnectLib::TCData, data),
                         Q_ARG(QString, rootPath)))
        emit SIGNAL_subdirectoriesReceived(data, QStringList(), notFoundListFailed);
}

void ConnectionProvider::SLOT_getSubdirectoriesWithoutFile(ConnectLib::TCData data,
                                                           QString rootPath, QString fileName)
{
    if (!d->invokeWorker(data, "SLOT_getSubdirectoriesWithoutFile", Q_ARG(ConnectLib::TCData, data),
                         Q_ARG(QString, rootPath), Q_ARG(QString, fileName)))
        emit SIGNAL_subdirectoriesReceived(data, QStringList(), notFoundListFailed);
}

void ConnectionProvider::SLOT_getDailySubdirectoriesWithoutFile(ConnectLib::TCData data,
                                                                QString rootPath, QString fileName)
{
    if (!d->invokeWorker(data, "SLOT_getDailySubdirectoriesWithoutFile",
                         Q_ARG(ConnectLib::TCData, data), Q_ARG(QString, rootPath),
                         Q_ARG(QString, fileName)))
        emit SIGNAL_subdirectoriesReceived(data, QStringList(), notFoundListFailed);
}

void ConnectionProvider::SLOT_getDailyEntries(ConnectLib::TCData data, QString rootPath)
{
    if (!d->invokeWorker(data, "SLOT_getDailyEntries", Q_ARG(ConnectLib::TCData, data),
                         Q_ARG(QString, rootPath)))
        emit SIGNAL_getDailyEntriesReceived(data, QStringList(), notFoundListFailed);
}

void ConnectionProvider::SLOT_getTCDirSize(ConnectLib::TCData data, QString rootPath)
{
    if (!d->invokeWorker(data, "SLOT_getTCDirSize", Q_ARG(ConnectLib::TCData, data),
                         Q_ARG(QString, rootPath)))
        emit SIGNAL_tcDirSizeReceived(data, std::numeric_limits<qulonglong>::max(),
                                      notFoundFileFailed);
}

void ConnectionProvider::SLOT_getTimestamp(ConnectLib::TCData data)
{
    if (!d->invokeWorker(data, "SLOT_getTimestamp", Q_ARG(ConnectLib::TCData, data)))
        emit SIGNAL_timestampReceived(data, QDateTime(), TC_NOT_FOUND | GET_TIMESTAMP_FAILED);
}

void ConnectionProvider::SLOT_getCurrentUserData(ConnectLib::TCData data)
{
    if (!d->invokeWorker(data, "SLOT_getCurrentUserData", Q_ARG(ConnectLib::TCData, data)))
        emit SIGNAL_currentUserDataReceived(data, QString(), 0, 0,
                                            TC_NOT_FOUND | GET_CURRENT_USER_DATA_FAILED);
}

void ConnectionProvider::SLOT_generateChallengeToken(ConnectLib::TCData data, uint userId,
                                                     QByteArray nonse)
{
    if (!d->invokeWorker(data, "SLOT_generateChallengeToken", Q_ARG(ConnectLib::TCData, data),
                         Q_ARG(uint, userId), Q_ARG(QByteArray, nonse)))
        emit SIGNAL_challengeTokenReceived(data, QString(),
                                           TC_NOT_FOUND | GET_CHALLENGE_TOKEN_FAILED);
}

void ConnectionProvider::SLOT_setTCTimes(ConnectLib::TCData data, QDateTime system, bool trusted,
                                         QDateTime local, int timezone)
{
    if (!d->invokeWorker(data, "SLOT_setTCTimes", Q_ARG(ConnectLib::TCData, data),
                         Q_ARG(QDateTime, system), Q_ARG(bool, trusted), Q_ARG(QDateTime, local),
                         Q_ARG(int, timezone)))
        emit SIGNAL_tcTimesSet(data, notFoundGeneral);
}

void ConnectionProvider::SLOT_getTCTimes(ConnectLib::TCData data)
{
    if (!d->invokeWorker(data, "SLOT_getTCTimes", Q_ARG(ConnectLib::TCData, data)))
        emit SIGNAL_tcTimesGet(data, QDateTime(), QDateTime(), notFoundGeneral);
}

void ConnectionProvider::SLOT_readBatteryStatus(ConnectLib::TCData data)
{
    if (!d->invokeWorker(data, "SLOT_readBatteryStatus", Q_ARG(ConnectLib::TCData, data)))
        emit SIGNAL_batteryStatusReceived(data, -1, notFoundGeneral);
}

void ConnectionProvider::SLOT_getFreeSpace(ConnectLib::TCData data)
{
    if (!d->invokeWorker(data, "SLOT_getFreeSpace", Q_ARG(ConnectLib::TCData, data)))
        emit SIGNAL_freeSpaceReceived(data, 0, notFoundFileFailed);
}

void ConnectionProvider::SLOT_cleanupDisk(ConnectLib::TCData data, qulonglong requiredSpace)
{
    if (!d->invokeWorker(data, "SLOT_cleanupDisk", Q_ARG(ConnectLib::TCData, data),
                         Q_ARG(qulonglong, requiredSpace)))
        emit SIGNAL_cleanupDone(data, 0, notFoundFileFailed);
}

void ConnectionProvider::SLOT_startSync(ConnectLib::TCData data)
{
    d->invokeWorker(data, "SLOT_startSync");
}

void ConnectionProvider::SLOT_stopSync(ConnectLib::TCData data, bool syncSuccess)
{
    d->invokeWorker(data, "SLOT_stopSync", Q_ARG(bool, syncSuccess));
}

void ConnectionProvider::SLOT_doReset(ConnectLib::TCData data, bool sleep, bool do_factory_defaults)
{
    if (!d->invokeWorker(data, "SLOT_reset", Q_ARG(ConnectLib::TCData, data), Q_ARG(bool, sleep),
                         Q_ARG(bool, do_factory_defaults)))
        emit SIGNAL_cancelled(data, TC_NOT_FOUND | FACTORYRESET_FAILED);
}

void ConnectionProvider::SLOT_cancel(ConnectLib::TCData data)
{
    if (!d->cancel(data))
        emit SIGNAL_cancelled(data, TC_NOT_FOUND | CANCEL_FAILED);
}

void ConnectionProvider::SLOT_ADB_enable(ConnectLib::TCData data, bool enable)
{
    if (!d->invokeWorker(data, "SLOT_ADB_enable", Q_ARG(ConnectLib::TCData, data),
                         Q_ARG(bool, enable)))
        emit SIGNAL_ADB_enableComplete(data, enable, TC_NOT_FOUND | FW_UPDATE_FAILED);
}

void ConnectionProvider::SLOT_updateFW(ConnectLib::TCData data, QString updateFile, bool makeRoom)
{
    if (!d->invokeWorker(data, "SLOT_updateFW", Q_ARG(ConnectLib::TCData, data),
                         Q_ARG(QString, updateFile), Q_ARG(bool, makeRoom)))
        emit SIGNAL_firmwareUpdated(data, TC_NOT_FOUND | FW_UPDATE_FAILED);
}

void ConnectionProvider::SLOT_ZFTP_installUpdate(ConnectLib::TCData data, QString updateFile,
                                                 bool makeRoom)
{
    if (!d->invokeWorker(data, "SLOT_ZFTP_installUpdate", Q_ARG(ConnectLib::TCData, data),
                         Q_ARG(QString, updateFile), Q_ARG(bool, makeRoom)))
        emit SIGNAL_ZFTP_installUpdateComplete(data, TC_NOT_FOUND | FW_UPDATE_FAILED);
}

void ConnectionProvider::SLOT_copyFirmwareData(ConnectLib::TCData data, QString path)
{
    if (!d->invokeWorker(data, "SLOT_copyFWData", Q_ARG(ConnectLib::TCData, data),
                         Q_ARG(QString, path)))
        emit SIGNAL_firmwareDataCopied(data, TC_NOT_FOUND | FW_UPDATE_FAILED);
}

void ConnectionProvider::SLOT_doBackup(ConnectLib::TCData data, QString listOfDirs, QString from,
                                       QString to)
{
    if (!d->invokeWorker(data, "SLOT_doBackup", Q_ARG(ConnectLib::TCData, data),
                         Q_ARG(QString, listOfDirs), Q_ARG(QString, from), Q_ARG(QString, to)))
        emit SIGNAL_backupDone(data, QString(), notFoundFileFailed);
}

void ConnectionProvider::SLOT_revertBackup(ConnectLib::TCData data, QString backupDir)
{
    if (!d->invokeWorker(data, "SLOT_revertBackup", Q_ARG(ConnectLib::TCData, data),
                         Q_ARG(QString, backupDir)))
        emit SIGNAL_backupRevertDone(data, notFoundFileFailed);
}

void ConnectionProvider::SLOT_readOfflineFile(QString file)
{
    if (!d->invokeOfflineWorker("SLOT_readOfflineFile", Q_ARG(QString, file)))
        emit SIGNAL_offLineFileRead(QByteArray(), GENERAL_ERROR);
}

void ConnectionProvider::SLOT_writeOfflineFile(QString file, QByteArray data)
{
    if (!d->invokeOfflineWorker("SLOT_writeOfflineFile", Q_ARG(QString, file),
                                Q_ARG(QByteArray, data)))
        emit SIGNAL_offLineFileWrote(GENERAL_ERROR);
}

void ConnectionProvider::SLOT_isOfflineFile(QString file)
{
    if (!d->invokeOfflineWorker("SLOT_isOfflineFile", Q_ARG(QString, file)))
        emit SIGNAL_offLineFileExists(GENERAL_ERROR);
}

void ConnectionProvider::SLOT_createLocalTC(QString rootPath)
{
    d->createLocalTC(rootPath);
}

} // namespace ConnectLib
