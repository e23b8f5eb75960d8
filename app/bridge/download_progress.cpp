// Progress of the firmware and program-update downloads on the progress page.
#include "app/bridge/jsobject.h"

#include "app/bridge/download_rules.h"
#include "app/logging/app_log.h"
#include "connectlib/common/common.h"

using ConnectGlobals::logLine;

void JsObject::SLOT_downloadProgress(qint64 bytesReceived, qint64 bytesTotal)
{
    // A reply's own signal names it; a script's call means the running one.
    auto* sent = qobject_cast<QNetworkReply*>(sender());
    const bool firmware = sent ? sent == _fwUpdateReply : !_fwUpdateReply.isNull();
    const bool selfUpdate =
        !firmware && (sent ? sent == selfUpdateReply : !selfUpdateReply.isNull());
    if (!firmware && !selfUpdate)
        return;

    const QString counts = QStringLiteral("Bytes received: %0/%1 (prev: %2), Bytes total: %3")
                               .arg(bytesReceived - prevBytesReceived)
                               .arg(bytesReceived)
                               .arg(prevBytesReceived)
                               .arg(bytesTotal);
    if (firmware) {
        logLine(counts +
                QStringLiteral(", fwUpdateReplyDeleted: %0, fwDownloadAborted: %1/")
                    .arg(int(fwUpdateReplyDeleted))
                    .arg(int(fwDownloadAborted)) +
                ConnectLib::Common::stringFromStateFlags(fwCancelFlags));
        if (fwDownloadAborted)
            return;
    } else {
        QNetworkReply* reply = selfUpdateReply;
        logLine(counts + QStringLiteral(", isOpen: %0, isRunning:%1, isFinished: %2")
                             .arg(int(reply->isOpen()))
                             .arg(int(reply->isRunning()))
                             .arg(int(reply->isFinished())));
    }
    prevBytesReceived = bytesReceived;
    // The bar moves by whole percents; nothing else may run inside a
    // reply's signal, so the page is only told when that changes. An
    // unknown total shows the running bar.
    const int percent = ConnectGlobals::downloadPercent(bytesReceived, bytesTotal);
    if (percent == lastDownloadPercent)
        return;
    lastDownloadPercent = percent;
    SLOT_evaluateJS(
        QStringLiteral("updateProgressbarStatus( self.name, 0, 1, %0, 50);").arg(percent));
}
