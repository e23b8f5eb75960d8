// Entry point of the program's tests. Before the QApplication exists it picks
// the offscreen platform (unless one is set), gives the process private
// folders and installs recording handlers for the addresses the program
// hands to the desktop, so no test starts a browser. The program's built-in
// resources and the test pages are registered as the program does.
#include "app/sync_state/sync_state.h"
#include "connectlib/types/meta_types.h"
#include "resources/tr/translation_resources.h"
#include "tests/app/support/url_handlers.h"
#include "tests/connectlib/support/private_folders.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    // The machine's own SSL_CERT_FILE and SSL_CERT_DIR (often the system
    // store again) are left out: reading them cost every test process a few
    // tenths of a second. Tests name their own anchors (FakeWeb, the
    // trusted-roots suite).
    ::unsetenv("SSL_CERT_FILE");
    ::unsetenv("SSL_CERT_DIR");
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    zarvo::test::temp_dir root;
    ConnectLib::Test::usePrivateFolders(root);

    ::testing::InitGoogleTest(&argc, argv);
    int result = 0;
    {
        QApplication app(argc, argv);
        Q_INIT_RESOURCE(images);
        Q_INIT_RESOURCE(pages);
        Q_INIT_RESOURCE(app_test_pages);
        ConnectLayout::initTranslationResources();
        RavoSync::Test::installRecordingUrlHandlers();
        // As the program and its controller register them, so spies and
        // queued connections carry every bridge signal.
        ConnectLib::registerMetaTypes();
        ConnectGlobals::SyncState::registerSyncProcessState();
        result = RUN_ALL_TESTS();
        RavoSync::Test::removeRecordingUrlHandlers();
    }
    return result;
}
