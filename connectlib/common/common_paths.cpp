#include "connectlib/common/common.h"
#include "connectlib/common/private_temp_dir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>

namespace ConnectLib {

namespace {

// The program's own folder below the user's data and state locations.
const QString programFolder = QStringLiteral("/ravosync");

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

// An XDG base folder: the variable when it names an absolute path (the
// standard says to ignore any other value), else fallback below the home
// folder. Missing folders on the way are made 0700, as the standard asks.
QString userBase(const char* variable, const QString& fallback)
{
    QString base = qEnvironmentVariable(variable);
    if (!QDir::isAbsolutePath(base)) {
        const QString home = qEnvironmentVariable("HOME");
        if (!QDir::isAbsolutePath(home))
            return QString();
        base = home + fallback;
    }
    base = QDir::cleanPath(base);
    QStringList missing;
    for (QString dir = base; !QFileInfo(dir).isDir(); dir = QFileInfo(dir).path()) {
        if (dir == QLatin1String("/"))
            return QString();
        missing.prepend(dir);
    }
    for (const QString& dir : qAsConst(missing)) {
        if (::mkdir(QFile::encodeName(dir).constData(), 0700) != 0 && errno != EEXIST)
            return QString();
    }
    return base;
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

// Kept across reboots (the temporary folder is emptied at boot), so a
// support request after one still has its log.
QString Common::getLogPath()
{
    const QString program =
        workingPath(userBase("XDG_STATE_HOME", QStringLiteral("/.local/state")), programFolder);
    return workingPath(program, QStringLiteral("/logs"));
}

QString Common::getSelfUpdateDataPath()
{
    return workingPath(getTempFilesDataPath(), QStringLiteral("/selfupdate"));
}

// With the user's data: a backup kept after a failed restore may be the only
// copy of what was on the device.
QString Common::getBackupDataPath()
{
    const QString program =
        workingPath(userBase("XDG_DATA_HOME", QStringLiteral("/.local/share")), programFolder);
    return workingPath(program, QStringLiteral("/backups"));
}

} // namespace ConnectLib
