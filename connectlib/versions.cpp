#include "connectlib/versions.h"
#include "connectlib/version_text.h"

#include "devicelib/library_version.h"

namespace ConnectLib {

Versions::Versions() = default;

Versions::~Versions() = default;

QString Versions::libzarvo2()
{
    return versionText(zarvo::library_version());
}

} // namespace ConnectLib
