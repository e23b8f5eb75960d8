#include "connectlib/worker/tc_worker.h"

#include "connectlib/common/clock.h"
#include "connectlib/common/common.h"
#include "connectlib/logging/log_prefix.h"
#include "connectlib/logging/logger.h"
#include "connectlib/worker/byte_array_streams.h"
#include "connectlib/worker/file_catch_families.h"
#include "connectlib/worker/local_root_path.h"
#include "connectlib/worker/session_guard.h"
#include "connectlib/worker/worker_frame.h"
#include "connectlib/worker/write_rate_text.h"

#include <QFile>

#include <fstream>
#include <istream>
#include <ostream>
#include <stdexcept>

namespace ConnectLib {

namespace {

constexpr CPStateFlags fileFailure = GENERAL_ERROR | FILE_OPERATION_FAILED;

void logText(const QString& text)
{
    Logger::instance()->logPrint(appendLogPrefix(text));
}

std::string utf8(const QString& text)
{
    return text.toUtf8().toStdString();
}

// The local file a request names below a local worker's root, or empty,
// with a log line, when the request would leave the root.
QString localFile(const QString& rootPath, const QString& request)
{
    const QString path = confinedLocalPath(rootPath, request);
    if (path.isEmpty())
        logText(QStringLiteral("Refused a path outside the local folder: ") + request);
    return path;
}

// A binary stream over a local file, named in the local 8-bit encoding.
std::ifstream openBinary(const QString& path)
{
    return std::ifstream(QFile::encodeName(path).toStdString(), std::ios::in | std::ios::binary);
}

} // namespace

void TCWorker::SLOT_readFile(ConnectLib::TCData data, QString file)
{
    QByteArray content;
    CPStateFlags flags;
    if (m_local) {
        flags = fileFailure;
        QFile local(localFile(m_rootPath, file));
        if (local.fileName().isEmpty()) {
            // Refused and logged.
        } else if (local.open(QIODevice::ReadOnly)) {
            content = local.readAll();
            flags = OK;
        } else {
            logText(QStringLiteral("Unable to open file for read: ") + m_rootPath + file);
        }
    } else {
        runDeviceCall(*m_guard, fileOperationFamily(FileOperation::Read), flags,
                      [&](zarvo::session& session) {
                          // Straight into the array the signal carries.
                          QByteArray bytes;
                          ByteArraySink sink(bytes);
                          std::ostream stream(&sink);
                          session.read(utf8(file), stream);
                          content = std::move(bytes);
                          return CPStateFlags(OK);
                      });
    }
    Common::logStateFlags(flags);
    emit SIGNAL_fileRead(data, content, flags);
}

void TCWorker::SLOT_writeFile(ConnectLib::TCData data, QString file, QByteArray fileData)
{
    qlonglong bytesWritten = 0;
    CPStateFlags flags;
    if (m_local) {
        flags = fileFailure;
        QFile local(localFile(m_rootPath, file));
        if (local.fileName().isEmpty()) {
            // Refused and logged.
        } else if (!local.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            logText(QStringLiteral("Unable to open file for write : ") + file);
        } else {
            bytesWritten = local.write(fileData);
            // A short write or a failed flush lost data: never OK.
            if (bytesWritten != fileData.size() || !local.flush())
                logText(QStringLiteral("Write failed for file: ") + file);
            else
                flags = OK;
            local.close();
        }
    } else {
        runDeviceCall(*m_guard, fileOperationFamily(FileOperation::Transfer), flags,
                      [&](zarvo::session& session) {
                          ByteArraySource source(fileData);
                          std::istream stream(&source);
                          session.write(utf8(file), stream);
                          bytesWritten = fileData.size();
                          return CPStateFlags(OK);
                      });
    }
    Common::logStateFlags(flags);
    emit SIGNAL_fileWrote(data, bytesWritten, flags);
}

void TCWorker::SLOT_mergeFile(ConnectLib::TCData data, QString file, QByteArray fileData)
{
    CPStateFlags flags = NOT_IMPLEMENTED | FILE_OPERATION_FAILED;
    if (!m_local) {
        runDeviceCall(*m_guard, fileOperationFamily(FileOperation::Transfer), flags,
                      [&](zarvo::session& session) {
                          ByteArraySource source(fileData);
                          std::istream stream(&source);
                          session.merge(utf8(file), stream);
                          return CPStateFlags(OK);
                      });
    }
    Common::logStateFlags(flags);
    emit SIGNAL_fileMerged(data, flags);
}

void TCWorker::SLOT_writeOfflineFileToTC(ConnectLib::TCData data, QString srcPath, QString dstPath,
                                         QByteArray /*content*/)
{
    qlonglong bytesWritten = 0;
    CPStateFlags flags = fileFailure;
    QFile source(srcPath);
    if (m_local) {
        // A local folder has no device to write to; nothing is touched.
    } else if (!source.open(QIODevice::ReadOnly)) {
        logText(QStringLiteral("Unable to open file for read: ") + srcPath);
    } else {
        // The device library reads the file itself; its size is the count.
        const qint64 size = source.size();
        source.close();
        runDeviceCall(*m_guard, fileOperationFamily(FileOperation::Transfer), flags,
                      [&](zarvo::session& session) {
                          std::ifstream stream = openBinary(srcPath);
                          if (!stream.is_open()) {
                              logText(QStringLiteral("Failed to open input file '") + srcPath +
                                      QStringLiteral("'."));
                              return fileFailure;
                          }
                          const QDateTime start = Clock::now();
                          session.write(dstPath.toLocal8Bit().toStdString(), stream);
                          const qint64 seconds = start.secsTo(Clock::now());
                          logText(writeRateText(size, seconds));
                          bytesWritten = size;
                          return CPStateFlags(OK);
                      });
    }
    Common::logStateFlags(flags);
    emit SIGNAL_fileWrote(data, bytesWritten, flags);
}

void TCWorker::SLOT_createDirectory(ConnectLib::TCData data, QString path)
{
    CPStateFlags flags;
    path.replace(QStringLiteral("//"), QStringLiteral("/"));
    if (!m_local) {
        runDeviceCall(*m_guard, fileOperationFamily(FileOperation::CreateDirectory), flags,
                      [&](zarvo::session& session) {
                          if (session.create(utf8(path)))
                              return CPStateFlags(OK);
                          logText(QStringLiteral("Directory already exists!"));
                          return DIRECTORY_EXISTS | FILE_OPERATION_FAILED;
                      });
    }
    Common::logStateFlags(flags);
    emit SIGNAL_directoryCreated(data, flags);
}

void TCWorker::putLocalFile(QString localPath, QString devicePath)
{
    if (m_local)
        throw std::runtime_error("No device to write to");
    std::ifstream stream = openBinary(localPath);
    if (!QFile(localPath).open(QIODevice::ReadOnly) || !stream.is_open()) {
        logText(QStringLiteral("Unable to open file for read: ") + localPath);
        throw std::runtime_error("Unable to open file for read");
    }
    SessionPointer session = m_guard->getSessionPointer();
    zarvo::session_lock lock(*session, 0);
    session->write(utf8(devicePath), stream);
}

ConnectLib::CPStateFlags TCWorker::removePath(QString path)
{
    CPStateFlags flags = GENERAL_ERROR;
    if (m_local)
        return flags;
    runDeviceCall(*m_guard, removalFamily(), flags, [&](zarvo::session& session) {
        if (session.remove(utf8(path)))
            return CPStateFlags(OK);
        logText(QStringLiteral("Failed remove: ") + path);
        return CPStateFlags(GENERAL_ERROR);
    });
    return flags;
}

namespace {

// A single removal fails as a file operation unless it removed the entry.
CPStateFlags asFileOperation(CPStateFlags flags)
{
    return flags == OK ? flags : flags | FILE_OPERATION_FAILED;
}

} // namespace

void TCWorker::SLOT_removeFile(ConnectLib::TCData data, QString path)
{
    const CPStateFlags flags = asFileOperation(removePath(path));
    Common::logStateFlags(flags);
    emit SIGNAL_fileRemoved(data, flags);
}

void TCWorker::SLOT_removeDirectory(ConnectLib::TCData data, QString path)
{
    const CPStateFlags flags = asFileOperation(removePath(path));
    Common::logStateFlags(flags);
    emit SIGNAL_directoryRemoved(data, flags);
}

void TCWorker::SLOT_removeEntry(ConnectLib::TCData data, QString path)
{
    CPStateFlags flags = removePath(path);
    // A cancelled removal is reported as the cancel alone.
    if (flags != CANCELLED)
        flags = asFileOperation(flags);
    Common::logStateFlags(flags);
    emit SIGNAL_entryRemoved(data, flags);
}

void TCWorker::SLOT_removeEntries(ConnectLib::TCData data, QStringList entries)
{
    CPStateFlags flags;
    // Each entry takes the guard on its own, so a cancel or a disconnection
    // can come in between; every entry is still attempted.
    for (const QString& entry : qAsConst(entries))
        flags |= removePath(entry);
    Common::logStateFlags(flags);
    emit SIGNAL_entriesRemoved(data, flags);
}

} // namespace ConnectLib
