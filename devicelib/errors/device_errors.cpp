#include "devicelib/errors/device_errors.h"

#include "devicelib/errors/error_definitions.h"

namespace zarvo {

// A detail given to these classes replaces the whole text.
#define ZARVO_DEFINE_REPLACEABLE_ERROR(cls, base, std_part, text)                                  \
    ZARVO_DEFINE_ERROR_CONCRETE(cls, std_part)                                                     \
    ZARVO_DEFINE_ERROR_PLAIN(cls, base, text, text, ZARVO_NO_WARNING)                              \
    ZARVO_DEFINE_ERROR_DETAIL(cls, base, "", "")

ZARVO_DEFINE_REPLACEABLE_ERROR(unidentified_device_error, std::runtime_error, std::runtime_error,
                               "Unidentified device error.")
ZARVO_DEFINE_REPLACEABLE_ERROR(not_implemented, std::runtime_error, std::runtime_error,
                               "Functionality not implemented.")
ZARVO_DEFINE_REPLACEABLE_ERROR(device_busy, sharing_error, std::runtime_error, "Device busy.")
ZARVO_DEFINE_REPLACEABLE_ERROR(checksum_failure, std::runtime_error, std::runtime_error,
                               "Checksum failure.")
ZARVO_DEFINE_REPLACEABLE_ERROR(prerequisite_not_met, std::runtime_error, std::runtime_error,
                               "Prerequisite not met.")
ZARVO_DEFINE_REPLACEABLE_ERROR(wait_for_idling, device_busy, std::runtime_error, "Wait for idling.")

#undef ZARVO_DEFINE_REPLACEABLE_ERROR

ZARVO_DEFINE_ERROR_CONCRETE(invalid_content, std::runtime_error)
ZARVO_DEFINE_ERROR_PLAIN(invalid_content, std::runtime_error, "Invalid content.",
                         "Invalid content.", ZARVO_NO_WARNING)

ZARVO_DEFINE_ERROR_CONCRETE(disk_full, std::runtime_error)
ZARVO_DEFINE_ERROR_PLAIN(disk_full, std::runtime_error, "Disk full.", "Disk full.",
                         ZARVO_NO_WARNING)

ZARVO_DEFINE_ERROR_CONCRETE(insufficient_buffer, std::logic_error)
ZARVO_DEFINE_ERROR_PLAIN(insufficient_buffer, std::logic_error, "Insufficient buffer.",
                         "Insufficient buffer", ZARVO_NO_WARNING)

// try_again: the postponement never changes the text; a cause is not kept,
// so the cause forms share the others' bodies.

ZARVO_DEFINE_ERROR_CONCRETE(try_again, std::runtime_error)

namespace {
const char* const try_again_text = "Try again";
}

try_again::try_again(unsigned int postpone)
    : device_busy(try_again_text)
    , postpone_(postpone)
{
}

try_again::try_again(unsigned int postpone, const std::exception&)
    : try_again(postpone)
{
}

try_again::try_again(unsigned int postpone, const char* detail)
    : device_busy(detail::compose("", detail, ""))
    , postpone_(postpone)
{
}

try_again::try_again(unsigned int postpone, const std::string& detail)
    : device_busy(detail)
    , postpone_(postpone)
{
}

try_again::try_again(unsigned int postpone, const char* detail, const std::exception&)
    : try_again(postpone, detail)
{
}

try_again::try_again(unsigned int postpone, const std::string& detail, const std::exception&)
    : try_again(postpone, detail)
{
}

try_again::try_again()
    : try_again(default_postpone)
{
}

try_again::try_again(const std::exception& cause)
    : try_again(default_postpone, cause)
{
}

try_again::try_again(const char* detail)
    : try_again(default_postpone, detail)
{
}

try_again::try_again(const std::string& detail)
    : try_again(default_postpone, detail)
{
}

try_again::try_again(const char* detail, const std::exception& cause)
    : try_again(default_postpone, detail, cause)
{
}

try_again::try_again(const std::string& detail, const std::exception& cause)
    : try_again(default_postpone, detail, cause)
{
}

} // namespace zarvo
