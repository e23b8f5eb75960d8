// The pages' device requests: each converts its arguments and emits one
// request signal, which the window's synchroniser turns into a provider
// call. A request made while the window has no device still goes out: the
// provider answers it as a request for an unknown device.
#include "app/bridge/jsobject.h"

#include "app/bridge/download_rules.h"
#include "app/logging/app_log.h"
#include "connectlib/common/common.h"

#include <QDateTime>

#include <limits>

using ConnectGlobals::logLine;
using ConnectGlobals::mapContentType;

namespace {

// text as an unsigned decimal number of at most max; false when it is not
// one (a sign, a letter, nothing, or too large).
bool readUnsigned(const QString& text, quint64 max, quint64* value)
{
    bool ok = false;
    // Qt reads a leading "-" as a wrap-around; a device or user id is never
    // negative.
    if (text.trimmed().startsWith(QLatin1Char('-')))
        return false;
    const qulonglong read = text.toULongLong(&ok, 10);
    if (!ok || read > max)
        return false;
    *value = read;
    return true;
}

} // namespace

void JsObject::SLOT_readFromLocal(QString url, QString showErrorDialog)
{
    storeShowErrorDialog(showErrorDialog);
    emit m_requests->SIGNAL_readFromFile(url);
}

void JsObject::SLOT_read(QString url, QString showErrorDialog)
{
    SLOT_readFromLocal(url, showErrorDialog);
}

void JsObject::SLOT_readOfflineFile(QString filename, QString showErrorDialog)
{
    storeShowErrorDialog(showErrorDialog);
    emit m_requests->SIGNAL_readOfflineFile(filename);
}

void JsObject::SLOT_writeToLocal(QString url, QString data, QString showErrorDialog,
                                 bool fromLocalBuffer)
{
    storeShowErrorDialog(showErrorDialog);
    useLocalBuffer = fromLocalBuffer;
    if (fromLocalBuffer)
        emit m_requests->SIGNAL_writeToFile(url, localBuffer);
    else
        emit m_requests->SIGNAL_writeToFile(url, data);
}

void JsObject::SLOT_write(QString url, QString data, QString showErrorDialog)
{
    SLOT_writeToLocal(url, data, showErrorDialog, false);
}

void JsObject::SLOT_writeOfflineFile(QString filename, QString content, QString showErrorDialog)
{
    storeShowErrorDialog(showErrorDialog);
    // The map just streamed into the offline store comes without content
    // (the buffer never held it); anything with content is that content,
    // whatever was downloaded before.
    if (downloadContentType == mapContentType && content.isEmpty())
        writeStreamedMap(filename);
    else
        emit m_requests->SIGNAL_writeOfflineFile(filename, content);
}

void JsObject::SLOT_writeOfflineFileToTC(QString filename, QString content, QString showErrorDialog,
                                         QString contentType)
{
    Q_UNUSED(content)
    // Only a map download has its bytes in the local buffer; anything else
    // would leave the page waiting for a result that never comes. The
    // refusal does not pass through the page's verdict, so the dialog
    // choice is kept for the next request's result.
    if (contentType != mapContentType) {
        logLine(QStringLiteral("Cannot write an offline file of content type \"") + contentType +
                QStringLiteral("\" to the device: ") + filename);
        emit SIGNAL_fail(QString(), QStringLiteral("INVALID_PARAMETER"), QString());
        return;
    }
    storeShowErrorDialog(showErrorDialog);
    emit m_requests->SIGNAL_writeOfflineToTCFile(filename, localBuffer);
}

void JsObject::SLOT_merge(QString url, QString data, QString showErrorDialog)
{
    storeShowErrorDialog(showErrorDialog);
    emit m_requests->SIGNAL_mergeToFile(url, data);
}

void JsObject::SLOT_createDir(QString dirpath)
{
    emit m_requests->SIGNAL_createDir(dirpath);
}

void JsObject::SLOT_removeEntries(QString entryList)
{
    // Empty parts stay: the device library refuses an empty path, so a
    // stray comma fails the request instead of naming the root.
    emit m_requests->SIGNAL_removeEntries(entryList.split(QLatin1Char(','), Qt::KeepEmptyParts));
}

