#include "connectlib/common/common.h"
#include "connectlib/common/private_temp_dir.h"

namespace ConnectLib {

namespace {
// Sub-folders get the same 0700 treatment as the base. A failure to create
// one is not reported: the caller's later file access fails instead.
QString workingPath(const QString& parent, const QString& name)
{
    if (parent.isEmpty())
        return QString();
    const QString path = parent + name;
    ensurePrivateDirectory(path);
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
