// The firmware archive download: the archive goes whole to the synchroniser,
// which stores it in the firmware-update folder for the device update.
#include "app/bridge/jsobject.h"

#include "app/bridge/download_rules.h"
#include "app/bridge/reply_facts.h"
#include "app/logging/app_log.h"
#include "connectlib/common/common.h"

#include <QNetworkAccessManager>

using ConnectGlobals::logLine;
using ConnectLib::Common;

namespace {

const char* const fileNameProperty = "ravoFirmwareFileName";
const QString octetStream = QStringLiteral("application/octet-stream");

// The archive's name is joined to the firmware folder: the address's last
// part must be a plain file name.
QString archiveName(const QString& url)
{
    return url.mid(url.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace

bool JsObject::SLOT_downloadFirmware(QString url)
{
    const QString name = archiveName(url);
    if (!ConnectGlobals::isHttpsAddress(url) || !url.toLower().endsWith(QLatin1String(".zip")) ||
        !ConnectGlobals::isPlainFileName(name)) {
        logLine(QStringLiteral("Update url not in accepted format: ") + url);
        return false;
    }
    // One firmware download at a time: a running one is dropped unanswered,
    // so its late completion can never pass for the new one's.
    if (QNetworkReply* earlier = _fwUpdateReply) {
        disconnect(earlier, nullptr, this, nullptr);
        logLine(QStringLiteral("Earlier firmware download dropped: ") + earlier->url().path());
        earlier->abort();
        earlier->deleteLater();
    }
    prevBytesReceived = 0;
    lastDownloadPercent = -2;
    fwUpdateReplyDeleted = false;
    fwDownloadAborted = false;
    fwCancelFlags = ConnectLib::GENERAL_ERROR;
    _fwUpdateReply = nullptr;

    QNetworkReply* reply =
        startDownload(downloadRequest(QUrl(url), octetStream, octetStream, true));
    reply->setProperty(fileNameProperty, name);
    logLine(QStringLiteral("Firmware update loading started."));
    logDownloadProxy(QStringLiteral("With proxy: "));
    _fwUpdateReply = reply;
    connect(reply, &QNetworkReply::finished, this,
            [this, reply] { SLOT_updateFirmwareReceived(reply); });
    connect(reply, &QNetworkReply::downloadProgress, this, &JsObject::SLOT_downloadProgress);
    capWholeBody(reply, Common::getFWUpdateDataPath());
    return true;
}

void JsObject::SLOT_updateFirmwareReceived(QNetworkReply* reply)
{
    if (!reply || reply != _fwUpdateReply)
        return;
    // Completes once: the abort below must not come back here.
    disconnect(reply, nullptr, this, nullptr);
    const QByteArray body = reply->isOpen() ? reply->readAll() : QByteArray();
    const ConnectGlobals::ReplyFacts facts = ConnectGlobals::replyFacts(reply);
    const ConnectGlobals::ReplyErrorDecision decision = noteReply(facts, body);
    const int status = ConnectGlobals::judgedStatus(facts.status, facts.error);
    // A cancel or a body cut short never counts, whatever the status said;
    // nor does anything but a 2xx answer with the whole announced body.
    const bool whole =
        !fwDownloadAborted && facts.arrivedWhole() && decision.quiet &&
        ConnectGlobals::isSuccessStatus(status) &&
        ConnectGlobals::isAnnouncedSize(ConnectGlobals::announcedSize(reply), body.size());
    const ConnectLib::CPStateFlags flags =
        fwDownloadAborted
            ? ConnectLib::CPStateFlags(fwCancelFlags | ConnectLib::FW_UPDATE_FAILED)
            : ConnectLib::CPStateFlags(ConnectLib::FW_UPDATE_FAILED | ConnectLib::INVALID_CONTENT);
    const QString name = reply->property(fileNameProperty).toString();

    if (reply->isRunning()) {
        logLine(QStringLiteral("Net reply isRunning -> aborting"));
        reply->abort();
    }
    reply->deleteLater();
    _fwUpdateReply = nullptr;
    fwUpdateReplyDeleted = true;

    // Settled and forgotten before any page script runs: the page's verdict
    // may already start the next download.
    const bool ok =
        whole &&
        SLOT_evaluateJS(QStringLiteral("App.Common.parseRemoteReply(%0)").arg(status)).toBool();

    // The page may start the next step inside these signals: the reply is
    // forgotten first.
    if (!ok) {
        emit SIGNAL_fail(QString(), Common::stringFromStateFlags(flags), QString());
        return;
    }
    const QString folder = Common::getFWUpdateDataPath();
    if (folder.isEmpty()) {
        logLine(QStringLiteral("No firmware update folder for: ") + name);
        emit SIGNAL_fail(QString(),
                         Common::stringFromStateFlags(ConnectLib::FILE_OPERATION_FAILED |
                                                      ConnectLib::FW_UPDATE_FAILED),
                         QString());
        return;
    }
    emit m_requests->SIGNAL_writeFWFileToAbsolutePath(folder + QLatin1Char('/') + name, body);
    emit m_requests->SIGNAL_resizeView(m_webView);
}
