// What the firmware, file and program-update downloads share: their network
// manager, their requests and the proxy line.
//
// The manager's own completion signal is connected to nothing. Each download
// connects its reply's signals to its kind's handlers, so a reply never
// completes through another kind's handler, whatever else runs beside it.
#include "app/bridge/jsobject.h"

#include "app/bridge/download_rules.h"
#include "app/bridge/reply_facts.h"
#include "app/logging/app_log.h"
#include "connectlib/common/common.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>

using ConnectGlobals::logLine;

QNetworkAccessManager* JsObject::downloadManager()
{
    if (!m_downloadManager)
        m_downloadManager = createNetworkManager();
    return m_downloadManager;
}

QNetworkRequest JsObject::downloadRequest(const QUrl& url, const QString& contentType,
                                          const QString& acceptType, bool withAuthorization)
{
    QNetworkRequest request;
    if (withAuthorization) {
        request = transferRequest(url, acceptType);
    } else {
        request.setUrl(url);
        request.setRawHeader("Accept", acceptType.toUtf8());
        request.setRawHeader(
            "Accept-Language",
            ConnectLib::Common::getSettingsValue(QStringLiteral("language")).toUtf8());
    }
    request.setRawHeader("Content-Type", contentType.toUtf8());
    // A redirect is an answer like any other, and no success: its page is
    // not the file, and following it could take the credentials elsewhere.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    // A download may take long; only silence ends it.
    request.setTransferTimeout(ConnectGlobals::requestTimeoutMs());
    return request;
}

QNetworkReply* JsObject::startDownload(const QNetworkRequest& request)
{
    localBuffer.clear();
    useLocalBuffer = false;
    return downloadManager()->get(request);
}

void JsObject::logDownloadProxy(const QString& prefix)
{
    QNetworkProxy proxy = downloadManager()->proxy();
    if (proxy.type() == QNetworkProxy::DefaultProxy)
        proxy = QNetworkProxy::applicationProxy();
    logLine(prefix + proxy.hostName() + QStringLiteral(", port: ") + QString::number(proxy.port()));
}

void JsObject::capWholeBody(QNetworkReply* reply, const QString& folder)
{
    connect(reply, &QNetworkReply::downloadProgress, this,
            [reply, folder](qint64 received, qint64 total) {
                if (reply->property(ConnectGlobals::tooLargeProperty).toBool())
                    return;
                const QString refusal = ConnectGlobals::wholeBodyRefusal(received, total, folder);
                if (refusal.isEmpty())
                    return;
                logLine(QStringLiteral("Download too large (") + refusal + QStringLiteral("): ") +
                        reply->url().path());
                reply->setProperty(ConnectGlobals::tooLargeProperty, true);
                // Once the progress signal is over: the completion it brings
                // runs nothing inside the reply's signal. A body that is
                // already whole completes first and is judged by the mark.
                QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
            });
}
