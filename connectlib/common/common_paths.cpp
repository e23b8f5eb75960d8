#include "connectlib/common/common.h"
#include "connectlib/common/private_temp_dir.h"

namespace ConnectLib {

namespace {
// Sub-folders get the same 0700 treatment as the base, and the same policy
// when it fails: an empty path, so that nothing is written into a folder
// another user may control (a symlink planted there, say).
QString workingPath(const QString& parent, const QString& name)
{
    if (parent.isEmpty())
        return QString();
    const QString path = parent + name;
    if (!ensurePrivateDirectory(path))
        return QString();
    return path;
}
} // namespace

QString Common::getTempFilesDataPath()
{
    return workingPath(privateTempBase(), QStringLiteral("/zarvo"));
}

QString Common::getFWUpdateDataPath()
{
    return workingPath(getTempFilesDataPath(), QStringLiteral("/fwupdate"));
}

QString Common::getLogPath()
{
    return workingPath(getTempFilesDataPath(), QStringLiteral("/logs"));
}

QString Common::getSelfUpdateDataPath()
{
    return workingPath(getTempFilesDataPath(), QStringLiteral("/selfupdate"));
}

QString Common::getBackupDataPath()
{
    return workingPath(getTempFilesDataPath(), QStringLiteral("/backups"));
}

} // namespace ConnectLib
