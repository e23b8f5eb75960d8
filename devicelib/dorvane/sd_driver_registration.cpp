// Joins the shared library only: the static flavour's tests create the
// driver themselves.
#include "devicelib/core/driver_registry.h"
#include "devicelib/dorvane/sd_driver.h"

namespace {

const zarvo::core::driver_registration registration{&zarvo::dorvane::create_sd_driver};

} // namespace
