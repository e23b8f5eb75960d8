#pragma once

#include <string>

namespace ConnectLib {

// Whether a name from a device listing may become one component of a path.
// Device names are untrusted: an empty name, ".", "..", a "/" or a NUL byte
// would make a read loop, climb out of its directory or truncate the name
// into another one. Tested on the raw bytes, before any text conversion.
bool isUsableEntryName(const std::string& name);

} // namespace ConnectLib
