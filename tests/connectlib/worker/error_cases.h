#pragma once

// Device-library errors of every class the worker tells apart, and a few it
// does not, each with the kind line a report gives it.

#include "devicelib/errors/errors.h"

#include <QString>
#include <QStringList>

#include <stdexcept>

namespace ConnectLib::Test {

struct ErrorCase {
    const char* name;
    void (*raise)();
    // Empty for an error that is not the device library's.
    const char* kind;

    // The error's own text.
    QString message() const;
    // The lines a family writes for it.
    QStringList reportLines() const;
};

template <typename Error>
void raise()
{
    throw Error();
}

inline const ErrorCase errorCases[] = {
    {"bad_data", &raise<zarvo::bad_data>, "Bad data exception thrown."},
    {"bad_response", &raise<zarvo::bad_response>, "Bad response exception thrown."},
    {"checksum_failure", &raise<zarvo::checksum_failure>, "Checksum failure exception thrown."},
    {"session_expired", &raise<zarvo::session_expired>, "Session expired exception thrown."},
    {"link_lost", &raise<zarvo::link_lost>, "Link lost exception thrown."},
    {"disk_full", &raise<zarvo::disk_full>, "Disk full exception thrown."},
    {"no_such_user", &raise<zarvo::no_such_user>, "No such user exception thrown."},
    {"no_such_file_or_directory", &raise<zarvo::no_such_file_or_directory>,
     "No such file or directory exception thrown."},
    {"inconsistent_behavior", &raise<zarvo::inconsistent_behavior>,
     "Inconsistent behavior exception thrown."},
    {"insufficient_permissions", &raise<zarvo::insufficient_permissions>,
     "Insufficient permissions exception thrown."},
    {"invalid_command", &raise<zarvo::invalid_command>, "Invalid command exception thrown."},
    {"invalid_content", &raise<zarvo::invalid_content>, "Invalid content exception thrown."},
    {"invalid_function", &raise<zarvo::invalid_function>, "Invalid function exception thrown."},
    {"invalid_parameter", &raise<zarvo::invalid_parameter>, "Invalid parameter exception thrown."},
    {"not_implemented", &raise<zarvo::not_implemented>, "Not implemented exception thrown."},
    {"operation_canceled", &raise<zarvo::operation_canceled>,
     "Operation canceled exception thrown."},
    {"operation_not_permitted", &raise<zarvo::operation_not_permitted>,
     "Operation not permitted exception thrown."},
    {"operation_timed_out", &raise<zarvo::operation_timed_out>,
     "Operation timed out exception thrown."},
    {"prerequisite_not_met", &raise<zarvo::prerequisite_not_met>,
     "Prerequisite not met exception thrown."},
    {"stream_failure", &raise<zarvo::stream_failure>, "Stream failure exception thrown."},
    {"try_again", &raise<zarvo::try_again>, "Try again exception thrown."},
    {"wait_for_idling", &raise<zarvo::wait_for_idling>, "Wait for idling exception thrown."},
    {"device_busy", &raise<zarvo::device_busy>, "Device busy exception thrown."},
    {"system_busy", &raise<zarvo::system_busy>, "System busy exception thrown."},
    {"unexpected_response", &raise<zarvo::unexpected_response>,
     "Unexpected response exception thrown."},
    {"unidentified_device_error", &raise<zarvo::unidentified_device_error>,
     "Unidentified device error exception thrown."},
    {"unidentified_host_error", &raise<zarvo::unidentified_host_error>,
     "Unidentified host error exception thrown."},
    {"unsupported_response", &raise<zarvo::unsupported_response>,
     "Unsupported response exception thrown."},
    // Without a line of their own, even where a base class has one.
    {"file_exists", &raise<zarvo::file_exists>, "Unknown zarvo exception thrown."},
    {"directory_exists", &raise<zarvo::directory_exists>, "Unknown zarvo exception thrown."},
    {"filesystem_corrupted", &raise<zarvo::filesystem_corrupted>,
     "Unknown zarvo exception thrown."},
    {"insufficient_buffer", &raise<zarvo::insufficient_buffer>, "Unknown zarvo exception thrown."},
    // Not the device library's.
    {"std::runtime_error", [] { throw std::runtime_error("plain failure"); }, ""},
};

const ErrorCase& errorCase(const char* name);

} // namespace ConnectLib::Test
