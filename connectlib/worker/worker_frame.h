#pragma once

// The frame every device operation of a worker runs in (library-internal).

#include "connectlib/types/cp_state_flags.h"
#include "connectlib/worker/session_guard.h"
#include "connectlib/worker/worker_errors.h"
#include "devicelib/core/session.h"
#include "devicelib/core/session_lock.h"
#include "devicelib/errors/exception.h"

#include <exception>

namespace ConnectLib {

// Holds the guard (waiting for another use of the device) and the device
// lock (one attempt) around call, which uses the session and returns the
// flags of its success. An error, also an emptied guard
// (zarvo::session_expired) or a device locked elsewhere (zarvo::system_busy),
// is logged and mapped by family; the outputs keep what they held when it
// came. Both locks are released before the flags are returned.
template <typename Call>
void runDeviceCall(SessionGuard& guard, const CatchFamily& family, CPStateFlags& flags, Call&& call)
{
    try {
        SessionPointer session = guard.getSessionPointer();
        zarvo::session_lock lock(*session, 0);
        flags = call(*session);
    } catch (const zarvo::exception& error) {
        flags = family.handle(error, flags);
    } catch (const std::exception& error) {
        flags = family.handle(error, flags);
    }
}

} // namespace ConnectLib
