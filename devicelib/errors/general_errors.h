#pragma once

// Errors that belong to no category: undecodable content, unhandled input
// and unusable caller streams.

#include "devicelib/errors/error_shapes.h"
#include "devicelib/errors/exception.h"

#include <ios>
#include <stdexcept>

namespace zarvo {

// Content read from the device does not decode.
class ZARVO_EXPORT bad_data : public std::runtime_error, public exception {
public:
    ZARVO_ERROR_SHAPES_ALL(bad_data)
    ZARVO_ERROR_CONCRETE(bad_data)
};

// An operation met an input it does not handle.
class ZARVO_EXPORT invalid_function : public std::logic_error, public exception {
public:
    ZARVO_ERROR_SHAPES_ALL(invalid_function)
    ZARVO_ERROR_CONCRETE(invalid_function)
};

// A stream given by the caller cannot be used for a transfer. code() is
// std::io_errc::stream; what() is exactly "Stream failure.", without the
// description the standard library would append for the code.
class ZARVO_EXPORT stream_failure : public std::ios_base::failure, public exception {
public:
    ZARVO_ERROR_SHAPES_PLAIN(stream_failure)
    ZARVO_ERROR_CONCRETE(stream_failure)
    const char* what() const noexcept override;
};

} // namespace zarvo
