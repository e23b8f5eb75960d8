#pragma once

// The catch families of backup and restore (library-internal), in the form
// of worker_errors.h.

#include "connectlib/worker/worker_errors.h"

namespace ConnectLib {

// One device file exported to a local file: the cause with
// FILE_OPERATION_FAILED, the export's result.
const CatchFamily& exportFamily();

// A restored file, and a restored folder's creation: the cause of the
// failed step alone (none for a step whose class has no cause of its own).
const CatchFamily& restoreFileFamily();
const CatchFamily& restoreDirectoryFamily();

// Causes after which the restore's walk answers false; the others are only
// logged there (a failed step still fails the restore).
constexpr CPStateFlags restoreStopCauses =
    CPStateFlags(CANCELLED | DISK_FULL | TC_CONNECTION_LOST | GENERAL_ERROR | INVALID_PARAMETER);

// A folder whose creation failed without a cause (the device says it is not
// permitted, as for a folder that exists, or gives an error it cannot name)
// is entered all the same and is no failure.
inline bool restoreEntersAnyway(CPStateFlags cause)
{
    return cause == CPStateFlags();
}

} // namespace ConnectLib
