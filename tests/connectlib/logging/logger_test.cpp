#include "connectlib/common/clock.h"
#include "connectlib/common/common.h"
#include "connectlib/logging/funclogc.h"
#include "connectlib/logging/logger.h"
#include "tests/connectlib/support/ktlib_test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSysInfo>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

using ConnectLib::Logger;
using namespace ConnectLib::Test;

namespace {

const QString ruler(82, QLatin1Char('='));

class LoggerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ConnectLib::Clock::setSource([this] { return m_now; });
    }
    void TearDown() override
    {
        Logger::drop();
        ConnectLib::Clock::setSource({});
    }

    void setNow(const QString& stamp)
    {
        m_now = QDateTime::fromString(stamp, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        ASSERT_TRUE(m_now.isValid()) << stamp.toStdString();
    }
    static QString logFile(const QString& day)
    {
        return ConnectLib::Common::getLogPath() + QStringLiteral("/rs_") + day +
               QStringLiteral(".log");
    }
    static QStringList headerFor(const QString& started)
    {
        return {QString(),
                ruler,
                QStringLiteral("Application started at: ") + started,
                QStringLiteral("Qt version: ") + QString::fromLatin1(qVersion()),
                QStringLiteral("OS version: ") + QSysInfo::prettyProductName(),
                QStringLiteral("Logfile path: ") + ConnectLib::Common::getLogPath() +
                    QLatin1Char('/'),
                ruler,
                QString()};
    }

    QDateTime m_now;
};

TEST_F(LoggerTest, LinesGoToTodaysFileTheDebugOutputAndTheSignal)
{
    setNow(QStringLiteral("2026-03-14 10:00:00"));
    QStringList signalled;
    QObject::connect(Logger::instance(), &Logger::SIGNAL_logPrint,
                     [&](const QString& line) { signalled << line; });

    MessageCapture messages;
    Logger::instance()->logPrint(QStringLiteral("hello"));
    Logger::instance()->logPrint(QString());

    const QString file = logFile(QStringLiteral("20260314"));
    EXPECT_EQ(Logger::instance()->getCurrentFile(), file);
    // With the user's state, so a reboot keeps it.
    EXPECT_TRUE(file.startsWith(qEnvironmentVariable("XDG_STATE_HOME") +
                                QStringLiteral("/ravosync/logs/")));
    const QStringList lines = readLines(file);
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines.mid(lines.size() - 2), (QStringList{QStringLiteral("hello"), QString()}));
    EXPECT_EQ(signalled, (QStringList{QStringLiteral("hello"), QString()}));
    EXPECT_TRUE(messages.contains(QtDebugMsg, QStringLiteral("hello")));
}

TEST_F(LoggerTest, HeaderFooterAndSecondHeaderAfterDrop)
{
    setNow(QStringLiteral("2026-03-14 08:05:09"));
    Logger::drop(); // no logger yet: nothing happens
    const QString file = logFile(QStringLiteral("20260314"));
    EXPECT_FALSE(QFile::exists(file));

    Logger::instance()->logPrint(QStringLiteral("first run"));
    setNow(QStringLiteral("2026-03-14 09:00:01"));
    Logger::drop();
    setNow(QStringLiteral("2026-03-14 09:30:00"));
    Logger::instance();

    QStringList expected = headerFor(QStringLiteral("14.03.2026 08:05:09"));
    expected << QStringLiteral("first run") << QString() << ruler
             << QStringLiteral("Application closed at: 14.03.2026 09:00:01") << ruler;
    expected << headerFor(QStringLiteral("14.03.2026 09:30:00"));
    EXPECT_EQ(readLines(file), expected);
}

TEST_F(LoggerTest, FirstLineOfANewDayStartsANewFileWithoutHeader)
{
    setNow(QStringLiteral("2026-03-14 23:59:59"));
    Logger::instance()->logPrint(QStringLiteral("before midnight"));
    setNow(QStringLiteral("2026-03-15 00:00:01"));
    Logger::instance()->logPrint(QStringLiteral("after midnight"));

    EXPECT_EQ(Logger::instance()->getCurrentFile(), logFile(QStringLiteral("20260315")));
    EXPECT_EQ(readLines(logFile(QStringLiteral("20260315"))),
              QStringList{QStringLiteral("after midnight")});
    EXPECT_EQ(readLines(logFile(QStringLiteral("20260314"))).last(),
              QStringLiteral("before midnight"));
}

