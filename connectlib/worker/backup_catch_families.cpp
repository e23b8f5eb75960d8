#include "connectlib/worker/backup_catch_families.h"

#include "connectlib/worker/file_catch_families.h"
#include "devicelib/errors/errors.h"

namespace ConnectLib {

const CatchFamily& exportFamily()
{
    // Exactly the rows of a device read.
    return fileOperationFamily(FileOperation::Read);
}

namespace {

// Rows 1 to 6 and 8 to 14 of both restore families; row 7 is the step's own.
CatchFamily makeRestoreFamily(CatchRow ownRow)
{
    const CatchRow head[] = {
        reported<zarvo::try_again>(TRY_OPERATION_AGAIN),
        reported<zarvo::wait_for_idling>(WAIT_FOR_IDLING),
        reported<zarvo::device_busy>(TC_BUSY),
        reported<zarvo::system_busy>(SYSTEM_BUSY),
        reported<zarvo::operation_canceled>(CANCELLED),
        reported<zarvo::no_such_file_or_directory>(FILE_OR_DIR_NOT_FOUND),
    };
    const CatchRow tail[] = {
        reported<zarvo::disk_full>(DISK_FULL),
        // Also zarvo::session_expired, which derives from it.
        reported<zarvo::link_lost>(TC_CONNECTION_LOST),
        reported<zarvo::operation_timed_out>(OPERATION_TIMED_OUT),
        reported<zarvo::operation_not_permitted>(),
        reported<zarvo::unidentified_device_error>(),
        reported<zarvo::exception>(GENERAL_ERROR),
    };
    std::vector<CatchRow> rows(std::begin(head), std::end(head));
    rows.push_back(ownRow);
    rows.insert(rows.end(), std::begin(tail), std::end(tail));
    return CatchFamily(rows, GENERAL_ERROR);
}

} // namespace

const CatchFamily& restoreFileFamily()
{
    static const CatchFamily family =
        makeRestoreFamily(reported<zarvo::invalid_content>(INVALID_CONTENT));
    return family;
}

const CatchFamily& restoreDirectoryFamily()
{
    static const CatchFamily family =
        makeRestoreFamily(reported<zarvo::invalid_parameter>(INVALID_PARAMETER));
    return family;
}

} // namespace ConnectLib
