#include "connectlib/common/common.h"
#include "connectlib/common/firmware_lock.h"
#include "connectlib/logging/log_prefix.h"
#include "connectlib/logging/logger.h"

namespace ConnectLib {

std::mutex& firmwareFolderMutex()
{
    static std::mutex mutex;
    return mutex;
}

bool Common::deleteFWUpdateFiles()
{
    // Never waits: a firmware update can take minutes, and the caller is the
    // user interface.
    std::unique_lock<std::mutex> lock(firmwareFolderMutex(), std::try_to_lock);
    if (!lock.owns_lock()) {
        Logger::instance()->logPrint(appendLogPrefix(
            QStringLiteral("Firmware files not deleted: a firmware operation is running.")));
        return false;
    }
    return deleteLocalDirectory(getFWUpdateDataPath());
}

} // namespace ConnectLib
