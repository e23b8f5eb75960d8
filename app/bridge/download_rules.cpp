#include "app/bridge/download_rules.h"

#include "app/logging/app_log.h"
#include "connectlib/common/common.h"

#include <QNetworkReply>
#include <QStorageInfo>
#include <QUrl>

#include <atomic>

namespace ConnectGlobals {

namespace {

constexpr int defaultTimeoutSeconds = 60;
// A stored time-out is a page's to write: a reply that hangs ends within this,
// so no sync (and no device it serves) waits on it for days.
constexpr int maxTimeoutSeconds = 300;
constexpr qint64 defaultWholeBodyLimit = qint64(512) * 1024 * 1024;
std::atomic<qint64> wholeBodyLimitBytes{defaultWholeBodyLimit};

bool isHexDigit(QChar c)
{
    const ushort u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}

} // namespace

bool isPlainFileName(const QString& name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() == 0)
            return false;
    }
    return true;
}

bool hasInstallerExtension(const QString& filename)
{
    const QString lower = filename.toLower();
    for (const char* extension : {".exe", ".dmg", ".app", ".zip", ".pkg"}) {
        if (lower.endsWith(QLatin1String(extension)))
            return true;
    }
    return false;
}

bool isHttpsAddress(const QString& url)
{
    if (!url.startsWith(QLatin1String("https://")))
        return false;
    const QUrl parsed(url);
    return parsed.isValid() && !parsed.host().isEmpty();
}

std::optional<quint64> deviceIdFromHex(const QString& text)
{
    if (text.isEmpty() || text.size() > 16)
        return std::nullopt;
    for (const QChar c : text) {
        if (!isHexDigit(c))
            return std::nullopt;
    }
    bool ok = false;
    const quint64 id = text.toULongLong(&ok, 16);
    if (!ok)
        return std::nullopt;
    return id;
}

bool isSuccessStatus(int status)
{
    return status >= 200 && status <= 299;
}

qint64 announcedSize(QNetworkReply* reply)
{
    const QByteArray encoding = reply->rawHeader("Content-Encoding").trimmed().toLower();
    if (!encoding.isEmpty() && encoding != "identity")
        return -1;
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    bool ok = false;
    const qint64 size = length.toLongLong(&ok);
    return ok && size >= 0 ? size : -1;
}

bool isAnnouncedSize(qint64 announced, qint64 received)
{
    return announced < 0 || announced == received;
}

qint64 wholeBodyLimit()
{
    return wholeBodyLimitBytes.load();
}

void setWholeBodyLimit(qint64 bytes)
{
    wholeBodyLimitBytes.store(bytes > 0 ? bytes : defaultWholeBodyLimit);
}

QString wholeBodyRefusal(qint64 received, qint64 total, const QString& folder)
{
    const qint64 size = qMax(received, total);
    if (size > wholeBodyLimit())
        return QStringLiteral("%1 bytes, more than the limit of %2")
            .arg(size)
            .arg(wholeBodyLimit());
    if (!folder.isEmpty()) {
        const QStorageInfo storage(folder);
        if (storage.isValid() && size > storage.bytesAvailable())
            return QStringLiteral("%1 bytes, more than the %2 free in %3")
                .arg(size)
                .arg(storage.bytesAvailable())
                .arg(folder);
    }
    return QString();
}

int downloadPercent(qint64 received, qint64 total)
{
    if (total < 0)
        return -1;
    if (total == 0 || received <= 0)
        return 0;
    // received * 100 overflows only beyond 92 PB.
    return int(qMin<qint64>(received, total) * 100 / total);
}

int requestTimeoutMs()
{
    const QString text = ConnectLib::Common::getSettingsValue(QStringLiteral("nwreqtimer"));
    bool ok = false;
    const qlonglong seconds = text.trimmed().toLongLong(&ok);
    if (!ok || seconds <= 0) {
        logLine(QStringLiteral("nwreqtimer is not a positive number of seconds: '") + text +
                QStringLiteral("', using ") + QString::number(defaultTimeoutSeconds));
        return defaultTimeoutSeconds * 1000;
    }
    if (seconds > maxTimeoutSeconds) {
        logLine(QStringLiteral("nwreqtimer above %1 seconds: '%2', using %1")
                    .arg(maxTimeoutSeconds)
                    .arg(text));
        return maxTimeoutSeconds * 1000;
    }
    return int(seconds) * 1000;
}

} // namespace ConnectGlobals
