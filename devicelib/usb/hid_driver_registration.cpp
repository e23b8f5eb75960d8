// Joins the shared library only: the static flavour's tests create the
// driver themselves.
#include "devicelib/core/driver_registry.h"
#include "devicelib/usb/hid_driver.h"

namespace {

const zarvo::core::driver_registration registration{&zarvo::usb::create_hid_driver};

} // namespace
