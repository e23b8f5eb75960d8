#pragma once

#include <QFlags>
#include <QMetaType>

namespace ConnectLib {

// Outcome bits of a device operation. A result carries OK on success, or one
// bit for the kind of operation that failed and one for the cause.
enum CPStateFlag {
    OK = 0x1,
    GENERAL_ERROR = 0x2,
    CANCELLED = 0x4,
    TC_NOT_FOUND = 0x8,
    FILE_OPERATION_FAILED = 0x10,
    FILE_OR_DIR_NOT_FOUND = 0x20,
    FILE_EXISTS = 0x40,
    DIRECTORY_EXISTS = 0x80,
    GET_SUBDIRECTORIES_FAILED = 0x100,
    GET_TIMESTAMP_FAILED = 0x200,
    GET_CURRENT_USER_DATA_FAILED = 0x400,
    TC_CONNECTION_LOST = 0x800,
    DISK_FULL = 0x1000,
    INVALID_CONTENT = 0x2000,
    NOT_IMPLEMENTED = 0x4000,
    INVALID_PARAMETER = 0x8000,
    OPERATION_TIMED_OUT = 0x10000,
    CANCEL_FAILED = 0x20000,
    TC_BUSY = 0x40000,
    SYSTEM_BUSY = 0x80000,
    TRY_OPERATION_AGAIN = 0x100000,
    WAIT_FOR_IDLING = 0x200000,
    GET_CHALLENGE_TOKEN_FAILED = 0x400000,
    FW_UPDATE_FAILED = 0x800000,
    FACTORYRESET_FAILED = 0x1000000,
    TC_EXPORT_FAILED = 0x2000000,
    GET_ENTRIES_FAILED = 0x4000000,
};

Q_DECLARE_FLAGS(CPStateFlags, CPStateFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(CPStateFlags)

} // namespace ConnectLib

Q_DECLARE_METATYPE(ConnectLib::CPStateFlags)
