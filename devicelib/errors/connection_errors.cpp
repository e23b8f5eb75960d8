#include "devicelib/errors/connection_errors.h"

#include "devicelib/errors/error_definitions.h"

namespace zarvo {

ZARVO_DEFINE_ERROR_CONCRETE(operation_timed_out, std::runtime_error)
ZARVO_DEFINE_ERROR_PLAIN(operation_timed_out, std::runtime_error, "Operation timed out.",
                         "Operation timed out.", ZARVO_NO_WARNING)

ZARVO_DEFINE_ERROR_CONCRETE(link_lost, std::runtime_error)
ZARVO_DEFINE_ERROR_PLAIN(link_lost, std::runtime_error, "Link lost.", "Link lost.",
                         ZARVO_NO_WARNING)
ZARVO_DEFINE_ERROR_CSTR(link_lost, std::runtime_error, "", "")

// Built as a link_lost with its own text, so link_lost handlers catch it.
ZARVO_DEFINE_ERROR_CONCRETE(session_expired, std::runtime_error)
ZARVO_DEFINE_ERROR_PLAIN(session_expired, link_lost, "Session expired.", "Session expired.",
                         ZARVO_NO_WARNING)

ZARVO_DEFINE_ERROR_CONCRETE(operation_canceled, std::runtime_error)
ZARVO_DEFINE_ERROR_PLAIN(operation_canceled, interrupted, "Operation canceled.",
                         "Operation canceled.", ZARVO_NO_WARNING)

ZARVO_DEFINE_ERROR_CONCRETE(filesystem_corrupted, std::runtime_error)
ZARVO_DEFINE_ERROR_PLAIN(filesystem_corrupted, std::runtime_error, "Filesystem corrupted.",
                         "Filesystem corrupted.", ZARVO_NO_WARNING)
ZARVO_DEFINE_ERROR_DETAIL(filesystem_corrupted, std::runtime_error, "", "")

} // namespace zarvo
