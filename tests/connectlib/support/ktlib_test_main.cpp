// Entry point of the ktlib tests. Each test runs in its own process; this
// gives the process a private HOME, XDG folders and TMPDIR before anything
// touches QSettings, QStandardPaths or QDir::tempPath(), then runs the tests
// under a QCoreApplication.
#include "tests/support/temp_dir.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

namespace {
void useFolder(const zarvo::test::temp_dir& root, const char* variable, const char* name)
{
    const std::filesystem::path folder = root / name;
    std::filesystem::create_directories(folder);
    ::chmod(folder.c_str(), 0700);
    ::setenv(variable, folder.c_str(), 1);
}
} // namespace

int main(int argc, char** argv)
{
    zarvo::test::temp_dir root;
    useFolder(root, "HOME", "home");
    useFolder(root, "XDG_CONFIG_HOME", "config");
    useFolder(root, "XDG_DATA_HOME", "data");
    useFolder(root, "XDG_CACHE_HOME", "cache");
    useFolder(root, "XDG_RUNTIME_DIR", "runtime");
    useFolder(root, "TMPDIR", "tmp");

    ::testing::InitGoogleTest(&argc, argv);
    int result = 0;
    {
        QCoreApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
