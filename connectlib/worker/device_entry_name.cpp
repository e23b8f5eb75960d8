#include "connectlib/worker/device_entry_name.h"

namespace ConnectLib {

bool isUsableEntryName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string("/\0", 2)) == std::string::npos;
}

} // namespace ConnectLib
