#include "devicelib/errors/system_errors.h"

#include "devicelib/errors/error_definitions.h"

namespace zarvo {

ZARVO_DEFINE_ERROR_CONCRETE(insufficient_permissions, std::runtime_error)
ZARVO_DEFINE_ERROR_PLAIN(insufficient_permissions, std::runtime_error, "Insufficient permissions.",
                         "Insufficient permissions.", ZARVO_NO_WARNING)
ZARVO_DEFINE_ERROR_DETAIL(insufficient_permissions, std::runtime_error,
                          "Insufficient permissions: ", ".")

ZARVO_DEFINE_ERROR_CONCRETE(system_busy, std::runtime_error)
ZARVO_DEFINE_ERROR_PLAIN(system_busy, sharing_error, "System busy.", "System busy.",
                         ZARVO_NO_WARNING)
ZARVO_DEFINE_ERROR_DETAIL(system_busy, sharing_error, "", "")

} // namespace zarvo
