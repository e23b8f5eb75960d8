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
    const std::pair<QString (*)(), const char*> rows[] = {
        {&Common::getFWUpdateDataPath, "/fwupdate"},
        {&Common::getSelfUpdateDataPath, "/selfupdate"},
        {&Common::getBackupDataPath, "/backups"},
    };
    for (const auto& [function, name] : rows) {
        const QString path = function();
        EXPECT_EQ(path, base + QString::fromUtf8(name));
        struct stat st {};
        ASSERT_EQ(::lstat(QFile::encodeName(path).constData(), &st), 0) << name;
        EXPECT_TRUE(S_ISDIR(st.st_mode)) << name;
        EXPECT_EQ(st.st_mode & 07777, mode_t(0700)) << name;
        // A second call finds it and changes nothing.
        EXPECT_EQ(function(), path);
    }
}

} // namespace
