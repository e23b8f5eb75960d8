#pragma once

#include "connectlib/export.h"

namespace ConnectLib {

// Registers the library's signal argument types (the device record, the
// result flags, the entry tree) under their fully qualified names, so queued
// connections and signal spies can carry them without a provider. Safe to
// call any number of times.
KTLIB_EXPORT void registerMetaTypes();

} // namespace ConnectLib
