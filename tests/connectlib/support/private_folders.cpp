#include "tests/connectlib/support/private_folders.h"

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

namespace ConnectLib::Test {

namespace {
void useFolder(const zarvo::test::temp_dir& root, const char* variable, const char* name)
{
    const std::filesystem::path folder = root / name;
    std::filesystem::create_directories(folder);
    ::chmod(folder.c_str(), 0700);
    ::setenv(variable, folder.c_str(), 1);
}
} // namespace

void usePrivateFolders(const zarvo::test::temp_dir& root)
{
    useFolder(root, "HOME", "home");
    useFolder(root, "XDG_CONFIG_HOME", "config");
    useFolder(root, "XDG_DATA_HOME", "data");
    useFolder(root, "XDG_STATE_HOME", "state");
    useFolder(root, "XDG_CACHE_HOME", "cache");
    useFolder(root, "XDG_RUNTIME_DIR", "runtime");
    useFolder(root, "TMPDIR", "tmp");
}

} // namespace ConnectLib::Test
