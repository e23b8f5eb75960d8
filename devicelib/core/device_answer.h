#pragma once

#include <boost/filesystem/path.hpp>

#include <string>

namespace zarvo::core {

// Turns a device's answer to a command into the library error of its code;
// returns for answer 1, which the device gives for "done, nothing to add".
// `label` names the command for answers 101 and 106, `parameter` (may be
// null) the refused parameter for 102, `path` the file for 103 to 105 and
// `user` the user for 107. Answer 0 is success and never belongs here: it
// raises zarvo::invalid_function.
void raise_device_error(int answer, const boost::filesystem::path& path, const std::string& label,
                        const char* parameter, unsigned user);

} // namespace zarvo::core
