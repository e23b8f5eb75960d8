#include "connectlib/common/common.h"
#include "connectlib/logging/log_prefix.h"
#include "connectlib/logging/logger.h"

#include <QStringList>

namespace ConnectLib {

namespace {
struct FlagName {
    CPStateFlag flag;
    const char* name;
    bool named; // appears in stringFromStateFlags
};

// The order the pages and the log see; not the order of the bits.
constexpr FlagName flagNames[] = {
    {OK, "OK", true},
    {GENERAL_ERROR, "GENERAL_ERROR", true},
    {CANCELLED, "CANCELLED", true},
    {TC_NOT_FOUND, "TC_NOT_FOUND", true},
    {FILE_OR_DIR_NOT_FOUND, "FILE_OR_DIR_NOT_FOUND", true},
    {FILE_EXISTS, "FILE_EXISTS", true},
    {FILE_OPERATION_FAILED, "FILE_OPERATION_FAILED", true},
    {DIRECTORY_EXISTS, "DIRECTORY_EXISTS", true},
    {GET_SUBDIRECTORIES_FAILED, "GET_SUBDIRECTORIES_FAILED", true},
    {GET_TIMESTAMP_FAILED, "GET_TIMESTAMP_FAILED", true},
    {GET_CURRENT_USER_DATA_FAILED, "GET_CURRENT_USER_DATA_FAILED", true},
    {CANCEL_FAILED, "CANCEL_FAILED", true},
    {TC_CONNECTION_LOST, "TC_CONNECTION_LOST", true},
    {DISK_FULL, "DISK_FULL", true},
    {INVALID_CONTENT, "INVALID_CONTENT", true},
    {NOT_IMPLEMENTED, "NOT_IMPLEMENTED", true},
    {INVALID_PARAMETER, "INVALID_PARAMETER", true},
    {OPERATION_TIMED_OUT, "OPERATION_TIMED_OUT", true},
    {TRY_OPERATION_AGAIN, "TRY_OPERATION_AGAIN", true},
    {WAIT_FOR_IDLING, "WAIT_FOR_IDLING", true},
    {TC_BUSY, "TC_BUSY", true},
    {SYSTEM_BUSY, "SYSTEM_BUSY", true},
    {GET_CHALLENGE_TOKEN_FAILED, "GET_CHALLENGE_TOKEN_FAILED", true},
    {FW_UPDATE_FAILED, "FW_UPDATE_FAILED", true},
    {FACTORYRESET_FAILED, "FACTORYRESET_FAILED", true},
    {TC_EXPORT_FAILED, "TC_EXPORT_FAILED", false},
    {GET_ENTRIES_FAILED, "GET_ENTRIES_FAILED", false},
};
} // namespace

QString Common::stringFromStateFlags(CPStateFlags flags)
{
    QStringList names;
    for (const FlagName& entry : flagNames) {
        if (entry.named && flags.testFlag(entry.flag))
            names.append(QLatin1String(entry.name));
    }
    return names.join(QStringLiteral(", "));
}

void Common::logStateFlags(CPStateFlags flags)
{
    for (const FlagName& entry : flagNames) {
        if (entry.flag != OK && flags.testFlag(entry.flag))
            Logger::instance()->logPrint(
                appendLogPrefix(QStringLiteral("CPStateFlag: ") + QLatin1String(entry.name)));
    }
}

} // namespace ConnectLib
