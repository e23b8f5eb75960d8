// The offline error dialog's table: which failing replies open it, with
// which text and buttons.
#include "app/bridge/reply_errors.h"

#include <QStringList>

#include <initializer_list>

namespace ConnectGlobals {

namespace {

struct ErrorName {
    int code;
    const char* name;
};

constexpr ErrorName errorNames[] = {
    {1, "ConnectionRefusedError"},
    {3, "HostNotFoundError"},
    {4, "TimeoutError"},
    {5, "OperationCanceledError"},
    {6, "SslHandshakeFailedError"},
    {7, "TemporaryNetworkFailureError"},
    {99, "UnknownNetworkError"},
    {101, "ProxyConnectionRefusedError"},
    {102, "ProxyConnectionClosedError"},
    {103, "ProxyNotFoundError"},
    {104, "ProxyTimeoutError"},
    {105, "ProxyAuthenticationRequiredError"},
    {199, "UnknownProxyError"},
    {201, "ContentAccessDenied"},
    {202, "ContentOperationNotPermittedError"},
    {203, "ContentNotFoundError"},
    {204, "AuthenticationRequiredError"},
    {205, "ContentReSendError"},
    {299, "UnknownContentError"},
    {301, "ProtocolUnknownError"},
    {302, "ProtocolInvalidOperationError"},
    {399, "ProtocolFailure"},
};

// A network error without HTTP status: the code the dialog goes by (0 for
// none) and its text key.
struct NetworkErrorRow {
    std::initializer_list<int> errors;
    int code;
    const char* textId;
};

const NetworkErrorRow networkErrorRows[] = {
    {{1, 3, 4, 7, 99, 205, 299, 302, 399}, 0, "error_nonetworkconnection"},
    {{5}, 503, "error_message_503"},
    {{6, 204}, 0, "error_message_sslhandshakefailed"},
    {{101, 102, 103, 104, 199}, 305, "error_message_305"},
    {{105}, 407, "error_message_407"},
    {{201, 202}, 401, "error_message_401"},
    {{203}, 404, "error_message_400"},
    {{301}, 500, "error_message_400"},
};

struct StatusRow {
    std::initializer_list<int> statuses;
    const char* textId;
};

const StatusRow statusRows[] = {
    {{305}, "error_message_305"}, {{400, 404, 500}, "error_message_400"},
    {{401}, "error_message_401"}, {{407}, "error_message_407"},
    {{408}, "error_message_408"}, {{502}, "error_nonetworkconnection"},
    {{503}, "error_message_503"}, {{504}, "error_message_504"},
};

const QString defaultTextId = QStringLiteral("error_message_408");

bool listed(std::initializer_list<int> values, int value)
{
    for (int candidate : values) {
        if (candidate == value)
            return true;
    }
    return false;
}

// Contains the marker past the address's first character.
bool containsAfterStart(const QString& address, std::initializer_list<const char*> markers)
{
    for (const char* marker : markers) {
        if (address.indexOf(QLatin1String(marker)) > 0)
            return true;
    }
    return false;
}

} // namespace

QString networkErrorName(int error)
{
    for (const ErrorName& entry : errorNames) {
        if (entry.code == error)
            return QString::fromLatin1(entry.name);
    }
    return QString::number(error);
}

bool isTransportError(int error, int httpStatus)
{
    const bool mirrorsHttp = (error >= 201 && error <= 299) || (error >= 401 && error <= 499) ||
                             (error == 302 && httpStatus == 400) ||
                             (error == 105 && httpStatus == 407);
    return error != 0 && !mirrorsHttp;
}

int judgedStatus(int httpStatus, int error)
{
    return isTransportError(error, httpStatus) ? 0 : httpStatus;
}

ReplyErrorDecision showReplyError(int status, int error, const QString& address,
                                  const QString& contentUrl)
{
    ReplyErrorDecision decision;
    status = judgedStatus(status, error);
    if (address.startsWith(QLatin1String("qrc:")) || !address.contains(contentUrl))
        return decision;
    if (status == 302 || status == 304)
        return decision;
    if (status <= 300 && !(status == 0 && error != 0))
        return decision;

    QString textId = defaultTextId;
    int code = status;
    bool found = false;
    if (status == 0) {
        code = 0;
        for (const NetworkErrorRow& row : networkErrorRows) {
            if (listed(row.errors, error)) {
                code = row.code;
                textId = QString::fromLatin1(row.textId);
                found = true;
                break;
            }
        }
    } else {
        for (const StatusRow& row : statusRows) {
            if (listed(row.statuses, status)) {
                textId = QString::fromLatin1(row.textId);
                found = true;
                break;
            }
        }
    }
    if (!found) {
        decision.logLine =
            QStringLiteral("No error defined for this code. req error: ") + networkErrorName(error);
        if (error == 2 && containsAfterStart(address, {".png", ".jpg", ".gif"}))
            return decision;
    }
    if (containsAfterStart(address, {".png", ".jpg", ".gif", ".json", "/translation_"}))
        return decision;
    if ((code == 503 || code == 504) && containsAfterStart(address, {"/login/sso"}))
        return decision;

    decision.quiet = false;
    decision.textId = textId;
    decision.buttons =
        QStringLiteral("errorDlgValues.buttons.syncagain=1;") +
        (code == 305 || code == 407 ? QStringLiteral("errorDlgValues.buttons.networksettings=1;")
                                    : QStringLiteral("errorDlgValues.buttons.close=1;"));
    decision.script = QStringLiteral("App.syncMain.errorCase();");
    return decision;
}

} // namespace ConnectGlobals
