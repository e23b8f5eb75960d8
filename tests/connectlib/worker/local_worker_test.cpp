// A worker over a local folder (no device): reads, writes and listings stay
// below its root, whichever way the root is written.
#include "tests/connectlib/support/ktlib_test_support.h"
#include "tests/connectlib/worker/worker_harness.h"
#include "tests/support/temp_dir.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <limits>

#include <csignal>

#include <sys/resource.h>
#include <unistd.h>

namespace ConnectLib {
namespace {

using Test::ask;
using Test::flagsOf;
using Test::qpath;
using Test::WorkerThread;

constexpr CPStateFlags fileFailure = GENERAL_ERROR | FILE_OPERATION_FAILED;

QStringList treePaths(const TCEntryItem& node)
{
    QStringList out;
    for (int i = 0; i < node.childCount(); ++i)
        out << node.child(i)->absolutePath() << treePaths(*node.child(i));
    return out;
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

class LocalWorker : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(m_root + QStringLiteral("/sub")));
        ASSERT_TRUE(QDir().mkpath(m_root + QStringLiteral("/a.b+(c)/20240105/ACT")));
        ASSERT_TRUE(ConnectLib::Test::writeFile(
            m_root + QStringLiteral("/a.b+(c)/20240105/ACT/ACT.BPB"), "a"));
        ASSERT_TRUE(ConnectLib::Test::writeFile(m_root + QStringLiteral("/.dotfile"), "dot"));
        ASSERT_TRUE(ConnectLib::Test::writeFile(m_outside, "secret"));
        ASSERT_EQ(::symlink(m_root.toLocal8Bit().constData(),
                            (m_root + QStringLiteral("/sub/loop")).toLocal8Bit().constData()),
                  0);
        // With and without a final "/".
        m_thread = std::make_unique<WorkerThread>(new TCWorker(
            TCData(), nullptr, nullptr, nullptr, GetParam() ? m_root + QLatin1Char('/') : m_root));
    }

    CPStateFlags read(const QString& path, QByteArray* content = nullptr)
    {
        const auto result = ask(*m_thread, &TCWorker::SIGNAL_fileRead,
                                [path](TCWorker* w) { w->SLOT_readFile(TCData(), path); });
        if (content)
            *content = std::get<1>(result);
        return flagsOf(result);
    }
    CPStateFlags write(const QString& path, const QByteArray& data, qlonglong* bytes = nullptr)
    {
        const auto result = ask(*m_thread, &TCWorker::SIGNAL_fileWrote, [path, data](TCWorker* w) {
            w->SLOT_writeFile(TCData(), path, data);
        });
        if (bytes)
            *bytes = std::get<1>(result);
        return flagsOf(result);
    }
    TCEntryItem entries(const QString& root)
    {
        const auto result = ask(*m_thread, &TCWorker::SIGNAL_entriesReceived,
                                [root](TCWorker* w) { w->SLOT_getEntries(TCData(), root); });
        EXPECT_EQ(flagsOf(result), OK);
        return std::get<1>(result);
    }
    QStringList flagLines() const
    {
        return log.lines().filter(QRegularExpression(QStringLiteral("^CPStateFlag: ")));
    }

    ConnectLib::Test::LogLines log;
    zarvo::test::temp_dir m_dir;
    const QString m_root = qpath(m_dir / "root");
    const QString m_outside = qpath(m_dir / "outside.txt");
    std::unique_ptr<WorkerThread> m_thread;
};

TEST_P(LocalWorker, ReadsAndWritesBelowTheRoot)
{
    const QByteArray data("\0bin\0ary", 8);
    qlonglong bytes = 0;
    EXPECT_EQ(write(QStringLiteral("/sub/f.bin"), data, &bytes), OK);
    EXPECT_EQ(bytes, 8);
    EXPECT_EQ(contentOf(m_root + QStringLiteral("/sub/f.bin")), data);
    QByteArray content;
    EXPECT_EQ(read(QStringLiteral("/sub/f.bin"), &content), OK);
    EXPECT_EQ(content, data);
    // ".." that stays inside the root is fine.
    EXPECT_EQ(read(QStringLiteral("/sub/../sub/f.bin"), &content), OK);
    EXPECT_EQ(content, data);

    log.clear();
    EXPECT_EQ(write(QStringLiteral("/nodir/f.bin"), data, &bytes), fileFailure);
    EXPECT_EQ(bytes, 0);
    EXPECT_TRUE(
        log.lines().contains(QStringLiteral("Unable to open file for write : /nodir/f.bin")));
    EXPECT_EQ(flagLines(),
              (QStringList{"CPStateFlag: GENERAL_ERROR", "CPStateFlag: FILE_OPERATION_FAILED"}));
    EXPECT_EQ(read(QStringLiteral("/none.bin"), &content), fileFailure);
    EXPECT_TRUE(content.isEmpty());
}

TEST_P(LocalWorker, AShortWriteIsAFailure)
{
    // A file-size limit cuts the write short.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit limited = previous;
    limited.rlim_cur = 16 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    qlonglong bytes = 0;
    const CPStateFlags flags =
        write(QStringLiteral("/sub/big.bin"), QByteArray(64 * 1024, 'b'), &bytes);
    setrlimit(RLIMIT_FSIZE, &previous);

    EXPECT_EQ(flags, fileFailure);
    EXPECT_NE(bytes, 64 * 1024);
    EXPECT_TRUE(log.lines().contains(QStringLiteral("Write failed for file: /sub/big.bin")));
}

