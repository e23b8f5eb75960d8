#pragma once

#include "devicelib/export.h"
#include "devicelib/values/version.h"

namespace zarvo {

// The library's own version, "5.2.2-r990": the release with the revision
// as its specifier.
ZARVO_EXPORT version library_version();
ZARVO_EXPORT unsigned int library_revision();

} // namespace zarvo
