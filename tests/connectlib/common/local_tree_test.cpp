#include "connectlib/common/common.h"
#include "tests/connectlib/support/ktlib_test_support.h"
#include "tests/support/temp_dir.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using ConnectLib::Common;
using namespace ConnectLib::Test;

namespace {

bool makeSocketFile(const QString& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(path);
    if (fd < 0 || size_t(native.size()) >= sizeof address.sun_path)
        return false;
    std::copy(native.begin(), native.end(), address.sun_path);
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

bool makeLink(const QString& target, const QString& link)
{
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) ==
           0;
}

// A tree with a dot-file, a dot-folder, an empty folder and nested files.
class LocalTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(m_root + QStringLiteral("/a/b")));
        ASSERT_TRUE(QDir().mkpath(m_root + QStringLiteral("/.hidden")));
        ASSERT_TRUE(QDir().mkpath(m_root + QStringLiteral("/empty")));
        ASSERT_TRUE(writeFile(m_root + QStringLiteral("/top.bin"), QByteArray(100, 'x')));
        ASSERT_TRUE(writeFile(m_root + QStringLiteral("/.dotfile"), QByteArray(20, 'x')));
        ASSERT_TRUE(writeFile(m_root + QStringLiteral("/a/b/deep.bin"), QByteArray(3, 'x')));
        ASSERT_TRUE(writeFile(m_root + QStringLiteral("/.hidden/in.bin"), QByteArray(7, 'x')));
    }

    zarvo::test::temp_dir m_dir;
    const QString m_root = qpath(m_dir / "tree");
    const QString m_outside = qpath(m_dir / "outside");
};

TEST_F(LocalTree, TotalSizeCountsRegularFilesAndNeverFollowsLinks)
{
    ASSERT_TRUE(QDir().mkpath(m_outside));
    ASSERT_TRUE(writeFile(m_outside + QStringLiteral("/big.bin"), QByteArray(5000, 'x')));
    ASSERT_TRUE(makeLink(m_root, m_root + QStringLiteral("/a/b/loop")));
    ASSERT_TRUE(makeLink(m_outside, m_root + QStringLiteral("/outlink")));
    ASSERT_TRUE(makeLink(m_outside + QStringLiteral("/big.bin"), m_root + QStringLiteral("/file")));
    ASSERT_TRUE(makeSocketFile(m_root + QStringLiteral("/s")));

    EXPECT_EQ(Common::getDirTotalSize(m_root), quint64(100 + 20 + 3 + 7));
    EXPECT_EQ(Common::getDirTotalSize(m_root + QStringLiteral("/missing")), quint64(0));
}

TEST_F(LocalTree, DeleteRemovesDotFilesSocketsAndLinksButNotWhatLinksPointAt)
{
    ASSERT_TRUE(QDir().mkpath(m_outside + QStringLiteral("/sub")));
    ASSERT_TRUE(writeFile(m_outside + QStringLiteral("/keep.bin"), "keep"));
    ASSERT_TRUE(writeFile(m_outside + QStringLiteral("/sub/keep.bin"), "keep"));
    ASSERT_TRUE(makeLink(m_outside, m_root + QStringLiteral("/a/outlink")));
    ASSERT_TRUE(makeLink(m_outside + QStringLiteral("/keep.bin"), m_root + QStringLiteral("/f")));
    ASSERT_TRUE(makeLink(m_root + QStringLiteral("/gone"), m_root + QStringLiteral("/broken")));
    ASSERT_TRUE(makeLink(m_root, m_root + QStringLiteral("/.hidden/loop")));
    ASSERT_TRUE(makeSocketFile(m_root + QStringLiteral("/a/socket")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(m_root + QStringLiteral("/.fifo")).constData(), 0600), 0);

    EXPECT_TRUE(Common::deleteLocalDirectory(m_root));
    EXPECT_FALSE(QFileInfo(m_root).exists() || QFileInfo(m_root).isSymLink());
    EXPECT_EQ(readLines(m_outside + QStringLiteral("/keep.bin")), QStringList{"keep"});
    EXPECT_EQ(readLines(m_outside + QStringLiteral("/sub/keep.bin")), QStringList{"keep"});
}

TEST_F(LocalTree, DeleteOfALinkRemovesOnlyTheLink)
{
    const QString link = qpath(m_dir / "link");
    ASSERT_TRUE(makeLink(m_root, link));
    EXPECT_TRUE(Common::deleteLocalDirectory(link));
    EXPECT_TRUE(Common::deleteLocalDirectory(link)); // now missing
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(QFile::exists(m_root + QStringLiteral("/a/b/deep.bin")));
}

} // namespace
