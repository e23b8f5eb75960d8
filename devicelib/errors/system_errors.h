#pragma once

// Errors for host resources the system refused (the cross-process device lock).

#include "devicelib/errors/error_shapes.h"
#include "devicelib/errors/exception.h"

#include <stdexcept>

namespace zarvo {

class ZARVO_EXPORT insufficient_permissions : public std::runtime_error, public system_error {
public:
    // A detail (the system's reason) is added to the text.
    ZARVO_ERROR_SHAPES_ALL(insufficient_permissions)
    ZARVO_ERROR_CONCRETE(insufficient_permissions)
};

// Another thread or program holds the device. A detail replaces the text.
class ZARVO_EXPORT system_busy : public sharing_error, public system_error {
public:
    ZARVO_ERROR_SHAPES_ALL(system_busy)
    ZARVO_ERROR_CONCRETE(system_busy)
};

} // namespace zarvo
