// Raw-data transfers with the web service and the content server: bodies
// the pages cannot move with jQuery (protocol buffers and other binary
// data) travel between page and bridge as Base64 text.
//
// Each transfer keeps its own facts: its reply's finished() goes to its
// kind's handler, and its use-local-buffer flag, show-error-dialog value and
// time-out live with the reply, so transfers in flight together never
// complete through each other's handler or flags.
#include "app/bridge/jsobject.h"

#include "app/bridge/download_rules.h"
#include "app/bridge/reply_errors.h"
#include "app/bridge/reply_facts.h"
#include "app/logging/app_log.h"
#include "connectlib/common/common.h"

#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QTimer>
#include <QWebPage>

QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
#include <QNetworkConfiguration>

using ConnectGlobals::logLine;
using ConnectGlobals::logReply;
using ConnectGlobals::logReplyContent;
using ConnectGlobals::ReplyFacts;
using ConnectGlobals::replyFacts;
using ConnectLib::Common;

namespace {

const char* const useLocalBufferProperty = "ravoUseLocalBuffer";
const char* const showErrorDialogProperty = "ravoShowErrorDialog";
const char* const completedProperty = "ravoCompleted";

// Whether url is one of our configured services: https on both, the same
// host (any case) and the same port (443 when none is named). Only the
// program's settings name them; nothing a page stores does.
bool isServiceAddress(const QUrl& url)
{
    if (url.scheme() != QLatin1String("https") || url.host().isEmpty())
        return false;
    for (const char* key : {"contenturl", "remoteurl", "ravourl"}) {
        const QUrl service(Common::getSettingsValue(QString::fromLatin1(key)).trimmed());
        if (service.scheme() == QLatin1String("https") && !service.host().isEmpty() &&
            service.host().compare(url.host(), Qt::CaseInsensitive) == 0 &&
            service.port(443) == url.port(443))
            return true;
    }
    return false;
}

// A reply is handled once: a late second signal finds it marked.
bool beginCompletion(QNetworkReply* reply)
{
    if (reply->property(completedProperty).toBool())
        return false;
    reply->setProperty(completedProperty, true);
    // Its time-out is a child of the reply; it must not fire any more.
    for (QTimer* timer : reply->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly))
        timer->stop();
    return true;
}

void endReply(QNetworkReply* reply, const QString& handlerName)
{
    if (reply->isRunning()) {
        logLine(handlerName + QStringLiteral(": abort reply"));
        reply->abort();
    }
    reply->deleteLater();
}

} // namespace

QNetworkAccessManager* JsObject::pageManager() const
{
    if (!m_webView || !m_webView->page())
        return nullptr;
    return m_webView->page()->networkAccessManager();
}

QNetworkAccessManager* JsObject::createNetworkManager()
{
    auto* manager = new QNetworkAccessManager(this);
    if (QNetworkAccessManager* page = pageManager()) {
        manager->setConfiguration(page->activeConfiguration());
        // One cookie store for the pages and the bridge's transfers. The
        // manager takes the store as its child; it goes to the bridge, which
        // outlives both the view's manager and its own, so no manager is
        // ever left with a deleted store.
        QNetworkCookieJar* jar = page->cookieJar();
        manager->setCookieJar(jar);
        jar->setParent(this);
    }
    connect(manager, SIGNAL(sslErrors(QNetworkReply*, QList<QSslError>)), this,
            SLOT(SLOT_handleSslErrors(QNetworkReply*, QList<QSslError>)));
    connect(manager, &QNetworkAccessManager::networkAccessibleChanged, this,
            [this](QNetworkAccessManager::NetworkAccessibility accessible) {
                SLOT_networkAccessibleChanged(int(accessible));
            });
    return manager;
}

QNetworkAccessManager* JsObject::transferManager()
{
    if (!m_transferManager)
        m_transferManager = createNetworkManager();
    return m_transferManager;
}

