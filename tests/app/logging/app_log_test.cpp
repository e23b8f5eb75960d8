#include "app/logging/app_log.h"
#include "connectlib/logging/logger.h"
#include "tests/connectlib/support/log_lines.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

TEST(AppLog, PrefixIsTimeOfDayAndProcessId)
{
    const QString line = ConnectGlobals::appendLogPrefix(QStringLiteral("text"));
    const QRegularExpression shape(
        QStringLiteral("^\\[(\\d\\d):(\\d\\d):(\\d\\d)\\.(\\d{3})\\] \\[(\\d+)\\] text$"));
    const QRegularExpressionMatch match = shape.match(line);
    ASSERT_TRUE(match.hasMatch()) << line.toStdString();
    EXPECT_EQ(match.captured(5).toLongLong(), QCoreApplication::applicationPid());
}

TEST(AppLog, LinesGoThroughTheLoggerWithThePrefix)
{
    QSignalSpy printed(ConnectLib::Logger::instance(), &ConnectLib::Logger::SIGNAL_logPrint);
    ConnectLib::Test::LogLines lines;
    ConnectGlobals::logLine(QStringLiteral("a program line"));
    ASSERT_EQ(printed.size(), 1);
    EXPECT_TRUE(printed.first().at(0).toString().startsWith(QLatin1Char('[')));
    EXPECT_EQ(lines.lines(), QStringList{QStringLiteral("a program line")});
}

} // namespace
