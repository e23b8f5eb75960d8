// The provider's request side: answers for devices that are not registered,
// the signatures the program connects by, requests reaching a registered
// device's worker, offline storage and the local pseudo-device.
#include "tests/connectlib/provider/provider_fixture.h"

#include "tests/connectlib/support/ktlib_test_support.h"
#include "tests/support/latch.h"

#include <QDir>
#include <QFile>
#include <QMetaMethod>
#include <QSignalSpy>

#include <limits>
#include <memory>

namespace ConnectLib::Test {
namespace {

TCData requestRecord(quint64 id)
{
    return TCData(id, QStringLiteral("asked"), QStringLiteral("Model X"), true,
                  QStringLiteral("HID"), QStringLiteral("1.2.3"), QString(), QString(),
                  QStringLiteral("red"), QString(), OK);
}

// One spy on every signal of the provider.
class AllSignals {
public:
    explicit AllSignals(ConnectionProvider* provider)
    {
        const QMetaObject* meta = provider->metaObject();
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            const QMetaMethod method = meta->method(i);
            if (method.methodType() != QMetaMethod::Signal)
                continue;
            const QByteArray signature = QByteArray("2") + method.methodSignature();
            m_spies.emplace_back(method.methodSignature(),
                                 std::make_unique<QSignalSpy>(provider, signature.constData()));
        }
    }