QNetworkRequest JsObject::transferRequest(const QUrl& url, const QString& acceptType)
{
    QNetworkRequest request(url);
    request.setRawHeader("Accept", acceptType.toUtf8());
    request.setRawHeader("Accept-Language",
                         Common::getSettingsValue(QStringLiteral("language")).toUtf8());

    // The application's credentials go only to our own services and only
    // encrypted.
    if (isServiceAddress(url)) {
        request.setRawHeader(
            "Authorization",
            QByteArrayLiteral("Basic ") +
                SLOT_getVariable(QStringLiteral("login_api_encoded_key")).toUtf8());
    } else {
        logLine(QStringLiteral("Authorization not sent to: ") + url.scheme() +
                QStringLiteral("://") + url.host() +
                (url.port() != -1 ? QStringLiteral(":") + QString::number(url.port()) : QString()));
    }
    return request;
}

bool JsObject::refuseAddress(const QUrl& url)
{
    // Web addresses only: a page never reads local files through the bridge.
    if (url.isValid() && !url.host().isEmpty() &&
        (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http")))
        return false;
    logLine(QStringLiteral("Transfer refused, not a web address: ") + url.scheme() +
            QLatin1Char(':'));
    // Failed as a reply that never answered, after the caller returned, as
    // every transfer completes.
    QTimer::singleShot(0, this,
                       [this] { emit SIGNAL_fail(QString(), QStringLiteral("0"), QString()); });
    return true;
}

void JsObject::trackTransfer(QNetworkReply* reply, void (JsObject::*handler)(QNetworkReply*))
{
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, handler] { (this->*handler)(reply); });
    // The reply's own time-out: it ends only this reply, which then
    // completes once, through its handler.
    auto* timeout = new QTimer(reply);
    timeout->setSingleShot(true);
    timeout->setTimerType(Qt::PreciseTimer);
    connect(timeout, &QTimer::timeout, reply, [reply] {
        if (!reply->isRunning())
            return;
        logLine(QStringLiteral("Request timed out: ") + reply->url().path());
        reply->setProperty(ConnectGlobals::timedOutProperty, true);
        reply->abort();
    });
    timeout->start(ConnectGlobals::requestTimeoutMs());
}

void JsObject::SLOT_readBinary(QString url, QString httpMethod, QString acceptType)
{
    SLOT_readBinaryFromRemote(url, httpMethod, acceptType, false, QStringLiteral("true"));
}

void JsObject::SLOT_readBinaryFromRemote(QString url, QString, QString acceptType,
                                         bool useLocalBuffer, QString showErrorDialog)
{
    this->useLocalBuffer = useLocalBuffer;
    if (refuseAddress(QUrl(url)))
        return;
    QNetworkReply* reply = transferManager()->get(transferRequest(QUrl(url), acceptType));
    reply->setProperty(useLocalBufferProperty, useLocalBuffer);
    reply->setProperty(showErrorDialogProperty, showErrorDialog);
    trackTransfer(reply, &JsObject::SLOT_readBinaryFromRemoteReplyReceived);
    capWholeBody(reply, QString());
}

void JsObject::SLOT_writeBinary(QString url, QString httpMethod, QString data, QString contentType,
                                QString acceptType, QString contentEncoding)
{
    SLOT_writeBinaryToRemote(url, httpMethod, data, contentType, acceptType, contentEncoding);
}

void JsObject::SLOT_writeBinaryToRemote(QString url, QString httpMethod, QString data,
                                        QString contentType, QString acceptType,
                                        QString contentEncoding)
{
    if (refuseAddress(QUrl(url)))
        return;
    QNetworkRequest request = transferRequest(QUrl(url), acceptType);
    request.setRawHeader("Content-Type", contentType.toUtf8());
    if (!contentEncoding.isEmpty())
        request.setRawHeader("Content-Encoding", contentEncoding.toUtf8());
    const QByteArray body = QByteArray::fromBase64(data.toLatin1());
    QNetworkReply* reply = httpMethod == QLatin1String("PUT")
                               ? transferManager()->put(request, body)
                               : transferManager()->post(request, body);
    trackTransfer(reply, &JsObject::SLOT_writeBinaryToRemoteReplyReceived);
}

