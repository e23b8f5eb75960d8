// Backup of device folders into the backup working folder and their restore,
// on a worker over the device model or a scripted connection.
#include "connectlib/common/common.h"
#include "connectlib/worker/backup_folders.h"
#include "devicelib/errors/errors.h"
#include "tests/connectlib/support/ktlib_test_support.h"
#include "tests/connectlib/worker/device_fixture.h"
#include "tests/connectlib/worker/error_cases.h"
#include "tests/connectlib/worker/logind_rig.h"
#include "tests/support/file_size_limit.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
#include <sys/mount.h>
#include <unistd.h>
#include <vector>

namespace ConnectLib {
namespace {

namespace KT = ConnectLib::Test;

using KT::ask;
using KT::flagsOf;
using zarvo::emulator::command;
using zarvo::emulator::match;
using zarvo::test::connection_action;
using zarvo::test::connection_op;

constexpr CPStateFlags importFailure = GENERAL_ERROR | FILE_OPERATION_FAILED;

std::string binary(int size, int seed)
{
    std::string out(std::size_t(size), '\0');
    for (int i = 0; i < size; ++i)
        out[std::size_t(i)] = char((i * 31 + seed) % 256);
    return out;
}

// The file writes that reached a scripted connection.
int writesIn(const zarvo::test::fake_connection& connection)
{
    int writes = 0;
    for (const auto& call : connection.calls())
        writes += call.op == connection_op::write ? 1 : 0;
    return writes;
}

class Backup : public KT::DeviceFixture {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
        m_backups = Common::getBackupDataPath();
        ASSERT_FALSE(m_backups.isEmpty());
        // The tests of this program share the working folders.
        for (const QString& left : backupsFolder()) {
            const QFileInfo entry(m_backups + QLatin1Char('/') + left);
            ASSERT_TRUE(entry.isDir() && !entry.isSymLink()
                            ? Common::deleteLocalDirectory(entry.filePath())
                            : QFile::remove(entry.filePath()))
                << left.toStdString();
        }
    }
    void TearDown() override
    {
        setBackupCallFault({});
        DeviceFixture::TearDown();
    }

    // The backup folders' call from path fails with error from now on.
    void failCall(BackupCall call, const QString& path, int error)
    {
        m_faults.push_back({call, path, error});
        setBackupCallFault([faults = m_faults](BackupCall c, const QString& p) {
            for (const CallFault& fault : faults) {
                if (fault.call == c && fault.path == p)
                    return fault.error;
            }
            return 0;
        });
    }
    void clearFaults()
    {
        m_faults.clear();
        setBackupCallFault({});
    }

    // The request's record names the backup folder: 0012ABCD.
    TCData asked() const
    {
        return TCData(0x0012ABCDu, QString(), QStringLiteral("Ravo Pace 2"), true,
                      QStringLiteral("HID"), QString(), QString(), QString(), QString(), QString(),
                      OK);
    }
    QString backupDir() const { return m_backups + QStringLiteral("/0012ABCD"); }
    QString marker() const { return backupDir() + QStringLiteral(".restoring"); }

    std::pair<QString, CPStateFlags> backup(const QString& list, const QString& from = QString())
    {
        const TCData d = asked();
        const auto result = ask(thread(), &TCWorker::SIGNAL_backupDone, [=](TCWorker* w) {
            w->SLOT_doBackup(d, list, from, QStringLiteral("2099-12-31"));
        });
        EXPECT_EQ(std::get<0>(result).deviceId(), 0x0012ABCDu);
        return {std::get<1>(result), flagsOf(result)};
    }
    CPStateFlags restore(const QString& dir)
    {
        const TCData d = asked();
        return flagsOf(ask(thread(), &TCWorker::SIGNAL_backupRevertDone,
                           [=](TCWorker* w) { w->SLOT_revertBackup(d, dir); }));
    }

    // A backup as SLOT_doBackup leaves it, written by hand.
    void putBackupFile(const QString& relative, const QByteArray& content)
    {
        const QString path = backupDir() + relative;
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        ASSERT_TRUE(KT::writeFile(path, content));
    }

    // Three files of user 0 and one of user 1.
    void putFourBackupFiles()
    {
        putBackupFile(QStringLiteral("/U/0/A.BIN"), "a");
        putBackupFile(QStringLiteral("/U/0/B.BIN"), "b");
        putBackupFile(QStringLiteral("/U/0/C.BIN"), "c");
        putBackupFile(QStringLiteral("/U/1/D.BIN"), "d");
    }

    // The paths the backup reported as exported or failed, in order.
    QStringList exportedPaths() const
    {
        static const QRegularExpression line(
            QStringLiteral("^Export (?:done|failed with data path) (\\S+) to "));
        QStringList paths;
        for (const QString& text : log.lines()) {
            const QRegularExpressionMatch m = line.match(text);
            if (m.hasMatch())
                paths << m.captured(1);
        }
        return paths;
    }

    // Backups whose restore failed, moved aside beside the device's folder.
    QStringList keptBackups() const
    {
        return QDir(m_backups).entryList({QStringLiteral("0012ABCD-restore-failed-*")},
                                         QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    }
    // Everything in the backups folder: no staging folder is left behind.
    QStringList backupsFolder() const
    {
        return QDir(m_backups).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                         QDir::Name);
    }

