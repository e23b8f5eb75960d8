// The relay: each page request leaves as one provider request with the
// window's device record; each result reaches the page of the window whose
// device it concerns, in the form the pages take.
#include "tests/app/synchronizer/synchronizer_fixture.h"

#include "connectlib/common/common.h"

#include <QNetworkReply>
#include <QRegularExpression>

#include <functional>
#include <vector>

namespace RavoSync::Test {
namespace {

using ConnectLib::Common;
using ConnectLib::CPStateFlags;
using ConnectLib::TCData;

constexpr quint64 ownId = 0x1A2B3C;
constexpr quint64 otherId = 0x99;

QString flagsText(CPStateFlags flags)
{
    return Common::stringFromStateFlags(flags);
}

struct RelayCase {
    const char* name;
    std::function<void(JsObject*)> request;
    const char* providerSlot;
    QVariantList arguments; // after the device record
};

std::vector<RelayCase> relayCases()
{
    const QByteArray binary("\x00\x01\x02\xff", 4);
    return {
        {"Read",
         [](JsObject* b) { emit b->requests()->SIGNAL_readFromFile(QStringLiteral("/U/0/A.BPB")); },
         "readFile",
         {QStringLiteral("/U/0/A.BPB")}},
        {"WriteText",
         [](JsObject* b) {
             emit b->requests()->SIGNAL_writeToFile(QStringLiteral("/A"),
                                                    QStringLiteral("AAEC/w=="));
         },
         "writeFile",
         {QStringLiteral("/A"), binary}},
        {"WriteWrappedText",
         [](JsObject* b) {
             emit b->requests()->SIGNAL_writeToFile(QStringLiteral("/A"),
                                                    QStringLiteral("AA\r\nEC\n/w=="));
         },
         "writeFile",
         {QStringLiteral("/A"), binary}},
        {"WriteBytes",
         [binary](JsObject* b) {
             emit b->requests()->SIGNAL_writeToFile(QStringLiteral("/B"), binary);
         },
         "writeFile",
         {QStringLiteral("/B"), binary}},
        {"Merge",
         [](JsObject* b) {
             emit b->requests()->SIGNAL_mergeToFile(QStringLiteral("/M"), QStringLiteral("aGk="));
         },
         "mergeFile",
         {QStringLiteral("/M"), QByteArray("hi")}},
        {"Subdirs",
         [](JsObject* b) { emit b->requests()->SIGNAL_getSubdirs(QStringLiteral("/U")); },
         "getSubdirectories",
         {QStringLiteral("/U")}},
        {"SubdirsWithoutFile",
         [](JsObject* b) {
             emit b->requests()->SIGNAL_getSubdirsWithoutFile(QStringLiteral("/U"),
                                                              QStringLiteral("F"));
         },
         "getSubdirectoriesWithoutFile",
         {QStringLiteral("/U"), QStringLiteral("F")}},
        {"DailySubdirsWithoutFile",
         [](JsObject* b) {
             emit b->requests()->SIGNAL_getDailySubdirsWithoutFile(QStringLiteral("/D"),
                                                                   QStringLiteral("G"));
         },
         "getDailySubdirectoriesWithoutFile",
         {QStringLiteral("/D"), QStringLiteral("G")}},
        {"DailyEntries",
         [](JsObject* b) { emit b->requests()->SIGNAL_getDailyEntries(QStringLiteral("/E")); },
         "getDailyEntries",
         {QStringLiteral("/E")}},
        {"Entries",
         [](JsObject* b) { emit b->requests()->SIGNAL_getEntries(QStringLiteral("/F")); },
         "getEntries",
         {QStringLiteral("/F")}},
        {"CreateDir",
         [](JsObject* b) { emit b->requests()->SIGNAL_createDir(QStringLiteral("/N")); },
         "createDirectory",
         {QStringLiteral("/N")}},
        {"RemoveEntries",
         [](JsObject* b) {
             emit b->requests()->SIGNAL_removeEntries(
                 {QStringLiteral("/a"), QString(), QStringLiteral("/b")});
         },
         "removeEntries",
         {QStringList{QStringLiteral("/a"), QString(), QStringLiteral("/b")}}},
        {"FreeSpace",
         [](JsObject* b) { emit b->requests()->SIGNAL_getFreeSpace(); },
         "getFreeSpace",
         {}},
        {"CleanupDisk",
         [](JsObject* b) { emit b->requests()->SIGNAL_cleanupDisk(123456789012ull); },
         "cleanupDisk",
         {qulonglong(123456789012ull)}},
        {"Battery",
         [](JsObject* b) { emit b->requests()->SIGNAL_readBatteryStatus(); },
         "readBatteryStatus",
         {}},
        {"GetTimes",
         [](JsObject* b) { emit b->requests()->SIGNAL_getTCTimes(); },
         "getTCTimes",
         {}},
        {"Reset",
         [](JsObject* b) { emit b->requests()->SIGNAL_doReset(true, false); },
         "doReset",
         {true, false}},
        {"StartSync", [](JsObject* b) { emit b->requests()->SIGNAL_startSync(); }, "startSync", {}},
        {"StopSync",
         [](JsObject* b) { emit b->requests()->SIGNAL_stopSync(true); },
         "stopSync",
         {true}},
        {"ChallengeToken",
         [](JsObject* b) {
             emit b->requests()->SIGNAL_generateChallengeToken(7u, QByteArray("nonce"));
         },
         "generateChallengeToken",
         {7u, QByteArray("nonce")}},
        {"UpdateFirmware",
         [](JsObject* b) {
             emit b->requests()->SIGNAL_updateFirmware(QStringLiteral("/f.zip"), true);
         },
         "updateFW",
         {QStringLiteral("/f.zip"), true}},
        {"InstallUpdate",
         [](JsObject* b) {
             emit b->requests()->SIGNAL_ZFTP_installUpdate(QStringLiteral("/u.zip"), false);
         },
         "ZFTP_installUpdate",
         {QStringLiteral("/u.zip"), false}},
        {"CopyFirmwareData",
         [](JsObject* b) { emit b->requests()->SIGNAL_copyFirmwareData(QStringLiteral("/SYS")); },
         "copyFirmwareData",
         {QStringLiteral("/SYS")}},
        {"Backup",
         [](JsObject* b) {
             emit b->requests()->SIGNAL_doBackup(QStringLiteral("/U/0"), QStringLiteral("a"),
                                                 QStringLiteral("b"));
         },
         "doBackup",
         {QStringLiteral("/U/0"), QStringLiteral("a"), QStringLiteral("b")}},
        {"RevertBackup",
         [](JsObject* b) { emit b->requests()->SIGNAL_revertBackup(QStringLiteral("/bk")); },
         "revertBackup",
         {QStringLiteral("/bk")}},
    };
}

class RequestRelay : public SynchronizerTest, public ::testing::WithParamInterface<RelayCase> {};

TEST_P(RequestRelay, OneProviderRequestWithTheRecordAndTheArguments)
{
    takeDevice(ownId);
    GetParam().request(bridge());
    ASSERT_EQ(m_provider.calls().size(), 1);
    const FakeProvider::Call& call = m_provider.calls().front();
    EXPECT_EQ(call.name, QString::fromLatin1(GetParam().providerSlot));
    ASSERT_FALSE(call.arguments.isEmpty());
    const TCData record = call.arguments.front().value<TCData>();
    EXPECT_EQ(record.deviceId(), ownId);
    EXPECT_EQ(record.model(), m_sync->tcData().model());
    EXPECT_EQ(record.firmware(), m_sync->tcData().firmware());
    EXPECT_EQ(call.arguments.mid(1), GetParam().arguments);
}

INSTANTIATE_TEST_SUITE_P(Table, RequestRelay, ::testing::ValuesIn(relayCases()),
                         [](const ::testing::TestParamInfo<RelayCase>& info) {
                             return std::string(info.param.name);
                         });

class Relay : public SynchronizerTest {};

TEST_F(Relay, AWindowWithoutDeviceSendsNoSyncStartOrStop)
{
    emit bridge()->requests()->SIGNAL_startSync();
    emit bridge()->requests()->SIGNAL_stopSync(false);
    EXPECT_TRUE(m_provider.calls().isEmpty());
    // Other requests still leave, with the empty record.
    emit bridge()->requests()->SIGNAL_getFreeSpace();
    ASSERT_EQ(m_provider.callNames(), QStringList{QStringLiteral("getFreeSpace")});
    EXPECT_EQ(m_provider.calls().front().arguments.front().value<TCData>().deviceId(), 0u);
}

TEST_F(Relay, TextOutsideTheBase64AlphabetIsRefusedWithAFailedResult)
{
    takeDevice(ownId);
    loadStubPage({QStringLiteral("SIGNAL_fail"), QStringLiteral("SIGNAL_fileWritten"),
                  QStringLiteral("SIGNAL_fileMerged")});
    evalJs(frame(), QStringLiteral("Stub.verdict = false"));
    emit bridge()->requests()->SIGNAL_writeToFile(QStringLiteral("/A"), QStringLiteral("aGV$bG8="));
    emit bridge()->requests()->SIGNAL_mergeToFile(QStringLiteral("/M"), QStringLiteral("aGk=!"));
    emit bridge()->requests()->SIGNAL_writeOfflineFile(QStringLiteral("x.txt"),
                                                       QStringLiteral("a*b"));
    EXPECT_TRUE(m_provider.calls().isEmpty());
    const QString failed = flagsText(ConnectLib::GENERAL_ERROR | ConnectLib::FILE_OPERATION_FAILED);
    EXPECT_EQ(
        pageCalls(QStringLiteral("SIGNAL_fail")),
        QStringLiteral("[[\"\",\"%1\",\"\"],[\"\",\"%1\",\"\"],[\"\",\"%1\",\"\"]]").arg(failed));
    EXPECT_EQ(m_log.lines().filter(QStringLiteral("is not valid Base64")).size(), 3);
}

TEST_F(Relay, AResultOfAnotherDeviceIsDroppedWithALine)
{
    takeDevice(ownId);
    loadStubPage({QStringLiteral("SIGNAL_fileRead"), QStringLiteral("SIGNAL_fail")});
    emit m_provider.SIGNAL_fileRead(deviceRecord(otherId), QByteArray("abc"), ConnectLib::OK);
    EXPECT_TRUE(m_log.contains(QStringLiteral("Received signal from different device. Mine %1 "
                                              "received %2")
                                   .arg(ownId)
                                   .arg(otherId)));
    EXPECT_EQ(pageCalls(QStringLiteral("SIGNAL_fileRead")), QStringLiteral("[]"));
    EXPECT_EQ(pageCalls(QStringLiteral("SIGNAL_fail")), QStringLiteral("[]"));
}

TEST_F(Relay, TheWindowWithoutDeviceHearsEveryDeviceButTakesNoResultOfOne)
{
    loadStubPage({QStringLiteral("SIGNAL_tcAppeared"), QStringLiteral("SIGNAL_fileRead"),
                  QStringLiteral("SIGNAL_fail")});
    emit m_provider.SIGNAL_TCAppeared(deviceRecord(otherId));
    EXPECT_EQ(pageCalls(QStringLiteral("SIGNAL_tcAppeared")),
              QStringLiteral("[[\"153\",\"00000099\",\"ZarvoV650\"]]"));
    emit m_provider.SIGNAL_fileRead(deviceRecord(otherId), QByteArray("abc"), ConnectLib::OK);
    EXPECT_TRUE(m_log.contains(
        QStringLiteral("Received signal from different device. Mine 0 received %1").arg(otherId)));
    EXPECT_EQ(pageCalls(QStringLiteral("SIGNAL_fileRead")), QStringLiteral("[]"));
    // Its own requests' answers (the empty record) do reach it.
    emit m_provider.SIGNAL_fileRead(TCData(), QByteArray(), ConnectLib::TC_NOT_FOUND);
    EXPECT_EQ(pageCalls(QStringLiteral("SIGNAL_fileRead")),
              QStringLiteral("[[\"\",\"%1\",\"\"]]").arg(flagsText(ConnectLib::TC_NOT_FOUND)));
}

// A download that runs until it is aborted.
class HangingReply : public QNetworkReply {
public:
    HangingReply() { open(QIODevice::ReadOnly); }
    void abort() override
    {
        aborted = true;
        setFinished(true);
    }
    bool aborted = false;

protected:
    qint64 readData(char*, qint64) override { return -1; }
};

// The bridge's firmware download state, reached as its downloads reach it.
struct FirmwareDownload : JsObject {
    static void arm(JsObject* bridge, QNetworkReply* reply)
    {
        bridge->*(&FirmwareDownload::_fwUpdateReply) = reply;
        bridge->*(&FirmwareDownload::fwDownloadAborted) = false;
        bridge->*(&FirmwareDownload::fwUpdateReplyDeleted) = false;
    }
    static CPStateFlags cancelFlags(JsObject* bridge)
    {
        return bridge->*(&FirmwareDownload::fwCancelFlags);
    }
};

TEST_F(Relay, ADisappearanceCancelsTheFirmwareDownloadBeforeThePageHears)
{
    takeDevice(ownId);
    loadStubPage({QStringLiteral("SIGNAL_tcDisappeared")});
    HangingReply reply;
    FirmwareDownload::arm(bridge(), &reply);
    emit m_provider.SIGNAL_TCDisappeared(deviceRecord(ownId));
    EXPECT_TRUE(reply.aborted);
    EXPECT_EQ(FirmwareDownload::cancelFlags(bridge()),
              CPStateFlags(ConnectLib::TC_CONNECTION_LOST));
    const QStringList lines = m_log.lines();
    const int cancel = lines.indexOf(QStringLiteral("SLOT_cancelFWDownload: abort _fwUpdateReply"));
    const int heard = lines.indexOf(QRegularExpression(QStringLiteral("Device disappeared: .*")));
    ASSERT_GE(cancel, 0);
    EXPECT_GT(heard, cancel);
    EXPECT_EQ(evalJs(frame(), QStringLiteral("Stub.calls['SIGNAL_tcDisappeared'].length")).toInt(),
              1);
}

ConnectLib::TCEntryItem entryTree()
{
    ConnectLib::TCEntryItem root(QStringLiteral("/A"), ConnectLib::TCEntryItem::Directory,
                                 QStringLiteral("/A"), {}, {}, {}, 0, nullptr);
    root.appendChild(
        new ConnectLib::TCEntryItem(QStringLiteral("EMPTY.BPB"), ConnectLib::TCEntryItem::File,
                                    QStringLiteral("/A/EMPTY.BPB"), {}, {}, {}, 0, &root));
    root.appendChild(new ConnectLib::TCEntryItem(QStringLiteral("SUB"),
                                                 ConnectLib::TCEntryItem::Directory,
                                                 QStringLiteral("/A/SUB"), {}, {}, {}, 0, &root));
    root.appendChild(
        new ConnectLib::TCEntryItem(QStringLiteral("TEN.BPB"), ConnectLib::TCEntryItem::File,
                                    QStringLiteral("/A/TEN.BPB"), {}, {}, {}, 10, &root));
    return root;
}

struct ResultCase {
    const char* name;
    std::function<void(FakeProvider&, const TCData&)> result;
    const char* pageSignal;
    QString expected; // the page's recorded calls as JSON
};

std::vector<ResultCase> resultCases()
{
    const QString ok = flagsText(ConnectLib::OK);
    const QDateTime utc(QDate(2024, 1, 2), QTime(3, 4, 5), Qt::UTC);
    const QDateTime local(QDate(2024, 1, 2), QTime(5, 4, 5), Qt::OffsetFromUTC, 7200);
    return {
        {"ReadAsPaddedBase64",
         [](FakeProvider& p, const TCData& r) {
             emit p.SIGNAL_fileRead(r, QByteArray("\x00\x01hello", 7), ConnectLib::OK);
         },
         "SIGNAL_fileRead", QStringLiteral("[[\"AAFoZWxsbw==\",\"%1\",\"\"]]").arg(ok)},
        {"EmptyReadAsEmptyText",
         [](FakeProvider& p, const TCData& r) {
             emit p.SIGNAL_fileRead(r, QByteArray(), ConnectLib::OK);
         },
         "SIGNAL_fileRead", QStringLiteral("[[\"\",\"%1\",\"\"]]").arg(ok)},
        {"OfflineReadUpToItsFirstZero",
         [](FakeProvider& p, const TCData&) {
             emit p.SIGNAL_offLineFileRead(QByteArray("ab\xc3\xa9\x00zz", 7), ConnectLib::OK);
         },
         "SIGNAL_fileRead", QStringLiteral("[[\"ab\u00e9\",\"%1\",\"\"]]").arg(ok)},
        {"EntriesOnlyFilesWithContent",
         [](FakeProvider& p, const TCData& r) {
             emit p.SIGNAL_entriesReceived(r, entryTree(), ConnectLib::OK);
         },
         "SIGNAL_entriesReceived", QStringLiteral("[[[\"/A/TEN.BPB\"],\"%1\"]]").arg(ok)},
        {"ClockTimesAsIsoText",
         [utc, local](FakeProvider& p, const TCData& r) {
             emit p.SIGNAL_tcTimesGet(r, utc, local, ConnectLib::OK);
         },
         "SIGNAL_tcTimesGet",
         QStringLiteral("[[\"2024-01-02T03:04:05Z\",\"2024-01-02T05:04:05+02:00\",\"%1\"]]")
             .arg(ok)},
        {"Subdirs",
         [](FakeProvider& p, const TCData& r) {
             emit p.SIGNAL_subdirectoriesReceived(r, {QStringLiteral("/U/0")}, ConnectLib::OK);
         },
         "SIGNAL_returnSubdirs", QStringLiteral("[[[\"/U/0\"],\"%1\"]]").arg(ok)},
        {"DailyEntries",
         [](FakeProvider& p, const TCData& r) {
             emit p.SIGNAL_getDailyEntriesReceived(r, {QStringLiteral("/D/1")}, ConnectLib::OK);
         },
         "SIGNAL_returnDailyEntries", QStringLiteral("[[[\"/D/1\"],\"%1\"]]").arg(ok)},
        {"FreeSpace",
         [](FakeProvider& p, const TCData& r) {
             emit p.SIGNAL_freeSpaceReceived(r, 4096, ConnectLib::OK);
         },
         "SIGNAL_returnFreeSpace", QStringLiteral("[[4096,\"%1\"]]").arg(ok)},
        {"ChallengeTokenWithoutFlags",
         [](FakeProvider& p, const TCData& r) {
             emit p.SIGNAL_challengeTokenReceived(r, QStringLiteral("tok"),
                                                  ConnectLib::GENERAL_ERROR);
         },
         "SIGNAL_challengeTokenReceived", QStringLiteral("[[\"tok\"]]")},
        {"Backup",
         [](FakeProvider& p, const TCData& r) {
             emit p.SIGNAL_backupDone(r, QStringLiteral("/bk"), ConnectLib::OK);
         },
         "SIGNAL_backupDone", QStringLiteral("[[\"/bk\",\"%1\"]]").arg(ok)},
        {"Battery",
         [](FakeProvider& p, const TCData& r) {
             emit p.SIGNAL_batteryStatusReceived(r, 80, ConnectLib::OK);
         },
         "SIGNAL_batteryStatusReceived", QStringLiteral("[[80,\"%1\"]]").arg(ok)},
        {"OfflineWriteAsWriteResult",
         [](FakeProvider& p, const TCData&) { emit p.SIGNAL_offLineFileWrote(ConnectLib::OK); },
         "SIGNAL_fileWritten", QStringLiteral("[[\"\",\"%1\",\"\"]]").arg(ok)},
        {"InstallUpdateContinues",
         [](FakeProvider& p, const TCData& r) {
             emit p.SIGNAL_ZFTP_installUpdateComplete(r, ConnectLib::OK);
         },
         "SIGNAL_continueWithDevice", QStringLiteral("[[\"001A2B3C\",\"%1\"]]").arg(ok)},
        {"FailedFirmwareUpdateFails",
         [](FakeProvider& p, const TCData& r) {
             emit p.SIGNAL_firmwareUpdated(r, ConnectLib::GENERAL_ERROR |
                                                  ConnectLib::FW_UPDATE_FAILED);
         },
         "SIGNAL_fail",
         QStringLiteral("[[\"\",\"%1\",\"\"]]")
             .arg(flagsText(ConnectLib::GENERAL_ERROR | ConnectLib::FW_UPDATE_FAILED))},
        {"SuccessfulFirmwareUpdateSaysNothing",
         [](FakeProvider& p, const TCData& r) { emit p.SIGNAL_firmwareUpdated(r, ConnectLib::OK); },
         "SIGNAL_continueWithDevice", QStringLiteral("[]")},
    };
}

class Results : public SynchronizerTest, public ::testing::WithParamInterface<ResultCase> {};

TEST_P(Results, ReachThePageInItsForm)
{
    takeDevice(ownId);
    const QString signal = QString::fromLatin1(GetParam().pageSignal);
    loadStubPage({signal});
    // The page judges failures as failures.
    evalJs(frame(), QStringLiteral("App.Common.parseLocalReply = function (f) { "
                                   "return f.indexOf('OK') >= 0; }"));
    GetParam().result(m_provider, m_sync->tcData());
    EXPECT_EQ(pageCalls(signal), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, Results, ::testing::ValuesIn(resultCases()),
                         [](const ::testing::TestParamInfo<ResultCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
} // namespace RavoSync::Test
