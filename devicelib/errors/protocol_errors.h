#pragma once

// Errors for device answers that cannot be used. The detail describes what
// was wrong.

#include "devicelib/errors/error_shapes.h"
#include "devicelib/errors/exception.h"

#include <stdexcept>

namespace zarvo {

class ZARVO_EXPORT bad_response : public std::runtime_error, public protocol_error {
public:
    ZARVO_ERROR_SHAPES_ALL(bad_response)
    ZARVO_ERROR_CONCRETE(bad_response)
};

class ZARVO_EXPORT unexpected_response : public std::runtime_error, public protocol_error {
public:
    ZARVO_ERROR_SHAPES_ALL(unexpected_response)
    ZARVO_ERROR_CONCRETE(unexpected_response)
};

class ZARVO_EXPORT unsupported_response : public std::runtime_error, public protocol_error {
public:
    ZARVO_ERROR_SHAPES_ALL(unsupported_response)
    ZARVO_ERROR_CONCRETE(unsupported_response)
};

class ZARVO_EXPORT inconsistent_behavior : public std::runtime_error, public protocol_error {
public:
    ZARVO_ERROR_SHAPES_ALL(inconsistent_behavior)
    ZARVO_ERROR_CONCRETE(inconsistent_behavior)
};

} // namespace zarvo