    // signature -> emissions, for the signals that were emitted.
    std::map<QByteArray, QList<QVariantList>> emitted() const
    {
        std::map<QByteArray, QList<QVariantList>> out;
        for (const auto& [signature, spy] : m_spies) {
            if (!spy->isEmpty())
                out[signature] = *spy;
        }
        return out;
    }

private:
    std::vector<std::pair<QByteArray, std::unique_ptr<QSignalSpy>>> m_spies;
};

CPStateFlags flagsIn(const QVariantList& arguments)
{
    return qvariant_cast<CPStateFlags>(arguments.last());
}

struct UnregisteredCase {
    const char* name;
    std::function<void(ConnectionProvider&, const TCData&)> request;
    // Empty when nothing may be emitted.
    QByteArray signal;
    int flags;
    // The values between the record and the flags; an invalid one is not
    // compared (the empty entry tree).
    QVariantList extras;
};

class Unregistered : public ProviderTest {
protected:
    void SetUp() override
    {
        ProviderTest::SetUp();
        createProvider();
    }
};

TEST_F(Unregistered, EveryRequestIsAnsweredAtOnceWithTheRequestsRecord)
{
    const QStringList noList;
    const std::vector<UnregisteredCase> cases = {
        {"readFile",
         [](auto& p, auto& d) { p.SLOT_readFile(d, "/a"); },
         "SIGNAL_fileRead(ConnectLib::TCData,QByteArray,ConnectLib::CPStateFlags)",
         0x18,
         {QByteArray()}},
        {"writeFile",
         [](auto& p, auto& d) { p.SLOT_writeFile(d, "/a", "x"); },
         "SIGNAL_fileWrote(ConnectLib::TCData,qlonglong,ConnectLib::CPStateFlags)",
         0x18,
         {qlonglong(0)}},
        {"writeOfflineFileToTC",
         [](auto& p, auto& d) { p.SLOT_writeOfflineFileToTC(d, "/s", "/a", "x"); },
         "SIGNAL_fileWrote(ConnectLib::TCData,qlonglong,ConnectLib::CPStateFlags)",
         0x18,
         {qlonglong(0)}},
        {"mergeFile",
         [](auto& p, auto& d) { p.SLOT_mergeFile(d, "/a", "x"); },
         "SIGNAL_fileMerged(ConnectLib::TCData,ConnectLib::CPStateFlags)",
         0x18,
         {}},
        {"createDirectory",
         [](auto& p, auto& d) { p.SLOT_createDirectory(d, "/a/"); },
         "SIGNAL_directoryCreated(ConnectLib::TCData,ConnectLib::CPStateFlags)",
         0x18,
         {}},
        {"removeFile",
         [](auto& p, auto& d) { p.SLOT_removeFile(d, "/a"); },
         "SIGNAL_fileRemoved(ConnectLib::TCData,ConnectLib::CPStateFlags)",
         0x18,
         {}},
        {"removeDirectory",
         [](auto& p, auto& d) { p.SLOT_removeDirectory(d, "/a/"); },
         "SIGNAL_directoryRemoved(ConnectLib::TCData,ConnectLib::CPStateFlags)",
         0x18,
         {}},
        {"removeEntry",
         [](auto& p, auto& d) { p.SLOT_removeEntry(d, "/a"); },
         "SIGNAL_entryRemoved(ConnectLib::TCData,ConnectLib::CPStateFlags)",
         0x18,
         {}},
        {"removeEntries",
         [](auto& p, auto& d) { p.SLOT_removeEntries(d, {"/a"}); },
         "SIGNAL_entriesRemoved(ConnectLib::TCData,ConnectLib::CPStateFlags)",
         0x18,
         {}},
        {"getEntries",
         [](auto& p, auto& d) { p.SLOT_getEntries(d, "/"); },
         "SIGNAL_entriesReceived(ConnectLib::TCData,ConnectLib::TCEntryItem,ConnectLib::"
         "CPStateFlags)",
         0x4000008,
         {QVariant()}},
        {"getSubdirectories",
         [](auto& p, auto& d) { p.SLOT_getSubdirectories(d, "/"); },
         "SIGNAL_subdirectoriesReceived(ConnectLib::TCData,QStringList,ConnectLib::CPStateFlags)",
         0x108,
         {noList}},
        {"getSubdirectoriesWithoutFile",
         [](auto& p, auto& d) { p.SLOT_getSubdirectoriesWithoutFile(d, "/", "F"); },
         "SIGNAL_subdirectoriesReceived(ConnectLib::TCData,QStringList,ConnectLib::CPStateFlags)",
         0x108,
         {noList}},
        {"getDailySubdirectoriesWithoutFile",
         [](auto& p, auto& d) { p.SLOT_getDailySubdirectoriesWithoutFile(d, "/"); },
         "SIGNAL_subdirectoriesReceived(ConnectLib::TCData,QStringList,ConnectLib::CPStateFlags)",
         0x108,
         {noList}},
        {"getDailyEntries",
         [](auto& p, auto& d) { p.SLOT_getDailyEntries(d, "/"); },
         "SIGNAL_getDailyEntriesReceived(ConnectLib::TCData,QStringList,ConnectLib::CPStateFlags)",
         0x108,
         {noList}},
        {"getTCDirSize",
         [](auto& p, auto& d) { p.SLOT_getTCDirSize(d, "/"); },
         "SIGNAL_tcDirSizeReceived(ConnectLib::TCData,qulonglong,ConnectLib::CPStateFlags)",
         0x18,
         {std::numeric_limits<qulonglong>::max()}},
        {"getTimestamp",
         [](auto& p, auto& d) { p.SLOT_getTimestamp(d); },
         "SIGNAL_timestampReceived(ConnectLib::TCData,QDateTime,ConnectLib::CPStateFlags)",
         0x208,
         {QDateTime()}},
        {"getCurrentUserData",
         [](auto& p, auto& d) { p.SLOT_getCurrentUserData(d); },
         "SIGNAL_currentUserDataReceived(ConnectLib::TCData,QString,uint,qulonglong,ConnectLib::"
         "CPStateFlags)",
         0x408,
         {QString(), 0u, qulonglong(0)}},
        {"generateChallengeToken",
         [](auto& p, auto& d) { p.SLOT_generateChallengeToken(d, 1, "00"); },
         "SIGNAL_challengeTokenReceived(ConnectLib::TCData,QString,ConnectLib::CPStateFlags)",
         0x400008,
         {QString()}},
        {"setTCTimes",
         [](auto& p, auto& d) {
             p.SLOT_setTCTimes(d, QDateTime::currentDateTimeUtc(), true,
                               QDateTime::currentDateTime(), 60);
         },
         "SIGNAL_tcTimesSet(ConnectLib::TCData,ConnectLib::CPStateFlags)",
         0xA,
         {}},
        {"getTCTimes",
         [](auto& p, auto& d) { p.SLOT_getTCTimes(d); },
         "SIGNAL_tcTimesGet(ConnectLib::TCData,QDateTime,QDateTime,ConnectLib::CPStateFlags)",
         0xA,
         {QDateTime(), QDateTime()}},
        {"readBatteryStatus",
         [](auto& p, auto& d) { p.SLOT_readBatteryStatus(d); },
         "SIGNAL_batteryStatusReceived(ConnectLib::TCData,int,ConnectLib::CPStateFlags)",
         0xA,
         {-1}},
        {"getFreeSpace",
         [](auto& p, auto& d) { p.SLOT_getFreeSpace(d); },
         "SIGNAL_freeSpaceReceived(ConnectLib::TCData,qulonglong,ConnectLib::CPStateFlags)",
         0x18,
         {qulonglong(0)}},
        {"cleanupDisk",
         [](auto& p, auto& d) { p.SLOT_cleanupDisk(d, 4096); },
         "SIGNAL_cleanupDone(ConnectLib::TCData,qulonglong,ConnectLib::CPStateFlags)",
         0x18,
         {qulonglong(0)}},
        {"doReset",
         [](auto& p, auto& d) { p.SLOT_doReset(d, false, true); },
         "SIGNAL_cancelled(ConnectLib::TCData,ConnectLib::CPStateFlags)",
         0x1000008,
         {}},
        {"cancel",
         [](auto& p, auto& d) { p.SLOT_cancel(d); },
         "SIGNAL_cancelled(ConnectLib::TCData,ConnectLib::CPStateFlags)",
         0x20008,
         {}},
        {"ADB_enable",
         [](auto& p, auto& d) { p.SLOT_ADB_enable(d, true); },
         "SIGNAL_ADB_enableComplete(ConnectLib::TCData,bool,ConnectLib::CPStateFlags)",
         0x800008,
         {true}},
        {"updateFW",
         [](auto& p, auto& d) { p.SLOT_updateFW(d, "/tmp/fw.zip", true); },
         "SIGNAL_firmwareUpdated(ConnectLib::TCData,ConnectLib::CPStateFlags)",
         0x800008,
         {}},
        {"ZFTP_installUpdate",
         [](auto& p, auto& d) { p.SLOT_ZFTP_installUpdate(d, "/tmp/update.zip", true); },
         "SIGNAL_ZFTP_installUpdateComplete(ConnectLib::TCData,ConnectLib::CPStateFlags)",
         0x800008,
         {}},
        {"copyFirmwareData",
         [](auto& p, auto& d) { p.SLOT_copyFirmwareData(d, "SYS"); },
         "SIGNAL_firmwareDataCopied(ConnectLib::TCData,ConnectLib::CPStateFlags)",
         0x800008,
         {}},
        {"doBackup",
         [](auto& p, auto& d) { p.SLOT_doBackup(d, "/U/0", "2024-01-01", "2024-12-31"); },
         "SIGNAL_backupDone(ConnectLib::TCData,QString,ConnectLib::CPStateFlags)",
         0x18,
         {QString()}},
        {"revertBackup",
         [](auto& p, auto& d) { p.SLOT_revertBackup(d, "/tmp/backups/0012ABCD"); },
         "SIGNAL_backupRevertDone(ConnectLib::TCData,ConnectLib::CPStateFlags)",
         0x18,
         {}},
        {"startSync", [](auto& p, auto& d) { p.SLOT_startSync(d); }, {}, 0, {}},
        {"stopSync", [](auto& p, auto& d) { p.SLOT_stopSync(d, true); }, {}, 0, {}},
    };

    const TCData asked = requestRecord(0x1234ABCDEFull);
    for (const UnregisteredCase& c : cases) {
        SCOPED_TRACE(c.name);
        m_log.clear();
        AllSignals all(provider());
        c.request(*provider(), asked);
        // Nothing runs the event loop here: the answer came synchronously.
        const auto emitted = all.emitted();
        EXPECT_EQ(m_log.lines().join("|"),
                  QStringLiteral("Training computer not found with deviceId: 1234ABCDEF"));
        if (c.signal.isEmpty()) {
            EXPECT_TRUE(emitted.empty());
            continue;
        }
        ASSERT_EQ(emitted.size(), 1u);
        ASSERT_EQ(emitted.begin()->first, c.signal);
        ASSERT_EQ(emitted.begin()->second.size(), 1);
        const QVariantList arguments = emitted.begin()->second.front();
        const TCData echoed = qvariant_cast<TCData>(arguments.first());
        EXPECT_EQ(echoed.deviceId(), asked.deviceId());
        EXPECT_EQ(echoed.name(), asked.name());
        EXPECT_EQ(echoed.model(), asked.model());
        EXPECT_EQ(echoed.color(), asked.color());
        EXPECT_EQ(int(flagsIn(arguments)), c.flags);
        ASSERT_EQ(arguments.size(), c.extras.size() + 2);
        for (int i = 0; i < c.extras.size(); ++i) {
            if (c.extras.at(i).isValid()) {
                EXPECT_EQ(arguments.at(i + 1), c.extras.at(i)) << "value " << i;
            }
        }
    }
}

TEST_F(Unregistered, DeviceDataAnswersWithAnEmptyRecordAndTheIdInDecimal)
{
    AllSignals all(provider());
    provider()->SLOT_getTCData(0x1234ABCDEFull);
    const auto emitted = all.emitted();
    ASSERT_EQ(emitted.size(), 1u);
    EXPECT_EQ(emitted.begin()->first,
              "SIGNAL_TCDataReceived(ConnectLib::TCData,ConnectLib::CPStateFlags)");
    const QVariantList arguments = emitted.begin()->second.front();
    EXPECT_EQ(qvariant_cast<TCData>(arguments.first()).deviceId(), 0u);
    EXPECT_EQ(int(flagsIn(arguments)), 0x8);
    EXPECT_EQ(m_log.lines().join("|"),
              QStringLiteral("Training computer not found with deviceId: 78193085935"));
}

TEST_F(Unregistered, EverySignalAndSlotConnectsByTheProgramsSignature)
{
    const char* const signalNames[] = {
        "SIGNAL_TCAppeared(ConnectLib::TCData)",
        "SIGNAL_TCIdling(ConnectLib::TCData)",
        "SIGNAL_TCBatteryStatus(ConnectLib::TCData,int)",
        "SIGNAL_TCDisappeared(ConnectLib::TCData)",
        "SIGNAL_TCRerouted(ConnectLib::TCData)",
        "SIGNAL_Announce_Dorvane()",
        "SIGNAL_Removed_Dorvane()",
        "SIGNAL_TCDataReceived(ConnectLib::TCData,ConnectLib::CPStateFlags)",
        "SIGNAL_fileRead(ConnectLib::TCData,QByteArray,ConnectLib::CPStateFlags)",
        "SIGNAL_fileWrote(ConnectLib::TCData,qlonglong,ConnectLib::CPStateFlags)",
        "SIGNAL_fileMerged(ConnectLib::TCData,ConnectLib::CPStateFlags)",
        "SIGNAL_timestampReceived(ConnectLib::TCData,QDateTime,ConnectLib::CPStateFlags)",
        "SIGNAL_currentUserDataReceived(ConnectLib::TCData,QString,uint,qulonglong,ConnectLib::"
        "CPStateFlags)",
        "SIGNAL_entriesReceived(ConnectLib::TCData,ConnectLib::TCEntryItem,ConnectLib::"
        "CPStateFlags)",
        "SIGNAL_subdirectoriesReceived(ConnectLib::TCData,QStringList,ConnectLib::CPStateFlags)",
        "SIGNAL_getDailyEntriesReceived(ConnectLib::TCData,QStringList,ConnectLib::CPStateFlags)",
        "SIGNAL_challengeTokenReceived(ConnectLib::TCData,QString,ConnectLib::CPStateFlags)",
        "SIGNAL_fwUpdateProgress(int,int,ConnectLib::CPStateFlags)",
        "SIGNAL_fileWriteProgress(int,int,ConnectLib::CPStateFlags)",
        "SIGNAL_firmwareUpdated(ConnectLib::TCData,ConnectLib::CPStateFlags)",
        "SIGNAL_ZFTP_installUpdateComplete(ConnectLib::TCData,ConnectLib::CPStateFlags)",
        "SIGNAL_firmwareDataCopied(ConnectLib::TCData,ConnectLib::CPStateFlags)",
        "SIGNAL_ADB_enableComplete(ConnectLib::TCData,bool,ConnectLib::CPStateFlags)",
        "SIGNAL_tcTimesSet(ConnectLib::TCData,ConnectLib::CPStateFlags)",
        "SIGNAL_tcTimesGet(ConnectLib::TCData,QDateTime,QDateTime,ConnectLib::CPStateFlags)",
        "SIGNAL_fileRemoved(ConnectLib::TCData,ConnectLib::CPStateFlags)",
        "SIGNAL_directoryCreated(ConnectLib::TCData,ConnectLib::CPStateFlags)",
        "SIGNAL_directoryRemoved(ConnectLib::TCData,ConnectLib::CPStateFlags)",
        "SIGNAL_entryRemoved(ConnectLib::TCData,ConnectLib::CPStateFlags)",
        "SIGNAL_entriesRemoved(ConnectLib::TCData,ConnectLib::CPStateFlags)",
        "SIGNAL_freeSpaceReceived(ConnectLib::TCData,qulonglong,ConnectLib::CPStateFlags)",
        "SIGNAL_tcDirSizeReceived(ConnectLib::TCData,qulonglong,ConnectLib::CPStateFlags)",
        "SIGNAL_backupDone(ConnectLib::TCData,QString,ConnectLib::CPStateFlags)",
        "SIGNAL_backupRevertDone(ConnectLib::TCData,ConnectLib::CPStateFlags)",
        "SIGNAL_cleanupDone(ConnectLib::TCData,qulonglong,ConnectLib::CPStateFlags)",
        "SIGNAL_batteryStatusReceived(ConnectLib::TCData,int,ConnectLib::CPStateFlags)",
        "SIGNAL_cancelled(ConnectLib::TCData,ConnectLib::CPStateFlags)",
        "SIGNAL_offLineFileRead(QByteArray,ConnectLib::CPStateFlags)",
        "SIGNAL_offLineFileWrote(ConnectLib::CPStateFlags)",
        "SIGNAL_offLineFileExists(ConnectLib::CPStateFlags)",
    };
    const char* const slotNames[] = {
        "SLOT_getTCData(qulonglong)",
        "SLOT_readFile(ConnectLib::TCData,QString)",
        "SLOT_writeFile(ConnectLib::TCData,QString,QByteArray)",
        "SLOT_writeOfflineFileToTC(ConnectLib::TCData,QString,QString,QByteArray)",
        "SLOT_mergeFile(ConnectLib::TCData,QString,QByteArray)",
        "SLOT_createDirectory(ConnectLib::TCData,QString)",
        "SLOT_removeFile(ConnectLib::TCData,QString)",
        "SLOT_removeDirectory(ConnectLib::TCData,QString)",
        "SLOT_removeEntry(ConnectLib::TCData,QString)",
        "SLOT_removeEntries(ConnectLib::TCData,QStringList)",
        "SLOT_getEntries(ConnectLib::TCData,QString)",
        "SLOT_getSubdirectories(ConnectLib::TCData,QString)",
        "SLOT_getSubdirectoriesWithoutFile(ConnectLib::TCData,QString,QString)",
        "SLOT_getDailySubdirectoriesWithoutFile(ConnectLib::TCData,QString,QString)",
        "SLOT_getDailySubdirectoriesWithoutFile(ConnectLib::TCData,QString)",
        "SLOT_getDailyEntries(ConnectLib::TCData,QString)",
        "SLOT_getTCDirSize(ConnectLib::TCData,QString)",
        "SLOT_getTimestamp(ConnectLib::TCData)",
        "SLOT_getCurrentUserData(ConnectLib::TCData)",
        "SLOT_generateChallengeToken(ConnectLib::TCData,uint,QByteArray)",
        "SLOT_setTCTimes(ConnectLib::TCData,QDateTime,bool,QDateTime,int)",
        "SLOT_getTCTimes(ConnectLib::TCData)",
        "SLOT_readBatteryStatus(ConnectLib::TCData)",
        "SLOT_getFreeSpace(ConnectLib::TCData)",
        "SLOT_cleanupDisk(ConnectLib::TCData,qulonglong)",
        "SLOT_startSync(ConnectLib::TCData)",
        "SLOT_stopSync(ConnectLib::TCData,bool)",
        "SLOT_doReset(ConnectLib::TCData,bool,bool)",
        "SLOT_cancel(ConnectLib::TCData)",
        "SLOT_ADB_enable(ConnectLib::TCData,bool)",
        "SLOT_updateFW(ConnectLib::TCData,QString,bool)",
        "SLOT_ZFTP_installUpdate(ConnectLib::TCData,QString,bool)",
        "SLOT_copyFirmwareData(ConnectLib::TCData,QString)",
        "SLOT_doBackup(ConnectLib::TCData,QString,QString,QString)",
        "SLOT_revertBackup(ConnectLib::TCData,QString)",
        "SLOT_readOfflineFile(QString)",
        "SLOT_writeOfflineFile(QString,QByteArray)",
        "SLOT_isOfflineFile(QString)",
        "SLOT_createLocalTC(QString)",
    };
    // What a caller's connect by signature looks up.
    for (const char* signal : signalNames) {
        const QByteArray name = QByteArray("2") + signal;
        EXPECT_TRUE(QSignalSpy(provider(), name.constData()).isValid()) << signal;
    }
    const QMetaObject* meta = provider()->metaObject();
    for (const char* slot : slotNames) {
        const int index = meta->indexOfSlot(QMetaObject::normalizedSignature(slot));
        EXPECT_GE(index, 0) << slot;
        EXPECT_EQ(meta->method(index).access(), QMetaMethod::Public) << slot;
    }
}

class Registered : public ProviderTest {
protected:
    void SetUp() override
    {
        ProviderTest::SetUp();
        createProvider();
    }

