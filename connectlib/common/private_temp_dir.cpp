#include "connectlib/common/private_temp_dir.h"

#include <QDebug>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace ConnectLib {

bool ensurePrivateDirectory(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return false;

    // lstat, so a symlink planted at the path is seen as such.
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0)
        return false;
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    if ((st.st_mode & 077) != 0 && ::chmod(native.constData(), st.st_mode & 07700) != 0)
        return false;
    return true;
}

QString privateTempBase()
{
    static std::mutex mutex;
    static QString fallback;
    static bool announced = false;
    std::lock_guard<std::mutex> lock(mutex);

    const QString tempRoot = QDir::tempPath();
    // Qt answers an empty path for a TMPDIR that does not exist; the base
    // would then land in the root folder.
    if (tempRoot.isEmpty() || !QDir::isAbsolutePath(tempRoot))
        return QString();
    const QString base = tempRoot + QStringLiteral("/ravosync-") + QString::number(::geteuid());
    if (ensurePrivateDirectory(base))
        return base;
    if (!fallback.isEmpty() && ensurePrivateDirectory(fallback))
        return fallback;

    QByteArray pattern = QFile::encodeName(base + QStringLiteral("-XXXXXX"));
    fallback = ::mkdtemp(pattern.data()) ? QFile::decodeName(pattern) : QString();
    if (!announced) {
        announced = true;
        qDebug().noquote() << "Temporary base" << base << "is not a private folder; using"
                           << (fallback.isEmpty() ? QStringLiteral("none") : fallback);
    }
    return fallback;
}

} // namespace ConnectLib
