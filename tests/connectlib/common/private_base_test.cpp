#include "connectlib/common/common.h"
#include "connectlib/common/private_temp_dir.h"
#include "connectlib/logging/logger.h"
#include "tests/connectlib/support/ktlib_test_support.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using ConnectLib::Common;
using namespace ConnectLib::Test;

namespace {

QString expectedBase()
{
    return QDir::tempPath() + QStringLiteral("/ravosync-") + QString::number(::geteuid());
}

mode_t modeOf(const QString& path)
{
    struct stat st {};
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
    return st.st_mode & 07777;
}

uid_t ownerOf(const QString& path)
{
    struct stat st {};
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
    return st.st_uid;
}

bool isEmptyFolder(const QString& path)
{
    return QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty();
}

TEST(PrivateBase, WorkingFoldersAreCreatedPrivateBelowTheBase)
{
    const QString base = expectedBase();
    ASSERT_FALSE(QFile::exists(base));

    EXPECT_EQ(Common::getTempFilesDataPath(), base + QStringLiteral("/zarvo"));
    EXPECT_EQ(Common::getFWUpdateDataPath(), base + QStringLiteral("/zarvo/fwupdate"));
    for (const QString& path :
         {base, base + QStringLiteral("/zarvo"), base + QStringLiteral("/zarvo/fwupdate")}) {
        EXPECT_EQ(modeOf(path), mode_t(0700)) << path.toStdString();
        EXPECT_EQ(ownerOf(path), ::geteuid()) << path.toStdString();
    }
}

TEST(PrivateBase, LoosePermissionsOfAnExistingBaseAreTightened)
{
    const QString base = expectedBase();
    ASSERT_TRUE(QDir().mkpath(base));
    ASSERT_EQ(::chmod(QFile::encodeName(base).constData(), 0777), 0);

    EXPECT_EQ(Common::getTempFilesDataPath(), base + QStringLiteral("/zarvo"));
    EXPECT_EQ(modeOf(base), mode_t(0700));
}

// An unsafe base is refused: a fresh private folder takes its place and
// nothing is written through the planted path.
void expectRefused(const QString& planted, const QString& victim)
{
    MessageCapture messages;
    const QString fwPath = Common::getFWUpdateDataPath();
    ASSERT_TRUE(writeFile(fwPath + QStringLiteral("/private.bin"), "private"));

    EXPECT_FALSE(fwPath.startsWith(planted + QLatin1Char('/'))) << fwPath.toStdString();
    EXPECT_TRUE(fwPath.startsWith(QDir::tempPath() + QLatin1Char('/')));
    EXPECT_TRUE(QFile::exists(fwPath));
    const QString fallback = fwPath.left(fwPath.size() - int(qstrlen("/zarvo/fwupdate")));
    EXPECT_EQ(modeOf(fallback), mode_t(0700));
    EXPECT_TRUE(isEmptyFolder(victim));

    // The same fallback for the rest of the process, announced once.
    EXPECT_EQ(Common::getFWUpdateDataPath(), fwPath);
    int announcements = 0;
    for (const auto& message : messages.messages())
        announcements += message.text.contains(QStringLiteral("is not a private folder")) ? 1 : 0;
    EXPECT_EQ(announcements, 1);
}

// Qt names no temporary folder for a TMPDIR that does not exist: the base
// may then not land in the root folder.
TEST(PrivateBase, AMissingTemporaryFolderGivesNoBase)
{
    const QByteArray saved = qgetenv("TMPDIR");
    const QString missing = QDir::tempPath() + QStringLiteral("/missing/deeper");
    ::setenv("TMPDIR", QFile::encodeName(missing).constData(), 1);
    const QString base = ConnectLib::privateTempBase();
    // Every working folder is then empty, so nothing is written elsewhere.
    const QStringList working{Common::getTempFilesDataPath(), Common::getFWUpdateDataPath(),
                              Common::getSelfUpdateDataPath()};
    ::setenv("TMPDIR", saved.constData(), 1);
    EXPECT_EQ(base, QString());
    EXPECT_EQ(working, (QStringList{QString(), QString(), QString()}));
    EXPECT_FALSE(QFile::exists(missing));
}

TEST(PrivateBase, SymlinkAtTheBaseIsRefused)
{
    const QString victim = QDir::tempPath() + QStringLiteral("/victim");
    ASSERT_TRUE(QDir().mkpath(victim));
    ASSERT_TRUE(QFile::link(victim, expectedBase()));

    expectRefused(expectedBase(), victim);
}

TEST(PrivateBase, FileAtTheBaseIsRefused)
{
    ASSERT_TRUE(writeFile(expectedBase(), "not a folder"));
    const QString empty = QDir::tempPath() + QStringLiteral("/empty");
    ASSERT_TRUE(QDir().mkpath(empty));

    expectRefused(expectedBase(), empty);
    EXPECT_EQ(readLines(expectedBase()), QStringList{QStringLiteral("not a folder")});
}

TEST(PrivateBase, BaseOwnedBySomeoneElseIsRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to hand a folder to another user";
    const QString base = expectedBase();
    ASSERT_TRUE(QDir().mkpath(base));
    ASSERT_EQ(::chown(QFile::encodeName(base).constData(), 65534, 65534), 0);

    expectRefused(base, base);
}

TEST(PrivateBase, AnUnsafeSubFolderGivesTheEmptyPath)
{
    const QString working = Common::getTempFilesDataPath();
    ASSERT_FALSE(working.isEmpty());
    const QString victim = QDir::tempPath() + QStringLiteral("/victim");
    ASSERT_TRUE(QDir().mkpath(victim));
    const mode_t victimMode = modeOf(victim);
    ASSERT_TRUE(QFile::link(victim, working + QStringLiteral("/fwupdate")));
    ASSERT_TRUE(writeFile(working + QStringLiteral("/selfupdate"), "not a folder"));

    struct Case {
        const char* name;
        QString (*path)();
        QString expected;
    };
    const Case cases[] = {
        {"a symlink", &Common::getFWUpdateDataPath, QString()},
        {"a file", &Common::getSelfUpdateDataPath, QString()},
        {"the safe base beside them", &Common::getTempFilesDataPath, working},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.path(), c.expected);
    }
    EXPECT_TRUE(isEmptyFolder(victim));
    EXPECT_EQ(modeOf(victim), victimMode) << "left as it was";
    EXPECT_EQ(readLines(working + QStringLiteral("/selfupdate")),
              QStringList{QStringLiteral("not a folder")});
}

} // namespace
