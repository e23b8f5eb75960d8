#include "connectlib/worker/firmware_catch_families.h"

#include "devicelib/errors/errors.h"

namespace ConnectLib {

const CatchFamily& firmwareFamily()
{
    static const CatchFamily family(
        {
            reported<zarvo::try_again>(FW_UPDATE_FAILED | TRY_OPERATION_AGAIN),
            reported<zarvo::wait_for_idling>(FW_UPDATE_FAILED | WAIT_FOR_IDLING),
            reported<zarvo::device_busy>(FW_UPDATE_FAILED | TC_BUSY),
            reported<zarvo::system_busy>(FW_UPDATE_FAILED | SYSTEM_BUSY),
            reported<zarvo::operation_canceled>(FW_UPDATE_FAILED | CANCELLED),
            reported<zarvo::no_such_file_or_directory>(FW_UPDATE_FAILED | FILE_OR_DIR_NOT_FOUND),
            reported<zarvo::invalid_content>(FW_UPDATE_FAILED | INVALID_CONTENT),
            reported<zarvo::disk_full>(FW_UPDATE_FAILED | DISK_FULL),
            // Also zarvo::session_expired, which derives from it.
            reported<zarvo::link_lost>(FW_UPDATE_FAILED | TC_CONNECTION_LOST),
            reported<zarvo::operation_timed_out>(FW_UPDATE_FAILED | OPERATION_TIMED_OUT),
            reported<zarvo::exception>(FW_UPDATE_FAILED | GENERAL_ERROR),
        },
        FW_UPDATE_FAILED | GENERAL_ERROR);
    return family;
}

const CatchFamily& firmwareUploadFamily()
{
    // A busy device, try-again and wait-for-idling have no row of their own:
    // they take the general one.
    static const CatchFamily family(
        {
            reported<zarvo::system_busy>(SYSTEM_BUSY),
            reported<zarvo::operation_canceled>(CANCELLED),
            reported<zarvo::no_such_file_or_directory>(FILE_OR_DIR_NOT_FOUND),
            reported<zarvo::invalid_content>(INVALID_CONTENT),
            reported<zarvo::disk_full>(DISK_FULL),
            reported<zarvo::link_lost>(TC_CONNECTION_LOST),
            reported<zarvo::operation_timed_out>(OPERATION_TIMED_OUT),
            reported<zarvo::exception>(GENERAL_ERROR),
        },
        GENERAL_ERROR);
    return family;
}

} // namespace ConnectLib
