#include "connectlib/versions/version_text.h"

namespace ConnectLib {

QString versionText(const zarvo::version& version)
{
    if (version.is_uninitialized())
        return QString();
    if (version.is_latest())
        return QString::fromStdString(version.specifier());
    return QString::fromStdString(version.string());
}

} // namespace ConnectLib
