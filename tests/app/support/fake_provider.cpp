#include "tests/app/support/fake_provider.h"

namespace RavoSync::Test {

using ConnectLib::CPStateFlags;
using ConnectLib::TCData;

namespace {
const CPStateFlags fileFailed = ConnectLib::TC_NOT_FOUND | ConnectLib::FILE_OPERATION_FAILED;
const CPStateFlags listFailed = ConnectLib::TC_NOT_FOUND | ConnectLib::GET_SUBDIRECTORIES_FAILED;
const CPStateFlags generalFailed = ConnectLib::TC_NOT_FOUND | ConnectLib::GENERAL_ERROR;
const CPStateFlags firmwareFailed = ConnectLib::TC_NOT_FOUND | ConnectLib::FW_UPDATE_FAILED;

QVariant asVariant(const TCData& data)
{
    return QVariant::fromValue(data);
}
} // namespace

QStringList FakeProvider::callNames() const
{
    QStringList names;
    for (const Call& call : m_calls)
        names.append(call.name);
    return names;
}

bool FakeProvider::record(const char* name, quint64 deviceId, const QVariantList& arguments)
{
    m_calls.append({QString::fromLatin1(name), arguments});
    return m_known.contains(deviceId);
}

void FakeProvider::SLOT_getTCData(qulonglong deviceId)
{
    if (!record("getTCData", deviceId, {deviceId}))
        emit SIGNAL_TCDataReceived(TCData(), ConnectLib::TC_NOT_FOUND);
}

void FakeProvider::SLOT_readFile(TCData data, QString file)
{
    if (!record("readFile", data.deviceId(), {asVariant(data), file}))
        emit SIGNAL_fileRead(data, QByteArray(), fileFailed);
}

void FakeProvider::SLOT_writeFile(TCData data, QString file, QByteArray fileData)
{
    if (!record("writeFile", data.deviceId(), {asVariant(data), file, fileData}))
        emit SIGNAL_fileWrote(data, 0, fileFailed);
}

void FakeProvider::SLOT_writeOfflineFileToTC(TCData data, QString source, QString file,
                                             QByteArray fileData)
{
    if (!record("writeOfflineFileToTC", data.deviceId(), {asVariant(data), source, file, fileData}))
        emit SIGNAL_fileWrote(data, 0, fileFailed);
}

void FakeProvider::SLOT_mergeFile(TCData data, QString file, QByteArray fileData)
{
    if (!record("mergeFile", data.deviceId(), {asVariant(data), file, fileData}))
        emit SIGNAL_fileMerged(data, fileFailed);
}

void FakeProvider::SLOT_createDirectory(TCData data, QString path)
{
    if (!record("createDirectory", data.deviceId(), {asVariant(data), path}))
        emit SIGNAL_directoryCreated(data, fileFailed);
}

void FakeProvider::SLOT_removeEntries(TCData data, QStringList entryList)
{
    if (!record("removeEntries", data.deviceId(), {asVariant(data), entryList}))
        emit SIGNAL_entriesRemoved(data, fileFailed);
}

void FakeProvider::SLOT_getEntries(TCData data, QString rootPath)
{
    if (!record("getEntries", data.deviceId(), {asVariant(data), rootPath}))
        emit SIGNAL_entriesReceived(data, ConnectLib::TCEntryItem(),
                                    ConnectLib::TC_NOT_FOUND | ConnectLib::GET_ENTRIES_FAILED);
}

void FakeProvider::SLOT_getSubdirectories(TCData data, QString rootPath)
{
    if (!record("getSubdirectories", data.deviceId(), {asVariant(data), rootPath}))
        emit SIGNAL_subdirectoriesReceived(data, QStringList(), listFailed);
}

void FakeProvider::SLOT_getSubdirectoriesWithoutFile(TCData data, QString rootPath,
                                                     QString fileName)
{
    if (!record("getSubdirectoriesWithoutFile", data.deviceId(),
                {asVariant(data), rootPath, fileName}))
        emit SIGNAL_subdirectoriesReceived(data, QStringList(), listFailed);
}

void FakeProvider::SLOT_getDailySubdirectoriesWithoutFile(TCData data, QString rootPath,
                                                          QString fileName)
{
    if (!record("getDailySubdirectoriesWithoutFile", data.deviceId(),
                {asVariant(data), rootPath, fileName}))
        emit SIGNAL_subdirectoriesReceived(data, QStringList(), listFailed);
}

void FakeProvider::SLOT_getDailyEntries(TCData data, QString rootPath)
{
    if (!record("getDailyEntries", data.deviceId(), {asVariant(data), rootPath}))
        emit SIGNAL_getDailyEntriesReceived(data, QStringList(), listFailed);
}

void FakeProvider::SLOT_getCurrentUserData(TCData data)
{
    if (!record("getCurrentUserData", data.deviceId(), {asVariant(data)}))
        emit SIGNAL_currentUserDataReceived(data, QString(), 0, 0,
                                            ConnectLib::TC_NOT_FOUND |
                                                ConnectLib::GET_CURRENT_USER_DATA_FAILED);
}

void FakeProvider::SLOT_generateChallengeToken(TCData data, uint userId, QByteArray nonse)
{
    if (!record("generateChallengeToken", data.deviceId(), {asVariant(data), userId, nonse}))
        emit SIGNAL_challengeTokenReceived(
            data, QString(), ConnectLib::TC_NOT_FOUND | ConnectLib::GET_CHALLENGE_TOKEN_FAILED);
}

void FakeProvider::SLOT_setTCTimes(TCData data, QDateTime system, bool trusted, QDateTime local,
                                   int timezone)
{
    if (!record("setTCTimes", data.deviceId(), {asVariant(data), system, trusted, local, timezone}))
        emit SIGNAL_tcTimesSet(data, generalFailed);
}

void FakeProvider::SLOT_getTCTimes(TCData data)
{
    if (!record("getTCTimes", data.deviceId(), {asVariant(data)}))
        emit SIGNAL_tcTimesGet(data, QDateTime(), QDateTime(), generalFailed);
}

void FakeProvider::SLOT_readBatteryStatus(TCData data)
{
    if (!record("readBatteryStatus", data.deviceId(), {asVariant(data)}))
        emit SIGNAL_batteryStatusReceived(data, -1, generalFailed);
}

void FakeProvider::SLOT_getFreeSpace(TCData data)
{
    if (!record("getFreeSpace", data.deviceId(), {asVariant(data)}))
        emit SIGNAL_freeSpaceReceived(data, 0, fileFailed);
}

void FakeProvider::SLOT_cleanupDisk(TCData data, qulonglong requiredSpace)
{
    if (!record("cleanupDisk", data.deviceId(), {asVariant(data), requiredSpace}))
        emit SIGNAL_cleanupDone(data, 0, fileFailed);
}

void FakeProvider::SLOT_startSync(TCData data)
{
    // The provider only logs an unknown device here.
    record("startSync", data.deviceId(), {asVariant(data)});
}

void FakeProvider::SLOT_stopSync(TCData data, bool syncSuccess)
{
    record("stopSync", data.deviceId(), {asVariant(data), syncSuccess});
}

void FakeProvider::SLOT_doReset(TCData data, bool sleep, bool do_factory_defaults)
{
    if (!record("doReset", data.deviceId(), {asVariant(data), sleep, do_factory_defaults}))
        emit SIGNAL_cancelled(data, ConnectLib::TC_NOT_FOUND | ConnectLib::FACTORYRESET_FAILED);
}

void FakeProvider::SLOT_updateFW(TCData data, QString updateFile, bool makeRoom)
{
    if (!record("updateFW", data.deviceId(), {asVariant(data), updateFile, makeRoom}))
        emit SIGNAL_firmwareUpdated(data, firmwareFailed);
}

void FakeProvider::SLOT_ZFTP_installUpdate(TCData data, QString updateFile, bool makeRoom)
{
    if (!record("ZFTP_installUpdate", data.deviceId(), {asVariant(data), updateFile, makeRoom}))
        emit SIGNAL_ZFTP_installUpdateComplete(data, firmwareFailed);
}

void FakeProvider::SLOT_copyFirmwareData(TCData data, QString path)
{
    if (!record("copyFirmwareData", data.deviceId(), {asVariant(data), path}))
        emit SIGNAL_firmwareDataCopied(data, firmwareFailed);
}

void FakeProvider::SLOT_doBackup(TCData data, QString listOfDirs, QString from, QString to)
{
    if (!record("doBackup", data.deviceId(), {asVariant(data), listOfDirs, from, to}))
        emit SIGNAL_backupDone(data, QString(), fileFailed);
}

void FakeProvider::SLOT_revertBackup(TCData data, QString backupDir)
{
    if (!record("revertBackup", data.deviceId(), {asVariant(data), backupDir}))
        emit SIGNAL_backupRevertDone(data, fileFailed);
}

void FakeProvider::SLOT_readOfflineFile(QString file)
{
    // Offline storage involves no device; its worker answers later.
    m_calls.append({QStringLiteral("readOfflineFile"), {file}});
}

void FakeProvider::SLOT_writeOfflineFile(QString file, QByteArray data)
{
    m_calls.append({QStringLiteral("writeOfflineFile"), {file, data}});
}

} // namespace RavoSync::Test
