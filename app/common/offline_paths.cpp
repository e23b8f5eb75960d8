#include "app/common/offline_paths.h"

#include "connectlib/common/common.h"

#include <QCoreApplication>
#include <QDir>
#include <QStringList>

namespace ConnectGlobals {

bool isValidOfflineName(const QString& name)
{
    if (name.isEmpty() || name.contains(QChar(0)) || QDir::isAbsolutePath(name))
        return false;
    const QStringList parts = name.split(QLatin1Char('/'));
    for (const QString& part : parts) {
        if (part == QLatin1String(".") || part == QLatin1String(".."))
            return false;
    }
    return true;
}

QString offlineStorePath(quint64 deviceId, const QString& name)
{
    if (!isValidOfflineName(name))
        return QString();
    const QString base = ConnectLib::Common::getTempFilesDataPath();
    if (base.isEmpty())
        return QString();
    return QStringLiteral("%0/%1/%2/%3")
        .arg(base, ConnectLib::Common::getSettingsValue(QStringLiteral("offlinefiledir")),
             QString::number(deviceId, 16), name);
}

QString offlineReadPath(const QString& name)
{
    if (!isValidOfflineName(name))
        return QString();
    const QString dir = QCoreApplication::applicationDirPath();
    if (dir.isEmpty())
        return QString();
    return QStringLiteral("%0/%1").arg(dir, name);
}

} // namespace ConnectGlobals