    QString m_backups;

private:
    struct CallFault {
        BackupCall call;
        QString path;
        int error;
    };
    std::vector<CallFault> m_faults;
};

TEST_F(Backup, AnEmptyListKeepsThePreviousBackup)
{
    zarvo::emulator::device_model& model = publishModel();
    putBackupFile(QStringLiteral("/OLD.TXT"), "old");
    EXPECT_EQ(backup(QString()), std::make_pair(QString(), CPStateFlags(GENERAL_ERROR)));
    EXPECT_TRUE(QFileInfo::exists(backupDir() + QStringLiteral("/OLD.TXT")));
    EXPECT_TRUE(model.transcript().empty());
}

TEST_F(Backup, ASingleFileLandsAtItsDevicePathBelowTheBackupFolder)
{
    zarvo::emulator::device_model& model = publishModel();
    putBackupFile(QStringLiteral("/OLD.TXT"), "old");
    EXPECT_EQ(backup(QStringLiteral("/DEVICE.BPB")), std::make_pair(backupDir(), CPStateFlags(OK)));
    EXPECT_EQ(KT::readBytes(backupDir() + QStringLiteral("/DEVICE.BPB")),
              QByteArray::fromStdString(*model.file("/DEVICE.BPB")));
    // A new backup first deletes the device's previous one.
    EXPECT_EQ(KT::filesBelow(backupDir()), QStringList{"DEVICE.BPB"});
    EXPECT_TRUE(log.lines().filter(QStringLiteral("CPStateFlag")).isEmpty());
}

TEST_F(Backup, DataPathsWithoutLeadingSlashOrEmptyAreSkipped)
{
    publishModel();
    EXPECT_EQ(backup(QStringLiteral("U/0,,/DEVICE.BPB")),
              std::make_pair(backupDir(), CPStateFlags(OK)));
    const QStringList lines = log.lines();
    EXPECT_TRUE(lines.contains(QStringLiteral("Data path no good. Must start with '/'. Now U/0")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Data path no good. Must start with '/'. Now ")));
    EXPECT_EQ(KT::filesBelow(backupDir()), QStringList{"DEVICE.BPB"});

    // Every data path rejected: 0.
    EXPECT_EQ(backup(QStringLiteral("x,y")), std::make_pair(backupDir(), CPStateFlags()));
}

TEST_F(Backup, UserTagGivesOneDataPathPerUser)
{
    zarvo::emulator::device_model& model = publishModel();
    model.put_file("/U/0/S/A.BIN", binary(100, 1));
    model.put_file("/U/1/S/B.BIN", binary(200, 2));
    EXPECT_EQ(backup(QStringLiteral("/U/[USER]/S")), std::make_pair(backupDir(), CPStateFlags(OK)));
    EXPECT_EQ(exportedPaths(), (QStringList{"/U/0/S", "/U/1/S"}));
    EXPECT_EQ(KT::filesBelow(backupDir()), (QStringList{"U/0/S/A.BIN", "U/1/S/B.BIN"}));
    EXPECT_EQ(KT::readBytes(backupDir() + "/U/1/S/B.BIN"),
              QByteArray::fromStdString(binary(200, 2)));

    // A failed listing of /U: no user, nothing exported for the tag, and
    // the backup failed; the previous one stays.
    log.clear();
    model.script_answer(match::file(command::get), 101, 1);
    EXPECT_EQ(backup(QStringLiteral("/U/[USER]/S")),
              std::make_pair(backupDir(), GENERAL_ERROR | FILE_OPERATION_FAILED));
    EXPECT_TRUE(exportedPaths().isEmpty());
    EXPECT_EQ(KT::filesBelow(backupDir()), (QStringList{"U/0/S/A.BIN", "U/1/S/B.BIN"}));
}

TEST_F(Backup, DailySelectionOfASubFolderIgnoresTheFromDate)
{
    zarvo::emulator::device_model& model = publishModel();
    model.put_file("/U/0/20240101/ACT/A.BIN", "a");
    model.put_file("/U/0/20240102/ACT/B.BIN", "b");
    model.put_file("/U/0/20240103/OTHER/C.BIN", "c");
    model.put_file("/U/0/NOTADAY/ACT/D.BIN", "d");
    EXPECT_EQ(backup(QStringLiteral("/U/0/[YYYYMMDD]/ACT"), QStringLiteral("2024-01-02")),
              std::make_pair(backupDir(), CPStateFlags(OK)));
    EXPECT_EQ(exportedPaths(), (QStringList{"/U/0/20240101/ACT", "/U/0/20240102/ACT"}));
    EXPECT_EQ(KT::filesBelow(backupDir()),
              (QStringList{"U/0/20240101/ACT/A.BIN", "U/0/20240102/ACT/B.BIN"}));
}

TEST_F(Backup, DailySelectionByTimeFoldersFromADate)
{
    zarvo::emulator::device_model& model = publishModel();
    model.put_file("/U/0/20240101/E/101010/X/ID.BPB", "too early");
    model.put_file("/U/0/20240102/E/101010/X/id.bpb", "other case");
    model.put_file("/U/0/20240103/E/121212/Y/ID.BPB", "wanted");
    model.put_file("/U/0/20240103/E/121212/W/OTHER.BPB", "lacks the file");
    model.put_file("/U/0/20240103/E/999999/Z/ID.BPB", "not a time");
    backup(QStringLiteral("/U/0/[YYYYMMDD]/E/[HHMMSS]/ID.BPB"), QStringLiteral("2024-01-02"));
    // Taken under the name the device gave it.
    EXPECT_EQ(exportedPaths(),
              (QStringList{"/U/0/20240102/E/101010/X/id.bpb", "/U/0/20240103/E/121212/Y/ID.BPB"}));
    EXPECT_EQ(KT::readBytes(backupDir() + "/U/0/20240102/E/101010/X/id.bpb"),
              QByteArray("other case"));
    EXPECT_EQ(KT::readBytes(backupDir() + "/U/0/20240103/E/121212/Y/ID.BPB"), QByteArray("wanted"));
    EXPECT_FALSE(QFileInfo::exists(backupDir() + "/U/0/20240101"));
}

TEST_F(Backup, ATreeExportStopsAtAFailingFile)
{
    zarvo::emulator::device_model& model = publishModel();
    model.put_file("/U/0/S/A.BIN", "a");
    model.put_file("/U/0/S/B.BIN", "b");
    model.put_file("/U/0/S/C.BIN", "c");
    model.script_answer(match::file(command::get, "/U/0/S/B.BIN"), 103, 1);
    // Listed, then not found: no absent path, a failure.
    const CPStateFlags failed = GENERAL_ERROR | FILE_OR_DIR_NOT_FOUND | FILE_OPERATION_FAILED;
    EXPECT_EQ(backup(QStringLiteral("/U/0/S")), std::make_pair(backupDir(), failed));
    // Only a complete backup is kept.
    EXPECT_TRUE(KT::filesBelow(backupDir()).isEmpty());
    EXPECT_EQ(log.lines().filter(QStringLiteral("Export failed with data path /U/0/S to ")).size(),
              1);
    EXPECT_EQ(
        log.lines().filter(QStringLiteral("State: ") + Common::stringFromStateFlags(failed)).size(),
        2);
    EXPECT_TRUE(log.lines().filter(QStringLiteral("State: OK")).isEmpty());
}

TEST_F(Backup, DotComponentsWriteNothingOutside)
{
    zarvo::emulator::device_model& model = publishModel();
    model.put_file("/U/0/S/A.BIN", "a");
    const QStringList before = KT::filesBelow(QFileInfo(m_backups).path());
    EXPECT_EQ(backup(QStringLiteral("/U/../../x,/U/0/../../DEVICE.BPB,/./DEVICE.BPB,/U/0/S/..")),
              std::make_pair(backupDir(), CPStateFlags()));
    EXPECT_EQ(log.lines().filter(QStringLiteral("Data path refused")).size(), 4);
    EXPECT_EQ(KT::filesBelow(QFileInfo(m_backups).path()), before);
}

TEST_F(Backup, AFileNamedLikeAnEarlierFolderLandsInItsRealFolder)
{
    zarvo::emulator::device_model& model = publishModel();
    model.put_file("/A.B/X/A.B", "deep");
    EXPECT_EQ(backup(QStringLiteral("/A.B/X/A.B")), std::make_pair(backupDir(), CPStateFlags(OK)));
    EXPECT_EQ(KT::filesBelow(backupDir()), QStringList{"A.B/X/A.B"});
    EXPECT_EQ(KT::readBytes(backupDir() + "/A.B/X/A.B"), QByteArray("deep"));
}

TEST_F(Backup, RoundTripOfNestedFoldersByteForByte)
{
    zarvo::emulator::device_model& model = publishModel();
    const std::map<std::string, std::string> files = {
        {"/U/0/USERID.BPB", *model.file("/U/0/USERID.BPB")},
        {"/U/0/S/PROFILE.BPB", binary(3000, 1)},
        {"/U/0/20240101/ACT/SAMPLES.GZB", binary(70000, 2)},
        {"/U/0/20240101/E/101010/00/BASE.BPB", binary(1, 3)},
        {"/U/0/20240101/E/101010/00/EMPTY.BPB", std::string()},
        {"/U/0/.HIDDEN", binary(10, 4)},
    };
    for (const auto& [path, content] : files)
        model.put_file(path, content);
    const auto [dir, flags] = backup(QStringLiteral("/U/0"));
    EXPECT_EQ(dir, backupDir());
    EXPECT_EQ(flags, OK);
    ASSERT_TRUE(model.remove_entry("/U/0"));
    log.clear();
    EXPECT_EQ(restore(dir), OK);
    for (const auto& [path, content] : files)
        EXPECT_EQ(model.file(path), content) << path;
    EXPECT_FALSE(QFileInfo::exists(dir));
    EXPECT_TRUE(log.errors().isEmpty());
}

TEST_F(Backup, ARestoreOntoExistingFoldersWritesEveryFile)
{
    zarvo::emulator::device_model& model = publishModel();
    model.put_file("/U/0/S/A.BIN", "a");
    model.put_file("/U/0/S/T/B.BIN", "b");
    EXPECT_EQ(backup(QStringLiteral("/U/0/S")).second, OK);
    model.put_file("/U/0/S/A.BIN", "changed");
    model.put_file("/U/0/S/T/B.BIN", "changed");
    EXPECT_EQ(restore(backupDir()), OK);
    EXPECT_EQ(model.file("/U/0/S/A.BIN"), std::string("a"));
    EXPECT_EQ(model.file("/U/0/S/T/B.BIN"), std::string("b"));
}

class RestoreBlocksSleep : protected KT::WithLogind, public Backup {};

// While the device is written, sleep and shutdown are blocked; the lock goes
// with the restore.
TEST_F(RestoreBlocksSleep, ARestoreHoldsTheBlockLockWhileItWrites)
{
    zarvo::emulator::device_model& model = publishModel();
    putBackupFile(QStringLiteral("/U/0/A.BIN"), "a");
    std::atomic<int> heldWhileWriting{-1};
    const auto stall = model.script_stall(match::file(command::put, "/U/0/A.BIN"), 1);
    stall->on_reached([&, s = stall.get()] {
        heldWhileWriting = logind.locks_held("block");
        s->release();
    });
    EXPECT_EQ(restore(backupDir()), OK);
    EXPECT_EQ(heldWhileWriting, 1);
    EXPECT_EQ(KT::blockCalls(logind), 1);
    ASSERT_TRUE(logind.wait_releases(1));
    EXPECT_EQ(logind.locks_held("block"), 0);
}

TEST_F(Backup, ARestoreThatLosesTheDeviceFailsAndKeepsTheBackup)
{
    zarvo::test::fake_connection& connection = publishFake();
    putFourBackupFiles();
    // The device goes while the second file is written.
    connection.script(connection_op::write, connection_action::returns(true));
    connection.script(connection_op::write, connection_action::runs([this] { guard().nullify(); }));
    const CPStateFlags flags = restore(backupDir());
    EXPECT_EQ(flags, importFailure | TC_CONNECTION_LOST);
    EXPECT_TRUE(
        log.lines().contains(QStringLiteral("Import failed with data path ") + backupDir()));
    // Kept whole under the name the page holds, marked for the next backup.
    EXPECT_EQ(KT::filesBelow(backupDir()).size(), 4);
    EXPECT_TRUE(QFileInfo::exists(marker()));
    EXPECT_TRUE(keptBackups().isEmpty());
    // The worker's root is empty again: a device path names no file of the
    // kept backup.
    bool found = true;
    TCWorker* w = worker();
    thread().run([w, &found] { found = w->offlineFileExists(QStringLiteral("/U/0/A.BIN")); });
    EXPECT_FALSE(found);
}

TEST_F(Backup, ABusySystemFailsTheRestoreWithItsCause)
{
    zarvo::test::fake_connection& connection = publishFake();
    putBackupFile(QStringLiteral("/U/0/A.BIN"), "a");
    putBackupFile(QStringLiteral("/U/0/B.BIN"), "b");
    connection.script(connection_op::write, connection_action::throws(zarvo::system_busy()));
    EXPECT_EQ(restore(backupDir()), importFailure | SYSTEM_BUSY);
    EXPECT_EQ(KT::filesBelow(backupDir()).size(), 2);
    // The walk went on with the next file.
    EXPECT_EQ(writesIn(connection), 2);
}

TEST_F(Backup, RestoreRefusesWhatIsNoDeviceBackup)
{
    zarvo::emulator::device_model& model = publishModel();
    zarvo::test::temp_dir elsewhere;
    const QString outside = KT::qpath(elsewhere / "0012ABCD");
    ASSERT_TRUE(QDir().mkpath(outside + "/U/0"));
    ASSERT_TRUE(KT::writeFile(outside + "/U/0/A.BIN", "a"));
    const QString link = m_backups + QStringLiteral("/LINKED");
    ASSERT_TRUE(QFile::link(outside, link));
    putBackupFile(QStringLiteral("/U/0/A.BIN"), "a");
    const QString rows[] = {
        outside,
        link,
        m_backups,
        backupDir() + QStringLiteral("/U"),
        m_backups + QStringLiteral("/../backups/../") + QFileInfo(outside).path(),
        m_backups + QStringLiteral("/MISSING"),
    };
    for (const QString& dir : rows) {
        log.clear();
        EXPECT_EQ(restore(dir), importFailure) << dir.toStdString();
        EXPECT_TRUE(log.lines().contains(
            QStringLiteral("Refused a backup folder outside the backups: ") + dir))
            << dir.toStdString();
    }
    EXPECT_TRUE(model.transcript().empty());
    EXPECT_TRUE(QFileInfo::exists(outside + "/U/0/A.BIN"));
    EXPECT_TRUE(QFileInfo::exists(backupDir() + "/U/0/A.BIN"));
    EXPECT_EQ(restore(QString()), GENERAL_ERROR);
}

TEST_F(Backup, AnEmptyBackupIsAGeneralError)
{
    zarvo::emulator::device_model& model = publishModel();
    ASSERT_TRUE(QDir().mkpath(backupDir() + "/U/0"));
    EXPECT_EQ(restore(backupDir()), GENERAL_ERROR);
    EXPECT_TRUE(QFileInfo::exists(backupDir()));
    EXPECT_TRUE(model.transcript().empty());
}

TEST_F(Backup, ALinkInsideABackupIsNotFollowed)
{
    zarvo::emulator::device_model& model = publishModel();
    zarvo::test::temp_dir elsewhere;
    const QString secret = KT::qpath(elsewhere / "secret.txt");
    ASSERT_TRUE(KT::writeFile(secret, "secret"));
    putBackupFile(QStringLiteral("/U/0/A.BIN"), "a");
    ASSERT_TRUE(QFile::link(secret, backupDir() + "/U/0/LINK.BIN"));
    ASSERT_TRUE(QFile::link(KT::qpath(elsewhere.path()), backupDir() + "/U/0/DIR"));
    EXPECT_EQ(restore(backupDir()), OK);
    EXPECT_EQ(model.file("/U/0/A.BIN"), std::string("a"));
    EXPECT_FALSE(model.file("/U/0/LINK.BIN"));
    EXPECT_FALSE(model.is_directory("/U/0/DIR"));
    EXPECT_TRUE(QFileInfo::exists(secret));
}

// The two restore families: a file's write and a folder's creation failing
// with each class. Every file not written fails the restore; a folder the
// device does not permit (as one that exists) is entered all the same.
TEST_F(Backup, RestoreFamiliesAsOneTable)
{
    zarvo::test::fake_connection& connection = publishFake();
    struct Row {
        int file;
        int directory;
    };
    const std::map<std::string, Row> rows = {
        {"try_again", {0x100012, 0x100012}},
        {"wait_for_idling", {0x200012, 0x200012}},
        {"device_busy", {0x40012, 0x40012}},
        {"system_busy", {0x80012, 0x80012}},
        {"operation_canceled", {0x16, 0x16}},
        {"no_such_file_or_directory", {0x32, 0x32}},
        {"no_such_user", {0x32, 0x32}},
        {"invalid_content", {0x2012, 0x12}},
        {"invalid_parameter", {0x12, 0x8012}},
        {"disk_full", {0x1012, 0x1012}},
        {"link_lost", {0x812, 0x812}},
        {"session_expired", {0x812, 0x812}},
        {"operation_timed_out", {0x10012, 0x10012}},
        {"operation_not_permitted", {0x12, 0x1}},
        {"directory_exists", {0x12, 0x1}},
        {"file_exists", {0x12, 0x1}},
        {"unidentified_device_error", {0x12, 0x1}},
    };
    for (const KT::ErrorCase& c : KT::errorCases) {
        const auto found = rows.find(c.name);
        const Row expected = found == rows.end() ? Row{0x12, 0x12} : found->second;
        for (const bool directory : {false, true}) {
            putBackupFile(QStringLiteral("/U/A.BIN"), "a");
            connection.script(directory ? connection_op::create : connection_op::write,
                              connection_action::runs(c.raise));
            log.clear();
            EXPECT_EQ(restore(backupDir()),
                      CPStateFlags(directory ? expected.directory : expected.file))
                << c.name << (directory ? " directory" : " file");
            EXPECT_EQ(log.errors(), c.reportLines()) << c.name;
        }
    }
}

// A backup that could not take every requested path never carries OK: the
// reset sync erases the device when it does. Each fault hits the second of
// three files of a user's settings folder, on the page's own list.
enum class Fault { Busy, LocalWrite, Unplug };
struct PartialRow {
    const char* name;
    Fault fault;
    CPStateFlags cause;
};

class PartialBackup : public Backup, public ::testing::WithParamInterface<PartialRow> {};

TEST_P(PartialBackup, IsNeverReportedOKAndKeepsThePreviousBackup)
{
    const PartialRow row = GetParam();
    zarvo::emulator::device_model& model = plugUsbModel();
    putBackupFile(QStringLiteral("/U/0/S/OLD.BIN"), "old");
    model.put_file("/U/0/S/A.BIN", binary(100, 1));
    model.put_file("/U/0/S/B.BIN", binary(200000, 2));
    model.put_file("/U/0/S/C.BIN", binary(100, 3));
    model.put_file("/U/0/20240101/ACT/D.BIN", binary(100, 4));
    std::optional<zarvo::test::file_size_limit> limit;
    std::shared_ptr<zarvo::emulator::stall> stall;
    const auto readOfB = match::file(command::get, "/U/0/S/B.BIN");
    switch (row.fault) {
    case Fault::Busy:
        model.script_answer(readOfB, 2, 1);
        break;
    case Fault::LocalWrite:
        limit.emplace(64 * 1024);
        break;
    case Fault::Unplug:
        stall = model.script_stall(readOfB, 1);
        stall->on_reached([this, s = stall.get()] {
            unplugBeforeNextAnswer();
            s->release();
        });
        break;
    }
    const auto [dir, flags] = backup(QStringLiteral("/U/[USER]/S,/U/[USER]/[YYYYMMDD]/ACT"));
    limit.reset();
    const CPStateFlags expected = FILE_OPERATION_FAILED | row.cause;
    EXPECT_EQ(flags, expected);
    EXPECT_EQ(dir, backupDir());
    EXPECT_EQ(log.lines()
                  .filter(QStringLiteral("Export failed with data path /U/0/S to "))
                  .filter(QStringLiteral("State: ") + Common::stringFromStateFlags(expected))
                  .size(),
              1);
    EXPECT_TRUE(log.lines().filter(QStringLiteral("State: OK")).isEmpty());
    EXPECT_TRUE(log.lines().contains(QStringLiteral("Backup failed, the previous backup is kept. "
                                                    "State: ") +
                                     Common::stringFromStateFlags(expected)));
    EXPECT_EQ(KT::filesBelow(backupDir()), QStringList{"U/0/S/OLD.BIN"});
    EXPECT_EQ(backupsFolder(), QStringList{"0012ABCD"});
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PartialBackup,
    ::testing::Values(PartialRow{"busy", Fault::Busy, TRY_OPERATION_AGAIN},
                      PartialRow{"local_write", Fault::LocalWrite, GENERAL_ERROR},
                      PartialRow{"unplug", Fault::Unplug, TC_CONNECTION_LOST}),
    [](const ::testing::TestParamInfo<PartialRow>& info) { return std::string(info.param.name); });

// A path the device does not have is nothing to keep: the backup is whole.
TEST_F(Backup, PathsAbsentOnTheDeviceAreSkipped)
{
    zarvo::emulator::device_model& model = publishModel();
    model.put_file("/U/0/S/A.BIN", "a");
    EXPECT_EQ(backup(QStringLiteral("/U/[USER]/S,/U/[USER]/NONE,/NONE/X.BPB,/NONE/[YYYYMMDD]/ACT")),
              std::make_pair(backupDir(), CPStateFlags(OK)));
    EXPECT_EQ(KT::filesBelow(backupDir()), QStringList{"U/0/S/A.BIN"});
}

// A complete backup takes the previous one's place whole; what an ended run
// left in its staging folder never reaches it.
TEST_F(Backup, ACompleteBackupReplacesThePreviousOneWhole)
{
    zarvo::emulator::device_model& model = publishModel();
    putBackupFile(QStringLiteral("/U/0/S/OLD.BIN"), "old");
    const QString staging = m_backups + QStringLiteral("/0012ABCD.partial");
    ASSERT_TRUE(QDir().mkpath(staging + QStringLiteral("/U/0/S")));
    ASSERT_TRUE(KT::writeFile(staging + QStringLiteral("/U/0/S/STALE.BIN"), "stale"));
    model.put_file("/U/0/S/A.BIN", "a");
    EXPECT_EQ(backup(QStringLiteral("/U/0/S")), std::make_pair(backupDir(), CPStateFlags(OK)));
    EXPECT_EQ(KT::filesBelow(backupDir()), QStringList{"U/0/S/A.BIN"});
    EXPECT_EQ(backupsFolder(), QStringList{"0012ABCD"});
}

// The restore that failed left the only copy of the user's data: a later
// backup (of the reset device, say) never replaces or deletes it.
TEST_F(Backup, ABackupAfterAFailedRestoreKeepsTheFailedOne)
{
    zarvo::emulator::device_model& model = publishModel();
    putBackupFile(QStringLiteral("/U/0/S/A.BIN"), "precious");
    model.script_answer(match::file(command::put), 205);
    EXPECT_EQ(restore(backupDir()), importFailure | DISK_FULL);
    model.clear_script();

    model.put_file("/U/0/S/B.BIN", "after the reset");
    EXPECT_EQ(backup(QStringLiteral("/U/0/S")), std::make_pair(backupDir(), CPStateFlags(OK)));
    ASSERT_EQ(keptBackups().size(), 1);
    const QString kept = m_backups + QLatin1Char('/') + keptBackups().first();
    EXPECT_TRUE(
        log.lines().contains(QStringLiteral("The backup whose restore failed is kept as ") + kept));
    EXPECT_EQ(backup(QStringLiteral("/U/0/S")), std::make_pair(backupDir(), CPStateFlags(OK)));
    EXPECT_EQ(keptBackups().size(), 1);
    EXPECT_EQ(KT::readBytes(kept + QStringLiteral("/U/0/S/A.BIN")), QByteArray("precious"));
    // And it can be restored by its own name.
    EXPECT_EQ(restore(kept), OK);
    EXPECT_EQ(model.file("/U/0/S/A.BIN"), std::string("precious"));
}

// A restore ended by a process that died is a failed one: its backup is
// moved aside by the next backup instead of being replaced.
TEST_F(Backup, ABackupAfterAnUnfinishedRestoreKeepsItsBackup)
{
    zarvo::emulator::device_model& model = publishModel();
    putBackupFile(QStringLiteral("/U/0/S/A.BIN"), "precious");
    ASSERT_TRUE(KT::writeFile(backupDir() + QStringLiteral(".restoring"), ""));
    model.put_file("/U/0/S/B.BIN", "after the reset");
    EXPECT_EQ(backup(QStringLiteral("/U/0/S")), std::make_pair(backupDir(), CPStateFlags(OK)));
    ASSERT_EQ(keptBackups().size(), 1);
    EXPECT_EQ(KT::filesBelow(m_backups + QLatin1Char('/') + keptBackups().first()),
              QStringList{"U/0/S/A.BIN"});
    EXPECT_EQ(KT::filesBelow(backupDir()), QStringList{"U/0/S/B.BIN"});
}

// A restore that loses the link writes nothing more: the rest would only
// fail, or reach a device that came back in another state.
TEST_F(Backup, ARestoreThatLosesTheLinkAttemptsNoFurtherWrite)
{
    zarvo::test::fake_connection& connection = publishFake();
    putFourBackupFiles();
    connection.script(connection_op::write, connection_action::throws(zarvo::link_lost()));
    EXPECT_EQ(restore(backupDir()), importFailure | TC_CONNECTION_LOST);
    EXPECT_EQ(writesIn(connection), 1);
}

// Backups live with the user's data, not in the temporary folder the
// system empties at boot: a run with a new temporary folder finds them.
TEST_F(Backup, ARunWithANewTemporaryFolderStillFindsTheBackup)
{
    zarvo::emulator::device_model& model = publishModel();
    model.put_file("/U/0/S/A.BIN", "a");
    const auto [dir, flags] = backup(QStringLiteral("/U/0/S"));
    ASSERT_EQ(flags, OK);
    zarvo::test::temp_dir rebooted;
    const QByteArray saved = qgetenv("TMPDIR");
    ::setenv("TMPDIR", rebooted.path().c_str(), 1);
    EXPECT_EQ(Common::getBackupDataPath(), m_backups);
    ASSERT_TRUE(model.remove_entry("/U/0/S"));
    EXPECT_EQ(restore(dir), OK);
    ::setenv("TMPDIR", saved.constData(), 1);
    EXPECT_EQ(model.file("/U/0/S/A.BIN"), std::string("a"));
}

// A restore that cannot record that it started leaves the device untouched:
// failing unmarked, its backup would be left to the next backup.
TEST_F(Backup, ARestoreThatCannotMarkItsStartWritesNothing)
{
    zarvo::emulator::device_model& model = publishModel();
    putBackupFile(QStringLiteral("/U/0/S/A.BIN"), "precious");
    failCall(BackupCall::CreateMark, marker(), ENOSPC);
    EXPECT_EQ(restore(backupDir()), importFailure);
    EXPECT_TRUE(model.transcript().empty());
    EXPECT_TRUE(log.lines().contains(
        QStringLiteral("Restore not started, its mark could not be written: ") + marker() +
        QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(ENOSPC))));
    EXPECT_EQ(KT::readBytes(backupDir() + QStringLiteral("/U/0/S/A.BIN")), QByteArray("precious"));
}

// The same on a file system whose inodes are all taken: a small tmpfs over
// the backups folder (root only).
TEST_F(Backup, WithoutAFreeInodeTheRestoreDoesNotStart)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a tmpfs needs root";
    zarvo::emulator::device_model& model = publishModel();
    const QByteArray target = QFile::encodeName(m_backups);
    if (::mount("ravosync-test", target.constData(), "tmpfs", 0,
                "size=1m,nr_inodes=16,mode=0700") != 0)
        GTEST_SKIP() << "could not mount a tmpfs: " << std::strerror(errno);
    const std::shared_ptr<void> unmount(nullptr,
                                        [&target](void*) { ::umount2(target.constData(), 0); });
    putBackupFile(QStringLiteral("/U/0/S/A.BIN"), "precious");
    int fillers = 0;
    while (KT::writeFile(m_backups + QStringLiteral("/FILL") + QString::number(fillers), ""))
        ASSERT_LT(++fillers, 16);
    model.script_answer(match::file(command::put), 205);
    EXPECT_EQ(restore(backupDir()), importFailure);
    EXPECT_TRUE(model.transcript().empty());
    EXPECT_EQ(log.lines()
                  .filter(QStringLiteral("Restore not started, its mark could not be written: "))
                  .filter(QString::fromLocal8Bit(std::strerror(ENOSPC)))
                  .size(),
              1);
    EXPECT_EQ(KT::readBytes(backupDir() + QStringLiteral("/U/0/S/A.BIN")), QByteArray("precious"));
}

// The reset sync: a backup, the device emptied, a restore that meets one
// busy answer. The page's retry by the folder it was told restores the same
// data, and its success leaves nothing behind.
TEST_F(Backup, ARetryByTheNameThePageHoldsRestoresTheSameData)
{
    zarvo::emulator::device_model& model = publishModel();
    model.put_file("/U/0/S/A.BIN", binary(100, 1));
    model.put_file("/U/0/S/B.BIN", binary(300, 2));
    const auto [dir, flags] = backup(QStringLiteral("/U/0/S"));
    ASSERT_EQ(flags, OK);
    ASSERT_TRUE(model.remove_entry("/U/0/S"));
    model.script_answer(match::file(command::put, "/U/0/S/B.BIN"), 202, 1);
    EXPECT_EQ(restore(dir), importFailure | TC_BUSY);
    EXPECT_EQ(restore(dir), OK);
    EXPECT_EQ(model.file("/U/0/S/A.BIN"), binary(100, 1));
    EXPECT_EQ(model.file("/U/0/S/B.BIN"), binary(300, 2));
    EXPECT_TRUE(backupsFolder().isEmpty());
}

// After the device reports itself full, or the user cancels, the restore
// writes nothing more: the rest would only fail.
TEST_F(Backup, ARestoreStopsWritingAtAFullDeviceOrACancel)
{
    zarvo::test::fake_connection& connection = publishFake();
    const std::map<std::string, CPStateFlags> rows = {
        {"disk_full", importFailure | DISK_FULL},
        {"operation_canceled", importFailure | CANCELLED},
    };
    for (const KT::ErrorCase& c : KT::errorCases) {
        const auto row = rows.find(c.name);
        if (row == rows.end())
            continue;
        putFourBackupFiles();
        const int before = writesIn(connection);
        connection.script(connection_op::write, connection_action::runs(c.raise));
        EXPECT_EQ(restore(backupDir()), row->second) << c.name;
        EXPECT_EQ(writesIn(connection) - before, 1) << c.name;
    }
}

// The next backup cannot move a backup whose restore failed aside (the file
// system refuses): that backup stays in place and the backup fails.
TEST_F(Backup, ABackupThatCannotMoveAFailedRestoresBackupAsideFails)
{
    zarvo::emulator::device_model& model = publishModel();
    putBackupFile(QStringLiteral("/U/0/S/A.BIN"), "precious");
    model.script_answer(match::file(command::put), 205);
    EXPECT_EQ(restore(backupDir()), importFailure | DISK_FULL);
    model.clear_script();
    model.put_file("/U/0/S/B.BIN", "after the reset");
    failCall(BackupCall::Rename, backupDir(), EACCES);
    EXPECT_EQ(backup(QStringLiteral("/U/0/S")),
              std::make_pair(backupDir(), CPStateFlags(GENERAL_ERROR | FILE_OPERATION_FAILED)));
    EXPECT_TRUE(log.lines().contains(
        QStringLiteral("Could not move aside the backup whose restore failed: ") + backupDir()));
    EXPECT_EQ(KT::filesBelow(backupDir()), QStringList{"U/0/S/A.BIN"});
    EXPECT_EQ(backupsFolder(), (QStringList{"0012ABCD", "0012ABCD.restoring"}));
}

// Without the exchange of two folders, a second rename the file system
// refuses puts the previous backup back; refused its way back too, the swap
// stays cut and the next run settles it on the new backup.
TEST_F(Backup, AFallbackSwapWhoseSecondRenameIsRefused)
{
    zarvo::emulator::device_model& model = publishModel();
    putBackupFile(QStringLiteral("/U/0/S/A.BIN"), "old");
    model.put_file("/U/0/S/A.BIN", "new");
    const QString staging = backupDir() + QStringLiteral(".partial");
    failCall(BackupCall::Exchange, staging, EINVAL);
    failCall(BackupCall::Rename, staging, EACCES);
    const std::pair<QString, CPStateFlags> failed{backupDir(),
                                                  GENERAL_ERROR | FILE_OPERATION_FAILED};
    EXPECT_EQ(backup(QStringLiteral("/U/0/S")), failed);
    EXPECT_EQ(KT::readBytes(backupDir() + QStringLiteral("/U/0/S/A.BIN")), QByteArray("old"));
    EXPECT_EQ(backupsFolder(), QStringList{"0012ABCD"});

    failCall(BackupCall::Rename, backupDir() + QStringLiteral(".previous"), EACCES);
    EXPECT_EQ(backup(QStringLiteral("/U/0/S")), failed);
    EXPECT_EQ(backupsFolder(), (QStringList{"0012ABCD.partial", "0012ABCD.previous"}));
    clearFaults();
    ASSERT_TRUE(model.remove_entry("/U/0/S"));
    EXPECT_EQ(restore(backupDir()), OK);
    EXPECT_EQ(model.file("/U/0/S/A.BIN"), std::string("new"));
    EXPECT_TRUE(backupsFolder().isEmpty());
}

// What a swap cut between its renames leaves, and what the next run (a
// restore, or a backup) makes of it: the newest complete copy is the
// device's backup, nothing else stays.
TEST_F(Backup, ACutSwapIsSettledByTheNextRun)
{
    zarvo::emulator::device_model& model = publishModel();
    struct Row {
        const char* name;
        const char* target;
        const char* partial;
        const char* previous;
        const char* restored;
    };
    const Row rows[] = {
        {"between the renames", nullptr, "new", "old", "new"},
        {"staging gone", nullptr, nullptr, "old", "old"},
        {"before the clean-up", "new", nullptr, "old", "new"},
    };
    const auto put = [this](const char* folder, const char* content) {
        const QString dir = m_backups + QStringLiteral("/0012ABCD") + QLatin1String(folder);
        ASSERT_TRUE(QDir().mkpath(dir + QStringLiteral("/U/0/S")));
        ASSERT_TRUE(KT::writeFile(dir + QStringLiteral("/U/0/S/A.BIN"), content));
    };
    for (const Row& row : rows) {
        for (const bool restoring : {true, false}) {
            SCOPED_TRACE(std::string(row.name) + (restoring ? ", restored" : ", backed up"));
            if (row.target)
                put("", row.target);
            if (row.partial)
                put(".partial", row.partial);
            put(".previous", row.previous);
            ASSERT_TRUE(model.remove_entry("/U/0/S") || !model.is_directory("/U/0/S"));
            if (restoring) {
                EXPECT_EQ(restore(backupDir()), OK);
                EXPECT_EQ(model.file("/U/0/S/A.BIN"), std::string(row.restored));
                EXPECT_TRUE(backupsFolder().isEmpty());
            } else {
                model.put_file("/U/0/S/A.BIN", "device");
                EXPECT_EQ(backup(QStringLiteral("/U/0/S")),
                          std::make_pair(backupDir(), CPStateFlags(OK)));
                EXPECT_EQ(KT::readBytes(backupDir() + QStringLiteral("/U/0/S/A.BIN")),
                          QByteArray("device"));
                EXPECT_EQ(backupsFolder(), QStringList{"0012ABCD"});
                ASSERT_TRUE(Common::deleteLocalDirectory(backupDir()));
            }
        }
    }
}

// A restore mark that cannot be removed after a successful restore is
// logged, and costs at most one copy aside, not one per later backup.
TEST_F(Backup, AMarkThatCannotBeRemovedCostsAtMostOneCopy)
{
    zarvo::emulator::device_model& model = publishModel();
    model.put_file("/U/0/S/A.BIN", "a");
    ASSERT_EQ(backup(QStringLiteral("/U/0/S")).second, OK);
    failCall(BackupCall::RemoveMark, marker(), EACCES);
    EXPECT_EQ(restore(backupDir()), OK);
    EXPECT_TRUE(log.lines().contains(QStringLiteral("Could not remove the restore mark ") +
                                     marker() + QStringLiteral(": ") +
                                     QString::fromLocal8Bit(std::strerror(EACCES))));
    for (int i = 0; i < 4; ++i) {
        const std::string content = "version " + std::to_string(i);
        model.put_file("/U/0/S/A.BIN", content);
        EXPECT_EQ(backup(QStringLiteral("/U/0/S")), std::make_pair(backupDir(), CPStateFlags(OK)));
        EXPECT_EQ(KT::readBytes(backupDir() + QStringLiteral("/U/0/S/A.BIN")),
                  QByteArray::fromStdString(content));
    }
    EXPECT_LE(keptBackups().size(), 1);
    EXPECT_LE(
        log.lines().filter(QStringLiteral("The backup whose restore failed is kept as ")).size(),
        1);
}

// A busy answer on a requested file, an answer without content on a
// listing, a busy answer on a folder below a requested one: none gives a
// backup the reset may erase the device after.
TEST_F(Backup, AnUnansweredPathIsNeverOK)
{
    zarvo::emulator::device_model& model = publishModel();
    struct Row {
        const char* name;
        const char* list;
        const char* path;
        int answer;
        CPStateFlags flags;
    };
    const Row rows[] = {
        {"busy on a requested file", "/U/0/S/A.BIN", "/U/0/S/A.BIN", 202,
         FILE_OPERATION_FAILED | TC_BUSY},
        {"203 on a listing", "/U/0/S", "/U/0/S/", 203, GENERAL_ERROR | FILE_OPERATION_FAILED},
        {"busy below a requested folder", "/U/0/S", "/U/0/S/SUB/", 202,
         FILE_OPERATION_FAILED | TC_BUSY},
    };
    model.put_file("/U/0/S/A.BIN", "a");
    model.put_file("/U/0/S/SUB/C.BIN", "c");
    putBackupFile(QStringLiteral("/OLD.BIN"), "old");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        model.script_answer(match::file(command::get, std::string(row.path)), row.answer);
        const auto [dir, flags] = backup(QLatin1String(row.list));
        model.clear_script();
        EXPECT_EQ(flags, row.flags);
        EXPECT_EQ(KT::filesBelow(backupDir()), QStringList{"OLD.BIN"});
    }
}

