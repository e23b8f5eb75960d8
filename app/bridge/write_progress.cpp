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

// The flags and the abort mark are stored before the abort: a reply's
// abort reports its completion at once, and the completion reads them to
// tell a cancel (and its cause) from a failed transfer.
void JsObject::SLOT_cancelFWDownload(ConnectLib::CPStateFlags flags)
{
    if (fwDownloadAborted || fwUpdateReplyDeleted)
        return;
    fwDownloadAborted = true;
    fwCancelFlags = flags;
    if (_fwUpdateReply && _fwUpdateReply->isRunning()) {
        logLine(QStringLiteral("SLOT_cancelFWDownload: abort _fwUpdateReply"));
        _fwUpdateReply->abort();
    }
}

void JsObject::SLOT_cancelFileDownload(ConnectLib::CPStateFlags flags)
{
    if (fileDownloadAborted || fileDownloadReplyDeleted)
        return;
    fileDownloadAborted = true;
    fileCancelFlags = flags;
    if (_fileDownloadReply && _fileDownloadReply->isRunning()) {
        logLine(QStringLiteral("SLOT_cancelFileDownload: abort _fileDownloadReply"));
        _fileDownloadReply->abort();
    }
}
