// File downloads. A map streams into the offline store as it arrives (the
// device later reads it from there); any other content type is read whole
// and handed to the page.
//
// A map never passes through memory whole: the reply's buffer is bounded,
// each piece is written as it comes, and nothing else is let run inside the
// reply's signals. Whatever ends a map early (a cancel, a transport error,
// a refused status, a full device or disk) removes its partial file.
#include "app/bridge/jsobject.h"

#include "app/bridge/download_rules.h"
#include "app/bridge/reply_facts.h"
#include "app/common/offline_paths.h"
#include "app/logging/app_log.h"
#include "connectlib/common/common.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>

using ConnectGlobals::logLine;
using ConnectGlobals::mapContentType;
using ConnectLib::Common;

namespace {

const char* const showErrorDialogProperty = "ravoShowErrorDialog";
const char* const isMapProperty = "ravoIsMap";
constexpr qint64 mapReadBufferSize = 1048576;

// The reply of a cut or cancelled transfer and a status outside 2xx
// both end here with this flags text.
QString failureFlags(bool aborted, ConnectLib::CPStateFlags cancelFlags)
{
    return Common::stringFromStateFlags(
        aborted
            ? ConnectLib::CPStateFlags(cancelFlags | ConnectLib::FW_UPDATE_FAILED)
            : ConnectLib::CPStateFlags(ConnectLib::FW_UPDATE_FAILED | ConnectLib::INVALID_CONTENT));
}

QString elapsedText(qint64 ms)
{
    const qint64 seconds = ms / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

bool JsObject::SLOT_downloadFile(QString url, QString, QString contentType, QString acceptType,
                                 QString showErrorDialog)
{
    const auto refuse = [this](const QString& line, ConnectLib::CPStateFlags flags) {
        logLine(line);
        emit SIGNAL_fail(QString(), Common::stringFromStateFlags(flags), QString());
        return false;
    };
    const QString name = url.mid(url.lastIndexOf(QLatin1Char('/')) + 1);
    if (!ConnectGlobals::isHttpsAddress(url) || !ConnectGlobals::isPlainFileName(name))
        return refuse(QStringLiteral("Download url not in accepted format: ") + url,
                      ConnectLib::INVALID_PARAMETER);
    const bool isMap = contentType == mapContentType;
    QString target;
    if (isMap) {
        const QString deviceText = SLOT_getVariable(QStringLiteral("tcdeviceid"));
        const std::optional<quint64> deviceId = ConnectGlobals::deviceIdFromHex(deviceText);
        if (!deviceId)
            return refuse(QStringLiteral("Device id not in accepted format: ") + deviceText,
                          ConnectLib::INVALID_PARAMETER);
        target = ConnectGlobals::offlineStorePath(*deviceId, name);
        if (target.isEmpty())
            return refuse(QStringLiteral("No offline store for: ") + name,
                          ConnectLib::FILE_OPERATION_FAILED);
    }

    // One file download at a time: a running one is dropped unanswered
    // (with its partial file), so its late completion never passes for
    // this one's.
    if (QNetworkReply* earlier = _fileDownloadReply) {
        disconnect(earlier, nullptr, this, nullptr);
        logLine(QStringLiteral("Earlier file download dropped: ") + earlier->url().path());
        earlier->abort();
        earlier->deleteLater();
        _fileDownloadReply = nullptr;
    }
    closeDownloadTarget(false);
    downloadTargetPath.clear();
    SLOT_saveVariable(QStringLiteral("storagefilename"), name);

    if (isMap) {
        const QString folder = QFileInfo(target).absolutePath();
        if (!QDir().mkpath(folder))
            return refuse(QStringLiteral("Could not create folder: ") + folder,
                          ConnectLib::FILE_OPERATION_FAILED);
        QFile::remove(target);
        downloadTarget.setFileName(target);
        if (!downloadTarget.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return refuse(QStringLiteral("Could not create file: ") + target,
                          ConnectLib::FILE_OPERATION_FAILED);
        downloadTargetPath = target;
    }

    prevBytesReceived = 0;
    fileDownloadReplyDeleted = false;
    fileDownloadAborted = false;
    fileCancelFlags = ConnectLib::GENERAL_ERROR;
    fileBytesReceived = 0;
    fileBytesExpected = -1;
    lastFilePercent = -2;
    lastFileTenths = -1;
    downloadContentType = contentType;
    downloadStartTime = downloadEndTime = QDateTime::currentDateTimeUtc();

    QNetworkReply* reply = startDownload(downloadRequest(QUrl(url), contentType, acceptType, true));
    reply->setProperty(showErrorDialogProperty, showErrorDialog);
    reply->setProperty(isMapProperty, isMap);
    logLine(QStringLiteral("File downloading started."));
    logDownloadProxy(QStringLiteral("With proxy: "));
    _fileDownloadReply = reply;
    if (isMap) {
        reply->setReadBufferSize(mapReadBufferSize);
        connect(reply, &QNetworkReply::finished, this,
                [this, reply] { SLOT_downloadFileReceived(reply); });
        connect(reply, &QNetworkReply::downloadProgress, this,
                &JsObject::SLOT_fileDownloadProgress);
        connect(reply, &QNetworkReply::readyRead, this, &JsObject::SLOT_downloadReadyRead);
    } else {
        // Read whole, under the transfers' own time-out.
        trackTransfer(reply, &JsObject::SLOT_downloadFileReceived);
        capWholeBody(reply, QString());
    }
    return true;
}

// Whether the map still fits the device's last reported free space (-1 from
// a device without a figure fits everything): its announced size, or while
// that is unknown, what arrived so far. False after cancelling it.
bool JsObject::mapFitsDevice()
{
    const quint64 needed = quint64(fileBytesExpected >= 0 ? fileBytesExpected : fileBytesReceived);
    if (needed <= deviceFreeSpace)
        return true;
    logLine(QStringLiteral("Not enough free space on the device: %0 bytes needed, %1 free")
                .arg(needed)
                .arg(deviceFreeSpace));
    SLOT_cancelFileDownload(ConnectLib::DISK_FULL);
    return false;
}

void JsObject::showFileProgress(qint64 received, qint64 total)
{
    const int percent = ConnectGlobals::downloadPercent(received, total);
    if (percent != lastFilePercent) {
        lastFilePercent = percent;
        if (percent < 0) {
            SLOT_evaluateJS(QStringLiteral("App.syncMain.updateSyncStatus(self.name, -1);"));
        } else {
            // Page variables go in as numbers only.
            const int phases = SLOT_getVariable(QStringLiteral("major_phases")).toInt();
            const int phase = SLOT_getVariable(QStringLiteral("major_phase")).toInt();
            SLOT_evaluateJS(QStringLiteral("App.syncMain.updateSyncStatus(self.name, "
                                           "App.Common.countMyProgress(%0, %1, 100, %2));")
                                .arg(phases)
                                .arg(phase)
                                .arg(percent));
        }
    }
    if (percent >= 0)
        return;
    // Without a size the bar only runs: the message tells how far it got,
    // in tenths of a megabyte that never step back (the network's count
    // runs ahead of the written one).
    const qint64 tenths = received / 100000;
    if (tenths <= lastFileTenths)
        return;
    lastFileTenths = tenths;
    SLOT_evaluateJS(QStringLiteral("App.Common.setText('progress_syncmessage',"
                                   "'maps_downloading_received',['%0.%1']);")
                        .arg(tenths / 10)
                        .arg(tenths % 10));
}

void JsObject::SLOT_fileDownloadProgress(qint64 bytesReceived, qint64 bytesTotal)
{
    auto* sent = qobject_cast<QNetworkReply*>(sender());
    if (!_fileDownloadReply || (sent && sent != _fileDownloadReply) || fileDownloadAborted)
        return;
    if (bytesTotal >= 0)
        fileBytesExpected = bytesTotal;
    if (!mapFitsDevice())
        return;
    prevBytesReceived = bytesReceived;
    showFileProgress(bytesReceived, bytesTotal);
}

bool JsObject::writeMapPiece(const QByteArray& data)
{
    fileBytesReceived += data.size();
    if (!mapFitsDevice())
        return false;
    if (data.isEmpty())
        return true;
    if (!downloadTarget.isOpen() || downloadTarget.write(data) != qint64(data.size())) {
        logLine(QStringLiteral("Could not write to file: ") + downloadTargetPath);
        SLOT_cancelFileDownload(ConnectLib::FILE_OPERATION_FAILED);
        return false;
    }
    return true;
}

void JsObject::SLOT_downloadReadyRead()
{
    QNetworkReply* reply = _fileDownloadReply;
    auto* sent = qobject_cast<QNetworkReply*>(sender());
    if (!reply || (sent && sent != reply) || fileDownloadAborted ||
        !reply->property(isMapProperty).toBool())
        return;
    // The size is known once the headers are: no placeholder stands in
    // for it until the first progress report.
    if (fileBytesExpected < 0)
        fileBytesExpected = ConnectGlobals::announcedSize(reply);
    if (!writeMapPiece(reply->readAll()))
        return;
    showFileProgress(fileBytesReceived, fileBytesExpected);
}

void JsObject::SLOT_downloadFileReceived(QNetworkReply* reply)
{
    if (!reply || reply != _fileDownloadReply)
        return;
    // Completes once: neither the abort below nor the transfer time-out
    // comes back here.
    disconnect(reply, nullptr, this, nullptr);
    const bool isMap = reply->property(isMapProperty).toBool();
    const bool quietDialog =
        reply->property(showErrorDialogProperty).toString() == QLatin1String("false");
    downloadEndTime = QDateTime::currentDateTimeUtc();
    const qint64 ms = downloadStartTime.msecsTo(downloadEndTime);
    logLine(QStringLiteral("Download duration: ") + elapsedText(ms) +
            QStringLiteral(", rate (MB/sec): ") +
            (ms > 0 ? QString::number(double(fileBytesReceived) / 1000000.0 / (ms / 1000.0), 'g', 6)
                    : QStringLiteral("-")));

    const ConnectGlobals::ReplyFacts facts = ConnectGlobals::replyFacts(reply);
    const int status = ConnectGlobals::judgedStatus(facts.status, facts.error);
    // A map's body went to its file; only its unread tail is here.
    QByteArray rest = reply->isOpen() ? reply->readAll() : QByteArray();
    const ConnectGlobals::ReplyErrorDecision decision = noteReply(facts, rest);
    const bool cancelled = fileDownloadAborted;

    enum class Outcome { Read, Fail, Dialog } outcome = Outcome::Fail;
    QString flagsText = failureFlags(cancelled, fileCancelFlags);
    QString data;
    // Whether the page's verdict on the status decides; it is asked once
    // the reply is settled and forgotten.
    bool askPage = false;
    if (cancelled || !facts.arrivedWhole()) {
        outcome = Outcome::Fail;
    } else if (!quietDialog && !decision.quiet) {
        outcome = Outcome::Dialog;
    } else {
        askPage = true;
        if (!ConnectGlobals::isSuccessStatus(status)) {
            // A refused status (a redirect too: its page is not the file).
        } else if (isMap) {
            if (!writeMapPiece(rest) || !downloadTarget.flush()) {
                logLine(QStringLiteral("Could not write to file: ") + downloadTargetPath);
                flagsText = failureFlags(fileDownloadAborted, fileCancelFlags);
            } else if (!ConnectGlobals::isAnnouncedSize(ConnectGlobals::announcedSize(reply),
                                                        fileBytesReceived)) {
                logLine(QStringLiteral("Map shorter or longer than announced: ") +
                        downloadTargetPath);
            } else {
                outcome = Outcome::Read;
                data = QString::number(fileBytesReceived);
                logLine(QStringLiteral("data=") + data);
            }
        } else if (!ConnectGlobals::isAnnouncedSize(ConnectGlobals::announcedSize(reply),
                                                    rest.size())) {
            logLine(QStringLiteral("Body shorter or longer than announced: ") + facts.address);
        } else {
            outcome = Outcome::Read;
            data = reply->header(QNetworkRequest::ContentTypeHeader)
                           .toString()
                           .startsWith(QLatin1String("application/x-"))
                       ? QString::fromLatin1(rest.toBase64())
                       : QString::fromUtf8(rest.constData(), rest.size());
        }
    }

    if (reply->isRunning()) {
        logLine(QStringLiteral("Net reply isRunning -> aborting"));
        reply->abort();
    }
    if (isMap)
        closeDownloadTarget(outcome == Outcome::Read);
    const QString mapPath = isMap && outcome == Outcome::Read ? downloadTargetPath : QString();
    reply->deleteLater();
    _fileDownloadReply = nullptr;
    fileDownloadReplyDeleted = true;

    // Settled and forgotten: the page's verdict, and its handlers below, may
    // start the next download.
    if (askPage &&
        (!SLOT_evaluateJS(QStringLiteral("App.Common.parseRemoteReply(%0)").arg(status)).toBool() ||
         !ConnectGlobals::isSuccessStatus(status))) {
        outcome = Outcome::Fail;
        // With the dialog turned off the page hears the status itself.
        if (quietDialog)
            flagsText = QString::number(status);
        // The refused map goes, unless a download the verdict started is
        // writing that file now.
        if (!mapPath.isEmpty() && !(downloadTarget.isOpen() && downloadTargetPath == mapPath)) {
            QFile::remove(mapPath);
            if (downloadTargetPath == mapPath)
                downloadTargetPath.clear();
        }
    }

    switch (outcome) {
    case Outcome::Read:
        emit SIGNAL_fileRead(data, QString::number(status), QString());
        emit m_requests->SIGNAL_resizeView(m_webView);
        break;
    case Outcome::Dialog:
        showOfflineDialogFor(decision.textId, decision.buttons, decision.script);
        break;
    case Outcome::Fail:
        emit SIGNAL_fail(QString(), flagsText, QString());
        break;
    }
}

void JsObject::closeDownloadTarget(bool keep)
{
    // Only a file still being written can be partial; a map that completed
    // stays for the device write.
    if (!downloadTarget.isOpen())
        return;
    downloadTarget.close();
    if (keep)
        return;
    QFile::remove(downloadTargetPath);
    logLine(QStringLiteral("Partial file removed: ") + downloadTargetPath);
    downloadTargetPath.clear();
}

void JsObject::writeStreamedMap(const QString& filename)
{
    // The map is already in the store under the name it was downloaded
    // as; the page's buffer never held it.
    const auto answer = [this](bool ok) {
        SLOT_writeToLocalDone(ok ? ConnectLib::OK : ConnectLib::FILE_OPERATION_FAILED);
    };
    const std::optional<quint64> deviceId =
        ConnectGlobals::deviceIdFromHex(SLOT_getVariable(QStringLiteral("tcdeviceid")));
    const QString target =
        deviceId ? ConnectGlobals::offlineStorePath(*deviceId, filename) : QString();
    if (_fileDownloadReply || downloadTargetPath.isEmpty() || target.isEmpty() ||
        !QFileInfo(downloadTargetPath).isFile()) {
        logLine(QStringLiteral("No downloaded map to write as: ") + filename);
        answer(false);
        return;
    }
    if (QFileInfo(target).absoluteFilePath() == QFileInfo(downloadTargetPath).absoluteFilePath()) {
        answer(true);
        return;
    }
    QDir().mkpath(QFileInfo(target).absolutePath());
    QFile::remove(target);
    const bool copied = QFile::copy(downloadTargetPath, target);
    if (!copied)
        logLine(QStringLiteral("Could not write offline file: ") + target);
    answer(copied);
}
