// The reply and content log lines of the bridge's network replies.
#include "app/bridge/reply_log.h"

#include "app/bridge/reply_errors.h"

namespace ConnectGlobals {

namespace {

constexpr int contentLogLength = 150;

// Addresses whose replies are never logged: built-in resources, pictures,
// JSON and translation files.
bool quietAddress(const QString& address)
{
    if (address.startsWith(QLatin1String("qrc:")))
        return true;
    for (const char* marker : {".png", ".jpg", ".gif", ".json", "/translation_"}) {
        if (address.contains(QLatin1String(marker)))
            return true;
    }
    return false;
}

} // namespace

QString replyLogLine(const QUrl& address, int status, const QString& reason, int error,
                     const QUrl& redirectTarget)
{
    if (status == 200 || quietAddress(address.toString()))
        return QString();
    QString line = QStringLiteral("Reply: ") + address.path() + QStringLiteral(", status: ") +
                   QString::number(status) + QStringLiteral(", reason: ") + reason +
                   QStringLiteral(", ") + networkErrorName(error);
    if (status == 302 && !redirectTarget.isEmpty())
        line += QStringLiteral(", redirected to: ") + redirectTarget.toString();
    return line;
}

QString replyContentLogLine(const QString& address, const QByteArray& body, int status, bool force)
{
    if (!(force || status > 300) || quietAddress(address))
        return QString();
    QString text = QString::fromUtf8(body.constData(), body.size());
    text.remove(QChar(u'\0')).remove(QChar(u'\n')).remove(QChar(u'\t')).remove(QChar(u'\r'));
    text.truncate(contentLogLength);
    if (text.isEmpty())
        return QString();
    return QStringLiteral("Content:\n ") + text + QStringLiteral("...");
}

} // namespace ConnectGlobals
