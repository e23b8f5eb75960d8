#include "connectlib/worker/daily_root_path.h"

namespace ConnectLib {

namespace {
const QString dateTag = QStringLiteral("/[YYYYMMDD]");
const QString subdirTag = QStringLiteral("/[SUBDIR]");
} // namespace

DailyRootPath parseDailyRootPath(const QString& rootPath)
{
    DailyRootPath result;
    if (!rootPath.contains(dateTag + QLatin1Char('/')))
        return result;
    result.valid = true;
    const int at = rootPath.indexOf(dateTag);
    result.base = rootPath.left(at);
    QString rest = rootPath.mid(at + dateTag.size());
    // Only the first tag splits; a second one stays in the rest as text.
    const int next = rest.indexOf(dateTag);
    if (next >= 0)
        rest.truncate(next);
    result.extraLevel = rest.indexOf(subdirTag) > 0;
    QString sub = rest.startsWith(QLatin1Char('/')) ? rest.mid(1) : rest;
    result.subFolder = sub.remove(subdirTag);
    return result;
}

QString stripBasePrefix(const QString& path, const QString& base)
{
    const QString prefix = base + QLatin1Char('/');
    return path.startsWith(prefix) ? path.mid(prefix.size()) : path;
}

} // namespace ConnectLib
