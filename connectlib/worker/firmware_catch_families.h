#pragma once

// The catch families of the firmware and update operations
// (library-internal), in the form of worker_errors.h.

#include "connectlib/worker/worker_errors.h"

namespace ConnectLib {

// An update or install that failed: FW_UPDATE_FAILED with the cause; the
// flags replace the operation's result.
const CatchFamily& firmwareFamily();

// A firmware folder upload: the cause alone, ORed into the folder's result.
const CatchFamily& firmwareUploadFamily();

} // namespace ConnectLib
