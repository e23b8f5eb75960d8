#pragma once

// The catch families of the file operations, the removals and the listings
// (library-internal), in the form of worker_errors.h.

#include "connectlib/worker/worker_errors.h"

namespace ConnectLib {

enum class FileOperation {
    Read,
    // Write, merge, and a local file written to the device.
    Transfer,
    CreateDirectory,
};

// Every row with FILE_OPERATION_FAILED. Row 7 is invalid content for the
// transfers and an invalid parameter for directory creation; a read has
// neither that row nor disk full, so those errors take the general row.
const CatchFamily& fileOperationFamily(FileOperation operation);

// The cause alone; the removal slots add FILE_OPERATION_FAILED themselves.
const CatchFamily& removalFamily();

// A failed directory read: the same rows as a removal; the listing slots add
// GET_ENTRIES_FAILED.
const CatchFamily& listingFamily();

} // namespace ConnectLib
