#include "devicelib/core/driver_registry.h"

#include <boost/thread/locks.hpp>
#include <boost/thread/mutex.hpp>

namespace zarvo::core::driver_registry {
namespace {

struct registry {
    boost::mutex mutex;
    std::set<factory> factories;
};

// Filled by static initialisers of any translation unit, so it is created on
// first use; never destroyed, so late registrations at exit stay harmless.
registry& instance()
{
    static registry* const r = new registry;
    return *r;
}

} // namespace

void add_factory(factory f)
{
    if (!f)
        return;
    registry& r = instance();
    boost::lock_guard<boost::mutex> lock(r.mutex);
    r.factories.insert(f);
}

std::set<factory> factories()
{
    registry& r = instance();
    boost::lock_guard<boost::mutex> lock(r.mutex);
    return r.factories;
}

} // namespace zarvo::core::driver_registry
