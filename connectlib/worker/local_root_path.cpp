#include "connectlib/worker/local_root_path.h"

#include "connectlib/common/common.h"

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

bool Common::isInsideDirectory(const QString& directory, const QString& path)
{
    if (directory.isEmpty() || path.isEmpty())
        return false;
    const QString root = QDir::cleanPath(QDir(directory).absolutePath());
    const QString cleaned = QDir::cleanPath(QDir(path).absolutePath());
    const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    return cleaned.startsWith(prefix) && cleaned.size() > prefix.size();
}

QString pathBelowRoot(const QString& rootPath, const QString& filePath)
{
    const QString relative =
        QDir(QDir::cleanPath(rootPath)).relativeFilePath(QDir::cleanPath(filePath));
    return relative == QLatin1String(".") ? QStringLiteral("/") : QLatin1Char('/') + relative;
}

} // namespace ConnectLib
