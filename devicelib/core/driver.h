#pragma once

#include "devicelib/export.h"

namespace zarvo::core {

// A driver finds devices of one kind and publishes a connection for each.
// The engine calls start, stop, suspend and resume on its own thread, one at a
// time; a driver's own threads talk to the core only through the post_*
// functions.
class ZARVO_EXPORT driver {
public:
    virtual ~driver();

    virtual void start() = 0;
    // Before the system sleeps; by default the driver is stopped.
    virtual void suspend();
    // After the system woke up; by default the driver is started again.
    virtual void resume();
    virtual void stop() = 0;
};

} // namespace zarvo::core
