#include "connectlib/common/common.h"
#include "tests/connectlib/support/ktlib_test_support.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

#include <string>
#include <sys/wait.h>
#include <unistd.h>

using ConnectLib::Common;

namespace {

TEST(GenerateSecret, HasTheLengthAndAlphabet)
{
    const QRegularExpression alphabet(QStringLiteral("^[0-9A-Za-z]*$"));
    for (int count : {1, 16, 62, 500}) {
        const QString secret = Common::generateSecret(count);
        EXPECT_EQ(secret.size(), count);
        EXPECT_TRUE(alphabet.match(secret).hasMatch()) << secret.toStdString();
    }
    EXPECT_TRUE(Common::generateSecret(0).isEmpty());
    EXPECT_TRUE(Common::generateSecret(-5).isEmpty());
    EXPECT_NE(Common::generateSecret(32), Common::generateSecret(32));
}

// A forked child starts with the parent's generator state, so a generator
// that is not drawn from the system would give both the same text.
TEST(GenerateSecret, DiffersBetweenProcesses)
{
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const QByteArray secret = Common::generateSecret(32).toLatin1();
        const bool written = ::write(pipeFds[1], secret.constData(), size_t(secret.size())) ==
                             ssize_t(secret.size());
        ::_exit(written ? 0 : 1);
    }
    ::close(pipeFds[1]);
    const QString mine = Common::generateSecret(32);
    char buffer[64] = {};
    ssize_t total = 0;
    for (ssize_t got; (got = ::read(pipeFds[0], buffer + total, 32 - total)) > 0;)
        total += got;
    ::close(pipeFds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(total, 32);
    EXPECT_NE(QString::fromLatin1(buffer, 32), mine);
}

} // namespace
