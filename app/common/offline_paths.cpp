#include "app/common/offline_paths.h"

#include "app/logging/app_log.h"
#include "connectlib/common/common.h"

#include <QCoreApplication>
#include <QDir>
#include <QDomDocument>
#include <QFileInfo>
#include <QStringList>

namespace ConnectGlobals {

namespace {

QString builtInDefault(const QString& key)
{
    static const QDomDocument config = [] {
        QDomDocument doc;
        ConnectLib::Common::initRunConfig(doc, QStringLiteral(":/resources/config.xml"));
        return doc;
    }();
    return ConnectLib::Common::getNodeValue(config, key);
}

// path with every link and "." or ".." of the part that exists resolved; the
// rest, which the writer will create, as it stands. Empty when a link in it
// points nowhere (writing through it would create its target).
QString resolvedPath(const QString& path)
{
    QString existing = QDir::cleanPath(path);
    QStringList rest;
    for (;;) {
        const QFileInfo info(existing);
        if (info.exists() || info.isSymLink()) {
            const QString real = info.canonicalFilePath();
            if (real.isEmpty())
                return QString();
            rest.prepend(real);
            return rest.join(QLatin1Char('/'));
        }
        const int slash = existing.lastIndexOf(QLatin1Char('/'));
        if (slash <= 0)
            return QString();
        rest.prepend(existing.mid(slash + 1));
        existing.truncate(slash);
    }
}

} // namespace

QString folderSetting(const QString& key)
{
    const QString value = ConnectLib::Common::getSettingsValue(key);
    if (isValidOfflineName(value))
        return value;
    const QString fallback = builtInDefault(key);
    logLine(QStringLiteral("Folder setting refused: ") + key + QStringLiteral(" = '") + value +
            QStringLiteral("', using '") + fallback + QLatin1Char('\''));
    return isValidOfflineName(fallback) ? fallback : QString();
}

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
    const QString folder = folderSetting(QStringLiteral("offlinefiledir"));
    if (base.isEmpty() || folder.isEmpty())
        return QString();
    const QString path =
        QStringLiteral("%0/%1/%2/%3").arg(base, folder, QString::number(deviceId, 16), name);
    // A link inside the store (planted, or a folder of the device's) must
    // not carry a page's bytes elsewhere.
    const QString realBase = resolvedPath(base);
    const QString real = resolvedPath(path);
    if (realBase.isEmpty() || real.isEmpty() ||
        !ConnectLib::Common::isInsideDirectory(realBase + QLatin1Char('/') + folder, real)) {
        logLine(QStringLiteral("Offline path leaves the store: ") + path);
        return QString();
    }
    return path;
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
