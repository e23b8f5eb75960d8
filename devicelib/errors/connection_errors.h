#pragma once

// Errors for a failed link or an operation that did not complete on it.

#include "devicelib/errors/error_shapes.h"
#include "devicelib/errors/exception.h"

#include <stdexcept>

namespace zarvo {

// The device's answer 108.
class ZARVO_EXPORT operation_timed_out : public std::runtime_error, public connection_error {
public:
    ZARVO_ERROR_SHAPES_PLAIN(operation_timed_out)
    ZARVO_ERROR_CONCRETE(operation_timed_out)
};

// A detail replaces the text. There are no std::string forms: pass c_str().
class ZARVO_EXPORT link_lost : public std::runtime_error, public connection_error {
public:
    ZARVO_ERROR_SHAPES_PLAIN(link_lost)
    ZARVO_ERROR_SHAPES_CSTR(link_lost)
    ZARVO_ERROR_CONCRETE(link_lost)
};

class ZARVO_EXPORT session_expired : public link_lost {
public:
    ZARVO_ERROR_SHAPES_PLAIN(session_expired)
    ZARVO_ERROR_CONCRETE(session_expired)
};

class ZARVO_EXPORT operation_canceled : public interrupted, public connection_error {
public:
    ZARVO_ERROR_SHAPES_PLAIN(operation_canceled)
    ZARVO_ERROR_CONCRETE(operation_canceled)
};

class ZARVO_EXPORT filesystem_corrupted : public std::runtime_error, public connection_error {
public:
    ZARVO_ERROR_SHAPES_ALL(filesystem_corrupted)
    ZARVO_ERROR_CONCRETE(filesystem_corrupted)
};

} // namespace zarvo
