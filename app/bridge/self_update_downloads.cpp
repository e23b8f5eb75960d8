// The program's own update: its libraries in list order, then its
// installer, each saved into the private self-update folder and handed to
// the controller, which checks the installer and gives it to the desktop.
//
// Only the reply this update started is ever saved: the download manager
// is shared with the firmware and file downloads, and a firmware archive
// taken for an installer would be run.
#include "app/bridge/jsobject.h"

#include "app/bridge/download_rules.h"
#include "app/bridge/reply_errors.h"
#include "app/bridge/reply_facts.h"
#include "app/logging/app_log.h"
#include "connectlib/common/common.h"

#include <QNetworkAccessManager>
#include <QSaveFile>

using ConnectGlobals::logLine;
using ConnectLib::Common;

namespace {

// Libraries replace the earlier list only when the first name is given; a
// given list must hold plain names only.
bool librariesAcceptable(const QStringList& libs)
{
    if (libs.isEmpty() || libs.first().isEmpty())
        return true;
    for (const QString& name : libs) {
        if (!ConnectGlobals::isPlainFileName(name))
            return false;
    }
    return true;
}

// Written whole or not at all: a failed write never leaves a truncated
// library or installer behind.
bool saveWhole(const QString& path, const QByteArray& body)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(body) != body.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

QString setTextScript(const QString& key)
{
    return QStringLiteral("App.Common.setText('progress_syncmessage','%0');").arg(key);
}

} // namespace

bool JsObject::SLOT_updateRavoSync(QString url, QString filename, QStringList libs)
{
    logLine(QStringLiteral("Update RavoSync: ") + url + QLatin1Char('/') + filename);
    if (!ConnectGlobals::hasInstallerExtension(filename) ||
        !ConnectGlobals::isPlainFileName(filename) || !librariesAcceptable(libs) ||
        !ConnectGlobals::isHttpsAddress(url)) {
        logLine(QStringLiteral("Update url not in accepted format: ") + url + QLatin1Char('/') +
                filename);
        emit SIGNAL_fail(QString(), QStringLiteral("500"), QString());
        return false;
    }
    const QString folder = Common::getSelfUpdateDataPath();
    if (folder.isEmpty()) {
        logLine(QStringLiteral("No private folder for the program update."));
        emit SIGNAL_fail(QString(), QStringLiteral("FILE_OPERATION_FAILED"), QString());
        return false;
    }

    // A second update replaces a running one; the old reply's completion
    // no longer reaches the handler.
    if (QNetworkReply* old = selfUpdateReply) {
        selfUpdateReply = nullptr;
        disconnect(old, nullptr, this, nullptr);
        old->abort();
        old->deleteLater();
    }

    if (url.endsWith(QLatin1Char('/')))
        url.chop(1);
    selfUpdateBaseUrl = url;
    selfUpdateIndex = 0;
    if (!libs.isEmpty() && !libs.first().isEmpty())
        selfUpdateLibs = libs;
    selfUpdateFiles = QStringList{folder, filename};
    startSelfUpdateFile();
    emit m_requests->SIGNAL_resizeView(m_webView);
    return true;
}

bool JsObject::selfUpdateOnLibrary() const
{
    return selfUpdateIndex < selfUpdateLibs.size() && !selfUpdateLibs.first().isEmpty();
}

QString JsObject::selfUpdateFileName() const
{
    return selfUpdateOnLibrary() ? selfUpdateLibs.at(selfUpdateIndex) : selfUpdateFiles.at(1);
}

