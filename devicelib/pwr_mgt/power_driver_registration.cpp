// Joins the shared library only: the static flavour's tests register the
// factory themselves.
#include "devicelib/core/driver_registry.h"
#include "devicelib/pwr_mgt/power_driver.h"

namespace {

const zarvo::core::driver_registration registration{&zarvo::pwr_mgt::create_power_driver};

} // namespace