TEST_P(LocalWorker, PathsThatLeaveTheRootAreRefused)
{
    const QString escape = QStringLiteral("/../outside.txt");
    QByteArray content = "x";
    EXPECT_EQ(read(escape, &content), fileFailure);
    EXPECT_TRUE(content.isEmpty());
    qlonglong bytes = -1;
    EXPECT_EQ(write(escape, "overwritten", &bytes), fileFailure);
    EXPECT_EQ(bytes, 0);
    EXPECT_EQ(write(QStringLiteral("/sub/../../new.txt"), "new"), fileFailure);
    EXPECT_EQ(contentOf(m_outside), QByteArray("secret"));
    EXPECT_FALSE(QFile::exists(qpath(m_dir / "new.txt")));
    EXPECT_EQ(log.lines().filter(QStringLiteral("Refused a path outside the local folder")).size(),
              3);

    const auto result = ask(*m_thread, &TCWorker::SIGNAL_subdirectoriesReceived, [](TCWorker* w) {
        w->SLOT_getSubdirectories(TCData(), QStringLiteral("/.."));
    });
    EXPECT_EQ(std::get<1>(result), QStringList());
    EXPECT_EQ(flagsOf(result), OK);
    EXPECT_EQ(log.lines().filter(QStringLiteral("Refused to list a path outside")).size(), 1);
}

TEST_P(LocalWorker, ListingsShowDotNamesAndNoLinks)
{
    const TCEntryItem whole = entries(QStringLiteral("/"));
    EXPECT_EQ(treePaths(whole),
              (QStringList{"/.dotfile", "/a.b+(c)", "/a.b+(c)/20240105", "/a.b+(c)/20240105/ACT",
                           "/a.b+(c)/20240105/ACT/ACT.BPB", "/sub"}));
    const TCEntryItem sub = entries(QStringLiteral("/sub"));
    EXPECT_EQ(sub.entryName(), QStringLiteral("sub"));
    EXPECT_EQ(sub.childCount(), 0);

    // The base holds characters a pattern would read as operators.
    const auto daily = ask(*m_thread, &TCWorker::SIGNAL_getDailyEntriesReceived, [](TCWorker* w) {
        w->SLOT_getDailyEntries(TCData(), QStringLiteral("/a.b+(c)/[YYYYMMDD]/"));
    });
    EXPECT_EQ(std::get<1>(daily),
              (QStringList{"20240105", "20240105/ACT", "20240105/ACT/ACT.BPB"}));
    EXPECT_EQ(flagsOf(daily), OK);

    const auto size = ask(*m_thread, &TCWorker::SIGNAL_tcDirSizeReceived,
                          [](TCWorker* w) { w->SLOT_getTCDirSize(TCData(), QStringLiteral("/")); });
    EXPECT_EQ(std::get<1>(size), quint64(3 + 1));
    EXPECT_EQ(flagsOf(size), OK);
}

TEST_P(LocalWorker, OperationsWithoutALocalMeaning)
{
    log.clear();
    EXPECT_EQ(flagsOf(ask(*m_thread, &TCWorker::SIGNAL_fileMerged,
                          [](TCWorker* w) {
                              w->SLOT_mergeFile(TCData(), QStringLiteral("/.dotfile"), "more");
                          })),
              NOT_IMPLEMENTED | FILE_OPERATION_FAILED);
    EXPECT_EQ(contentOf(m_root + QStringLiteral("/.dotfile")), QByteArray("dot"));

    log.clear();
    EXPECT_EQ(flagsOf(ask(*m_thread, &TCWorker::SIGNAL_directoryCreated,
                          [](TCWorker* w) {
                              w->SLOT_createDirectory(TCData(), QStringLiteral("/newdir"));
                          })),
              CPStateFlags());
    EXPECT_TRUE(flagLines().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(m_root + QStringLiteral("/newdir")));

    EXPECT_EQ(flagsOf(ask(
                  *m_thread, &TCWorker::SIGNAL_fileRemoved,
                  [](TCWorker* w) { w->SLOT_removeFile(TCData(), QStringLiteral("/.dotfile")); })),
              fileFailure);
    EXPECT_EQ(flagsOf(ask(*m_thread, &TCWorker::SIGNAL_entriesRemoved,
                          [](TCWorker* w) {
                              w->SLOT_removeEntries(TCData(), {"/.dotfile", "/sub"});
                          })),
              GENERAL_ERROR);
    EXPECT_TRUE(QFileInfo::exists(m_root + QStringLiteral("/.dotfile")));

    const QString source = m_root + QStringLiteral("/.dotfile");
    const auto offline = ask(*m_thread, &TCWorker::SIGNAL_fileWrote, [source](TCWorker* w) {
        w->SLOT_writeOfflineFileToTC(TCData(), source, QStringLiteral("/X"), QByteArray());
    });
    EXPECT_EQ(std::get<1>(offline), 0);
    EXPECT_EQ(flagsOf(offline), fileFailure);

    std::string message;
    TCWorker* w = m_thread->worker();
    m_thread->run([w, source, &message] {
        try {
            w->putLocalFile(source, QStringLiteral("/X"));
        } catch (const std::runtime_error& error) {
            message = error.what();
        }
    });
    EXPECT_FALSE(message.empty());
}

INSTANTIATE_TEST_SUITE_P(RootSpelling, LocalWorker, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "WithFinalSlash" : "Plain";
                         });

} // namespace
} // namespace ConnectLib
