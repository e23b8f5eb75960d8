#pragma once

#include <string>

namespace zarvo::dorvane {

// Raises the library error for a code of the network link: a device answer
// or a transport code. Returns for 1, which leaves the outcome to the
// caller. path (UTF-8) goes with 103 to 105; 101, 102, 106 and 107 carry no
// names. Every code without a row of its own (0, 2, socket errors, -1, -99,
// -100) ends in zarvo::bad_response "Unknown error code <code>.".
void zftp_error_to_exception(int code, const std::string& path);

} // namespace zarvo::dorvane