    TCData numbered(quint64 id, int n)
    {
        return TCData(id, QString::number(n), QString(), true, QStringLiteral("HID"), QString(),
                      QString(), QString(), QString(), QString(), OK);
    }
};

TEST_F(Registered, EachRequestGivesOneResultOnTheCallersThreadInRequestOrder)
{
    zarvo::test::test_device device;
    publishModel(device.id());
    const TCData record = waitAppeared(device.id());
    EXPECT_EQ(record.model(), QStringLiteral("Ravo Pace 2"));
    EXPECT_EQ(record.type(), QStringLiteral("HID"));
    EXPECT_EQ(record.firmware(), QStringLiteral("3.2.18"));
    EXPECT_EQ(record.bootloader(), QStringLiteral("1.0.12"));
    EXPECT_EQ(record.platform(), QStringLiteral("2.1.4"));
    EXPECT_EQ(record.color(), QStringLiteral("black"));
    EXPECT_EQ(record.design(), QStringLiteral("sport"));
    EXPECT_TRUE(record.isLinkValid());
    EXPECT_EQ(record.tcState(), OK);

    AllSignals all(provider());
    QThread* resultThread = nullptr;
    QObject::connect(provider(), &ConnectionProvider::SIGNAL_batteryStatusReceived,
                     [&](TCData, int, CPStateFlags) { resultThread = QThread::currentThread(); });
    const quint64 id = device.id();
    provider()->SLOT_readBatteryStatus(numbered(id, 1));
    provider()->SLOT_getTCData(id);
    provider()->SLOT_getTimestamp(numbered(id, 2));
    provider()->SLOT_getCurrentUserData(numbered(id, 3));
    provider()->SLOT_generateChallengeToken(numbered(id, 4), 0,
                                            QByteArray("00112233445566778899aabbccddeeff"));
    provider()->SLOT_getTCTimes(numbered(id, 5));
    provider()->SLOT_setTCTimes(numbered(id, 6), QDateTime::currentDateTimeUtc(), true,
                                QDateTime::currentDateTime(), 120);
    provider()->SLOT_readBatteryStatus(numbered(id, 7));
    provider()->SLOT_getFreeSpace(numbered(id, 8));
    provider()->SLOT_cleanupDisk(numbered(id, 9), 4096);
    provider()->SLOT_ADB_enable(numbered(id, 10), true);
    provider()->SLOT_startSync(numbered(id, 11));
    provider()->SLOT_stopSync(numbered(id, 12), true);
    provider()->SLOT_readBatteryStatus(numbered(id, 13));
    provider()->SLOT_createDirectory(numbered(id, 14), "/U/0/T/");
    provider()->SLOT_writeFile(numbered(id, 15), "/U/0/T/A.BIN", "abc");
    provider()->SLOT_mergeFile(numbered(id, 16), "/U/0/T/A.BIN", "def");
    provider()->SLOT_readFile(numbered(id, 17), "/U/0/T/A.BIN");
    provider()->SLOT_writeOfflineFileToTC(numbered(id, 18), "/nowhere/B.BIN", "/U/0/T/B.BIN",
                                          "ghi");
    provider()->SLOT_getEntries(numbered(id, 19), "/U/0/");
    provider()->SLOT_getSubdirectories(numbered(id, 20), "/U/0/");
    provider()->SLOT_getSubdirectoriesWithoutFile(numbered(id, 21), "/U/0/", "X.BIN");
    provider()->SLOT_getDailySubdirectoriesWithoutFile(numbered(id, 22), "/U/0/");
    provider()->SLOT_getDailyEntries(numbered(id, 23), "/U/0/");
    provider()->SLOT_getTCDirSize(numbered(id, 24), "/U/0/T/");
    provider()->SLOT_removeEntries(numbered(id, 25), {"/U/0/T/B.BIN"});
    provider()->SLOT_removeEntry(numbered(id, 26), "/U/0/T/NONE.BIN");
    provider()->SLOT_removeFile(numbered(id, 27), "/U/0/T/A.BIN");
    provider()->SLOT_removeDirectory(numbered(id, 28), "/U/0/T/");

    const auto total = [&] {
        int count = 0;
        for (const auto& [signature, emissions] : all.emitted())
            count += emissions.size();
        return count;
    };
    ASSERT_TRUE(processUntil([&] { return total() == 27; }));
    // Reset and cancel give no result either.
    provider()->SLOT_doReset(numbered(id, 29), false, false);
    provider()->SLOT_cancel(numbered(id, 30));
    processFor(300);
    const auto emitted = all.emitted();
    EXPECT_EQ(total(), 27) << "one result each; sync start and stop give none";
    const QVariantList read =
        emitted.at("SIGNAL_fileRead(ConnectLib::TCData,QByteArray,ConnectLib::CPStateFlags)")
            .front();
    EXPECT_EQ(read.at(1).toByteArray(), QByteArray("abcdef"));
    EXPECT_EQ(qvariant_cast<TCData>(read.first()).name(), QStringLiteral("17"));
    const QList<QVariantList> battery =
        emitted.at("SIGNAL_batteryStatusReceived(ConnectLib::TCData,int,ConnectLib::CPStateFlags)");
    ASSERT_EQ(battery.size(), 3);
    QStringList order;
    for (const QVariantList& arguments : battery) {
        order << qvariant_cast<TCData>(arguments.first()).name();
        EXPECT_EQ(flagsIn(arguments), CPStateFlags(OK));
    }
    EXPECT_EQ(order, (QStringList{"1", "7", "13"}));
    EXPECT_EQ(resultThread, QThread::currentThread());
    const QVariantList data =
        emitted.at("SIGNAL_TCDataReceived(ConnectLib::TCData,ConnectLib::CPStateFlags)").front();
    EXPECT_EQ(qvariant_cast<TCData>(data.first()).model(), QStringLiteral("Ravo Pace 2"));
}

TEST_F(Registered, TwoDevicesRunInParallel)
{
    zarvo::test::test_device first;
    zarvo::test::test_device second;
    const auto model = publishModel(first.id());
    publishModel(second.id());
    waitAppeared(first.id());
    waitAppeared(second.id());

    QSignalSpy battery(provider(), SIGNAL(SIGNAL_batteryStatusReceived(ConnectLib::TCData, int,
                                                                       ConnectLib::CPStateFlags)));
    const HeldRequest held = holdUserRequest(*model, numbered(first.id(), 1));
    const auto& stall = held.stall;
    QSignalSpy& user = *held.result;
    provider()->SLOT_readBatteryStatus(numbered(second.id(), 2));
    ASSERT_TRUE(processUntil([&] { return battery.size() == 1; }));
    EXPECT_EQ(user.size(), 0) << "the first device still runs its operation";
    stall->release();
    ASSERT_TRUE(processUntil([&] { return user.size() == 1; }));
    EXPECT_EQ(flagsIn(user.front()), CPStateFlags(OK));
}

TEST_F(Registered, OfflineRequestsWorkBelowTheOfflineRoot)
{
    QSignalSpy wrote(provider(), SIGNAL(SIGNAL_offLineFileWrote(ConnectLib::CPStateFlags)));
    QSignalSpy read(provider(),
                    SIGNAL(SIGNAL_offLineFileRead(QByteArray, ConnectLib::CPStateFlags)));
    QSignalSpy exists(provider(), SIGNAL(SIGNAL_offLineFileExists(ConnectLib::CPStateFlags)));

    provider()->SLOT_writeOfflineFile(m_offlineRoot + "/sub/stored.bin", QByteArray("\x01\x02xyz"));
    ASSERT_TRUE(processUntil([&] { return wrote.size() == 1; }));
    EXPECT_EQ(flagsIn(wrote.front()), CPStateFlags(OK));
    QFile stored(m_offlineRoot + "/sub/stored.bin");
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_EQ(stored.readAll(), QByteArray("\x01\x02xyz"));

    provider()->SLOT_readOfflineFile("/sub/stored.bin");
    provider()->SLOT_isOfflineFile("/sub/stored.bin");
    provider()->SLOT_isOfflineFile("/sub/missing.bin");
    ASSERT_TRUE(processUntil([&] { return read.size() == 1 && exists.size() == 2; }));
    EXPECT_EQ(read.front().first().toByteArray(), QByteArray("\x01\x02xyz"));
    EXPECT_EQ(flagsIn(exists.at(0)), CPStateFlags(FILE_EXISTS));
    EXPECT_EQ(flagsIn(exists.at(1)), CPStateFlags(FILE_OR_DIR_NOT_FOUND));
}

TEST_F(Registered, ALocalPseudoDeviceReplacesTheEarlierOneAndAnswers)
{
    const QString firstRoot = QDir(m_offlineRoot).filePath("one");
    const QString secondRoot = QDir(m_offlineRoot).filePath("two");
    provider()->SLOT_createLocalTC(firstRoot);
    provider()->SLOT_createLocalTC(secondRoot);
    processFor(100);

    const auto events = m_events.events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].kind, "appeared");
    EXPECT_EQ(events[0].data.name(), firstRoot);
    EXPECT_EQ(events[1].kind, "disappeared");
    EXPECT_EQ(events[1].data.name(), QString());
    EXPECT_EQ(events[1].data.model(), QStringLiteral("LocalTC"));
    EXPECT_EQ(events[1].data.type(), QStringLiteral("Local"));
    EXPECT_EQ(events[2].kind, "appeared");
    EXPECT_EQ(events[2].data.name(), secondRoot);
    EXPECT_EQ(events[2].data.deviceId(), TCData::localDeviceId);
    EXPECT_EQ(events[2].data.tcState(), TC_NOT_FOUND);
    const QStringList lines = m_log.lines();
    EXPECT_EQ(lines.filter("Tc ").join("|"),
              "Tc appeared: 4294967294|Tc disappeared: 4294967294|Tc appeared: 4294967294");

    // The new worker serves the local pseudo-device.
    QSignalSpy data(provider(),
                    SIGNAL(SIGNAL_TCDataReceived(ConnectLib::TCData, ConnectLib::CPStateFlags)));
    provider()->SLOT_getTCData(TCData::localDeviceId);
    ASSERT_TRUE(processUntil([&] { return data.size() == 1; }));
    EXPECT_EQ(qvariant_cast<TCData>(data.front().first()).name(), secondRoot);
    EXPECT_EQ(flagsIn(data.front()), CPStateFlags(OK));
}

} // namespace
} // namespace ConnectLib::Test
