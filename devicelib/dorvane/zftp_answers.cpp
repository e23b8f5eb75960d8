#include "devicelib/dorvane/zftp_answers.h"

#include "devicelib/core/device_answer.h"
#include "devicelib/errors/errors.h"

namespace zarvo::dorvane {

void zftp_error_to_exception(int code, const std::string& path)
{
    switch (code) {
    case 1:
        return;
    case 101:
        throw invalid_command();
    case 106:
        throw operation_not_permitted();
    case 107:
        throw no_such_user();
    case 220:
        throw operation_timed_out();
    case 440:
        throw operation_canceled();
    default:
        break;
    }
    if ((code >= 100 && code <= 108) || (code >= 200 && code <= 208))
        core::raise_device_error(code, path, std::string(), nullptr, 0);
    throw bad_response("Unknown error code " + std::to_string(code) + ".");
}

} // namespace zarvo::dorvane
