#include "connectlib/settings/settings_file_mode.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ConnectLib {

bool keepSettingsFileOwnerOnly(const QString& path)
{
    if (path.isEmpty())
        return false;
    QDir().mkpath(QFileInfo(path).absolutePath());
    // Opened without truncation: an existing store keeps its contents. The
    // mode is set on the open file, so a file put in its place meanwhile is
    // never the one changed.
    const int fd =
        ::open(QFile::encodeName(path).constData(),
               O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, S_IRUSR | S_IWUSR);
    if (fd < 0)
        return false;
    struct stat st {};
    const bool ok =
        ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
        ((st.st_mode & 07777) == (S_IRUSR | S_IWUSR) || ::fchmod(fd, S_IRUSR | S_IWUSR) == 0);
    ::close(fd);
    return ok;
}

} // namespace ConnectLib
