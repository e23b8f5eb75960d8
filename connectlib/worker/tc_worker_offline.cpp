// Offline storage: files on the local disk kept for the program, outside any
// device. Read and existence test take names below the root path; a write
// takes a full path.
#include "connectlib/logging/log_prefix.h"
#include "connectlib/logging/logger.h"
#include "connectlib/worker/tc_worker.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace ConnectLib {

namespace {

CPStateFlags writeFailed(const QString& text)
{
    Logger::instance()->logPrint(appendLogPrefix(text));
    return FILE_OPERATION_FAILED;
}

} // namespace

QString TCWorker::offlinePath(const QString& file) const
{
    // The root is a plain text prefix. The program also asks for files by
    // their full path, which below the root names nothing.
    const QString belowRoot = m_rootPath + file;
    if (!QFileInfo(belowRoot).isFile() && QDir::isAbsolutePath(file))
        return file;
    return belowRoot;
}

bool TCWorker::offlineFileExists(QString file)
{
    return QFileInfo(offlinePath(file)).isFile();
}

void TCWorker::SLOT_readOfflineFile(QString file)
{
    QFile source(offlinePath(file));
    if (!source.open(QIODevice::ReadOnly)) {
        emit SIGNAL_offLineFileRead(QByteArray(), FILE_OPERATION_FAILED);
        return;
    }
    const QByteArray content = source.readAll();
    source.close();
    emit SIGNAL_offLineFileRead(content, OK);
}

void TCWorker::SLOT_writeOfflineFile(QString file, QByteArray data)
{
    CPStateFlags flags = OK;
    const int slash = file.lastIndexOf(QLatin1Char('/'));
    if (slash < 0) {
        // No folder part: nothing is created and nothing written, rather
        // than a file in whatever the current directory is.
        flags = writeFailed(QStringLiteral("Unable to open file for write : ") + file);
    } else {
        const QString folder = file.left(slash);
        const QDir dir(folder);
        QFile target(file);
        if (!dir.mkpath(dir.absolutePath())) {
            flags = writeFailed(QStringLiteral("Could not create folder: ") + folder);
        } else if (!target.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
            flags = writeFailed(QStringLiteral("Unable to open file for write : ") + file);
        } else {
            // Unbuffered, so the count is what reached the file; a short
            // count is a failure as much as -1.
            const qint64 written = target.write(data);
            target.close();
            if (written != qint64(data.size()))
                flags = writeFailed(QStringLiteral("Write failed for file: ") + file);
        }
    }
    emit SIGNAL_offLineFileWrote(flags);
}

void TCWorker::SLOT_isOfflineFile(QString file)
{
    emit SIGNAL_offLineFileExists(offlineFileExists(file) ? FILE_EXISTS : FILE_OR_DIR_NOT_FOUND);
}

} // namespace ConnectLib
