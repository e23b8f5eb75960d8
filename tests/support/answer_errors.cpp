#include "tests/support/answer_errors.h"

#include "devicelib/errors/errors.h"

namespace zarvo::test {
namespace {

// The rows both kinds share.
void raise_common(int code, const std::string& path)
{
    switch (code) {
    case 100:
        throw zarvo::unidentified_host_error();
    case 103:
        throw zarvo::no_such_file_or_directory(path);
    case 104:
        throw zarvo::directory_exists(path);
    case 105:
        throw zarvo::file_exists(path);
    case 108:
        throw zarvo::operation_timed_out();
    case 200:
        throw zarvo::unidentified_device_error();
    case 201:
        throw zarvo::not_implemented();
    case 202:
        throw zarvo::device_busy();
    case 203:
        throw zarvo::invalid_content();
    case 204:
        throw zarvo::checksum_failure();
    case 205:
        throw zarvo::disk_full();
    case 206:
        throw zarvo::prerequisite_not_met();
    case 207:
        throw zarvo::insufficient_buffer();
    case 208:
        throw zarvo::wait_for_idling();
    default:
        break;
    }
}

} // namespace

void raise_usb_answer(int code, const std::string& path, const std::string& operation)
{
    raise_common(code, path);
    switch (code) {
    case 0:
        throw zarvo::unidentified_device_error("Expected non-zero error code.");
    case 1:
        return;
    case 2:
        throw zarvo::try_again();
    case 101:
        throw zarvo::invalid_command(operation);
    case 102:
        throw zarvo::invalid_parameter();
    case 106:
        throw zarvo::operation_not_permitted(operation);
    case 107:
        throw zarvo::no_such_user(0u);
    default:
        throw zarvo::unidentified_device_error("Unknown error code.");
    }
}

void raise_net_answer(int code, const std::string& path)
{
    raise_common(code, path);
    switch (code) {
    case 1:
        return;
    case 101:
        throw zarvo::invalid_command();
    case 102:
        throw zarvo::invalid_parameter();
    case 106:
        throw zarvo::operation_not_permitted();
    case 107:
        throw zarvo::no_such_user();
    case 220:
        throw zarvo::operation_timed_out();
    case 440:
        throw zarvo::operation_canceled();
    default:
        throw zarvo::bad_response("Unknown error code " + std::to_string(code) + ".");
    }
}

} // namespace zarvo::test
