#pragma once

#include "devicelib/values/version.h"

#include <QString>

namespace ConnectLib {

// How a device-library version is shown: empty when nothing is set, the
// specifier alone for the "latest" version, otherwise its text form.
QString versionText(const zarvo::version& version);

} // namespace ConnectLib
