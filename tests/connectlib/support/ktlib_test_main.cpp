// Entry point of the ktlib tests. Each test runs in its own process; this
// gives the process private folders before anything touches QSettings,
// QStandardPaths or QDir::tempPath(), then runs the tests under a
// QCoreApplication (which, under ThreadSanitizer, shows the checker how Qt
// hands data between threads).
#include "tests/connectlib/support/private_folders.h"
#include "tests/connectlib/support/qt_handover.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    zarvo::test::temp_dir root;
    ConnectLib::Test::usePrivateFolders(root);

    ::testing::InitGoogleTest(&argc, argv);
    int result = 0;
    {
        ConnectLib::Test::TestApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
