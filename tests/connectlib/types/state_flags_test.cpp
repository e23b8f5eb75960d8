#include "connectlib/common/common.h"
#include "connectlib/logging/logger.h"
#include "tests/connectlib/support/ktlib_test_support.h"

#include "tests/connectlib/support/ktlib_test_support.h"
#include <QCoreApplication>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <vector>

using namespace ConnectLib;

namespace {

struct Row {
    CPStateFlags flags;
    const char* text;
    QStringList logged; // flag names, in order
};

QStringList logLines(CPStateFlags flags)
{
    QStringList lines;
    QMetaObject::Connection connection = QObject::connect(
        Logger::instance(), &Logger::SIGNAL_logPrint, [&](const QString& line) { lines << line; });
    Common::logStateFlags(flags);
    QObject::disconnect(connection);
    return lines;
}

TEST(StateFlags, TextAndLogLinesFollowTheTableOrder)
{
    const CPStateFlags all = CPStateFlags(QFlag(0x7FFFFFF)); // all 27 bits
    const QStringList named = {
        "OK",
        "GENERAL_ERROR",
        "CANCELLED",
        "TC_NOT_FOUND",
        "FILE_OR_DIR_NOT_FOUND",
        "FILE_EXISTS",
        "FILE_OPERATION_FAILED",
        "DIRECTORY_EXISTS",
        "GET_SUBDIRECTORIES_FAILED",
        "GET_TIMESTAMP_FAILED",
        "GET_CURRENT_USER_DATA_FAILED",
        "CANCEL_FAILED",
        "TC_CONNECTION_LOST",
        "DISK_FULL",
        "INVALID_CONTENT",
        "NOT_IMPLEMENTED",
        "INVALID_PARAMETER",
        "OPERATION_TIMED_OUT",
        "TRY_OPERATION_AGAIN",
        "WAIT_FOR_IDLING",
        "TC_BUSY",
        "SYSTEM_BUSY",
        "GET_CHALLENGE_TOKEN_FAILED",
        "FW_UPDATE_FAILED",
        "FACTORYRESET_FAILED",
    };
    const QString allText = named.join(QStringLiteral(", "));
    const QStringList allLogged =
        named.mid(1) + QStringList{"TC_EXPORT_FAILED", "GET_ENTRIES_FAILED"};

    const std::vector<Row> rows = {
        {{}, "", {}},
        {OK, "OK", {}},
        {OK | GENERAL_ERROR, "OK, GENERAL_ERROR", {"GENERAL_ERROR"}},
        {TC_NOT_FOUND | FILE_OPERATION_FAILED,
         "TC_NOT_FOUND, FILE_OPERATION_FAILED",
         {"TC_NOT_FOUND", "FILE_OPERATION_FAILED"}},
        {FW_UPDATE_FAILED | TC_CONNECTION_LOST | CANCELLED,
         "CANCELLED, TC_CONNECTION_LOST, FW_UPDATE_FAILED",
         {"CANCELLED", "TC_CONNECTION_LOST", "FW_UPDATE_FAILED"}},
        {GET_ENTRIES_FAILED | FILE_OPERATION_FAILED,
         "FILE_OPERATION_FAILED",
         {"FILE_OPERATION_FAILED", "GET_ENTRIES_FAILED"}},
        {CANCEL_FAILED, "CANCEL_FAILED", {"CANCEL_FAILED"}},
        {TC_BUSY | FILE_OPERATION_FAILED | FILE_OR_DIR_NOT_FOUND,
         "FILE_OR_DIR_NOT_FOUND, FILE_OPERATION_FAILED, TC_BUSY",
         {"FILE_OR_DIR_NOT_FOUND", "FILE_OPERATION_FAILED", "TC_BUSY"}},
        {TC_EXPORT_FAILED, "", {"TC_EXPORT_FAILED"}},
        {all, "", allLogged},
    };

    const QString pid = QString::number(QCoreApplication::applicationPid());
    const QRegularExpression line(QStringLiteral("^\\[\\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\] \\[") + pid +
                                  QStringLiteral("\\] CPStateFlag: (\\w+)$"));
    for (const Row& row : rows) {
        const QString expectedText = row.flags == all ? allText : QString::fromUtf8(row.text);
        EXPECT_EQ(Common::stringFromStateFlags(row.flags), expectedText) << row.text;

        QStringList names;
        for (const QString& logged : logLines(row.flags)) {
            const QRegularExpressionMatch match = line.match(logged);
            EXPECT_TRUE(match.hasMatch()) << logged.toStdString();
            names << match.captured(1);
        }
        EXPECT_EQ(names, row.logged) << row.text;
    }
}

} // namespace
