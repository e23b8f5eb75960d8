#include "connectlib/common/common.h"

namespace ConnectLib {

bool Common::isFilePath(QString path)
{
    const QStringList parts = path.split(QLatin1Char('.'));
    return parts.size() == 2 && !parts.at(0).isEmpty() && !parts.at(1).isEmpty();
}

QStringList Common::replaceUserTags(QStringList dirs, QStringList userIds)
{
    static const QString userTag = QStringLiteral("[USER]");
    QStringList expanded;
    for (const QString& dir : qAsConst(dirs)) {
        if (!dir.contains(userTag)) {
            expanded.append(dir);
            continue;
        }
        for (const QString& id : qAsConst(userIds))
            expanded.append(QString(dir).replace(userTag, id));
    }
    return expanded;
}

} // namespace ConnectLib
