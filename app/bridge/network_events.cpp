// The page manager's replies, TLS errors and the network's state: what the
// window does about replies it did not ask for itself.
#include "app/bridge/jsobject.h"

#include "app/bridge/reply_errors.h"
#include "app/bridge/reply_facts.h"
#include "app/logging/app_log.h"

#include <QEvent>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslError>

using ConnectGlobals::logLine;

namespace {

// Drops the queued calls to a request that was cancelled (by the next page
// load, by the page, as the window closes). The network thread may have
// queued the request's answer just before the cancel (a failure, such as a
// picture the server lacks), and Qt 5 sets the error of the cancelled
// request again when that answer is delivered, warning
// "QNetworkReplyImplPrivate::error: Internal problem, this method must only
// be called once.". The request is over: nothing queued for it matters.
class CancelledRequestCalls : public QObject {
public:
    explicit CancelledRequestCalls(QObject* reply)
        : QObject(reply)
    {
        reply->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override { return event->type() == QEvent::MetaCall; }
};

} // namespace

void JsObject::SLOT_replyReceived(QNetworkReply* reply)
{
    if (!reply)
        return;
    // The page manager's replies belong to the web engine, which still reads
    // them and deletes them: they are only looked at.
    const bool engineReply = reply->manager() == pageManager();
    const ConnectGlobals::ReplyFacts facts = ConnectGlobals::replyFacts(reply);
    // A reply that failed before it opened has no body to look at.
    const QByteArray body = !reply->isOpen() ? QByteArray()
                            : engineReply    ? reply->peek(reply->bytesAvailable())
                                             : reply->readAll();
    const ConnectGlobals::ReplyErrorDecision decision = noteReply(facts, body);
    // A request the engine cancelled because the bridge is loading another
    // page (a device taking over the device-less window) says nothing about
    // the network: an error dialog for it would replace the new page.
    const bool replacedPage =
        engineReply && m_replacingPage && facts.error == QNetworkReply::OperationCanceledError;
    if (!decision.quiet && !replacedPage && !m_closing)
        showOfflineDialogFor(decision.textId, decision.buttons, decision.script);

    if (engineReply) {
        if (facts.error == QNetworkReply::OperationCanceledError)
            new CancelledRequestCalls(reply);
        return;
    }
    if (reply->isRunning()) {
        logLine(QStringLiteral("SLOT_replyReceived: abort reply"));
        reply->abort();
    }
    reply->deleteLater();
}

void JsObject::SLOT_handleSslErrors(QNetworkReply* reply, const QList<QSslError>& errors)
{
    // No TLS error is ever ignored: the reply fails.
    QStringList texts;
    for (const QSslError& error : errors)
        texts.append(error.errorString());
    const QString host = reply ? reply->url().host() : QString();
    logLine(QStringLiteral("TLS error from ") + host + QStringLiteral(": ") +
            texts.join(QStringLiteral("; ")));
}

void JsObject::SLOT_networkAccessibleChanged(int accessible)
{
    logLine(QStringLiteral("networkAccessibleChanged: ") + QString::number(accessible));
}

void JsObject::SLOT_stateChanged(int state)
{
    logLine(QStringLiteral("Session stateChanged: ") + QString::number(state));
}

void JsObject::SLOT_error(int error)
{
    logLine(QStringLiteral("Session error: ") + QString::number(error));
}
