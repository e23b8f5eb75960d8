#include "app/bridge/download_rules.h"

#include "app/logging/app_log.h"
#include "connectlib/common/common.h"

#include <QUrl>

#include <climits>

namespace ConnectGlobals {

namespace {

constexpr int defaultTimeoutSeconds = 60;

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
    return int(qMin<qlonglong>(seconds, INT_MAX / 1000) * 1000);
}

} // namespace ConnectGlobals