void JsObject::SLOT_getSubdirs(QString parentPath)
{
    emit m_requests->SIGNAL_getSubdirs(parentPath);
}

void JsObject::SLOT_getSubdirsWithoutFile(QString parentPath, QString filename)
{
    emit m_requests->SIGNAL_getSubdirsWithoutFile(parentPath, filename);
}

void JsObject::SLOT_getDailySubdirsWithoutFile(QString parentPath, QString filename)
{
    emit m_requests->SIGNAL_getDailySubdirsWithoutFile(parentPath, filename);
}

void JsObject::SLOT_getDailyEntries(QString parentPath)
{
    emit m_requests->SIGNAL_getDailyEntries(parentPath);
}

void JsObject::SLOT_getEntries(QString path)
{
    emit m_requests->SIGNAL_getEntries(path);
}

void JsObject::SLOT_getFreeSpace()
{
    emit m_requests->SIGNAL_getFreeSpace();
}

void JsObject::SLOT_cleanupDisk(qulonglong requiredBytes)
{
    emit m_requests->SIGNAL_cleanupDisk(requiredBytes);
}

void JsObject::SLOT_readBatteryStatus()
{
    emit m_requests->SIGNAL_readBatteryStatus();
}

void JsObject::SLOT_setTCTimes(QString system, bool trusted, QString local, int timezone)
{
    emit m_requests->SIGNAL_setTCTimes(system, trusted, local, timezone);
}

void JsObject::SLOT_getTCTimes()
{
    emit m_requests->SIGNAL_getTCTimes();
}

void JsObject::SLOT_doReset(bool sleep, bool do_factory_defaults)
{
    emit m_requests->SIGNAL_doReset(sleep, do_factory_defaults);
}

void JsObject::SLOT_doFactoryReset(bool sleep)
{
    emit m_requests->SIGNAL_doReset(sleep, true);
}

void JsObject::SLOT_generateChallengeToken(QString userId, QString nonse)
{
    quint64 id = 0;
    if (!readUnsigned(userId, std::numeric_limits<uint>::max(), &id)) {
        logLine(QStringLiteral("Could not convert userId to int."));
        emit SIGNAL_challengeTokenReceived(QString());
        return;
    }
    emit m_requests->SIGNAL_generateChallengeToken(uint(id), nonse.toLatin1());
}

void JsObject::SLOT_startSync()
{
    emit m_requests->SIGNAL_startSync();
}

void JsObject::SLOT_stopSync(bool syncSuccess)
{
    emit m_requests->SIGNAL_stopSync(syncSuccess);
}

void JsObject::SLOT_updateFirmware(QString zipPath, bool makeRoom)
{
    emit m_requests->SIGNAL_updateFirmware(zipPath, makeRoom);
}

void JsObject::SLOT_ZFTP_installUpdate(QString zipPath, bool makeRoom)
{
    emit m_requests->SIGNAL_ZFTP_installUpdate(zipPath, makeRoom);
}

void JsObject::SLOT_copyFirmwareData(QString path)
{
    emit m_requests->SIGNAL_copyFirmwareData(path);
}

void JsObject::SLOT_doBackup(QString listOfDirs, QString from, QString to)
{
    emit m_requests->SIGNAL_doBackup(listOfDirs, from, to);
}

void JsObject::SLOT_revertBackup(QString backupDir)
{
    emit m_requests->SIGNAL_revertBackup(backupDir);
}

void JsObject::SLOT_startSyncWithDevice(QString deviceId)
{
    if (pageOnItsWayOut(QStringLiteral("A sync with device ") + deviceId))
        return;
    quint64 id = 0;
    if (!readUnsigned(deviceId, std::numeric_limits<quint64>::max(), &id))
        id = 0;
    emit m_requests->SIGNAL_startSyncWithDevice(id);
}

QString JsObject::SLOT_getComputerTime()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
}

int JsObject::SLOT_getTimezoneMinutes()
{
    return ConnectLib::Common::getTimezoneMinutes();
}