TEST(BackupLocal, ALocalWorkerAnswersAtOnceAndTouchesNothing)
{
    zarvo::test::temp_dir root;
    KT::WorkerThread thread(
        new TCWorker(TCData(), nullptr, nullptr, nullptr, KT::qpath(root.path())));
    const QString dir = Common::getBackupDataPath() + QStringLiteral("/00000001");
    ASSERT_TRUE(QDir().mkpath(dir));
    ASSERT_TRUE(KT::writeFile(dir + "/A.BIN", "a"));
    const TCData d;
    const auto done = ask(thread, &TCWorker::SIGNAL_backupDone, [](TCWorker* w) {
        w->SLOT_doBackup(TCData(), QStringLiteral("/U/0"), QString(), QString());
    });
    EXPECT_EQ(std::get<1>(done), QString());
    EXPECT_EQ(flagsOf(done), GENERAL_ERROR);
    EXPECT_EQ(flagsOf(ask(thread, &TCWorker::SIGNAL_backupRevertDone,
                          [=](TCWorker* w) { w->SLOT_revertBackup(d, dir); })),
              GENERAL_ERROR | FILE_OPERATION_FAILED);
    EXPECT_TRUE(QFileInfo::exists(dir + "/A.BIN"));
}

} // namespace
} // namespace ConnectLib
