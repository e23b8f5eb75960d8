#include "devicelib/errors/general_errors.h"

#include "devicelib/errors/error_definitions.h"

namespace zarvo {

ZARVO_DEFINE_ERROR_CONCRETE(bad_data, std::runtime_error)
ZARVO_DEFINE_ERROR_PLAIN(bad_data, std::runtime_error, "Bad data.", "Bad data.", ZARVO_NO_WARNING)
ZARVO_DEFINE_ERROR_DETAIL(bad_data, std::runtime_error, "Bad data: ", ".")

ZARVO_DEFINE_ERROR_CONCRETE(invalid_function, std::logic_error)
ZARVO_DEFINE_ERROR_PLAIN(invalid_function, std::logic_error, "Invalid function.",
                         "Invalid function.", ZARVO_NO_WARNING)
ZARVO_DEFINE_ERROR_DETAIL(invalid_function, std::logic_error, "Invalid function: ", ".")

namespace {
const char* const stream_failure_text = "Stream failure.";
}

ZARVO_DEFINE_ERROR_CONCRETE(stream_failure, std::ios_base::failure)

stream_failure::stream_failure()
    : std::ios_base::failure(stream_failure_text, std::io_errc::stream)
{
}

stream_failure::stream_failure(const std::exception&)
    : stream_failure()
{
}

// The standard class appends the code's description to its text; the
// library's texts are exact, so the class answers with its own.
const char* stream_failure::what() const noexcept
{
    return stream_failure_text;
}

} // namespace zarvo
