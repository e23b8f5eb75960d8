// Device results: the judged ones through the page's verdict, the others
// with their flags text, and the stub synchroniser playing a device.
#include "tests/app/bridge/device_fixture.h"

#include <functional>

namespace RavoSync::Test {
namespace {

using DeviceResults = DeviceBridgeTest;

using ConnectLib::CPStateFlags;
using Call = std::function<void(JsObject*, CPStateFlags)>;

const CPStateFlags failed = ConnectLib::FILE_OPERATION_FAILED | ConnectLib::TC_BUSY;
const QString failedText = QStringLiteral("FILE_OPERATION_FAILED, TC_BUSY");

struct JudgedRow {
    const char* name;
    Call call;
    const char* success;
    QVariantList successArguments; // with "%flags" for the flags text
    QVariantList failArguments;
};

QVariantList withFlags(QVariantList arguments, const QString& flags)
{
    for (QVariant& argument : arguments) {
        if (argument.userType() == QMetaType::QString && argument.toString() == "%flags")
            argument = flags;
    }
    return arguments;
}

QList<JudgedRow> judgedRows()
{
    return {
        {"readFromLocalDone",
         [](JsObject* b, CPStateFlags f) { b->SLOT_readFromLocalDone(f, QStringLiteral("QUJD")); },
         "SIGNAL_fileRead",
         {"QUJD", "%flags", ""},
         {"QUJD", "%flags", ""}},
        {"writeToLocalDone",
         [](JsObject* b, CPStateFlags f) { b->SLOT_writeToLocalDone(f); },
         "SIGNAL_fileWritten",
         {"", "%flags", ""},
         {"", "%flags", ""}},
        {"mergeDone",
         [](JsObject* b, CPStateFlags f) { b->SLOT_mergeDone(f); },
         "SIGNAL_fileMerged",
         {"", "%flags", ""},
         {"", "%flags", ""}},
        {"dirCreated",
         [](JsObject* b, CPStateFlags f) { b->SLOT_dirCreated(f); },
         "SIGNAL_dirCreated",
         {"", "%flags"},
         {"", "%flags", ""}},
        {"entriesRemoved",
         [](JsObject* b, CPStateFlags f) { b->SLOT_entriesRemoved(f); },
         "SIGNAL_entriesRemoved",
         {"", "%flags", ""},
         {"", "%flags", ""}},
        {"tcTimesSet",
         [](JsObject* b, CPStateFlags f) { b->SLOT_tcTimesSet(f); },
         "SIGNAL_tcTimesSet",
         {"", "%flags", ""},
         {"", "%flags", ""}},
        {"continueWithDevice",
         [](JsObject* b, CPStateFlags f) {
             b->SLOT_continueWithDevice(QStringLiteral("0012ABCD"), f);
         },
         "SIGNAL_continueWithDevice",
         {"0012ABCD", "%flags"},
         {"", "%flags", ""}},
    };
}

TEST_F(DeviceResults, JudgedResultsFollowThePagesVerdict)
{
    for (const JudgedRow& row : judgedRows()) {
        for (const bool pass : {true, false}) {
            SCOPED_TRACE(std::string(row.name) + (pass ? " passing" : " failing"));
            const CPStateFlags flags = pass ? CPStateFlags(ConnectLib::OK) : failed;
            const QString text = pass ? QStringLiteral("OK") : failedText;
            js(QStringLiteral("Stub.verdict = %0; Stub.localReplies = [];")
                   .arg(pass ? QStringLiteral("true") : QStringLiteral("false")));
            m_signals->clear();

            row.call(m_bridge.get(), flags);

            const auto emissions = m_signals->emissions();
            ASSERT_EQ(emissions.size(), 1);
            EXPECT_EQ(emissions[0].name,
                      pass ? QLatin1String(row.success) : QLatin1String("SIGNAL_fail"));
            EXPECT_EQ(emissions[0].arguments,
                      withFlags(pass ? row.successArguments : row.failArguments, text));
            EXPECT_EQ(js(QStringLiteral("JSON.stringify(Stub.localReplies)")).toString(),
                      QStringLiteral("[[\"%0\",true]]").arg(text));
        }
    }
}

TEST_F(DeviceResults, AStoredFalseSparesTheDialogOfTheNextResultOnly)
{
    js(QStringLiteral("Stub.verdict = false; Stub.listen('SIGNAL_fail');"
                      "JSObject.SLOT_readFromLocal('/U/0/S.BPB', 'false');"));
    m_bridge->SLOT_readFromLocalDone(failed, QString());
    m_bridge->SLOT_mergeDone(failed);
    EXPECT_EQ(js(QStringLiteral("JSON.stringify(Stub.localReplies)")).toString(),
              QStringLiteral("[[\"%0\",false],[\"%0\",true]]").arg(failedText));
    EXPECT_EQ(js(QStringLiteral("Stub.calls.SIGNAL_fail.length")).toInt(), 2);
}

TEST_F(DeviceResults, WithoutAPageEveryJudgedResultFails)
{
    // Its destroyed() makes the bridge forget it.
    delete m_bridge->webView();
    m_signals->clear();
    m_bridge->SLOT_writeToLocalDone(ConnectLib::OK);
    const auto emissions = m_signals->emissions();
    ASSERT_FALSE(emissions.isEmpty());
    EXPECT_EQ(emissions.last().name, QStringLiteral("SIGNAL_fail"));
}

TEST_F(DeviceResults, TheWriteResultEmptiesTheLocalBuffer)
{
    for (const bool pass : {true, false}) {
        m_device->localBuffer = QByteArray("kept for one write");
        m_device->useLocalBuffer = true;
        js(QStringLiteral("Stub.verdict = %0;").arg(pass ? "true" : "false"));
        m_bridge->SLOT_writeToLocalDone(pass ? CPStateFlags(ConnectLib::OK) : failed);
        EXPECT_TRUE(m_device->localBuffer.isEmpty());
        EXPECT_FALSE(m_device->useLocalBuffer);
    }
}

struct PassedRow {
    const char* signal;
    Call call;
    QVariantList arguments; // "%flags" for the flags text
};

TEST_F(DeviceResults, UnjudgedResultsPassTheFlagsText)
{
    const QStringList list{QStringLiteral("/U/1/A"), QStringLiteral("/U/1/B")};
    const PassedRow rows[] = {
        {"SIGNAL_tcTimesGet",
         [](JsObject* b, CPStateFlags f) {
             b->SLOT_tcTimesGet(QStringLiteral("2026-12-11T02:40:00Z"),
                                QStringLiteral("2026-12-11T03:40:00"), f);
         },
         {"2026-12-11T02:40:00Z", "2026-12-11T03:40:00", "%flags"}},
        {"SIGNAL_returnFreeSpace",
         [](JsObject* b, CPStateFlags f) { b->SLOT_freeSpaceReceived(9007199254740992ull, f); },
         {qulonglong(9007199254740992ull), "%flags"}},
        {"SIGNAL_cleanupDone",
         [](JsObject* b, CPStateFlags f) { b->SLOT_cleanupDone(1024, f); },
         {qulonglong(1024), "%flags"}},
        {"SIGNAL_batteryStatusReceived",
         [](JsObject* b, CPStateFlags f) { b->SLOT_batteryStatusReceived(-1, f); },
         {-1, "%flags"}},
        {"SIGNAL_backupDone",
         [](JsObject* b, CPStateFlags f) { b->SLOT_backupDone(QStringLiteral("b1"), f); },
         {"b1", "%flags"}},
        {"SIGNAL_backupRevertDone",
         [](JsObject* b, CPStateFlags f) { b->SLOT_backupRevertDone(f); },
         {"%flags"}},
        {"SIGNAL_entriesReceived",
         [list](JsObject* b, CPStateFlags f) { b->SLOT_entriesReceived(list, f); },
         {list, "%flags"}},
        {"SIGNAL_returnSubdirs",
         [list](JsObject* b, CPStateFlags f) { b->SLOT_returnSubdirs(f, list); },
         {list, "%flags"}},
        {"SIGNAL_returnDailyEntries",
         [list](JsObject* b, CPStateFlags f) { b->SLOT_returnDailyEntries(f, list); },
         {list, "%flags"}},
        {"SIGNAL_firmwareDataCopied",
         [](JsObject* b, CPStateFlags f) { b->SLOT_firmwareDataCopied(f); },
         {"%flags"}},
        {"SIGNAL_challengeTokenReceived",
         [](JsObject* b, CPStateFlags) { b->SLOT_challengeTokenReceived(QStringLiteral("tok")); },
         {"tok"}},
    };
    // Names in their fixed order, not the order of the bits; two flags are
    // never named.
    const std::pair<CPStateFlags, QString> flagTexts[] = {
        {ConnectLib::TC_BUSY | ConnectLib::FILE_OPERATION_FAILED |
             ConnectLib::FILE_OR_DIR_NOT_FOUND,
         QStringLiteral("FILE_OR_DIR_NOT_FOUND, FILE_OPERATION_FAILED, TC_BUSY")},
        {ConnectLib::TC_EXPORT_FAILED | ConnectLib::GET_ENTRIES_FAILED, QString()},
        {ConnectLib::OK, QStringLiteral("OK")},
    };
    js(QStringLiteral("Stub.localReplies = [];"));
    for (const PassedRow& row : rows) {
        for (const auto& [flags, text] : flagTexts) {
            SCOPED_TRACE(std::string(row.signal) + " " + text.toStdString());
            m_signals->clear();
            row.call(m_bridge.get(), flags);
            const auto emissions = m_signals->emissions();
            ASSERT_EQ(emissions.size(), 1);
            EXPECT_EQ(emissions[0].name, QLatin1String(row.signal));
            EXPECT_EQ(emissions[0].arguments, withFlags(row.arguments, text));
        }
    }
    // None asked the page for a verdict.
    EXPECT_EQ(js(QStringLiteral("Stub.localReplies.length")).toInt(), 0);
}

TEST_F(DeviceResults, ResultSlotsKeepWhatTheDownloadsRead)
{
    m_device->langsCopyOngoing = true;
    m_bridge->SLOT_freeSpaceReceived(123456789, ConnectLib::OK);
    EXPECT_EQ(m_device->deviceFreeSpace, 123456789u);
    m_bridge->SLOT_firmwareDataCopied(failed);
    EXPECT_FALSE(m_device->langsCopyOngoing);
}

TEST_F(DeviceResults, ListsReachThePageAsArraysAndLargeNumbersExactly)
{
    js(QStringLiteral("Stub.listen('SIGNAL_entriesReceived'); "
                      "Stub.listen('SIGNAL_returnFreeSpace');"));
    m_bridge->SLOT_entriesReceived({QStringLiteral("/a"), QStringLiteral("/b")}, ConnectLib::OK);
    m_bridge->SLOT_freeSpaceReceived(9007199254740992ull, ConnectLib::OK);
    EXPECT_EQ(js(QStringLiteral("JSON.stringify(Stub.calls.SIGNAL_entriesReceived)")).toString(),
              QStringLiteral("[[[\"/a\",\"/b\"],\"OK\"]]"));
    EXPECT_EQ(js(QStringLiteral("JSON.stringify(Stub.calls.SIGNAL_returnFreeSpace)")).toString(),
              QStringLiteral("[[9007199254740992,\"OK\"]]"));
}

TEST_F(DeviceResults, AnUnknownDeviceIsAnsweredBeforeTheRequestReturns)
{
    m_stub->playUnknownDevice();
    // The page's handler has run by the time the request call returns.
    EXPECT_EQ(js(QStringLiteral("Stub.verdict = false; Stub.listen('SIGNAL_fail');"
                                "JSObject.SLOT_readFromLocal('/U/0/S.BPB');"
                                "JSON.stringify(Stub.calls.SIGNAL_fail)"))
                  .toString(),
              QStringLiteral("[[\"\",\"TC_NOT_FOUND, FILE_OPERATION_FAILED\",\"\"]]"));
    EXPECT_EQ(js(QStringLiteral("Stub.listen('SIGNAL_batteryStatusReceived');"
                                "JSObject.SLOT_readBatteryStatus();"
                                "JSON.stringify(Stub.calls.SIGNAL_batteryStatusReceived)"))
                  .toString(),
              QStringLiteral("[[-1,\"GENERAL_ERROR, TC_NOT_FOUND\"]]"));
}

TEST_F(DeviceResults, APlayedDeviceAnswersLater)
{
    StubSynchroniser::DeviceAnswers answers;
    answers.fileData = QStringLiteral("QUJD");
    answers.entries = QStringList{QStringLiteral("/U/1/S/20261211")};
    answers.flagsFor[QStringLiteral("createDir")] = ConnectLib::DIRECTORY_EXISTS;
    m_stub->playDevice(StubSynchroniser::When::Later, answers);
    js(QStringLiteral("Stub.listen('SIGNAL_fileRead'); Stub.listen('SIGNAL_returnSubdirs');"
                      "Stub.verdict = true;"
                      "JSObject.SLOT_readFromLocal('/U/1/S.BPB');"
                      "JSObject.SLOT_getSubdirs('/U/1/S');"));
    // Nothing before control returns to the event loop.
    EXPECT_EQ(js(QStringLiteral("Stub.calls.SIGNAL_fileRead.length")).toInt(), 0);
    ASSERT_TRUE(waitForJs(frame(), QStringLiteral("Stub.calls.SIGNAL_returnSubdirs.length == 1")));
    EXPECT_EQ(js(QStringLiteral("JSON.stringify(Stub.calls.SIGNAL_fileRead)")).toString(),
              QStringLiteral("[[\"QUJD\",\"OK\",\"\"]]"));
    EXPECT_EQ(js(QStringLiteral("JSON.stringify(Stub.calls.SIGNAL_returnSubdirs)")).toString(),
              QStringLiteral("[[[\"/U/1/S/20261211\"],\"OK\"]]"));

    js(QStringLiteral("Stub.listen('SIGNAL_dirCreated'); Stub.listen('SIGNAL_fail');"
                      "Stub.verdict = false; JSObject.SLOT_createDir('/U/1/S');"));
    ASSERT_TRUE(waitForJs(frame(), QStringLiteral("Stub.calls.SIGNAL_fail.length == 1")));
    EXPECT_EQ(js(QStringLiteral("JSON.stringify(Stub.calls.SIGNAL_fail)")).toString(),
              QStringLiteral("[[\"\",\"DIRECTORY_EXISTS\",\"\"]]"));
}

} // namespace
} // namespace RavoSync::Test
