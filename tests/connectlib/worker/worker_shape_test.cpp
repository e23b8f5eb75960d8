// What the program and the provider rely on by name: the worker's signals and
// slots with fully qualified argument types, in order; and the helpers that
// several operations share.
#include "connectlib/worker/tc_worker.h"
#include "tests/connectlib/support/ktlib_test_support.h"
#include "tests/connectlib/worker/worker_harness.h"

#include <QElapsedTimer>
#include <QMetaMethod>
#include <gtest/gtest.h>

#include <memory>
#include <mutex>

namespace ConnectLib {
namespace {

using Test::WorkerThread;

QStringList methods(QMetaMethod::MethodType type)
{
    QStringList out;
    const QMetaObject& meta = TCWorker::staticMetaObject;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        if (method.methodType() == type && method.access() == QMetaMethod::Public)
            out.append(QString::fromLatin1(method.methodSignature()));
    }
    return out;
}

TEST(TCWorkerShape, SignalsInOrderWithQualifiedTypes)
{
    const QStringList expected = {
        "SIGNAL_TCDataReceived(ConnectLib::TCData,ConnectLib::CPStateFlags)",
        "SIGNAL_fileRead(ConnectLib::TCData,QByteArray,ConnectLib::CPStateFlags)",
        "SIGNAL_fileWrote(ConnectLib::TCData,qlonglong,ConnectLib::CPStateFlags)",
        "SIGNAL_fileMerged(ConnectLib::TCData,ConnectLib::CPStateFlags)",
        "SIGNAL_timestampReceived(ConnectLib::TCData,QDateTime,ConnectLib::CPStateFlags)",
        "SIGNAL_currentUserDataReceived(ConnectLib::TCData,QString,uint,qulonglong,"
        "ConnectLib::CPStateFlags)",
        "SIGNAL_subdirectoriesReceived(ConnectLib::TCData,QStringList,ConnectLib::CPStateFlags)",
        "SIGNAL_getDailyEntriesReceived(ConnectLib::TCData,QStringList,ConnectLib::CPStateFlags)",
        "SIGNAL_offLineFileRead(QByteArray,ConnectLib::CPStateFlags)",
        "SIGNAL_offLineFileWrote(ConnectLib::CPStateFlags)",
        "SIGNAL_offLineFileExists(ConnectLib::CPStateFlags)",
        "SIGNAL_fileRemoved(ConnectLib::TCData,ConnectLib::CPStateFlags)",
        "SIGNAL_directoryRemoved(ConnectLib::TCData,ConnectLib::CPStateFlags)",
        "SIGNAL_entryRemoved(ConnectLib::TCData,ConnectLib::CPStateFlags)",
        "SIGNAL_entriesRemoved(ConnectLib::TCData,ConnectLib::CPStateFlags)",
        "SIGNAL_directoryCreated(ConnectLib::TCData,ConnectLib::CPStateFlags)",
        "SIGNAL_entriesReceived(ConnectLib::TCData,ConnectLib::TCEntryItem,"
        "ConnectLib::CPStateFlags)",
        "SIGNAL_challengeTokenReceived(ConnectLib::TCData,QString,ConnectLib::CPStateFlags)",
        "SIGNAL_fwUpdateProgress(int,int,ConnectLib::CPStateFlags)",
        "SIGNAL_fileWriteProgress(int,int,ConnectLib::CPStateFlags)",
        "SIGNAL_firmwareUpdated(ConnectLib::TCData,ConnectLib::CPStateFlags)",
        "SIGNAL_fwDataCopied(ConnectLib::TCData,ConnectLib::CPStateFlags)",
        "SIGNAL_tcTimesSet(ConnectLib::TCData,ConnectLib::CPStateFlags)",
        "SIGNAL_tcTimesGet(ConnectLib::TCData,QDateTime,QDateTime,ConnectLib::CPStateFlags)",
        "SIGNAL_freeSpaceReceived(ConnectLib::TCData,qulonglong,ConnectLib::CPStateFlags)",
        "SIGNAL_cleanupDone(ConnectLib::TCData,qulonglong,ConnectLib::CPStateFlags)",
        "SIGNAL_batteryStatusReceived(ConnectLib::TCData,int,ConnectLib::CPStateFlags)",
        "SIGNAL_tcDirSizeReceived(ConnectLib::TCData,qulonglong,ConnectLib::CPStateFlags)",
        "SIGNAL_backupDone(ConnectLib::TCData,QString,ConnectLib::CPStateFlags)",
        "SIGNAL_backupRevertDone(ConnectLib::TCData,ConnectLib::CPStateFlags)",
        "SIGNAL_ADBenableCompleted(ConnectLib::TCData,bool,ConnectLib::CPStateFlags)",
        "SIGNAL_ZFTP_installUpdateCompleted(ConnectLib::TCData,ConnectLib::CPStateFlags)",
    };
    EXPECT_EQ(methods(QMetaMethod::Signal), expected);
}

TEST(TCWorkerShape, SlotsConnectBySignature)
{
    const QStringList expected = {
        "SLOT_getTCData()",
        "SLOT_readFile(ConnectLib::TCData,QString)",
        "SLOT_writeFile(ConnectLib::TCData,QString,QByteArray)",
        "SLOT_writeOfflineFileToTC(ConnectLib::TCData,QString,QString,QByteArray)",
        "SLOT_mergeFile(ConnectLib::TCData,QString,QByteArray)",
        "SLOT_getTimestamp(ConnectLib::TCData)",
        "SLOT_getCurrentUserData(ConnectLib::TCData)",
        "SLOT_getSubdirectories(ConnectLib::TCData,QString)",
        "SLOT_getSubdirectoriesWithoutFile(ConnectLib::TCData,QString,QString)",
        "SLOT_getDailySubdirectoriesWithoutFile(ConnectLib::TCData,QString,QString)",
        "SLOT_getDailyEntries(ConnectLib::TCData,QString)",
        "SLOT_generateChallengeToken(ConnectLib::TCData,uint,QByteArray)",
        "SLOT_readOfflineFile(QString)",
        "SLOT_writeOfflineFile(QString,QByteArray)",
        "SLOT_isOfflineFile(QString)",
        "SLOT_reset(ConnectLib::TCData,bool,bool)",
        "SLOT_startSync()",
        "SLOT_stopSync(bool)",
        "SLOT_setTCTimes(ConnectLib::TCData,QDateTime,bool,QDateTime,int)",
        "SLOT_getTCTimes(ConnectLib::TCData)",
        "SLOT_getFreeSpace(ConnectLib::TCData)",
        "SLOT_cleanupDisk(ConnectLib::TCData,qulonglong)",
        "SLOT_getTCDirSize(ConnectLib::TCData,QString)",
        "SLOT_readBatteryStatus(ConnectLib::TCData)",
        "SLOT_removeFile(ConnectLib::TCData,QString)",
        "SLOT_createDirectory(ConnectLib::TCData,QString)",
        "SLOT_removeDirectory(ConnectLib::TCData,QString)",
        "SLOT_removeEntry(ConnectLib::TCData,QString)",
        "SLOT_removeEntries(ConnectLib::TCData,QStringList)",
        "SLOT_ADB_enable(ConnectLib::TCData,bool)",
        "SLOT_getEntries(ConnectLib::TCData,QString)",
        "SLOT_updateFW(ConnectLib::TCData,QString,bool)",
        "SLOT_copyFWData(ConnectLib::TCData,QString)",
        "SLOT_ZFTP_installUpdate(ConnectLib::TCData,QString,bool)",
        "SLOT_doBackup(ConnectLib::TCData,QString,QString,QString)",
        "SLOT_revertBackup(ConnectLib::TCData,QString)",
    };
    EXPECT_EQ(methods(QMetaMethod::Slot), expected);
}

class WorkerHelpers : public ::testing::Test {
protected:
    TCWorker worker{TCData(), nullptr, nullptr, nullptr, QString()};
};

TEST_F(WorkerHelpers, DailyFolderNames)
{
    const struct {
        const char* name;
        bool daily;
    } rows[] = {
        {"20240229", true},   {"20231231", true},  {"20230229", false}, {"2024022", false},
        {"202402290", false}, {"20241301", false}, {"2024ab01", false}, {"", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(worker.isDailyFolderName(QString::fromLatin1(row.name)), row.daily) << row.name;
}

// A node; a child of parent (which owns it) when parent is given.
TCEntryItem* entry(const QString& name, TCEntryItem::EntryType type, qint64 size,
                   TCEntryItem* parent)
{
    const QString path = (parent ? parent->absolutePath() : QStringLiteral("/")) + name;
    auto* item =
        new TCEntryItem(name, type, path, QDateTime(), QDateTime(), QDateTime(), size, parent);
    if (parent)
        parent->appendChild(item);
    return item;
}

// root/ with files a (0 bytes), b (100), c (150) and an empty directory.
std::unique_ptr<TCEntryItem> sampleTree()
{
    std::unique_ptr<TCEntryItem> root(entry("root", TCEntryItem::Directory, 0, nullptr));
    entry("a", TCEntryItem::File, 0, root.get());
    entry("b", TCEntryItem::File, 100, root.get());
    entry("c", TCEntryItem::File, 150, root.get());
    entry("empty", TCEntryItem::Directory, 0, root.get());
    return root;
}

TEST_F(WorkerHelpers, OccupiedSpace)
{
    const auto root = sampleTree();
    // The tree again, one level down.
    std::unique_ptr<TCEntryItem> outer(entry("outer", TCEntryItem::Directory, 0, nullptr));
    outer->appendChild(new TCEntryItem(*root));

    const struct {
        quint64 fragment;
        quint64 tree;   // files rounded up past their last fragment, a fragment a directory
        quint64 nested; // one directory more
    } rows[] = {
        {100, 100 + 200 + 200 + 100, 700},
        // Without a fragment size the plain sum of the file sizes.
        {0, 250, 250},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(worker.occupiedSpace(root.get(), row.fragment), row.tree) << row.fragment;
        EXPECT_EQ(worker.occupiedSpace(outer.get(), row.fragment), row.nested) << row.fragment;
        // A file on its own is its size.
        EXPECT_EQ(worker.occupiedSpace(root->child(2), row.fragment), 150u) << row.fragment;
    }
}

TEST_F(WorkerHelpers, FileChildMatchesIgnoringCaseButNotDirectories)
{
    auto root = sampleTree();
    entry("Data.Bpb", TCEntryItem::Directory, 0, root.get());
    EXPECT_TRUE(worker.hasFileChild(root.get(), QStringLiteral("B")));
    EXPECT_TRUE(worker.hasFileChild(root.get(), QStringLiteral("c")));
    EXPECT_FALSE(worker.hasFileChild(root.get(), QStringLiteral("data.bpb")));
    EXPECT_FALSE(worker.hasFileChild(root.get(), QStringLiteral("empty")));
    EXPECT_FALSE(worker.hasFileChild(root.get(), QStringLiteral("d")));

    entry("DATA.BPB", TCEntryItem::File, 5, root.get());
    EXPECT_TRUE(worker.hasFileChild(root.get(), QStringLiteral("data.bpb")));
}

TEST(WorkerWait, ARequestQueuedDuringTheWaitRunsAfterIt)
{
    WorkerThread thread(new TCWorker(TCData(), nullptr, nullptr, nullptr, QString()));
    TCWorker* worker = thread.worker();
    std::mutex mutex;
    QStringList order;
    zarvo::test::latch waiting;
    zarvo::test::latch done;
    const auto note = [&](const char* what) {
        std::lock_guard<std::mutex> lock(mutex);
        order.append(QString::fromLatin1(what));
    };

    QElapsedTimer elapsed;
    elapsed.start();
    thread.post([&] {
        note("wait starts");
        waiting.open();
        EXPECT_TRUE(worker->waitSeconds(1));
        note("wait ends");
    });
    ASSERT_TRUE(waiting.wait());
    thread.post([&] {
        note("queued request");
        done.open();
    });
    ASSERT_TRUE(done.wait());
    EXPECT_GE(elapsed.elapsed(), 1000);
    EXPECT_EQ(order, (QStringList{"wait starts", "wait ends", "queued request"}));
}

} // namespace
} // namespace ConnectLib
