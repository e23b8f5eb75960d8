// Progress of firmware and file writes to the device on the progress page,
// and the cancel of a running firmware or file download.
#include "app/bridge/jsobject.h"

#include "app/logging/app_log.h"

using ConnectGlobals::logLine;

namespace {

// Whole percent, truncated; an empty transfer (total 0) is at 0.
int wholePercent(int progress, int total)
{
    if (total <= 0)
        return 0;
    return int(qint64(progress) * 100 / total);
}

struct ProgressTexts {
    const char* updating;
    const char* waitingRestart;
};

// The relay of a write's progress is already inside a page call, so nothing
// here lets other events run. A transfer reports far more often than the bar
// can move: only a new whole percent (and always 0 and 100) reaches the page.
void showWriteProgress(JsObject* bridge, int progress, int total, int* lastPercent,
                       bool withMessage, const ProgressTexts& texts)
{
    const int percent = wholePercent(progress, total);
    if (percent == *lastPercent && percent != 0 && percent != 100)
        return;
    *lastPercent = percent;
    bridge->SLOT_evaluateJS(
        QStringLiteral("updateProgressbarStatus( self.name, 0, 1, %0, 50);").arg(percent));
    if (!withMessage)
        return;
    const char* key = progress < total ? texts.updating : texts.waitingRestart;
    bridge->SLOT_evaluateJS(
        QStringLiteral("App.Common.setText('progress_syncmessage','%0');").arg(QLatin1String(key)));
}

} // namespace

void JsObject::SLOT_fwUpdateProgress(int progress, int total)
{
    showWriteProgress(this, progress, total, &m_lastFwUpdatePercent, !langsCopyOngoing,
                      {"fwupdate_updating", "fwupdate_waitingrestart"});
}

void JsObject::SLOT_fileWriteProgress(int progress, int total)
{
    showWriteProgress(this, progress, total, &m_lastFileWritePercent, !langsCopyOngoing,
                      {"filewrite_updating", "filewrite_waitingrestart"});
}

namespace {

// The flags and the abort mark are stored before the abort: a reply's
// abort reports its completion at once, and the completion reads them to
// tell a cancel (and its cause) from a failed transfer.
void cancelDownload(QNetworkReply* reply, bool* aborted, bool replyDeleted,
                    ConnectLib::CPStateFlags* cancelFlags, ConnectLib::CPStateFlags flags,
                    const QString& abortLine)
{
    if (*aborted || replyDeleted)
        return;
    *aborted = true;
    *cancelFlags = flags;
    if (reply && reply->isRunning()) {
        logLine(abortLine);
        reply->abort();
    }
}

} // namespace

void JsObject::SLOT_cancelFWDownload(ConnectLib::CPStateFlags flags)
{
    cancelDownload(_fwUpdateReply, &fwDownloadAborted, fwUpdateReplyDeleted, &fwCancelFlags, flags,
                   QStringLiteral("SLOT_cancelFWDownload: abort _fwUpdateReply"));
}

void JsObject::SLOT_cancelFileDownload(ConnectLib::CPStateFlags flags)
{
    cancelDownload(_fileDownloadReply, &fileDownloadAborted, fileDownloadReplyDeleted,
                   &fileCancelFlags, flags,
                   QStringLiteral("SLOT_cancelFileDownload: abort _fileDownloadReply"));
}
