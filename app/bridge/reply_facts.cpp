#include "app/bridge/reply_facts.h"

#include "app/bridge/reply_errors.h"
#include "app/bridge/reply_log.h"
#include "app/logging/app_log.h"

#include <QNetworkReply>
#include <QNetworkRequest>

namespace ConnectGlobals {

ReplyFacts replyFacts(QNetworkReply* reply)
{
    ReplyFacts facts;
    facts.timedOut = reply->property(timedOutProperty).toBool();
    facts.tooLarge = reply->property(tooLargeProperty).toBool();
    facts.error = int(reply->error());
    facts.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    facts.reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    facts.url = reply->url();
    facts.address = facts.url.toString();
    facts.redirect = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    if (facts.timedOut || facts.tooLarge) {
        facts.error = 0;
        facts.status = 0;
    }
    return facts;
}

bool ReplyFacts::arrivedWhole() const
{
    return !timedOut && !tooLarge && !isTransportError(error, status);
}

void logReply(const ReplyFacts& facts)
{
    const QString line =
        replyLogLine(facts.url, facts.status, facts.reason, facts.error, facts.redirect);
    if (!line.isEmpty())
        logLine(line);
}

void logReplyContent(const ReplyFacts& facts, const QByteArray& body)
{
    const QString line = replyContentLogLine(facts.address, body, facts.status, facts.error != 0);
    if (!line.isEmpty())
        logLine(line);
}

} // namespace ConnectGlobals
