// Files the pages have the synchroniser keep on this computer (the offline
// store, the firmware archive) and the device clock request. Every path a
// page names is checked here: a page is remote content and must not pick
// where on the disk bytes land.
#include "app/bridge/jsobject.h"
#include "app/common/offline_paths.h"
#include "app/logging/app_log.h"
#include "app/synchronizer/data_synchronizer.h"
#include "connectlib/common/common.h"

#include <QDir>
#include <QSaveFile>

using ConnectLib::Common;
using ConnectLib::CPStateFlags;

namespace {

void logRefusedOfflineName(const QString& name)
{
    ConnectGlobals::logLine(QStringLiteral("Refused offline file name: ") + name);
}

} // namespace

void DataSynchronizer::SLOT_writeOfflineFile(QString url, QString content)
{
    if (const std::optional<QByteArray> bytes = decodeContent(url, content))
        SLOT_writeOfflineBinaryFile(url, *bytes);
    else
        emit SIGNAL_fileWritten(ConnectLib::GENERAL_ERROR | ConnectLib::FILE_OPERATION_FAILED);
}

void DataSynchronizer::SLOT_writeOfflineBinaryFile(QString url, QByteArray bytes)
{
    const QString path = ConnectGlobals::offlineStorePath(m_tcData.deviceId(), url);
    if (path.isEmpty()) {
        logRefusedOfflineName(url);
        emit SIGNAL_fileWritten(ConnectLib::FILE_OPERATION_FAILED);
        return;
    }
    // Counted first: a provider without its store answers inside the call.
    ++m_pendingOfflineWrites;
    emit SIGNAL_writeOfflineFile(path, bytes);
}

void DataSynchronizer::SLOT_writeOfflineToTCFile(QString filename, QByteArray content)
{
    const QString name = m_bridge->SLOT_getVariable(QStringLiteral("storagefilename"));
    const QString source = ConnectGlobals::offlineStorePath(m_tcData.deviceId(), name);
    if (source.isEmpty()) {
        logRefusedOfflineName(name);
        emit SIGNAL_fileWritten(ConnectLib::FILE_OPERATION_FAILED);
        return;
    }
    emit SIGNAL_writeOfflineFileToTC(m_tcData, source, filename, content);
}

void DataSynchronizer::SLOT_readOfflineFile(QString url)
{
    const QString path = ConnectGlobals::offlineReadPath(url);
    if (path.isEmpty()) {
        logRefusedOfflineName(url);
        m_bridge->SLOT_readFromLocalDone(ConnectLib::FILE_OPERATION_FAILED, QString());
        return;
    }
    ++m_pendingOfflineReads;
    emit SIGNAL_readOfflineFile(path);
}

void DataSynchronizer::SLOT_writeFileToAbsolutePath(QString storagePath, QString path,
                                                    QByteArray data)
{
    emit SIGNAL_fileWritten(writeLocalFile(storagePath, path, data));
}

void DataSynchronizer::SLOT_writeFWFileToAbsolutePath(QString path, QByteArray data)
{
    SLOT_writeFileToAbsolutePath(QStringLiteral("fwupdfilezippath"), path, data);
}

CPStateFlags DataSynchronizer::writeLocalFile(const QString& storagePath, const QString& path,
                                              const QByteArray& data)
{
    // Only below the program's private working folder, where the firmware
    // folder lies too.
    if (!QDir::isAbsolutePath(path) ||
        !Common::isInsideDirectory(Common::getTempFilesDataPath(), path)) {
        ConnectGlobals::logLine(QStringLiteral("Refused to write outside the working folder: ") +
                                path);
        return ConnectLib::FILE_OPERATION_FAILED;
    }
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    const QString folder = slash < 0 ? path : path.left(slash);
    const QDir dir(folder);
    if (!dir.mkpath(dir.absolutePath())) {
        ConnectGlobals::logLine(QStringLiteral("Could not create folder: ") + folder);
        return ConnectLib::FILE_OPERATION_FAILED;
    }
    // A save file replaces the target only when every byte reached the
    // disk, so a full disk never leaves a truncated archive behind.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        ConnectGlobals::logLine(QStringLiteral("Unable to open file for write : ") + path);
        return ConnectLib::FILE_OPERATION_FAILED;
    }
    const qint64 written = file.write(data);
    if (written != qint64(data.size())) {
        file.cancelWriting();
        ConnectGlobals::logLine(QStringLiteral("Write failed for file: ") + path);
        return ConnectLib::FILE_OPERATION_FAILED;
    }
    if (!file.commit()) {
        ConnectGlobals::logLine(QStringLiteral("Write failed for file: ") + path);
        return ConnectLib::FILE_OPERATION_FAILED;
    }
    m_bridge->SLOT_saveVariable(storagePath, path);
    return ConnectLib::OK;
}

void DataSynchronizer::SLOT_setTCTimes(QString system, bool trusted, QString local, int timezone)
{
    QDateTime systemTime;
    QDateTime localTime;
    if (!system.isEmpty()) {
        systemTime = QDateTime::fromString(system, Qt::ISODate);
        localTime = QDateTime::fromString(local, Qt::ISODate);
    } else {
        ConnectGlobals::logLine(
            QStringLiteral("System time not set. Getting times from computer."));
        systemTime = QDateTime::currentDateTimeUtc();
        localTime = QDateTime::currentDateTime();
        trusted = false;
        timezone = Common::getTimezoneMinutes();
    }
    if (systemTime.isValid() && localTime.isValid()) {
        emit SIGNAL_setTCTimes(m_tcData, systemTime, trusted, localTime, timezone);
        return;
    }
    ConnectGlobals::logLine(QStringLiteral(" ERROR: ") +
                            QStringLiteral("Could not set times to training computer."));
    SLOT_tcTimesSet(m_tcData, ConnectLib::GENERAL_ERROR);
}
