// One instance per user: messages between processes, a dead holder's lock,
// simultaneous starts, hostile clients and a holder that never answers.
#include "app/single_instance/single_instance.h"

#include "tests/connectlib/support/log_lines.h"
#include "tests/connectlib/support/process_events.h"
#include "tests/support/child_program.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QThread>
#include <QTimer>
#include <QtEndian>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

using ConnectLib::Test::processUntil;
using zarvo::test::child_program;

// Every test gets a runtime folder of its own, short enough for a socket
// path, and a key of its own.
class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_previousRuntime = qgetenv("XDG_RUNTIME_DIR");
        QByteArray pattern("/tmp/rsi-XXXXXX");
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_runtime = QString::fromLocal8Bit(pattern);
        qputenv("XDG_RUNTIME_DIR", pattern);
        static int counter = 0;
        m_key = QStringLiteral("test-%1-%2").arg(::getpid()).arg(++counter);
    }
    void TearDown() override
    {
        qputenv("XDG_RUNTIME_DIR", m_previousRuntime);
        QDir(m_runtime).removeRecursively();
    }

    std::unique_ptr<child_program> helper(const std::vector<std::string>& arguments)
    {
        std::vector<std::string> all{m_key.toStdString()};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return std::make_unique<child_program>(INSTANCE_HELPER, all);
    }

    QByteArray m_previousRuntime;
    QString m_runtime;
    QString m_key;
};

TEST_F(SingleInstanceTest, UsesAPrivateFolderInTheRuntimeFolder)
{
    SingleInstance instance(nullptr, m_key);
    EXPECT_EQ(instance.folder(), m_runtime + QStringLiteral("/ravosync"));
    EXPECT_FALSE(instance.sendMessage(QStringLiteral("wakeup"), 1000));
    EXPECT_TRUE(instance.isListening());
    EXPECT_EQ(QFileInfo(instance.folder()).permissions() & 0x0077, 0);
    EXPECT_TRUE(QFileInfo::exists(instance.lockPath()));
    EXPECT_TRUE(QFileInfo::exists(instance.socketPath()));
}

TEST_F(SingleInstanceTest, AnOpenRuntimeFolderIsNotUsed)
{
    ASSERT_TRUE(QFile::setPermissions(
        m_runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                       QFileDevice::ReadOther | QFileDevice::ExeOther));
    SingleInstance instance(nullptr, m_key);
    EXPECT_FALSE(instance.folder().isEmpty());
    EXPECT_FALSE(instance.folder().startsWith(m_runtime));
    EXPECT_TRUE(instance.folder().endsWith(QStringLiteral("/instance")));
}

TEST_F(SingleInstanceTest, ASecondStartDeliversOneMessageOnTheUserInterfaceThread)
{
    SingleInstance first(nullptr, m_key);
    ASSERT_FALSE(first.sendMessage(QStringLiteral("wakeup"), 5000));
    QStringList received;
    QThread* thread = nullptr;
    QObject::connect(&first, &SingleInstance::messageReceived, [&](const QString& text) {
        received.append(text);
        thread = QThread::currentThread();
    });

    auto second = helper({"send", "wakeup", "5000"});
    ASSERT_TRUE(processUntil([&] { return !received.isEmpty(); }));
    EXPECT_EQ(second->read_line(), "delivered");
    EXPECT_EQ(second->wait_exit(), 0);
    ConnectLib::Test::processFor(50);
    EXPECT_EQ(received, QStringList{QStringLiteral("wakeup")});
    EXPECT_EQ(thread, QThread::currentThread());
}

TEST_F(SingleInstanceTest, ALockLeftByAKilledInstanceDoesNotBlockTheNextStart)
{
    auto killed = helper({"send", "wakeup", "5000"});
    ASSERT_EQ(killed->read_line(), "first");
    ::kill(killed->pid(), SIGKILL);
    killed->wait_exit();

    SingleInstance next(nullptr, m_key);
    EXPECT_FALSE(next.sendMessage(QStringLiteral("wakeup"), 5000));
    EXPECT_TRUE(next.isListening());

    // The next start reaches it.
    QStringList received;
    QObject::connect(&next, &SingleInstance::messageReceived,
                     [&](const QString& text) { received.append(text); });
    auto later = helper({"send", "again", "5000"});
    ASSERT_TRUE(processUntil([&] { return !received.isEmpty(); }));
    EXPECT_EQ(later->read_line(), "delivered");
    EXPECT_EQ(received, QStringList{QStringLiteral("again")});
}