void JsObject::startSelfUpdateFile()
{
    const QString address = selfUpdateBaseUrl + QLatin1Char('/') + selfUpdateFileName();

    SLOT_evaluateJS(
        QStringLiteral(
            "App.Common.setText('progress_syncmessage','ktupdate_downloading', [%0,%1]);")
            .arg(selfUpdateIndex + 1)
            .arg(selfUpdateLibs.size() + 1));
    emit m_requests->SIGNAL_resizeView(m_webView);

    // The update comes from the content delivery, never with our credentials.
    const QString octetStream = QStringLiteral("application/octet-stream");
    QNetworkReply* reply =
        startDownload(downloadRequest(QUrl(address), octetStream, octetStream, false));
    logLine(QStringLiteral("Start loading: ") + address + QStringLiteral(" to location: ") +
            selfUpdateFiles.at(0));
    logDownloadProxy(QStringLiteral("with proxy: "));
    selfUpdateReply = reply;
    connect(reply, &QNetworkReply::downloadProgress, this, &JsObject::SLOT_downloadProgress);
    connect(reply, &QNetworkReply::finished, this,
            [this, reply] { SLOT_ravoSyncUpdateFirmwareReceived(reply); });
    capWholeBody(reply, selfUpdateFiles.at(0));
}

void JsObject::SLOT_ravoSyncUpdateFirmwareReceived(QNetworkReply* reply)
{
    // Only the update's own running reply; a page calling this with
    // anything else changes nothing.
    if (!reply || reply != selfUpdateReply || selfUpdateFiles.size() != 2)
        return;
    selfUpdateReply = nullptr;
    disconnect(reply, nullptr, this, nullptr);

    const QByteArray body = reply->readAll();
    const ConnectGlobals::ReplyFacts facts = ConnectGlobals::replyFacts(reply);
    const ConnectGlobals::ReplyErrorDecision decision = noteReply(facts, body);
    const int status = ConnectGlobals::judgedStatus(facts.status, facts.error);
    // A body cut short or a stalled transfer is never saved, nor anything
    // but a 2xx answer with the whole announced body.
    const bool whole =
        decision.quiet && facts.arrivedWhole() && ConnectGlobals::isSuccessStatus(status) &&
        ConnectGlobals::isAnnouncedSize(ConnectGlobals::announcedSize(reply), body.size());
    const bool library = selfUpdateOnLibrary();
    const QString name = selfUpdateFileName();
    const QString path = selfUpdateFiles.at(0) + QLatin1Char('/') + name;

    if (reply->isRunning()) {
        logLine(QStringLiteral("SLOT_ravoSyncUpdateFirmwareReceived: abort reply"));
        reply->abort();
    }
    reply->deleteLater();

    // Settled and forgotten: the page's verdict may start another update,
    // which then answers for itself.
    const bool ok =
        whole &&
        SLOT_evaluateJS(QStringLiteral("App.Common.parseRemoteReply(%0)").arg(status)).toBool();
    if (selfUpdateReply) {
        logLine(QStringLiteral("Program update replaced while judged: ") + name);
        return;
    }

    if (!ok) {
        emit SIGNAL_fail(QString(), QString::number(status), QString());
        return;
    }

    if (!saveWhole(path, body)) {
        logLine(QStringLiteral("could not open file: ") + name);
        emit SIGNAL_fail(QString(), QStringLiteral("FILE_OPERATION_FAILED"), QString());
        return;
    }
    if (library) {
        ++selfUpdateIndex;
        startSelfUpdateFile();
    } else {
        m_selfUpdateInstallerSaved = true;
        SLOT_ktInstallerSaved();
    }
}

void JsObject::SLOT_ktInstallerSaved()
{
    if (!m_selfUpdateInstallerSaved || selfUpdateFiles.size() != 2)
        return;
    m_selfUpdateInstallerSaved = false;
    SLOT_evaluateJS(setTextScript(QStringLiteral("ktupdate_installing")));
    emit m_requests->SIGNAL_resizeView(m_webView);
    const QString installer = selfUpdateFiles.at(0) + QLatin1Char('/') + selfUpdateFiles.at(1);
    emit m_requests->SIGNAL_ravoSyncInstallerDownloadDone(installer, selfUpdateBaseUrl);
    emit SIGNAL_ravoSyncInstallerDownloadDone(installer, selfUpdateBaseUrl);
}
