#pragma once

// The process-wide lock of the firmware working folder (library-internal).

#include <mutex>

namespace ConnectLib {

// All devices' workers share the one firmware folder: an update, a folder
// copy or an install runs alone in the process, so no device receives files
// of another device's archive, and nothing deletes the folder under it.
// Workers take it before any session guard, so a waiting worker holds no
// guard and cancels never wait behind another device.
std::mutex& firmwareFolderMutex();

} // namespace ConnectLib
