// The program's start-up steps: where plug-ins come from and what closing
// the last window does.
#include "app/startup/startup.h"

#include <QApplication>
#include <QDir>
#include <QImageReader>
#include <QLibraryInfo>
#include <gtest/gtest.h>

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

} // namespace
