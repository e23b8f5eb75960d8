// The offline-storage worker: files on the local disk below its root.
#include "connectlib/worker/tc_worker.h"
#include "tests/connectlib/support/ktlib_test_support.h"
#include "tests/connectlib/worker/worker_harness.h"
#include "tests/support/temp_dir.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace ConnectLib {
namespace {

using Test::LogLines;
using Test::qpath;
using Test::SignalLog;
using Test::WorkerThread;
using Test::writeFile;

class OfflineStorage : public ::testing::Test {
protected:
    OfflineStorage()
        : root(qpath(dir.path()) + QStringLiteral("/root"))
        , thread(new TCWorker(TCData(), nullptr, nullptr, nullptr, root))
    {
        QDir().mkpath(root);
    }

    std::tuple<QByteArray, CPStateFlags> read(const QString& file)
    {
        SignalLog log(thread.worker(), &TCWorker::SIGNAL_offLineFileRead);
        thread.post([this, file] { thread.worker()->SLOT_readOfflineFile(file); });
        return log.wait();
    }
    CPStateFlags write(const QString& file, const QByteArray& data)
    {
        SignalLog log(thread.worker(), &TCWorker::SIGNAL_offLineFileWrote);
        thread.post([this, file, data] { thread.worker()->SLOT_writeOfflineFile(file, data); });
        return std::get<0>(log.wait());
    }
    CPStateFlags exists(const QString& file)
    {
        SignalLog log(thread.worker(), &TCWorker::SIGNAL_offLineFileExists);
        thread.post([this, file] { thread.worker()->SLOT_isOfflineFile(file); });
        return std::get<0>(log.wait());
    }

    zarvo::test::temp_dir dir;
    QString root;
    LogLines log;
    WorkerThread thread;
};

TEST_F(OfflineStorage, ReadsBelowTheRootByTextConcatenation)
{
    ASSERT_TRUE(writeFile(root + "/a.txt", "below"));
    ASSERT_TRUE(writeFile(root + "a.txt", "glued"));
    ASSERT_TRUE(writeFile(root + "/empty", ""));

    const struct {
        const char* file;
        const char* content;
        CPStateFlags flags;
    } rows[] = {
        {"/a.txt", "below", OK},
        {"a.txt", "glued", OK},
        {"/empty", "", OK},
        {"/missing.txt", "", FILE_OPERATION_FAILED},
        {"", "", FILE_OPERATION_FAILED}, // the root itself is a folder
    };
    for (const auto& row : rows) {
        const auto [data, flags] = read(QString::fromLatin1(row.file));
        EXPECT_EQ(data, QByteArray(row.content)) << row.file;
        EXPECT_EQ(flags, row.flags) << row.file;
    }
    EXPECT_TRUE(log.lines().isEmpty()) << "a failed read logs nothing";
}

TEST_F(OfflineStorage, AFullPathIsUsedWhenNothingBelowTheRootHasThatName)
{
    const QString beside = qpath(dir.path()) + QStringLiteral("/program/settings.json");
    ASSERT_TRUE(QDir().mkpath(qpath(dir.path()) + "/program"));
    ASSERT_TRUE(writeFile(beside, "beside the program"));

    EXPECT_EQ(read(beside), std::make_tuple(QByteArray("beside the program"), CPStateFlags(OK)));
    EXPECT_EQ(exists(beside), FILE_EXISTS);

    // A file below the root under the same name wins.
    ASSERT_TRUE(QDir().mkpath(root + qpath(dir.path()) + "/program"));
    ASSERT_TRUE(writeFile(root + beside, "below the root"));
    EXPECT_EQ(read(beside), std::make_tuple(QByteArray("below the root"), CPStateFlags(OK)));

    // A relative name is never taken from the current directory.
    EXPECT_EQ(exists(QStringLiteral("program/settings.json")), FILE_OR_DIR_NOT_FOUND);
}

TEST_F(OfflineStorage, ExistenceIsForRegularFilesOnly)
{
    ASSERT_TRUE(writeFile(root + "/f.bin", "x"));
    ASSERT_TRUE(QDir().mkpath(root + "/folder"));
    EXPECT_EQ(exists("/f.bin"), FILE_EXISTS);
    EXPECT_EQ(exists("/folder"), FILE_OR_DIR_NOT_FOUND);
    EXPECT_EQ(exists("/none"), FILE_OR_DIR_NOT_FOUND);
}

TEST_F(OfflineStorage, WriteCreatesFoldersAndReplacesContent)
{
    const QString file = qpath(dir.path()) + QStringLiteral("/new/deep/file.bin");
    EXPECT_EQ(write(file, "first version"), OK);
    EXPECT_EQ(write(file, "2nd"), OK);
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), QByteArray("2nd"));
    EXPECT_EQ(write(file, QByteArray()), OK);
    EXPECT_EQ(QFileInfo(file).size(), 0);
}

TEST_F(OfflineStorage, WriteFailuresAreLogged)
{
    const QString blocker = qpath(dir.path()) + QStringLiteral("/blocker");
    ASSERT_TRUE(writeFile(blocker, "a file where a folder should be"));
    const QString folderTarget = qpath(dir.path()) + QStringLiteral("/folder");
    ASSERT_TRUE(QDir().mkpath(folderTarget));

    const struct {
        QString file;
        QString line;
    } rows[] = {
        {blocker + "/sub/x.bin", "Could not create folder: " + blocker + "/sub"},
        {folderTarget, "Unable to open file for write : " + folderTarget},
        // No folder part: nothing is created, nothing written.
        {"plain.bin", "Unable to open file for write : plain.bin"},
    };
    for (const auto& row : rows) {
        log.clear();
        EXPECT_EQ(write(row.file, "data"), FILE_OPERATION_FAILED) << row.file.toStdString();
        EXPECT_EQ(log.lines(), QStringList{row.line});
    }
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("plain.bin")));
}

TEST_F(OfflineStorage, AShortWriteIsAFailure)
{
    // The file-size limit lets the first part reach the file and refuses the
    // rest, as a full disk would.
    const QString file = qpath(dir.path()) + QStringLiteral("/limited/file.bin");
    const QByteArray data(64 * 1024, 'x');
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit limited = previous;
    limited.rlim_cur = 16 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const CPStateFlags flags = write(file, data);
    setrlimit(RLIMIT_FSIZE, &previous);

    EXPECT_EQ(flags, FILE_OPERATION_FAILED);
    EXPECT_EQ(QFileInfo(file).size(), 16 * 1024);
    EXPECT_EQ(log.lines(), QStringList{"Write failed for file: " + file});
}

} // namespace
} // namespace ConnectLib
