#include "connectlib/common/common.h"
#include "tests/connectlib/support/ktlib_test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using ConnectLib::Common;

namespace {

TEST(WorkingPaths, AreCreatedPrivateBelowTheBaseWithoutFinalSlash)
{
    // The test main points TMPDIR at a folder of this process.
    const QString base = QDir::tempPath() + QStringLiteral("/ravosync-") +
                         QString::number(::geteuid()) + QStringLiteral("/zarvo");
    // Backups and logs outlive a reboot: with the user's data and state.
    const QString data = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/ravosync");
    const QString state = qEnvironmentVariable("XDG_STATE_HOME") + QStringLiteral("/ravosync");
    const std::pair<QString (*)(), QString> rows[] = {
        {&Common::getFWUpdateDataPath, base + QStringLiteral("/fwupdate")},
        {&Common::getSelfUpdateDataPath, base + QStringLiteral("/selfupdate")},
        {&Common::getBackupDataPath, data + QStringLiteral("/backups")},
        {&Common::getLogPath, state + QStringLiteral("/logs")},
    };
    for (const auto& [function, expected] : rows) {
        const QString path = function();
        const std::string name = expected.toStdString();
        EXPECT_EQ(path, expected);
        struct stat st {};
        ASSERT_EQ(::lstat(QFile::encodeName(path).constData(), &st), 0) << name;
        EXPECT_TRUE(S_ISDIR(st.st_mode)) << name;
        EXPECT_EQ(st.st_mode & 07777, mode_t(0700)) << name;
        // A second call finds it and changes nothing.
        EXPECT_EQ(function(), path);
    }
}

// Without the variables (or with a relative value, which the standard says
// to ignore) the defaults below the home folder; the folders on the way are
// made private to the user.
TEST(WorkingPaths, BackupsAndLogsDefaultBelowTheHomeFolder)
{
    const QString home = qEnvironmentVariable("HOME");
    const QByteArray savedData = qgetenv("XDG_DATA_HOME");
    const QByteArray savedState = qgetenv("XDG_STATE_HOME");
    ::unsetenv("XDG_DATA_HOME");
    ::setenv("XDG_STATE_HOME", "relative/state", 1);
    const QString backups = Common::getBackupDataPath();
    const QString logs = Common::getLogPath();
    ::setenv("XDG_DATA_HOME", savedData.constData(), 1);
    ::setenv("XDG_STATE_HOME", savedState.constData(), 1);
    EXPECT_EQ(backups, home + QStringLiteral("/.local/share/ravosync/backups"));
    EXPECT_EQ(logs, home + QStringLiteral("/.local/state/ravosync/logs"));
    for (const QString& path : {home + QStringLiteral("/.local/state"), logs, backups}) {
        struct stat st {};
        ASSERT_EQ(::lstat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
        EXPECT_EQ(st.st_mode & 07777, mode_t(0700)) << path.toStdString();
    }
}

// A symlink planted where the program's folder goes is refused: nothing is
// written through it.
TEST(WorkingPaths, APlantedLinkGivesNoBackupFolder)
{
    const QString data = qEnvironmentVariable("XDG_DATA_HOME");
    const QString victim = QDir::tempPath() + QStringLiteral("/victim");
    ASSERT_TRUE(QDir().mkpath(victim));
    ASSERT_TRUE(QDir().mkpath(data));
    ASSERT_TRUE(QFile::link(victim, data + QStringLiteral("/ravosync")));
    EXPECT_EQ(Common::getBackupDataPath(), QString());
    EXPECT_TRUE(QDir(victim).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

} // namespace
