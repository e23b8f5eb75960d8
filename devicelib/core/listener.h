#pragma once

#include "devicelib/export.h"

namespace zarvo {

class session;

// The client's view of device presence and device events. Derive from it,
// override the callbacks and start it. Callbacks run on notification threads
// of the library, never on the caller's thread: one long-lived presence thread
// per session (established, then disconnected) and a short-lived thread per
// further event. Callbacks of one listener may run concurrently. The session
// passed stays alive at least until the callback returns.
//
// Stop a listener before destroying it: the destructor does not detach it.
class ZARVO_EXPORT listener {
public:
    listener() = default;
    // A listener is identified by its address, so copies start detached.
    listener(const listener&) {}
    listener& operator=(const listener&) { return *this; }
    virtual ~listener();

    // The session can be used; also for each further connection of a device.
    virtual void established(session& s) = 0;
    // Reserved; the library never calls it.
    virtual void rerouted(session& s) = 0;
    // A connection of the session was lost, or the session ended, or the
    // listener is being stopped.
    virtual void disconnected(session& s) = 0;
    // The device reports that it is idle.
    virtual void idling(session& s);
    // The device reports its battery level (passed on unchecked).
    virtual void battery_status(session& s, int level);
    // The device asks for a synchronisation.
    virtual void sync_required(session& s);

    // Attaches the listener. The first attached listener starts the drivers;
    // a later one is told of every existing session at once. Starting an
    // attached listener changes nothing. Waits while the drivers are
    // suspended. Raises zarvo::invalid_function inside a callback.
    void start();
    // Detaches the listener and returns once its callbacks have ended (its
    // sessions get disconnected first). Stopping the last listener also stops
    // the drivers and waits until every session has ended. Returns at once for
    // a listener that is not attached. Waits while the drivers are suspended.
    // Raises zarvo::invalid_function inside a callback.
    void stop();
    // Whether the listener is attached, after every start and stop made so far.
    bool running();
};

} // namespace zarvo
