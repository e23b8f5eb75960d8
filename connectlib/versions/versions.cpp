#include "connectlib/versions/versions.h"
#include "connectlib/versions/version_text.h"

#include "devicelib/values/library_version.h"

namespace ConnectLib {

Versions::Versions() = default;

Versions::~Versions() = default;

QString Versions::libzarvo2()
{
    return versionText(zarvo::library_version());
}

} // namespace ConnectLib
