#include "devicelib/core/device_answer.h"

#include "devicelib/errors/errors.h"

namespace zarvo::core {

void raise_device_error(int answer, const boost::filesystem::path& path, const std::string& label,
                        const char* parameter, unsigned user)
{
    switch (answer) {
    case 0:
        throw invalid_function("Invalid error code.");
    case 1:
        return;
    case 2:
        throw try_again();
    case 100:
        throw unidentified_host_error();
    case 101:
        throw invalid_command(label);
    case 102:
        if (parameter)
            throw invalid_parameter(parameter);
        throw invalid_parameter();
    case 103:
        throw no_such_file_or_directory(path.string());
    case 104:
        throw directory_exists(path.string());
    case 105:
        throw file_exists(path.string());
    case 106:
        throw operation_not_permitted(label);
    case 107:
        throw no_such_user(user);
    case 108:
        throw operation_timed_out();
    case 200:
        throw unidentified_device_error();
    case 201:
        throw not_implemented();
    case 202:
        throw device_busy();
    case 203:
        throw invalid_content();
    case 204:
        throw checksum_failure();
    case 205:
        throw disk_full();
    case 206:
        throw prerequisite_not_met();
    case 207:
        throw insufficient_buffer();
    case 208:
        throw wait_for_idling();
    default:
        throw unidentified_device_error("Unknown error code.");
    }
}

} // namespace zarvo::core