TEST_F(LoggerTest, CreationRemovesFilesMoreThanTwentyDaysOld)
{
    setNow(QStringLiteral("2026-03-14 12:00:00"));
    const QString dir = ConnectLib::Common::getLogPath();
    struct Row {
        QString name;
        int ageDays;
        bool removed;
    };
    const std::vector<Row> rows = {
        {QStringLiteral("rs_20260221.log"), 21, true},
        {QStringLiteral("rs_20250101.log"), 400, true},
        {QStringLiteral("rs_20260222.log"), 20, false},
        {QStringLiteral("rs_2026.log"), 30, false},
        {QStringLiteral("other.log"), 30, false},
        {QStringLiteral("rs_20260101.txt"), 30, false},
    };
    for (const Row& row : rows) {
        const QString path = dir + QLatin1Char('/') + row.name;
        ASSERT_TRUE(writeFile(path, "old\n"));
        // Early in the day, so the calendar-day count is what matters.
        ASSERT_TRUE(setModified(path, m_now.addDays(-row.ageDays).addSecs(-11 * 3600)));
    }

    Logger::instance();

    const QStringList lines = readLines(logFile(QStringLiteral("20260314")));
    for (const Row& row : rows) {
        const QString path = dir + QLatin1Char('/') + row.name;
        EXPECT_EQ(QFile::exists(path), !row.removed) << row.name.toStdString();
        EXPECT_EQ(lines.count(QStringLiteral("Removing logfile: ") + path), row.removed ? 1 : 0)
            << row.name.toStdString();
    }
}

TEST_F(LoggerTest, UnopenableFileStillReachesSignalAndNextDayRecovers)
{
    setNow(QStringLiteral("2026-03-14 12:00:00"));
    // A folder where today's file should be.
    ASSERT_TRUE(QDir().mkpath(logFile(QStringLiteral("20260314"))));
    MessageCapture messages;
    QStringList signalled;
    QObject::connect(Logger::instance(), &Logger::SIGNAL_logPrint,
                     [&](const QString& line) { signalled << line; });
    EXPECT_TRUE(messages.contains(QtDebugMsg, QStringLiteral("Logger file open failed!")));

    Logger::instance()->logPrint(QStringLiteral("lost"));
    setNow(QStringLiteral("2026-03-15 08:00:00"));
    Logger::instance()->logPrint(QStringLiteral("kept"));

    EXPECT_EQ(signalled, (QStringList{QStringLiteral("lost"), QStringLiteral("kept")}));
    EXPECT_EQ(readLines(logFile(QStringLiteral("20260315"))), QStringList{QStringLiteral("kept")});
}

TEST_F(LoggerTest, ConcurrentFirstUseCreatesOneLogger)
{
    setNow(QStringLiteral("2026-03-14 12:00:00"));
    std::vector<Logger*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = Logger::instance(); });
    for (std::thread& thread : threads)
        thread.join();

    for (Logger* logger : seen)
        EXPECT_EQ(logger, seen.front());
    const QStringList lines = readLines(logFile(QStringLiteral("20260314")));
    EXPECT_EQ(lines.filter(QStringLiteral("Application started at: ")).size(), 1);
}

TEST_F(LoggerTest, ScopeTracerLogsEntryAndExit)
{
    setNow(QStringLiteral("2026-03-14 12:00:00"));
    {
        ConnectLib::funclogc trace(QStringLiteral("[pre]"), "readFile");
        Logger::instance()->logPrint(QStringLiteral("inside"));
    }
    QStringList lines = readLines(logFile(QStringLiteral("20260314")));
    ASSERT_GE(lines.size(), 3);
    lines = lines.mid(lines.size() - 3);
    EXPECT_EQ(lines[0], QStringLiteral("[pre] [ENTRY] readFile"));
    EXPECT_EQ(lines[1], QStringLiteral("inside"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\[pre\\] \\[EXIT\\] readFile \\[\\d+ms\\]$"))
                    .match(lines[2])
                    .hasMatch())
        << lines[2].toStdString();
}

} // namespace
