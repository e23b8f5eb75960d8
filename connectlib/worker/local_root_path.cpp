#include "connectlib/worker/local_root_path.h"

#include <QDir>

namespace ConnectLib {

QString confinedLocalPath(const QString& rootPath, const QString& requestPath)
{
    const QString root = QDir::cleanPath(rootPath);
    const QString joined = QDir::cleanPath(rootPath + requestPath);
    if (root.isEmpty())
        return joined;
    if (joined == root)
        return joined;
    const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    return joined.startsWith(prefix) ? joined : QString();
}

QString pathBelowRoot(const QString& rootPath, const QString& filePath)
{
    const QString relative =
        QDir(QDir::cleanPath(rootPath)).relativeFilePath(QDir::cleanPath(filePath));
    return relative == QLatin1String(".") ? QStringLiteral("/") : QLatin1Char('/') + relative;
}

} // namespace ConnectLib
