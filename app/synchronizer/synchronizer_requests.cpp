// Device requests of the pages: each leaves as one request signal to the
// provider with a copy of the window's device record.
#include "app/logging/app_log.h"
#include "app/synchronizer/base64_text.h"
#include "app/synchronizer/data_synchronizer.h"

using ConnectLib::CPStateFlags;

namespace {
// What a page hears when its content could not be decoded.
const CPStateFlags refusedContent = ConnectLib::GENERAL_ERROR | ConnectLib::FILE_OPERATION_FAILED;
} // namespace

void DataSynchronizer::SLOT_readFromFile(QString url)
{
    emit SIGNAL_readFile(m_tcData, url);
}

std::optional<QByteArray> DataSynchronizer::decodeContent(const QString& target,
                                                          const QString& content)
{
    std::optional<QByteArray> bytes = ConnectGlobals::decodePageBase64(content);
    if (!bytes)
        ConnectGlobals::logLine(QStringLiteral("Refused to write ") + target +
                                QStringLiteral(": the content is not valid Base64."));
    return bytes;
}

void DataSynchronizer::SLOT_writeToFile(QString url, QString content)
{
    if (const std::optional<QByteArray> bytes = decodeContent(url, content))
        emit SIGNAL_writeFile(m_tcData, url, *bytes);
    else
        emit SIGNAL_fileWritten(refusedContent);
}

void DataSynchronizer::SLOT_writeToFile(QString url, QByteArray content)
{
    emit SIGNAL_writeFile(m_tcData, url, content);
}

void DataSynchronizer::SLOT_mergeToFile(QString url, QString content)
{
    if (const std::optional<QByteArray> bytes = decodeContent(url, content))
        emit SIGNAL_mergeFile(m_tcData, url, *bytes);
    else
        emit SIGNAL_fileMerged(refusedContent);
}

void DataSynchronizer::SLOT_getSubdirs(QString parentDir)
{
    emit SIGNAL_getSubdirs(m_tcData, parentDir);
}

void DataSynchronizer::SLOT_getSubdirsWithoutFile(QString parentDir, QString filename)
{
    emit SIGNAL_getSubdirsWithoutfile(m_tcData, parentDir, filename);
}

void DataSynchronizer::SLOT_getDailySubdirsWithoutFile(QString parentDir, QString filename)
{
    emit SIGNAL_getDailySubdirsWithoutfile(m_tcData, parentDir, filename);
}

void DataSynchronizer::SLOT_getDailyEntries(QString parentDir)
{
    emit SIGNAL_getDailyEntries(m_tcData, parentDir);
}

void DataSynchronizer::SLOT_getEntries(QString path)
{
    emit SIGNAL_getEntries(m_tcData, path);
}

void DataSynchronizer::SLOT_createDir(QString dirpath)
{
    emit SIGNAL_createDir(m_tcData, dirpath);
}

void DataSynchronizer::SLOT_removeEntries(QStringList entryList)
{
    emit SIGNAL_removeEntries(m_tcData, entryList);
}

void DataSynchronizer::SLOT_getFreeSpace()
{
    emit SIGNAL_getFreeSpace(m_tcData);
}

void DataSynchronizer::SLOT_cleanupDisk(qulonglong requiredBytes)
{
    emit SIGNAL_cleanupDisk(m_tcData, requiredBytes);
}

void DataSynchronizer::SLOT_readBatteryStatus()
{
    emit SIGNAL_readBatteryStatus(m_tcData);
}

void DataSynchronizer::SLOT_getTCTimes()
{
    emit SIGNAL_getTCTimes(m_tcData);
}

void DataSynchronizer::SLOT_doReset(bool sleep, bool do_factory_defaults)
{
    emit SIGNAL_doReset(m_tcData, sleep, do_factory_defaults);
}

void DataSynchronizer::SLOT_startSync()
{
    if (m_tcData.deviceId() != 0)
        emit SIGNAL_startSync(m_tcData);
}

void DataSynchronizer::SLOT_stopSync(bool syncSuccess)
{
    if (m_tcData.deviceId() != 0)
        emit SIGNAL_stopSync(m_tcData, syncSuccess);
}

void DataSynchronizer::SLOT_generateChallengeToken(uint userId, QByteArray nonse)
{
    emit SIGNAL_generateChallengeToken(m_tcData, userId, nonse);
}

void DataSynchronizer::SLOT_updateFirmware(QString zipPath, bool makeRoom)
{
    m_firmwarePending = true;
    emit SIGNAL_updateFW(m_tcData, zipPath, makeRoom);
}

void DataSynchronizer::SLOT_ZFTP_installUpdate(QString zipPath, bool makeRoom)
{
    m_firmwarePending = true;
    emit SIGNAL_ZFTP_installUpdate(m_tcData, zipPath, makeRoom);
}

void DataSynchronizer::SLOT_copyFirmwareData(QString path)
{
    emit SIGNAL_copyFirmwareData(m_tcData, path);
}

void DataSynchronizer::SLOT_doBackup(QString listOfDirs, QString from, QString to)
{
    emit SIGNAL_doBackup(m_tcData, listOfDirs, from, to);
}

void DataSynchronizer::SLOT_revertBackup(QString backupDir)
{
    emit SIGNAL_revertBackup(m_tcData, backupDir);
}
