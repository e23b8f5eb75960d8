// The program's start-up steps: where plug-ins come from, what closing the
// last window does, and SIGTERM and SIGINT handed to the ordinary shutdown.
#include "app/startup/startup.h"

#include <QApplication>
#include <QDir>
#include <QImageReader>
#include <QLibraryInfo>
#include <QTimer>
#include <gtest/gtest.h>

#include "tests/connectlib/support/log_lines.h"

#include <csignal>

namespace {

TEST(Startup, PluginsComeFromTheProgramFolderAndQtsOwnOnly)
{
    const QString fromEnvironment = QDir::tempPath() + QStringLiteral("/plugins-from-environment");
    QDir().mkpath(fromEnvironment);
    QCoreApplication::addLibraryPath(fromEnvironment);
    ASSERT_TRUE(QCoreApplication::libraryPaths().contains(fromEnvironment));

    ConnectGlobals::prepareApplication();

    EXPECT_EQ(QCoreApplication::libraryPaths(),
              (QStringList{QCoreApplication::applicationDirPath(),
                           QLibraryInfo::location(QLibraryInfo::PluginsPath)}));
    const QList<QByteArray> formats = QImageReader::supportedImageFormats();
    EXPECT_TRUE(formats.contains("jpeg"));
    EXPECT_TRUE(formats.contains("gif"));
    EXPECT_FALSE(QApplication::quitOnLastWindowClosed());
}

class QuitSignals : public ::testing::TestWithParam<int> {};

// The signal ends the event dispatch as the tray's Quit does: main's
// dispatch returns 0, so the controller's destructor closes the windows,
// the provider and the log. Afterwards the signal has
// its default action back.
TEST_P(QuitSignals, EndTheDispatchAsTheTraysQuitDoes)
{
    const int signalNumber = GetParam();
    ConnectLib::Test::LogLines log;
    {
        ConnectGlobals::QuitOnSignals quitOnSignals;
        QTimer::singleShot(0, [signalNumber] { ::raise(signalNumber); });
        // Only a guard: the signal ends the dispatch long before.
        bool guardFired = false;
        QTimer::singleShot(60000, [&guardFired] {
            guardFired = true;
            QCoreApplication::exit(1);
        });
        EXPECT_EQ(QCoreApplication::exec(), 0);
        EXPECT_FALSE(guardFired);
    }
    EXPECT_TRUE(log.contains(QStringLiteral("Signal ") + QString::number(signalNumber) +
                             QStringLiteral(" received: quitting.")));
    struct sigaction action {};
    ASSERT_EQ(::sigaction(signalNumber, nullptr, &action), 0);
    EXPECT_EQ(action.sa_handler, SIG_DFL);
}

INSTANTIATE_TEST_SUITE_P(Table, QuitSignals, ::testing::Values(SIGINT, SIGTERM),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == SIGINT ? "SIGINT" : "SIGTERM");
                         });

} // namespace
