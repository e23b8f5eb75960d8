// The pages' device requests, called from page script as the pages call
// them: each gives exactly one request with the converted arguments.
#include "tests/app/bridge/device_fixture.h"

#include "connectlib/common/common.h"

#include <QDateTime>
#include <QSet>

#include <limits>

namespace RavoSync::Test {
namespace {

using DeviceRequests = DeviceBridgeTest;

// Equal in type as well as value: a write of the local buffer must be the
// byte-array request, not the text one.
bool sameArguments(const QVariantList& actual, const QVariantList& expected)
{
    if (actual.size() != expected.size())
        return false;
    for (int i = 0; i < actual.size(); ++i) {
        if (actual[i].userType() != expected[i].userType() || actual[i] != expected[i])
            return false;
    }
    return true;
}

QString describe(const QVariantList& arguments)
{
    QStringList parts;
    for (const QVariant& argument : arguments) {
        parts.append(QString::fromLatin1(argument.typeName()) + QStringLiteral(":") +
                     argument.toStringList().join(QLatin1Char('|')) + argument.toString());
    }
    return parts.join(QStringLiteral(", "));
}

struct RequestRow {
    const char* call;   // page script
    const char* record; // request as the synchroniser receives it
    QVariantList arguments;
    bool stores = false; // stores showErrorDialog
    const char* stored = "true";
    const char* contentType = ""; // of the last download, for the offline writes
};

const QByteArray buffer("\x00\x01map bytes\xff", 13);
const QString mapType = QStringLiteral("application/x-zarvo-map");

QList<RequestRow> requestRows()
{
    return {
        {"SLOT_readFromLocal('/U/0/S.BPB', 'false')",
         "readFromFile",
         {"/U/0/S.BPB"},
         true,
         "false"},
        {"SLOT_readFromLocal('/U/0/S.BPB')", "readFromFile", {"/U/0/S.BPB"}, true, "true"},
        {"SLOT_readFromLocal('/a', 'yes')", "readFromFile", {"/a"}, true, "true"},
        {"SLOT_read('/a', 'false')", "readFromFile", {"/a"}, true, "false"},
        {"SLOT_read('/a')", "readFromFile", {"/a"}, true, "true"},
        {"SLOT_readOfflineFile('route.bin', 'false')",
         "readOfflineFile",
         {"route.bin"},
         true,
         "false"},
        {"SLOT_readOfflineFile('route.bin')", "readOfflineFile", {"route.bin"}, true, "true"},
        {"SLOT_writeToLocal('/a', 'QUJD', 'false')", "writeToFile", {"/a", "QUJD"}, true, "false"},
        {"SLOT_writeToLocal('/a', 'QUJD')", "writeToFile", {"/a", "QUJD"}, true, "true"},
        {"SLOT_writeToLocal('/a', 'QUJD', 'false', false)",
         "writeToFile",
         {"/a", "QUJD"},
         true,
         "false"},
        {"SLOT_writeToLocal('/a', 'QUJD', 'true', true)",
         "writeToFile",
         {"/a", buffer},
         true,
         "true"},
        {"SLOT_write('/a', 'QUJD', 'false')", "writeToFile", {"/a", "QUJD"}, true, "false"},
        {"SLOT_write('/a', 'QUJD')", "writeToFile", {"/a", "QUJD"}, true, "true"},
        {"SLOT_writeOfflineFile('f.bin', 'QUJD', 'false')",
         "writeOfflineFile",
         {"f.bin", "QUJD"},
         true,
         "false"},
        {"SLOT_writeOfflineFile('f.bin', 'QUJD')",
         "writeOfflineFile",
         {"f.bin", "QUJD"},
         true,
         "true"},
        {"SLOT_writeOfflineFileToTC('f.bin', 'QUJD', 'false', 'application/x-zarvo-map')",
         "writeOfflineToTCFile",
         {"f.bin", buffer},
         true,
         "false"},
        {"SLOT_merge('/a', 'QUJD', 'false')", "mergeToFile", {"/a", "QUJD"}, true, "false"},
        {"SLOT_merge('/a', 'QUJD')", "mergeToFile", {"/a", "QUJD"}, true, "true"},
        {"SLOT_createDir('/U/1/D')", "createDir", {"/U/1/D"}},
        {"SLOT_removeEntries('a,,b')", "removeEntries", {QStringList{"a", "", "b"}}},
        {"SLOT_removeEntries('')", "removeEntries", {QStringList{""}}},
        {"SLOT_removeEntries('/U/1/A.BPB')", "removeEntries", {QStringList{"/U/1/A.BPB"}}},
        {"SLOT_getSubdirs('/U/1')", "getSubdirs", {"/U/1"}},
        {"SLOT_getSubdirsWithoutFile('/U/1', 'E.BPB')", "getSubdirsWithoutFile", {"/U/1", "E.BPB"}},
        {"SLOT_getDailySubdirsWithoutFile('/U/1', 'D.BPB')",
         "getDailySubdirsWithoutFile",
         {"/U/1", "D.BPB"}},
        {"SLOT_getDailyEntries('/U/1')", "getDailyEntries", {"/U/1"}},
        {"SLOT_getEntries('/U/1/S')", "getEntries", {"/U/1/S"}},
        {"SLOT_getFreeSpace()", "getFreeSpace", {}},
        {"SLOT_cleanupDisk(5000000000)", "cleanupDisk", {qulonglong(5000000000)}},
        {"SLOT_readBatteryStatus()", "readBatteryStatus", {}},
        {"SLOT_setTCTimes('2026-12-11T02:40:00Z', true, '2026-12-11T03:40:00', 60)",
         "setTCTimes",
         {"2026-12-11T02:40:00Z", true, "2026-12-11T03:40:00", 60}},
        {"SLOT_getTCTimes()", "getTCTimes", {}},
        {"SLOT_doReset(true)", "doReset", {true, true}},
        {"SLOT_doReset(false, false)", "doReset", {false, false}},
        {"SLOT_doFactoryReset(false)", "doReset", {false, true}},
        {"SLOT_generateChallengeToken('4294967295', 'n\\u00e9')",
         "generateChallengeToken",
         {uint(4294967295u), QByteArray("n\xe9")}},
        {"SLOT_generateChallengeToken('42', '')",
         "generateChallengeToken",
         {uint(42), QByteArray()}},
        {"SLOT_startSync()", "startSync", {}},
        {"SLOT_stopSync(true)", "stopSync", {true}},
        {"SLOT_updateFirmware('/tmp/fw.zip', false)", "updateFirmware", {"/tmp/fw.zip", false}},
        {"SLOT_ZFTP_installUpdate('/tmp/update.zip')",
         "ZFTP_installUpdate",
         {"/tmp/update.zip", true}},
        {"SLOT_ZFTP_installUpdate('/tmp/update.zip', false)",
         "ZFTP_installUpdate",
         {"/tmp/update.zip", false}},
        {"SLOT_copyFirmwareData('/SYS')", "copyFirmwareData", {"/SYS"}},
        {"SLOT_doBackup('/U,/SYS', '/', 'b1')", "doBackup", {"/U,/SYS", "/", "b1"}},
        {"SLOT_revertBackup('b1')", "revertBackup", {"b1"}},
        {"SLOT_startSyncWithDevice('123456')", "startSyncWithDevice", {qulonglong(123456)}},
        {"SLOT_startSyncWithDevice('18446744073709551615')",
         "startSyncWithDevice",
         {std::numeric_limits<qulonglong>::max()}},
        {"SLOT_startSyncWithDevice('x1')", "startSyncWithDevice", {qulonglong(0)}},
        {"SLOT_startSyncWithDevice('-1')", "startSyncWithDevice", {qulonglong(0)}},
        {"SLOT_startSyncWithDevice('')", "startSyncWithDevice", {qulonglong(0)}},
    };
}

TEST_F(DeviceRequests, EachRequestEmitsOneSignalWithConvertedArguments)
{
    QSet<QString> slotsCalled;
    for (const RequestRow& row : requestRows()) {
        SCOPED_TRACE(row.call);
        const QString call = QString::fromLatin1(row.call);
        slotsCalled.insert(call.left(call.indexOf(QLatin1Char('('))));
        m_device->localBuffer = buffer;
        m_device->downloadContentType = QString::fromLatin1(row.contentType);
        // A request that stores must replace the value; one that does not
        // must leave it.
        const QString before = row.stores && QLatin1String(row.stored) == QLatin1String("false")
                                   ? QStringLiteral("true")
                                   : QStringLiteral("false");
        m_bridge->storeShowErrorDialog(before);
        m_stub->clearCalls();
        m_signals->clear();

        js(QStringLiteral("JSObject.") + call);

        ASSERT_EQ(m_stub->calls().size(), 1)
            << m_stub->callNames().join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(m_stub->calls()[0].name, QLatin1String(row.record));
        EXPECT_TRUE(sameArguments(m_stub->calls()[0].arguments, row.arguments))
            << describe(m_stub->calls()[0].arguments).toStdString();
        EXPECT_EQ(m_signals->emissions().size(), 1);
        EXPECT_EQ(m_bridge->showErrorDialogValue(),
                  row.stores ? QLatin1String(row.stored) : before);
    }
    EXPECT_EQ(slotsCalled.size(), 31);
}

TEST_F(DeviceRequests, WriteFromTheLocalBufferSetsTheFlagAndATextWriteClearsIt)
{
    m_device->localBuffer = buffer;
    js(QStringLiteral("JSObject.SLOT_writeToLocal('/a', '', 'true', true)"));
    EXPECT_TRUE(m_device->useLocalBuffer);
    js(QStringLiteral("JSObject.SLOT_writeToLocal('/a', 'QUJD')"));
    EXPECT_FALSE(m_device->useLocalBuffer);
    // Only the write result empties the buffer.
    EXPECT_EQ(m_device->localBuffer, buffer);
}

struct RefusalRow {
    const char* call;
    const char* signal;
    QVariantList arguments;
    const char* logLine;
};

TEST_F(DeviceRequests, RefusedRequestsAnswerAtOnceWithoutARequest)
{
    const RefusalRow rows[] = {
        {"SLOT_generateChallengeToken('-1', 'n')",
         "SIGNAL_challengeTokenReceived",
         {""},
         "Could not convert userId to int."},
        {"SLOT_generateChallengeToken('12a', 'n')",
         "SIGNAL_challengeTokenReceived",
         {""},
         "Could not convert userId to int."},
        {"SLOT_generateChallengeToken('4294967296', 'n')",
         "SIGNAL_challengeTokenReceived",
         {""},
         "Could not convert userId to int."},
        {"SLOT_generateChallengeToken('', 'n')",
         "SIGNAL_challengeTokenReceived",
         {""},
         "Could not convert userId to int."},
        {"SLOT_writeOfflineFileToTC('f.bin', 'QUJD', 'false', 'application/octet-stream')",
         "SIGNAL_fail",
         {"", "INVALID_PARAMETER", ""},
         "Cannot write an offline file of content type \"application/octet-stream\" to the "
         "device: f.bin"},
        {"SLOT_writeOfflineFileToTC('f.bin', 'QUJD')",
         "SIGNAL_fail",
         {"", "INVALID_PARAMETER", ""},
         "Cannot write an offline file of content type \"\" to the device: f.bin"},
    };
    for (const RefusalRow& row : rows) {
        SCOPED_TRACE(row.call);
        m_device->localBuffer = buffer;
        m_stub->clearCalls();
        m_signals->clear();
        js(QStringLiteral("JSObject.") + QLatin1String(row.call));
        EXPECT_TRUE(m_stub->calls().isEmpty());
        const auto emissions = m_signals->emissions();
        ASSERT_EQ(emissions.size(), 1);
        EXPECT_EQ(emissions[0].name, QLatin1String(row.signal));
        EXPECT_TRUE(sameArguments(emissions[0].arguments, row.arguments));
        EXPECT_TRUE(m_log.contains(QLatin1String(row.logLine)));
    }
    // The refused write's "false" was not kept for someone else's result.
    EXPECT_EQ(m_bridge->showErrorDialogValue(), QStringLiteral("true"));
}

TEST_F(DeviceRequests, TimeServices)
{
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
    const QString text = js(QStringLiteral("JSObject.SLOT_getComputerTime()")).toString();
    const QDateTime read = QDateTime::fromString(text, Qt::ISODate);
    EXPECT_TRUE(text.endsWith(QLatin1Char('Z'))) << text.toStdString();
    EXPECT_GE(read, before);
    EXPECT_LE(read, QDateTime::currentDateTimeUtc().addSecs(1));
    EXPECT_EQ(js(QStringLiteral("JSObject.SLOT_getTimezoneMinutes()")).toInt(),
              ConnectLib::Common::getTimezoneMinutes());
}

} // namespace
} // namespace RavoSync::Test