TEST_F(SingleInstanceTest, SimultaneousStartsGiveOneFirstInstanceAndDeliverEveryMessage)
{
    constexpr int starts = 5;
    std::vector<std::unique_ptr<child_program>> helpers;
    for (int i = 0; i < starts; ++i)
        helpers.push_back(helper({"send", "start" + std::to_string(i), "5000"}));

    int firstIndex = -1;
    int delivered = 0;
    for (int i = 0; i < starts; ++i) {
        const std::string line = helpers[i]->read_line();
        if (line == "first") {
            EXPECT_EQ(firstIndex, -1) << "two first instances";
            firstIndex = i;
        } else {
            EXPECT_EQ(line, "delivered");
            ++delivered;
        }
    }
    ASSERT_GE(firstIndex, 0);
    EXPECT_EQ(delivered, starts - 1);

    QStringList messages;
    for (int i = 0; i < starts - 1; ++i)
        messages.append(QString::fromStdString(helpers[firstIndex]->read_line()));
    messages.sort();
    QStringList expected;
    for (int i = 0; i < starts; ++i) {
        if (i != firstIndex)
            expected.append(QStringLiteral("message start%1").arg(i));
    }
    EXPECT_EQ(messages, expected);
    helpers[firstIndex]->close_input();
    EXPECT_EQ(helpers[firstIndex]->wait_exit(), 0);
}

struct BadClient {
    const char* name;
    QByteArray bytes;
};

void PrintTo(const BadClient& c, std::ostream* os)
{
    *os << c.name;
}

QByteArray lengthOf(quint32 length)
{
    QByteArray bytes(4, '\0');
    qToBigEndian<quint32>(length, bytes.data());
    return bytes;
}

class HostileClient : public SingleInstanceTest, public ::testing::WithParamInterface<BadClient> {};

TEST_P(HostileClient, IsDroppedWhileTheEventLoopRuns)
{
    SingleInstance first(nullptr, m_key);
    ASSERT_FALSE(first.sendMessage(QStringLiteral("wakeup"), 5000));
    QSignalSpy messages(&first, &SingleInstance::messageReceived);
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(5);

    QLocalSocket client;
    client.connectToServer(first.socketPath());
    ASSERT_TRUE(processUntil([&] { return client.state() == QLocalSocket::ConnectedState; }));
    client.write(GetParam().bytes);
    // Dropped, and the timer kept (or keeps) firing meanwhile.
    ASSERT_TRUE(processUntil([&] { return client.state() == QLocalSocket::UnconnectedState; }));
    EXPECT_TRUE(processUntil([&] { return ticks >= 3; }));
    EXPECT_EQ(messages.count(), 0);
    EXPECT_EQ(client.bytesAvailable(), 0);

    // The channel still serves the next start.
    auto next = helper({"send", "wakeup", "5000"});
    ASSERT_TRUE(processUntil([&] { return messages.count() == 1; }));
    EXPECT_EQ(next->read_line(), "delivered");
}

INSTANTIATE_TEST_SUITE_P(
    Clients, HostileClient,
    ::testing::Values(BadClient{"nothing", QByteArray()},
                      BadClient{"a stalled message", lengthOf(10) + "abc"},
                      BadClient{"an oversize length", lengthOf(0xffffffffu)},
                      BadClient{"just over the limit", lengthOf(1025) + QByteArray(1025, 'a')},
                      BadClient{"invalid UTF-8", lengthOf(4) + "\xff\xfe\xfd\xfc"}),
    [](const ::testing::TestParamInfo<BadClient>& info) {
        QString name = QString::fromLatin1(info.param.name);
        name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]")), QString());
        return name.toStdString();
    });

TEST_F(SingleInstanceTest, ALiveHolderThatNeverAnswersLeavesTheNextStartRunningAlone)
{
    auto holder = helper({"hold"});
    ASSERT_EQ(holder->read_line(), "first");

    ConnectLib::Test::LogLines log;
    SingleInstance next(nullptr, m_key);
    EXPECT_FALSE(next.sendMessage(QStringLiteral("wakeup"), 300));
    EXPECT_FALSE(next.isListening());
    EXPECT_TRUE(QFileInfo::exists(next.socketPath()));
    EXPECT_TRUE(QFileInfo::exists(next.lockPath()));
    EXPECT_TRUE(log.contains(QStringLiteral("did not answer within 300 ms")));
    holder->close_input();
    EXPECT_EQ(holder->wait_exit(), 0);
}

} // namespace
