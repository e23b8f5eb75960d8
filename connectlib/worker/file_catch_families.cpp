#include "connectlib/worker/file_catch_families.h"

#include "devicelib/errors/errors.h"

namespace ConnectLib {

namespace {

constexpr CPStateFlags fileFailure = GENERAL_ERROR | FILE_OPERATION_FAILED;

CatchFamily makeFileFamily(FileOperation operation)
{
    const CatchRow head[] = {
        reported<zarvo::try_again>(TRY_OPERATION_AGAIN | FILE_OPERATION_FAILED),
        reported<zarvo::wait_for_idling>(WAIT_FOR_IDLING | FILE_OPERATION_FAILED),
        reported<zarvo::device_busy>(TC_BUSY | FILE_OPERATION_FAILED),
        reported<zarvo::system_busy>(SYSTEM_BUSY | FILE_OPERATION_FAILED),
        reported<zarvo::operation_canceled>(CANCELLED | FILE_OPERATION_FAILED),
        reported<zarvo::no_such_file_or_directory>(FILE_OR_DIR_NOT_FOUND | FILE_OPERATION_FAILED),
    };
    const CatchRow tail[] = {
        reported<zarvo::link_lost>(TC_CONNECTION_LOST | FILE_OPERATION_FAILED),
        reported<zarvo::operation_timed_out>(OPERATION_TIMED_OUT | FILE_OPERATION_FAILED),
        reported<zarvo::exception>(fileFailure),
    };
    std::vector<CatchRow> rows(std::begin(head), std::end(head));
    if (operation == FileOperation::Transfer)
        rows.push_back(reported<zarvo::invalid_content>(INVALID_CONTENT | FILE_OPERATION_FAILED));
    if (operation == FileOperation::CreateDirectory)
        rows.push_back(
            reported<zarvo::invalid_parameter>(INVALID_PARAMETER | FILE_OPERATION_FAILED));
    if (operation != FileOperation::Read)
        rows.push_back(reported<zarvo::disk_full>(DISK_FULL | FILE_OPERATION_FAILED));
    rows.insert(rows.end(), std::begin(tail), std::end(tail));
    return CatchFamily(rows, fileFailure);
}

} // namespace

const CatchFamily& fileOperationFamily(FileOperation operation)
{
    static const CatchFamily read = makeFileFamily(FileOperation::Read);
    static const CatchFamily transfer = makeFileFamily(FileOperation::Transfer);
    static const CatchFamily create = makeFileFamily(FileOperation::CreateDirectory);
    switch (operation) {
    case FileOperation::Read:
        return read;
    case FileOperation::Transfer:
        return transfer;
    case FileOperation::CreateDirectory:
        break;
    }
    return create;
}

const CatchFamily& removalFamily()
{
    static const CatchFamily family(
        {
            reported<zarvo::try_again>(TRY_OPERATION_AGAIN),
            reported<zarvo::wait_for_idling>(WAIT_FOR_IDLING),
            reported<zarvo::device_busy>(TC_BUSY),
            reported<zarvo::system_busy>(SYSTEM_BUSY),
            reported<zarvo::operation_canceled>(CANCELLED),
            reported<zarvo::no_such_file_or_directory>(FILE_OR_DIR_NOT_FOUND),
            reported<zarvo::link_lost>(TC_CONNECTION_LOST),
            reported<zarvo::operation_timed_out>(OPERATION_TIMED_OUT),
            reported<zarvo::exception>(GENERAL_ERROR),
        },
        GENERAL_ERROR);
    return family;
}

const CatchFamily& listingFamily()
{
    return removalFamily();
}

} // namespace ConnectLib
