#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

class QNetworkReply;

namespace ConnectGlobals {

// Set on a reply that its own time-out ended.
inline constexpr const char* timedOutProperty = "ravoTimedOut";
// Set on a reply whose body grew past what may be read whole.
inline constexpr const char* tooLargeProperty = "ravoTooLarge";

// What every reply handler reads first.
struct ReplyFacts {
    int error = 0;
    // The HTTP status of its headers, 0 when it has none.
    int status = 0;
    QString reason;
    QUrl url;
    QString address;
    QUrl redirect;
    // Ended by its time-out: then judged as a reply that never answered
    // (status 0, no error).
    bool timedOut = false;
    // Ended, or to be ended, by its size cap: judged as the time-out.
    bool tooLarge = false;

    // Whether the body arrived whole: neither its time-out, its size cap
    // nor a transport failure ended it.
    bool arrivedWhole() const;
};

ReplyFacts replyFacts(QNetworkReply* reply);
// The "Reply: " line and the "Content:" line, when they are due.
void logReply(const ReplyFacts& facts);
void logReplyContent(const ReplyFacts& facts, const QByteArray& body);

} // namespace ConnectGlobals
