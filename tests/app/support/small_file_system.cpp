#include "tests/app/support/small_file_system.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace RavoSync::Test {

namespace {

const char* const folderVariable = "RAVOSYNC_SMALL_FS";
// Upper bounds only: a child that hangs must not hold the suite.
constexpr int probeLimitMs = 30000;
constexpr int childLimitMs = 100000;

const QStringList namespaces = {QStringLiteral("--user"), QStringLiteral("--map-root-user"),
                                QStringLiteral("--mount")};

} // namespace

QString smallFileSystem()
{
    return qEnvironmentVariable(folderVariable);
}

void runOnSmallFileSystem(const QString& filter, qint64 bytes)
{
    const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
    if (unshare.isEmpty())
        GTEST_SKIP() << "unshare is not installed";
    QProcess probe;
    probe.start(unshare, namespaces + QStringList{QStringLiteral("true")});
    if (!probe.waitForFinished(probeLimitMs) || probe.exitStatus() != QProcess::NormalExit ||
        probe.exitCode() != 0)
        GTEST_SKIP() << "no user and mount namespaces here: "
                     << probe.readAllStandardError().toStdString();

    QTemporaryDir mountPoint;
    ASSERT_TRUE(mountPoint.isValid());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(folderVariable), mountPoint.path());
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(unshare,
                namespaces + QStringList{
                                 QStringLiteral("sh"),
                                 QStringLiteral("-c"),
                                 QStringLiteral("mount -t tmpfs -o size=\"$1\" ravosync-small "
                                                "\"$2\" && exec \"$3\" --gtest_filter=\"$4\""),
                                 QStringLiteral("sh"),
                                 QString::number(bytes),
                                 mountPoint.path(),
                                 QCoreApplication::applicationFilePath(),
                                 filter,
                             });
    const bool ended = child.waitForFinished(childLimitMs);
    if (!ended)
        child.kill();
    const std::string output = QString::fromLocal8Bit(child.readAll()).toStdString();
    ASSERT_TRUE(ended) << output;
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << output;
    EXPECT_EQ(child.exitCode(), 0) << output;
    // Each test ran there, none skipped.
    EXPECT_NE(output.find("[  PASSED  ]"), std::string::npos) << output;
    EXPECT_EQ(output.find("[  SKIPPED ]"), std::string::npos) << output;
}

} // namespace RavoSync::Test
