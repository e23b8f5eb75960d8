#pragma once

#include "devicelib/export.h"

#include <set>

namespace zarvo::core {

class driver;

// The process-wide set of driver factories. Drivers enter theirs at library
// load; the engine reads the set once, when it is created. The set is ordered
// by function pointer, which carries no meaning: nothing may rely on it.
namespace driver_registry {

// Returns a new driver that the caller owns.
using factory = driver* (*)();

// Entering a factory twice keeps it once.
ZARVO_EXPORT void add_factory(factory f);

// A copy of the set as it is now.
std::set<factory> factories();

} // namespace driver_registry

// A static object of this type enters a factory at load time:
//   static const zarvo::core::driver_registration reg{&create_my_driver};
struct driver_registration {
    explicit driver_registration(driver_registry::factory f) { driver_registry::add_factory(f); }
};

} // namespace zarvo::core
