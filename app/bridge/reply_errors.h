#pragma once

#include <QString>

namespace ConnectGlobals {

// The name of a QNetworkReply::NetworkError for the codes the reply log
// names; any other code as its decimal number.
QString networkErrorName(int error);

// Whether a reply's error is a failure of the transfer itself (connection,
// proxy, TLS, protocol, cancel) rather than an HTTP answer that Qt mirrors
// as an error: 201-299 for 4xx, 401-499 for 5xx, and the two it names
// otherwise, 302 for a 400 and 105 for a 407. Such a reply did not arrive
// whole, whatever its headers said.
bool isTransportError(int error, int httpStatus);

// The status a reply is judged by: 0 after a transport error, else the HTTP
// status of its headers (0 when it has none).
int judgedStatus(int httpStatus, int error);

// What the window does about a finished reply: nothing (quiet), or the
// offline error dialog with a text key, its buttons and the script the
// dialog runs.
struct ReplyErrorDecision {
    bool quiet = true;
    QString textId;
    QString buttons;
    QString script;
    // "No error defined for this code. req error: <name>" for a combination
    // the table does not list; logged by the caller.
    QString logLine;
};

// Only failing content-server replies open the dialog. status is the HTTP
// status (a transport error counts as 0 whatever it is), error the reply's
// network error code, address the reply's address and contentUrl the
// setting "contenturl".
ReplyErrorDecision showReplyError(int status, int error, const QString& address,
                                  const QString& contentUrl);

} // namespace ConnectGlobals