void JsObject::showOfflineDialogFor(const QString& textId, const QString& buttons,
                                    const QString& script)
{
    // Not in a window being deleted.
    if (m_closing) {
        logLine(QStringLiteral("Offline error dialog left out: the window is closing."));
        return;
    }
    logLine(QStringLiteral("Show offline error dialog."));
    emit m_requests->SIGNAL_showOfflineDialog(QStringLiteral("ui/progress.html"),
                                              QStringList{textId}, buttons, script);
}

ConnectGlobals::ReplyErrorDecision JsObject::noteReply(const ReplyFacts& facts,
                                                       const QByteArray& body)
{
    logReply(facts);
    logReplyContent(facts, body);
    SLOT_saveVariable(QStringLiteral("replyurl"), facts.address);
    ConnectGlobals::ReplyErrorDecision decision =
        ConnectGlobals::showReplyError(facts.status, facts.error, facts.address, m_contentUrl);
    if (!decision.logLine.isEmpty())
        logLine(decision.logLine);
    return decision;
}

void JsObject::judgeTransfer(const ReplyFacts& facts, bool whole, const QString& data,
                             void (JsObject::*success)(QString, QString, QString))
{
    // A reply that did not arrive whole is never handed on as data.
    const int status = ConnectGlobals::judgedStatus(facts.status, facts.error);
    const QString statusText = QString::number(status);
    const bool ok =
        SLOT_evaluateJS(QStringLiteral("App.Common.parseRemoteReply(%0)").arg(status)).toBool();
    if (ok && whole)
        emit(this->*success)(data, statusText, QString());
    else
        emit SIGNAL_fail(QString(), statusText, QString());
}

void JsObject::SLOT_readBinaryFromRemoteReplyReceived(QNetworkReply* reply)
{
    if (!reply || !beginCompletion(reply))
        return;
    const bool toLocalBuffer = reply->property(useLocalBufferProperty).toBool();
    const QVariant showDialog = reply->property(showErrorDialogProperty);
    const QByteArray body = reply->readAll();
    const ReplyFacts facts = replyFacts(reply);
    const bool whole = facts.arrivedWhole();

    QString data;
    if (whole) {
        if (toLocalBuffer)
            localBuffer = body;
        else if (reply->header(QNetworkRequest::ContentTypeHeader)
                     .toString()
                     .startsWith(QLatin1String("application/x-")))
            data = QString::fromLatin1(body.toBase64());
        else
            data = QString::fromUtf8(body.constData(), body.size());
    }
    const ConnectGlobals::ReplyErrorDecision decision = noteReply(facts, body);
    // Only a read made with "false" keeps its failures from the dialog.
    if (showDialog.toString() != QLatin1String("false") && !decision.quiet)
        showOfflineDialogFor(decision.textId, decision.buttons, decision.script);
    else
        judgeTransfer(facts, whole, data, &JsObject::SIGNAL_fileRead);
    endReply(reply, QStringLiteral("SLOT_readBinaryFromRemoteReplyReceived"));
}

void JsObject::SLOT_writeBinaryToRemoteReplyReceived(QNetworkReply* reply)
{
    if (!reply || !beginCompletion(reply))
        return;
    const QByteArray body = reply->readAll();
    const ReplyFacts facts = replyFacts(reply);
    const bool whole = facts.arrivedWhole();
    QString data;
    if (whole) {
        data = reply->header(QNetworkRequest::ContentTypeHeader).toString() ==
                       QLatin1String("application/x-protobuf")
                   ? QString::fromLatin1(body.toBase64())
                   : QString::fromUtf8(body.constData(), body.size());
    }
    const ConnectGlobals::ReplyErrorDecision decision = noteReply(facts, body);
    if (!decision.quiet) {
        showOfflineDialogFor(decision.textId, decision.buttons, decision.script);
    } else {
        SLOT_saveVariable(QStringLiteral("Location"),
                          QString::fromUtf8(reply->rawHeader("Location")));
        judgeTransfer(facts, whole, data, &JsObject::SIGNAL_fileWritten);
    }
    endReply(reply, QStringLiteral("SLOT_writeBinaryToRemoteReplyReceived"));
}

QT_WARNING_POP
