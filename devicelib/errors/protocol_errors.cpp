#include "devicelib/errors/protocol_errors.h"

#include "devicelib/errors/error_definitions.h"

namespace zarvo {

// "<Name>." without a detail, "<Name>: <detail>." with one.
#define ZARVO_DEFINE_PROTOCOL_ERROR(cls, name)                                                     \
    ZARVO_DEFINE_ERROR_CONCRETE(cls, std::runtime_error)                                           \
    ZARVO_DEFINE_ERROR_PLAIN(cls, std::runtime_error, name ".", name ".", ZARVO_NO_WARNING)        \
    ZARVO_DEFINE_ERROR_DETAIL(cls, std::runtime_error, name ": ", ".")

ZARVO_DEFINE_PROTOCOL_ERROR(bad_response, "Bad response")
ZARVO_DEFINE_PROTOCOL_ERROR(unexpected_response, "Unexpected response")
ZARVO_DEFINE_PROTOCOL_ERROR(unsupported_response, "Unsupported response")
ZARVO_DEFINE_PROTOCOL_ERROR(inconsistent_behavior, "Inconsistent behavior")

#undef ZARVO_DEFINE_PROTOCOL_ERROR

} // namespace zarvo
