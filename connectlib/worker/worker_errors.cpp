#include "connectlib/worker/worker_errors.h"

#include "connectlib/logging/log_prefix.h"
#include "connectlib/logging/logger.h"
#include "devicelib/errors/errors.h"

#include <typeinfo>
#include <utility>

namespace ConnectLib {

namespace {

void logError(const QString& text)
{
    Logger::instance()->logPrint(appendLogPrefix(QStringLiteral(" ERROR: ") + text));
}

template <typename Error>
bool isExactly(const zarvo::exception& error)
{
    return typeid(error) == typeid(Error);
}

struct KindLine {
    bool (*is)(const zarvo::exception& error);
    const char* text;
};

// Matched by exact class, so a class without a line of its own (such as
// zarvo::file_exists) is never reported under its base's line.
const KindLine kindLines[] = {
    {&isExactly<zarvo::bad_data>, "Bad data exception thrown."},
    {&isExactly<zarvo::bad_response>, "Bad response exception thrown."},
    {&isExactly<zarvo::checksum_failure>, "Checksum failure exception thrown."},
    {&isExactly<zarvo::session_expired>, "Session expired exception thrown."},
    {&isExactly<zarvo::link_lost>, "Link lost exception thrown."},
    {&isExactly<zarvo::disk_full>, "Disk full exception thrown."},
    {&isExactly<zarvo::no_such_user>, "No such user exception thrown."},
    {&isExactly<zarvo::no_such_file_or_directory>, "No such file or directory exception thrown."},
    {&isExactly<zarvo::inconsistent_behavior>, "Inconsistent behavior exception thrown."},
    {&isExactly<zarvo::insufficient_permissions>, "Insufficient permissions exception thrown."},
    {&isExactly<zarvo::invalid_command>, "Invalid command exception thrown."},
    {&isExactly<zarvo::invalid_content>, "Invalid content exception thrown."},
    {&isExactly<zarvo::invalid_function>, "Invalid function exception thrown."},
    {&isExactly<zarvo::invalid_parameter>, "Invalid parameter exception thrown."},
    {&isExactly<zarvo::not_implemented>, "Not implemented exception thrown."},
    {&isExactly<zarvo::operation_canceled>, "Operation canceled exception thrown."},
    {&isExactly<zarvo::operation_not_permitted>, "Operation not permitted exception thrown."},
    {&isExactly<zarvo::operation_timed_out>, "Operation timed out exception thrown."},
    {&isExactly<zarvo::prerequisite_not_met>, "Prerequisite not met exception thrown."},
    {&isExactly<zarvo::stream_failure>, "Stream failure exception thrown."},
    {&isExactly<zarvo::try_again>, "Try again exception thrown."},
    {&isExactly<zarvo::wait_for_idling>, "Wait for idling exception thrown."},
    {&isExactly<zarvo::device_busy>, "Device busy exception thrown."},
    {&isExactly<zarvo::system_busy>, "System busy exception thrown."},
    {&isExactly<zarvo::unexpected_response>, "Unexpected response exception thrown."},
    {&isExactly<zarvo::unidentified_device_error>, "Unidentified device error exception thrown."},
    {&isExactly<zarvo::unidentified_host_error>, "Unidentified host error exception thrown."},
    {&isExactly<zarvo::unsupported_response>, "Unsupported response exception thrown."},
};

constexpr CPStateFlags none;

} // namespace

void reportZarvoException(const zarvo::exception& error)
{
    const char* kind = "Unknown zarvo exception thrown.";
    for (const KindLine& line : kindLines) {
        if (line.is(error)) {
            kind = line.text;
            break;
        }
    }
    logError(QLatin1String(kind));
    if (const auto* standard = dynamic_cast<const std::exception*>(&error))
        logError(QString::fromUtf8(standard->what()));
    else
        logError(QStringLiteral("Message: ") + QString::fromUtf8(error.std_base().what()));
}

CatchFamily::CatchFamily(std::initializer_list<CatchRow> rows, CPStateFlags stdFlags,
                         bool setsFlags)
    : m_rows(rows)
    , m_stdFlags(stdFlags)
    , m_setsFlags(setsFlags)
{
}

CatchFamily::CatchFamily(std::vector<CatchRow> rows, CPStateFlags stdFlags, bool setsFlags)
    : m_rows(std::move(rows))
    , m_stdFlags(stdFlags)
    , m_setsFlags(setsFlags)
{
}

CPStateFlags CatchFamily::handle(const zarvo::exception& error, CPStateFlags current) const
{
    for (const CatchRow& row : m_rows) {
        if (!row.matches(error))
            continue;
        if (row.note)
            Logger::instance()->logPrint(appendLogPrefix(QLatin1String(row.note)));
        else
            reportZarvoException(error);
        if (!m_setsFlags || (row.keepsOk && current.testFlag(OK)))
            return current;
        return row.flags;
    }
    // Unreachable with a family that ends with zarvo::exception.
    reportZarvoException(error);
    return m_setsFlags ? m_stdFlags : current;
}

CPStateFlags CatchFamily::handle(const std::exception& error, CPStateFlags current) const
{
    logError(QStringLiteral("Std exception thrown. Message: ") + QString::fromUtf8(error.what()));
    return m_setsFlags ? m_stdFlags : current;
}

const CatchFamily& CatchFamily::clockAndBattery()
{
    static const CatchFamily family(
        {
            reported<zarvo::try_again>(TRY_OPERATION_AGAIN),
            reported<zarvo::wait_for_idling>(WAIT_FOR_IDLING),
            reported<zarvo::device_busy>(TC_BUSY),
            reported<zarvo::system_busy>(SYSTEM_BUSY),
            reported<zarvo::invalid_parameter>(INVALID_PARAMETER | INVALID_CONTENT),
            reported<zarvo::not_implemented>(NOT_IMPLEMENTED | GENERAL_ERROR),
            reported<zarvo::operation_canceled>(CANCELLED | GENERAL_ERROR),
            reported<zarvo::session_expired>(TC_CONNECTION_LOST),
            reported<zarvo::link_lost>(TC_CONNECTION_LOST),
            reported<zarvo::exception>(GENERAL_ERROR),
        },
        GENERAL_ERROR);
    return family;
}

const CatchFamily& CatchFamily::timestamp()
{
    static const CatchFamily family(
        {
            reported<zarvo::try_again>(TRY_OPERATION_AGAIN | FILE_OPERATION_FAILED),
            reported<zarvo::wait_for_idling>(WAIT_FOR_IDLING | FILE_OPERATION_FAILED),
            reported<zarvo::device_busy>(TC_BUSY | FILE_OPERATION_FAILED),
            reported<zarvo::system_busy>(SYSTEM_BUSY | FILE_OPERATION_FAILED),
            reported<zarvo::operation_canceled>(GET_TIMESTAMP_FAILED | CANCELLED),
            reported<zarvo::link_lost>(GET_TIMESTAMP_FAILED | TC_CONNECTION_LOST),
            reported<zarvo::exception>(GET_TIMESTAMP_FAILED | GENERAL_ERROR),
        },
        GET_TIMESTAMP_FAILED | GENERAL_ERROR);
    return family;
}

const CatchFamily& CatchFamily::user()
{
    static const CatchFamily family(
        {
            // A user without master id: the path and number already read
            // still count.
            CatchRow{&isKindOf<zarvo::prerequisite_not_met>,
                     GET_CURRENT_USER_DATA_FAILED | CANCELLED, "No master ID set. continue...",
                     true},
            reported<zarvo::try_again>(TRY_OPERATION_AGAIN | GET_CURRENT_USER_DATA_FAILED),
            reported<zarvo::wait_for_idling>(WAIT_FOR_IDLING | GET_CURRENT_USER_DATA_FAILED),
            reported<zarvo::device_busy>(TC_BUSY | GET_CURRENT_USER_DATA_FAILED),
            reported<zarvo::system_busy>(SYSTEM_BUSY | GET_CURRENT_USER_DATA_FAILED),
            reported<zarvo::operation_canceled>(GET_CURRENT_USER_DATA_FAILED | CANCELLED),
            reported<zarvo::exception>(GET_CURRENT_USER_DATA_FAILED | GENERAL_ERROR),
        },
        GET_CURRENT_USER_DATA_FAILED | GENERAL_ERROR);
    return family;
}

const CatchFamily& CatchFamily::token()
{
    static const CatchFamily family(
        {
            reported<zarvo::try_again>(TRY_OPERATION_AGAIN | FILE_OPERATION_FAILED),
            reported<zarvo::wait_for_idling>(WAIT_FOR_IDLING | FILE_OPERATION_FAILED),
            reported<zarvo::device_busy>(TC_BUSY | FILE_OPERATION_FAILED),
            reported<zarvo::system_busy>(SYSTEM_BUSY | FILE_OPERATION_FAILED),
            reported<zarvo::operation_canceled>(GET_CHALLENGE_TOKEN_FAILED | CANCELLED),
            reported<zarvo::exception>(GET_CHALLENGE_TOKEN_FAILED | GENERAL_ERROR),
        },
        GET_CHALLENGE_TOKEN_FAILED | GENERAL_ERROR);
    return family;
}

const CatchFamily& CatchFamily::debugBridge()
{
    // No row for a busy device: it falls to zarvo::exception.
    static const CatchFamily family(
        {
            reported<zarvo::system_busy>(FW_UPDATE_FAILED | TC_BUSY),
            reported<zarvo::operation_canceled>(FW_UPDATE_FAILED | CANCELLED),
            reported<zarvo::no_such_file_or_directory>(FW_UPDATE_FAILED | FILE_OR_DIR_NOT_FOUND),
            reported<zarvo::invalid_content>(FW_UPDATE_FAILED | INVALID_CONTENT),
            reported<zarvo::disk_full>(FW_UPDATE_FAILED | DISK_FULL),
            reported<zarvo::link_lost>(FW_UPDATE_FAILED | TC_CONNECTION_LOST),
            reported<zarvo::operation_timed_out>(FW_UPDATE_FAILED | OPERATION_TIMED_OUT),
            reported<zarvo::exception>(FW_UPDATE_FAILED | GENERAL_ERROR),
        },
        FW_UPDATE_FAILED | GENERAL_ERROR);
    return family;
}

const CatchFamily& CatchFamily::syncNotification()
{
    static const CatchFamily family(
        {
            reported<zarvo::try_again>(),
            reported<zarvo::wait_for_idling>(),
            reported<zarvo::device_busy>(),
            reported<zarvo::system_busy>(),
            reported<zarvo::session_expired>(),
            reported<zarvo::link_lost>(),
            reported<zarvo::exception>(),
        },
        none, false);
    return family;
}

const CatchFamily& CatchFamily::reset()
{
    static const CatchFamily family(
        {
            reported<zarvo::system_busy>(),
            reported<zarvo::operation_canceled>(),
            reported<zarvo::link_lost>(),
            reported<zarvo::exception>(),
        },
        none, false);
    return family;
}

const CatchFamily& CatchFamily::diskSpace()
{
    static const CatchFamily family(
        {
            reported<zarvo::not_implemented>(),
            reported<zarvo::try_again>(),
            reported<zarvo::wait_for_idling>(),
            reported<zarvo::device_busy>(),
            reported<zarvo::system_busy>(),
            reported<zarvo::operation_canceled>(),
            reported<zarvo::session_expired>(),
            reported<zarvo::link_lost>(),
            reported<zarvo::operation_timed_out>(),
            reported<zarvo::exception>(),
        },
        none, false);
    return family;
}

} // namespace ConnectLib
