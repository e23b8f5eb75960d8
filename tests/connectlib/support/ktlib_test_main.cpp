// Entry point of the ktlib tests. Each test runs in its own process; this
// gives the process private folders before anything touches QSettings,
// QStandardPaths or QDir::tempPath(), then runs the tests under a
// QCoreApplication.
#include "tests/connectlib/support/private_folders.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    zarvo::test::temp_dir root;
    ConnectLib::Test::usePrivateFolders(root);

    ::testing::InitGoogleTest(&argc, argv);
    int result = 0;
    {
        QCoreApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
