// Firmware update, update install and firmware folder copy on a worker over
// the device model (whose transcript shows every device call) or a scripted
// connection.
#include "connectlib/common/common.h"
#include "devicelib/core/posting.h"
#include "devicelib/errors/errors.h"
#include "tests/connectlib/support/ktlib_test_support.h"
#include "tests/connectlib/worker/device_fixture.h"
#include "tests/connectlib/worker/error_cases.h"
#include "tests/connectlib/worker/logind_rig.h"
#include "tests/connectlib/worker/zip_archive.h"
#include "tests/devicelib/core/test_device.h"
#include "tests/support/fake_links.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/model_links.h"

#include "zftp_response.pb.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>

namespace ConnectLib {
namespace {

namespace KT = ConnectLib::Test;

using KT::ask;
using KT::flagsOf;
using KT::SignalLog;
using zarvo::emulator::command;
using zarvo::emulator::exchange_kind;
using zarvo::emulator::match;
using zarvo::test::connection_action;
using zarvo::test::connection_op;

constexpr int getDiskSpace = 5;

QByteArray bytes(int size, int seed)
{
    QByteArray out(size, '\0');
    for (int i = 0; i < size; ++i)
        out[i] = char((i * 13 + seed) % 256);
    return out;
}

std::string stdBytes(const QByteArray& data)
{
    return std::string(data.constData(), std::size_t(data.size()));
}

// The paths of one kind of file operation, in order.
std::vector<std::string> operations(const zarvo::emulator::device_model& model, command c)
{
    std::vector<std::string> paths;
    for (const auto& record : model.transcript()) {
        if (record.kind == exchange_kind::file_operation && record.code == int(c))
            paths.push_back(record.path);
    }
    return paths;
}

int queries(const zarvo::emulator::device_model& model, int id)
{
    int count = 0;
    for (const auto& record : model.transcript())
        count += record.kind == exchange_kind::query && record.code == id ? 1 : 0;
    return count;
}

std::string diskSpace(std::uint32_t fragment, std::uint64_t freeFragments)
{
    protocol::PbZFtpDiskSpaceResult result;
    result.set_fragment_size(fragment);
    result.set_total_fragments(1u << 30);
    result.set_free_fragments(freeFragments);
    return result.SerializeAsString();
}

// A second device beside the fixture's: its model behind a USB-like
// connection in the core and a worker of its own.
class SecondDevice {
public:
    SecondDevice()
        : m_model(std::make_shared<zarvo::emulator::device_model>(profile()))
    {
        m_listener.start();
        m_connection = new zarvo::test::usb_like_connection(
            m_device.id(), std::make_shared<zarvo::test::model_backend>(m_model));
        zarvo::core::post_publish_connection(m_device.id(), m_connection, 0);
        SessionGuard* guard = m_listener.takeGuard(m_device.id());
        EXPECT_NE(guard, nullptr);
        m_thread = std::make_unique<KT::WorkerThread>(
            new TCWorker(record(), nullptr, nullptr, guard, QString()));
    }
    ~SecondDevice()
    {
        zarvo::core::post_withdraw_connection(m_device.id(), m_connection);
        EXPECT_TRUE(m_listener.waitEnded(m_device.id()));
        m_thread.reset();
        m_listener.stop();
    }

    TCData record() const
    {
        return TCData(m_device.id(), QString(), QStringLiteral("Ravo Pace 2"), true,
                      QStringLiteral("HID"), QString(), QString(), QString(), QString(), QString(),
                      OK);
    }
    zarvo::emulator::device_model& model() { return *m_model; }
    KT::WorkerThread& thread() { return *m_thread; }

private:
    zarvo::emulator::device_profile profile() const
    {
        zarvo::emulator::device_profile p = zarvo::emulator::device_profile::usb_device();
        p.id = m_device.id();
        return p;
    }

    zarvo::test::test_device m_device;
    KT::GuardingListener m_listener;
    std::shared_ptr<zarvo::emulator::device_model> m_model;
    zarvo::core::connection* m_connection = nullptr;
    std::unique_ptr<KT::WorkerThread> m_thread;
};

class Firmware : public KT::DeviceFixture {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
        m_downloads = Common::getTempFilesDataPath() + QStringLiteral("/downloads");
        ASSERT_TRUE(QDir().mkpath(m_downloads));
        m_fw = Common::getFWUpdateDataPath();
        ASSERT_FALSE(m_fw.isEmpty());
    }

    // An archive in the download folder.
    QString archive(const std::vector<KT::ArchiveEntry>& entries,
                    const QString& name = QStringLiteral("firmware.zip"))
    {
        const QString path = m_downloads + QLatin1Char('/') + name;
        EXPECT_TRUE(KT::writeArchive(path, entries));
        return path;
    }

    CPStateFlags update(const QString& file, bool makeRoom = false)
    {
        const TCData d = record();
        return flagsOf(ask(thread(), &TCWorker::SIGNAL_firmwareUpdated,
                           [=](TCWorker* w) { w->SLOT_updateFW(d, file, makeRoom); }));
    }
    CPStateFlags install(const QString& file, bool makeRoom = false)
    {
        const TCData d = record();
        return flagsOf(ask(thread(), &TCWorker::SIGNAL_ZFTP_installUpdateCompleted,
                           [=](TCWorker* w) { w->SLOT_ZFTP_installUpdate(d, file, makeRoom); }));
    }
    CPStateFlags copy(const QString& path, KT::WorkerThread* on = nullptr,
                      const TCData* as = nullptr)
    {
        const TCData d = as ? *as : record();
        return flagsOf(ask(on ? *on : thread(), &TCWorker::SIGNAL_fwDataCopied,
                           [=](TCWorker* w) { w->SLOT_copyFWData(d, path); }));
    }

    // A file in the firmware folder, as an extraction leaves it.
    void putLocal(const QString& relative, const QByteArray& content)
    {
        const QString path = m_fw + QLatin1Char('/') + relative;
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        ASSERT_TRUE(KT::writeFile(path, content));
    }

    QStringList fwEntries() const
    {
        QStringList out;
        for (const QFileInfo& info : QDir(m_fw).entryInfoList(
                 QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name))
            out << info.fileName();
        return out;
    }

    QString m_downloads;
    QString m_fw;
};

const QByteArray image = bytes(70000, 1);
const QByteArray bluetooth = bytes(3000, 2);
const QByteArray touch = bytes(5000, 3);

// Each archive that extracts nothing fails before the device is touched,
// and the log says why: a full disk is no empty archive.
TEST_F(Firmware, AnArchiveThatExtractsNothingTouchesNoDeviceAndSaysWhy)
{
    zarvo::emulator::device_model& model = publishModel();
    const QString notAZip = m_downloads + QStringLiteral("/broken.zip");
    ASSERT_TRUE(KT::writeFile(notAZip, "not an archive"));
    const struct {
        const char* name;
        QString file;
        bool fullDisk;
        QString line;
    } rows[] = {
        // The zip library opens no archive without entries.
        {"empty", archive({}, QStringLiteral("empty.zip")), false,
         QStringLiteral("Could not extract the firmware archive: ") + m_downloads +
             QStringLiteral("/empty.zip cannot be opened as a zip archive")},
        {"not a zip", notAZip, false,
         QStringLiteral("Could not extract the firmware archive: ") + notAZip +
             QStringLiteral(" cannot be opened as a zip archive")},
        {"full disk", archive({{"SYSUPDAT.IMG", image}}, QStringLiteral("big.zip")), true,
         QStringLiteral("Could not extract the firmware archive: ") + m_fw +
             QStringLiteral("/SYSUPDAT.IMG: File too large")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        log.clear();
        std::optional<zarvo::test::file_size_limit> limit;
        if (row.fullDisk)
            limit.emplace(16 * 1024);
        const CPStateFlags flags = update(row.file, true);
        limit.reset();
        EXPECT_EQ(flags, FW_UPDATE_FAILED | GENERAL_ERROR);
        EXPECT_EQ(log.lines().filter(QStringLiteral("xtract")), QStringList{row.line});
        EXPECT_TRUE(log.lines().filter(QStringLiteral("CPStateFlag")).isEmpty());
    }
    EXPECT_TRUE(model.transcript().empty());
}

TEST_F(Firmware, AnImageOnlyArchiveWritesExactlyTheImage)
{
    zarvo::emulator::device_model& model = publishModel();
    EXPECT_EQ(update(archive({{"SYSUPDAT.IMG", image}})), OK);
    EXPECT_EQ(operations(model, command::put), std::vector<std::string>{"/SYSUPDAT.IMG"});
    EXPECT_TRUE(operations(model, command::remove).empty());
    EXPECT_EQ(model.file("/SYSUPDAT.IMG"), stdBytes(image));
}

TEST_F(Firmware, ThreeFilesGoInOrderTheImageLastByteExact)
{
    zarvo::emulator::device_model& model = publishModel();
    EXPECT_EQ(update(archive(
                  {{"SYSUPDAT.IMG", image}, {"TCHUPDAT.BIN", touch}, {"BTUPDAT.BIN", bluetooth}})),
              OK);
    EXPECT_EQ(operations(model, command::put),
              (std::vector<std::string>{"/BTUPDAT.BIN", "/TCHUPDAT.BIN", "/SYSUPDAT.IMG"}));
    EXPECT_EQ(model.file("/BTUPDAT.BIN"), stdBytes(bluetooth));
    EXPECT_EQ(model.file("/TCHUPDAT.BIN"), stdBytes(touch));
    EXPECT_EQ(model.file("/SYSUPDAT.IMG"), stdBytes(image));
    // No flags reach the log.
    EXPECT_TRUE(log.lines().filter(QStringLiteral("CPStateFlag")).isEmpty());
}

TEST_F(Firmware, LowerCaseNamesAreFound)
{
    zarvo::emulator::device_model& model = publishModel();
    model.put_file("/SYS/lang/OLD.TXT", "old");
    EXPECT_EQ(
        update(archive(
            {{"sys/lang/NEW.TXT", "new"}, {"btupdat.bin", bluetooth}, {"sysupdat.img", image}})),
        OK);
    EXPECT_EQ(operations(model, command::remove), std::vector<std::string>{"/SYS/lang"});
    EXPECT_EQ(operations(model, command::put),
              (std::vector<std::string>{"/BTUPDAT.BIN", "/SYSUPDAT.IMG"}));
    EXPECT_FALSE(model.is_directory("/SYS/lang"));
    EXPECT_EQ(model.file("/SYSUPDAT.IMG"), stdBytes(image));
}

TEST_F(Firmware, SystemFoldersOfTheArchiveAreClearedFirstAMissingOneIgnored)
{
    zarvo::emulator::device_model& model = publishModel();
    model.put_file("/SYS/LANG/EN.TXT", "en");
    model.put_file("/SYS/FONTS/A.FNT", "font");
    EXPECT_EQ(update(archive({{"SYS/LANG/DE.TXT", "de"},
                              {"SYS/MAPS/", ""},
                              {"SYS/README.TXT", "not a folder"},
                              {"SYSUPDAT.IMG", image}})),
              OK);
    const auto transcript = model.transcript();
    ASSERT_GE(transcript.size(), 3u);
    EXPECT_EQ(operations(model, command::remove),
              (std::vector<std::string>{"/SYS/LANG", "/SYS/MAPS"}));
    // The removals come before any upload.
    EXPECT_EQ(transcript.at(0).code, int(command::remove));
    EXPECT_EQ(transcript.at(1).code, int(command::remove));
    EXPECT_FALSE(model.is_directory("/SYS/LANG"));
    EXPECT_TRUE(model.file("/SYS/FONTS/A.FNT"));
    // The folders are uploaded only when a copy is asked for.
    EXPECT_FALSE(model.file("/SYS/LANG/DE.TXT"));
}

TEST_F(Firmware, WithoutMakeRoomThereIsNoFreeSpaceQuery)
{
    zarvo::emulator::device_model& model = publishModel();
    model.set_total_fragments(1);
    EXPECT_EQ(update(archive({{"SYSUPDAT.IMG", image}}), false), FW_UPDATE_FAILED | DISK_FULL);
    EXPECT_EQ(queries(model, getDiskSpace), 0);
    EXPECT_TRUE(log.lines().filter(QStringLiteral("room")).isEmpty());
}

// The worked example: needed 5,000,000, free 4,000,000, fragment 4,096; day
// folders of 146 and 170 fragments. The first adds 147 fragments and falls
// short; the second adds 171 and the sum passes the need.
TEST_F(Firmware, MakingRoomRemovesTheOldestDayFoldersThatGiveEnough)
{
    zarvo::emulator::device_model& model = publishModel();
    model.put_file("/U/0/20240101/A.BIN", std::string(145 * 4096, 'a'));
    model.put_file("/U/0/20240102/B.BIN", std::string(169 * 4096, 'b'));
    model.put_file("/U/0/20240103/C.BIN", "c");
    model.put_file("/U/0/S/KEEP.BIN", "keep");
    // The first query answers the free space, the second the fragment size.
    model.script_answer(match::query(getDiskSpace), 0, 1, diskSpace(1, 4000000));
    model.script_answer(match::query(getDiskSpace), 0, 1, diskSpace(4096, 1));

    EXPECT_EQ(update(archive({{"SYSUPDAT.IMG", QByteArray(5000000, 'i')}}), true), OK);
    EXPECT_EQ(operations(model, command::remove),
              (std::vector<std::string>{"/U/0/20240101", "/U/0/20240102"}));
    EXPECT_TRUE(model.is_directory("/U/0/20240103"));
    EXPECT_TRUE(model.file("/U/0/S/KEEP.BIN"));
    const QStringList lines = log.lines();
    const int notEnough =
        lines.indexOf(QStringLiteral("Not enough room. Needed 5000000 now 4000000"));
    ASSERT_GE(notEnough, 0);
    ASSERT_LT(notEnough + 1, lines.size());
    EXPECT_TRUE(lines.at(notEnough + 1)
                    .startsWith(QStringLiteral("There is now enough room. Needed 5000000 now ")));
    EXPECT_EQ(operations(model, command::put), std::vector<std::string>{"/SYSUPDAT.IMG"});
}

// The room rule at its edges, with 4,000,000 bytes free and fragments of
// 4,096: the first day folder occupies 146 fragments and counts one more
// (602,112 bytes). Free space equal to the need makes no room; one fragment
// more or less of need decides whether the second day folder goes too.
TEST_F(Firmware, MakingRoomAtItsEdges)
{
    const struct {
        int needed;
        std::vector<std::string> removed;
    } rows[] = {
        {4000000, {}},
        {4600000, {"/U/0/20240101"}},
        {4602111, {"/U/0/20240101"}},
        {4602112, {"/U/0/20240101", "/U/0/20240102"}},
    };
    zarvo::emulator::device_model& model = publishModel();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.needed);
        model.put_file("/U/0/20240101/A.BIN", std::string(145 * 4096, 'a'));
        model.put_file("/U/0/20240102/B.BIN", std::string(169 * 4096, 'b'));
        model.clear_transcript();
        model.clear_script();
        model.script_answer(match::query(getDiskSpace), 0, 1, diskSpace(1, 4000000));
        model.script_answer(match::query(getDiskSpace), 0, 1, diskSpace(4096, 1));
        log.clear();
        EXPECT_EQ(update(archive({{"SYSUPDAT.IMG", QByteArray(row.needed, 'i')}}), true), OK);
        EXPECT_EQ(operations(model, command::remove), row.removed);
        EXPECT_EQ(log.lines().filter(QStringLiteral("Not enough room")).size(),
                  row.removed.empty() ? 0 : 1);
    }
}

TEST_F(Firmware, TooLittleRoomInAllUsersFoldersRemovesNothing)
{
    zarvo::emulator::device_model& model = publishModel();
    model.put_file("/U/0/20240101/ACT/A.BIN", std::string(4096, 'a'));
    model.put_file("/U/1/20240101/ACT/A.BIN", std::string(4096, 'a'));
    model.script_answer(match::query(getDiskSpace), 0, 1, diskSpace(1, 100));
    EXPECT_EQ(update(archive({{"SYSUPDAT.IMG", image}}), true), FW_UPDATE_FAILED | DISK_FULL);
    EXPECT_TRUE(operations(model, command::remove).empty());
    EXPECT_TRUE(operations(model, command::put).empty());
    EXPECT_TRUE(log.lines().contains(QStringLiteral("Not enough room. Needed 70000 now 100")));
    EXPECT_TRUE(log.lines().contains(QStringLiteral("Could not make room for firmware update.")));
}

// A fragment size of 0 or a failed read gives no figures to remove user data
// on.
TEST_F(Firmware, NoUsableFragmentSizeRemovesNothing)
{
    zarvo::emulator::device_model& model = publishModel();
    model.put_file("/U/0/20240101/ACT/A.BIN", std::string(300000, 'a'));
    const struct {
        const char* name;
        int answer;
        std::string payload;
    } rows[] = {
        {"fragment size 0", 0, diskSpace(0, 0)},
        {"failed query", 202, std::string()},
    };
    for (const auto& row : rows) {
        model.clear_script();
        model.clear_transcript();
        model.script_answer(match::query(getDiskSpace), 0, 1, diskSpace(1, 100));
        model.script_answer(match::query(getDiskSpace), row.answer, 1, row.payload);
        EXPECT_EQ(update(archive({{"SYSUPDAT.IMG", image}}), true), FW_UPDATE_FAILED | DISK_FULL)
            << row.name;
        EXPECT_TRUE(operations(model, command::remove).empty()) << row.name;
        EXPECT_TRUE(operations(model, command::put).empty()) << row.name;
        EXPECT_TRUE(model.is_directory("/U/0/20240101")) << row.name;
    }
}

TEST_F(Firmware, ASecondUpdateTouchesOnlyWhatItsArchiveHolds)
{
    zarvo::emulator::device_model& model = publishModel();
    EXPECT_EQ(update(archive({{"BTUPDAT.BIN", bluetooth},
                              {"SYS/LANG/DE.TXT", "de"},
                              {"SYSUPDAT.IMG", image}}),
                     true),
              OK);
    model.clear_transcript();
    const QByteArray second = bytes(1000, 9);
    // A free space just below the first archive's size would ask for room
    // if stale files were counted.
    model.script_answer(match::query(getDiskSpace), 0, 1, diskSpace(1, 1500));
    log.clear();
    EXPECT_EQ(update(archive({{"SYSUPDAT.IMG", second}}, QStringLiteral("second.zip")), true), OK);
    EXPECT_TRUE(operations(model, command::remove).empty());
    EXPECT_EQ(operations(model, command::put), std::vector<std::string>{"/SYSUPDAT.IMG"});
    EXPECT_EQ(model.file("/SYSUPDAT.IMG"), stdBytes(second));
    EXPECT_TRUE(log.lines().filter(QStringLiteral("room")).isEmpty());
    EXPECT_EQ(fwEntries(), QStringList{"SYSUPDAT.IMG"});
}

TEST_F(Firmware, AnArchiveWithoutItsImageChangesNothing)
{
    zarvo::emulator::device_model& model = publishModel();
    model.put_file("/SYS/LANG/EN.TXT", "en");
    for (const auto& entries :
         {std::vector<KT::ArchiveEntry>{{"BTUPDAT.BIN", bluetooth}, {"SYS/LANG/DE.TXT", "de"}},
          std::vector<KT::ArchiveEntry>{{"SYSUPDAT.IMG/", ""}, {"BTUPDAT.BIN", bluetooth}}}) {
        const QString file = archive(entries);
        log.clear();
        EXPECT_EQ(update(file, true), FW_UPDATE_FAILED | GENERAL_ERROR);
        EXPECT_TRUE(log.lines().contains(
            QStringLiteral("Firmware archive holds no SYSUPDAT.IMG: ") + file));
        EXPECT_TRUE(QFileInfo::exists(file));
    }
    EXPECT_TRUE(model.transcript().empty());
    EXPECT_TRUE(model.file("/SYS/LANG/EN.TXT"));
}

TEST_F(Firmware, OnlyAnArchiveInsideTheFirmwareFolderIsDeleted)
{
    publishModel();
    // Inside fw (also one folder down), outside it, and a path that merely
    // contains the text "fw".
    const QString fwDownloads = m_fw + QStringLiteral("/dl");
    ASSERT_TRUE(QDir().mkpath(fwDownloads));
    const QString fwTwin = Common::getTempFilesDataPath() + QStringLiteral("/fwupdate-copy");
    ASSERT_TRUE(QDir().mkpath(fwTwin));
    const struct {
        QString path;
        bool deleted;
    } rows[] = {
        {m_fw + QStringLiteral("/firmware.zip"), true},
        {fwDownloads + QStringLiteral("/firmware.zip"), true},
        {m_downloads + QStringLiteral("/fw.zip"), false},
        {fwTwin + QStringLiteral("/firmware.zip"), false},
    };
    for (const auto& row : rows) {
        // An update empties the firmware folder: made again each time.
        ASSERT_TRUE(QDir().mkpath(QFileInfo(row.path).path()));
        ASSERT_TRUE(KT::writeArchive(row.path, {{"SYSUPDAT.IMG", image}}));
        EXPECT_EQ(update(row.path), OK) << row.path.toStdString();
        EXPECT_EQ(QFileInfo::exists(row.path), !row.deleted) << row.path.toStdString();
    }
}

TEST_F(Firmware, UpdateFilesOutsideTheWorkingFolderOrLinksAreRefused)
{
    zarvo::emulator::device_model& model = publishModel();
    zarvo::test::temp_dir elsewhere;
    const QString outside = KT::qpath(elsewhere / "firmware.zip");
    ASSERT_TRUE(KT::writeArchive(outside, {{"SYSUPDAT.IMG", image}}));
    const QString link = m_downloads + QStringLiteral("/link.zip");
    QFile::remove(link);
    ASSERT_TRUE(QFile::link(outside, link));
    const QString climbing =
        m_downloads + QStringLiteral("/../../../") + QFileInfo(outside).absoluteFilePath();
    const QString folder = m_downloads;
    for (const QString& file : {outside, link, climbing, folder, QString()}) {
        log.clear();
        EXPECT_EQ(update(file, true), FW_UPDATE_FAILED | GENERAL_ERROR) << file.toStdString();
        EXPECT_TRUE(log.lines().contains(
            QStringLiteral("Refused an update file outside the working folder: ") + file))
            << file.toStdString();
        EXPECT_EQ(install(file, true), FW_UPDATE_FAILED | GENERAL_ERROR) << file.toStdString();
    }
    EXPECT_TRUE(model.transcript().empty());
    EXPECT_TRUE(QFileInfo::exists(outside));
}

TEST_F(Firmware, InstallWritesTheArchiveByteExact)
{
    zarvo::emulator::device_model& model = publishModel();
    const QString file = m_downloads + QStringLiteral("/update.zip");
    const QByteArray content = bytes(200000, 7);
    ASSERT_TRUE(KT::writeFile(file, content));
    EXPECT_EQ(install(file, true), OK);
    EXPECT_EQ(operations(model, command::put), std::vector<std::string>{"/update.zip"});
    EXPECT_EQ(model.file("/update.zip"), stdBytes(content));
    EXPECT_TRUE(log.lines().filter(QStringLiteral("CPStateFlag")).isEmpty());
}

class FirmwareBlocksSleep : protected KT::WithLogind, public Firmware {};

// While the device is written, sleep and shutdown are blocked; the lock goes
// with the operation.
TEST_F(FirmwareBlocksSleep, UpdateAndInstallHoldTheBlockLockWhileTheyWrite)
{
    zarvo::emulator::device_model& model = publishModel();
    const QString updateFile = m_downloads + QStringLiteral("/update.zip");
    ASSERT_TRUE(KT::writeFile(updateFile, bytes(5000, 7)));
    const struct {
        const char* written;
        std::function<CPStateFlags()> run;
    } rows[] = {
        {"/SYSUPDAT.IMG",
         [&] {
             return update(archive({{"SYSUPDAT.IMG", image}}));
         }},
        {"/update.zip", [&] { return install(updateFile); }},
    };
    int releases = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.written);
        std::atomic<int> heldWhileWriting{-1};
        const auto stall = model.script_stall(match::file(command::put, row.written), 1);
        stall->on_reached([&, s = stall.get()] {
            heldWhileWriting = logind.locks_held("block");
            s->release();
        });
        EXPECT_EQ(row.run(), OK);
        EXPECT_EQ(heldWhileWriting, 1);
        EXPECT_EQ(KT::blockCalls(logind), ++releases);
        ASSERT_TRUE(logind.wait_releases(releases));
        EXPECT_EQ(logind.locks_held("block"), 0);
    }
}

TEST_F(Firmware, InstallWithTooLittleRoomWritesNothing)
{
    zarvo::emulator::device_model& model = publishModel();
    const QString file = m_downloads + QStringLiteral("/update.zip");
    ASSERT_TRUE(KT::writeFile(file, bytes(5000, 7)));
    model.script_answer(match::query(getDiskSpace), 0, 1, diskSpace(1, 100));
    EXPECT_EQ(install(file, true), FW_UPDATE_FAILED | DISK_FULL);
    EXPECT_TRUE(operations(model, command::put).empty());
    EXPECT_TRUE(log.lines().contains(QStringLiteral("Not enough room. Needed 5000 now 100")));
    EXPECT_TRUE(log.lines().contains(QStringLiteral("Could not make room for firmware update.")));
}

TEST_F(Firmware, InstallNeedsTheArchivesSizeWhateverLiesInTheFirmwareFolder)
{
    zarvo::emulator::device_model& model = publishModel();
    putLocal(QStringLiteral("SYS/BIG.BIN"), QByteArray(100000, 'x'));
    const QString file = m_downloads + QStringLiteral("/update.zip");
    ASSERT_TRUE(KT::writeFile(file, bytes(5000, 7)));
    model.script_answer(match::query(getDiskSpace), 0, 1, diskSpace(1, 6000));
    EXPECT_EQ(install(file, true), OK);
    EXPECT_TRUE(log.lines().filter(QStringLiteral("room")).isEmpty());
    EXPECT_EQ(operations(model, command::put), std::vector<std::string>{"/update.zip"});
}

// The firmware family, the same for both operations that use it.
TEST_F(Firmware, FirmwareFamily)
{
    zarvo::test::fake_connection& connection = publishFake();
    const std::map<std::string, int> rows = {
        {"try_again", 0x900000},          {"wait_for_idling", 0xA00000},
        {"device_busy", 0x840000},        {"system_busy", 0x880000},
        {"operation_canceled", 0x800004}, {"no_such_file_or_directory", 0x800020},
        {"no_such_user", 0x800020},       {"invalid_content", 0x802000},
        {"disk_full", 0x801000},          {"link_lost", 0x800800},
        {"session_expired", 0x800800},    {"operation_timed_out", 0x810000},
    };
    const QString file = archive({{"SYSUPDAT.IMG", image}});
    for (const KT::ErrorCase& c : KT::errorCases) {
        const auto found = rows.find(c.name);
        const CPStateFlags expected(found == rows.end() ? 0x800002 : found->second);
        for (const bool installing : {false, true}) {
            connection.script(connection_op::write, connection_action::runs(c.raise));
            log.clear();
            const CPStateFlags flags = installing ? install(file) : update(file);
            EXPECT_EQ(flags, expected) << c.name << (installing ? " install" : " update");
            EXPECT_EQ(log.errors(), c.reportLines()) << c.name;
            EXPECT_TRUE(log.lines().filter(QStringLiteral("CPStateFlag")).isEmpty());
            if (!installing) {
                ASSERT_TRUE(KT::writeArchive(file, {{"SYSUPDAT.IMG", image}}));
            }
        }
    }
}

// A write of the update that fails while the link stands leaves no half
// update on the device: the files this run wrote are removed again, and the
// log says which system folders were already cleared.
TEST_F(Firmware, AFailedWriteRemovesTheUpdateFilesThisRunWrote)
{
    const struct {
        const char* refused;
        int answer;
        CPStateFlags flags;
        std::vector<std::string> removed;
    } rows[] = {
        {"/SYSUPDAT.IMG",
         205,
         FW_UPDATE_FAILED | DISK_FULL,
         {"/BTUPDAT.BIN", "/TCHUPDAT.BIN", "/SYSUPDAT.IMG"}},
        {"/TCHUPDAT.BIN",
         203,
         FW_UPDATE_FAILED | INVALID_CONTENT,
         {"/BTUPDAT.BIN", "/TCHUPDAT.BIN"}},
    };
    zarvo::emulator::device_model& model = publishModel();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.refused);
        model.put_file("/SYS/LANG/EN.TXT", "en");
        model.clear_transcript();
        model.script_answer(match::file(command::put, row.refused), row.answer, 1);
        log.clear();
        EXPECT_EQ(update(archive({{"SYS/LANG/DE.TXT", "de"},
                                  {"BTUPDAT.BIN", bluetooth},
                                  {"TCHUPDAT.BIN", touch},
                                  {"SYSUPDAT.IMG", image}})),
                  row.flags);
        std::vector<std::string> removed = operations(model, command::remove);
        ASSERT_FALSE(removed.empty());
        EXPECT_EQ(removed.front(), "/SYS/LANG");
        removed.erase(removed.begin());
        EXPECT_EQ(removed, row.removed);
        for (const char* file : {"/BTUPDAT.BIN", "/TCHUPDAT.BIN", "/SYSUPDAT.IMG"})
            EXPECT_FALSE(model.file(file)) << file;
        EXPECT_TRUE(log.lines().contains(
            QStringLiteral("Firmware update failed; device folders already cleared: /SYS/LANG")));
        EXPECT_EQ(log.lines()
                      .filter(QStringLiteral("Removed the update files of the failed "
                                             "update: "))
                      .size(),
                  1);
    }
}

// With the link gone nothing more is tried: the removals would only fail.
TEST_F(Firmware, ALostLinkTriesNoRemoval)
{
    zarvo::emulator::device_model& model = plugUsbModel();
    const auto stall = model.script_stall(match::file(command::put, "/SYSUPDAT.IMG"), 1);
    stall->on_reached([this, s = stall.get()] {
        unplugBeforeNextAnswer();
        s->release();
    });
    EXPECT_EQ(update(archive({{"BTUPDAT.BIN", bluetooth}, {"SYSUPDAT.IMG", image}})),
              FW_UPDATE_FAILED | TC_CONNECTION_LOST);
    EXPECT_TRUE(operations(model, command::remove).empty());
    EXPECT_TRUE(log.lines().contains(
        QStringLiteral("Firmware update failed with the link lost; update files left on the "
                       "device: /BTUPDAT.BIN, /SYSUPDAT.IMG")));
}

TEST_F(Firmware, AFailingFolderRemovalReachesTheFamily)
{
    zarvo::test::fake_connection& connection = publishFake();
    connection.script(connection_op::remove,
                      connection_action::throws(zarvo::no_such_file_or_directory()));
    connection.script(connection_op::remove, connection_action::throws(zarvo::system_busy()));
    EXPECT_EQ(update(archive({{"SYS/A/X", "x"}, {"SYS/B/Y", "y"}, {"SYSUPDAT.IMG", image}})),
              FW_UPDATE_FAILED | SYSTEM_BUSY);
    for (const auto& call : connection.calls())
        EXPECT_NE(call.op, connection_op::write);
}

class FirmwareCopy : public Firmware {
protected:
    void SetUp() override
    {
        Firmware::SetUp();
        // What an earlier update left behind.
        ASSERT_TRUE(Common::deleteLocalDirectory(m_fw));
        m_fw = Common::getFWUpdateDataPath();
    }
};

TEST_F(FirmwareCopy, ThreeFilesInTwoLevelsReportProgressThenOK)
{
    zarvo::emulator::device_model& model = publishModel();
    model.make_directory("/SYS");
    putLocal(QStringLiteral("SYS/LANG/DE.TXT"), "de");
    putLocal(QStringLiteral("SYS/LANG/EN.TXT"), "en");
    putLocal(QStringLiteral("SYS/FONT.BIN"), bytes(9000, 4));
    SignalLog progress(worker(), &TCWorker::SIGNAL_fwUpdateProgress);
    EXPECT_EQ(copy(QStringLiteral("SYS")), OK);
    const auto items = progress.items();
    ASSERT_EQ(items.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(std::get<0>(items[i]), i + 1);
        EXPECT_EQ(std::get<1>(items[i]), 3);
        EXPECT_EQ(std::get<2>(items[i]), CPStateFlags(OK));
    }
    EXPECT_EQ(model.file("/SYS/FONT.BIN"), stdBytes(bytes(9000, 4)));
    EXPECT_EQ(model.file("/SYS/LANG/DE.TXT"), std::string("de"));
    EXPECT_EQ(model.file("/SYS/LANG/EN.TXT"), std::string("en"));
}

TEST_F(FirmwareCopy, FolderNamesWithAndWithoutLeadingSlash)
{
    zarvo::emulator::device_model& model = publishModel();
    model.make_directory("/SYS");
    putLocal(QStringLiteral("SYS/LANG/DE.TXT"), "de");
    const struct {
        const char* path;
        int flags;
    } rows[] = {
        {"SYS", 0x1},      {"/SYS", 0x1},
        {"SYS/LANG", 0x1}, {"/SYS/../SYS/LANG", 0x1},
        {"../x", 0x22},    {"SYS/../../x", 0x22},
        {"/", 0x22},       {"", 0x22},
        {"NONE", 0x22},    {"SYS/LANG/DE.TXT", 0x22},
    };
    for (const auto& row : rows) {
        model.clear_transcript();
        EXPECT_EQ(copy(QString::fromLatin1(row.path)), CPStateFlags(row.flags)) << row.path;
        if (row.flags != 0x1) {
            EXPECT_TRUE(model.transcript().empty()) << row.path;
        }
    }
    EXPECT_TRUE(log.lines().contains(
        QStringLiteral("Refused a firmware folder outside the working folder: ../x")));
}

TEST_F(FirmwareCopy, AnEmptyFolderOrOneWithOnlyEmptyFoldersIsNotFound)
{
    zarvo::emulator::device_model& model = publishModel();
    model.make_directory("/SYS");
    ASSERT_TRUE(QDir().mkpath(m_fw + QStringLiteral("/SYS/EMPTY/DEEPER")));
    EXPECT_EQ(copy(QStringLiteral("SYS")), FILE_OR_DIR_NOT_FOUND | GENERAL_ERROR);
    EXPECT_TRUE(model.transcript().empty());
    // Beside a file an empty folder is no failure.
    putLocal(QStringLiteral("SYS/A.TXT"), "a");
    EXPECT_EQ(copy(QStringLiteral("SYS")), OK);
    EXPECT_TRUE(model.is_directory("/SYS/EMPTY/DEEPER"));
}

TEST_F(FirmwareCopy, DotFilesAreCopiedLinksAreNot)
{
    zarvo::emulator::device_model& model = publishModel();
    model.make_directory("/SYS");
    putLocal(QStringLiteral("SYS/.HIDDEN"), "h");
    putLocal(QStringLiteral("SYS/A.TXT"), "a");
    zarvo::test::temp_dir elsewhere;
    const QString secret = KT::qpath(elsewhere / "secret.txt");
    ASSERT_TRUE(KT::writeFile(secret, "secret"));
    ASSERT_TRUE(QFile::link(secret, m_fw + QStringLiteral("/SYS/LINK.TXT")));
    ASSERT_TRUE(QFile::link(KT::qpath(elsewhere.path()), m_fw + QStringLiteral("/SYS/DIR")));
    SignalLog progress(worker(), &TCWorker::SIGNAL_fwUpdateProgress);
    EXPECT_EQ(copy(QStringLiteral("SYS")), OK);
    EXPECT_EQ(std::get<1>(progress.wait()), 2);
    EXPECT_EQ(model.file("/SYS/.HIDDEN"), std::string("h"));
    EXPECT_FALSE(model.file("/SYS/LINK.TXT"));
    EXPECT_FALSE(model.is_directory("/SYS/DIR"));
    // A link as the folder itself, or on the way to it.
    ASSERT_TRUE(QDir().mkpath(KT::qpath(elsewhere / "INNER")));
    ASSERT_TRUE(KT::writeFile(KT::qpath(elsewhere / "INNER" / "X.TXT"), "x"));
    model.clear_transcript();
    EXPECT_EQ(copy(QStringLiteral("SYS/DIR")), FILE_OR_DIR_NOT_FOUND | GENERAL_ERROR);
    EXPECT_EQ(copy(QStringLiteral("SYS/DIR/INNER")), FILE_OR_DIR_NOT_FOUND | GENERAL_ERROR);
    EXPECT_TRUE(model.transcript().empty());
}

TEST_F(FirmwareCopy, AFailureInTheSecondFileGivesItsFlagWithoutOK)
{
    zarvo::emulator::device_model& model = publishModel();
    model.make_directory("/SYS");
    putLocal(QStringLiteral("SYS/A.TXT"), "a");
    putLocal(QStringLiteral("SYS/B.TXT"), "b");
    putLocal(QStringLiteral("SYS/C.TXT"), "c");
    // The device says its disk is full.
    model.script_answer(match::file(command::put, "/SYS/B.TXT"), 205, 1);
    SignalLog progress(worker(), &TCWorker::SIGNAL_fwUpdateProgress);
    EXPECT_EQ(copy(QStringLiteral("SYS")), DISK_FULL);
    // The walk through the folder ends at the failure.
    EXPECT_EQ(progress.count(), 1u);
    EXPECT_TRUE(model.file("/SYS/A.TXT"));
    EXPECT_FALSE(model.file("/SYS/C.TXT"));
}

TEST_F(FirmwareCopy, UploadFamilyAsOneTable)
{
    zarvo::test::fake_connection& connection = publishFake();
    putLocal(QStringLiteral("SYS/A.TXT"), "a");
    const std::map<std::string, int> rows = {
        {"system_busy", 0x80000}, {"operation_canceled", 0x4}, {"no_such_file_or_directory", 0x20},
        {"no_such_user", 0x20},   {"invalid_content", 0x2000}, {"disk_full", 0x1000},
        {"link_lost", 0x800},     {"session_expired", 0x800},  {"operation_timed_out", 0x10000},
    };
    for (const KT::ErrorCase& c : KT::errorCases) {
        const auto found = rows.find(c.name);
        const CPStateFlags expected(found == rows.end() ? 0x2 : found->second);
        connection.script(connection_op::write, connection_action::runs(c.raise));
        log.clear();
        EXPECT_EQ(copy(QStringLiteral("SYS")), expected) << c.name;
        EXPECT_EQ(log.errors(), c.reportLines()) << c.name;
    }
    EXPECT_EQ(copy(QStringLiteral("SYS")), OK);
}

TEST_F(FirmwareCopy, TwoDevicesCopyingAtOnceReportTheirOwnCounts)
{
    publishModel().make_directory("/SYS");
    SecondDevice second;
    second.model().make_directory("/LANG");
    putLocal(QStringLiteral("SYS/A.TXT"), "a");
    putLocal(QStringLiteral("SYS/B.TXT"), "b");
    putLocal(QStringLiteral("SYS/C.TXT"), "c");
    putLocal(QStringLiteral("LANG/D.TXT"), "d");
    putLocal(QStringLiteral("LANG/E.TXT"), "e");
    SignalLog firstProgress(worker(), &TCWorker::SIGNAL_fwUpdateProgress);
    SignalLog secondProgress(second.thread().worker(), &TCWorker::SIGNAL_fwUpdateProgress);
    SignalLog firstDone(worker(), &TCWorker::SIGNAL_fwDataCopied);
    SignalLog secondDone(second.thread().worker(), &TCWorker::SIGNAL_fwDataCopied);
    const TCData one = record();
    const TCData two = second.record();
    thread().post([w = worker(), one] { w->SLOT_copyFWData(one, QStringLiteral("SYS")); });
    second.thread().post(
        [w = second.thread().worker(), two] { w->SLOT_copyFWData(two, QStringLiteral("LANG")); });
    EXPECT_EQ(flagsOf(firstDone.wait()), OK);
    EXPECT_EQ(flagsOf(secondDone.wait()), OK);
    std::vector<std::pair<int, int>> firstCounts, secondCounts;
    for (const auto& item : firstProgress.items())
        firstCounts.emplace_back(std::get<0>(item), std::get<1>(item));
    for (const auto& item : secondProgress.items())
        secondCounts.emplace_back(std::get<0>(item), std::get<1>(item));
    EXPECT_EQ(firstCounts, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));
    EXPECT_EQ(secondCounts, (std::vector<std::pair<int, int>>{{1, 2}, {2, 2}}));
    EXPECT_EQ(second.model().file("/LANG/E.TXT"), std::string("e"));
}

// A second device's update starts only once the first one's has ended: it
// must never receive files of the first one's archive.
TEST_F(Firmware, ASecondDevicesUpdateWaitsForTheFirst)
{
    zarvo::emulator::device_model& model = publishModel();
    SecondDevice second;
    const auto stall = model.script_stall(match::file(command::put, "/SYSUPDAT.IMG"), 1);
    SignalLog firstDone(worker(), &TCWorker::SIGNAL_firmwareUpdated);
    SignalLog secondDone(second.thread().worker(), &TCWorker::SIGNAL_firmwareUpdated);
    const QString firstFile = archive({{"SYSUPDAT.IMG", image}}, QStringLiteral("one.zip"));
    const QString secondFile =
        archive({{"SYSUPDAT.IMG", bytes(100, 5)}}, QStringLiteral("two.zip"));
    const TCData one = record();
    const TCData two = second.record();
    thread().post([w = worker(), one, firstFile] { w->SLOT_updateFW(one, firstFile, false); });
    ASSERT_TRUE(stall->wait_reached(1));
    second.thread().post([w = second.thread().worker(), two, secondFile] {
        w->SLOT_updateFW(two, secondFile, false);
    });
    // Whatever the second worker does meanwhile, it may not reach its device.
    const std::size_t secondBefore = second.model().transcript().size();
    stall->release();
    EXPECT_EQ(flagsOf(firstDone.wait()), OK);
    EXPECT_EQ(flagsOf(secondDone.wait()), OK);
    EXPECT_EQ(secondBefore, 0u);
    EXPECT_EQ(model.file("/SYSUPDAT.IMG"), stdBytes(image));
    EXPECT_EQ(second.model().file("/SYSUPDAT.IMG"), stdBytes(bytes(100, 5)));
}

// The pages' delete of the firmware files waits its turn behind the
// process-wide firmware lock: an update running at that moment keeps its
// files; afterwards the delete goes through.
TEST_F(Firmware, DeletingTheFirmwareFilesLeavesARunningUpdateAlone)
{
    zarvo::emulator::device_model& model = publishModel();
    const auto stall = model.script_stall(match::file(command::put, "/TCHUPDAT.BIN"), 1);
    SignalLog done(worker(), &TCWorker::SIGNAL_firmwareUpdated);
    const QString file =
        archive({{"TCHUPDAT.BIN", touch}, {"SYSUPDAT.IMG", image}, {"SYS/LANG/DE.TXT", "de"}});
    const TCData d = record();
    thread().post([w = worker(), d, file] { w->SLOT_updateFW(d, file, false); });
    ASSERT_TRUE(stall->wait_reached(1));
    log.clear();
    EXPECT_FALSE(Common::deleteFWUpdateFiles());
    EXPECT_TRUE(QFileInfo::exists(m_fw + QStringLiteral("/SYSUPDAT.IMG")));
    EXPECT_TRUE(log.lines().contains(
        QStringLiteral("Firmware files not deleted: a firmware operation is running.")));
    stall->release();
    EXPECT_EQ(flagsOf(done.wait()), OK);
    EXPECT_EQ(model.file("/SYSUPDAT.IMG"), stdBytes(image));
    // The signal leaves before the slot has returned and let the lock go.
    thread().run([] {});
    EXPECT_TRUE(Common::deleteFWUpdateFiles());
    EXPECT_FALSE(QFileInfo::exists(m_fw + QStringLiteral("/SYS")));
}

TEST(FirmwareLocal, ALocalWorkerAnswersAtOnceAndTouchesNothing)
{
    zarvo::test::temp_dir root;
    KT::WorkerThread thread(
        new TCWorker(TCData(), nullptr, nullptr, nullptr, KT::qpath(root.path())));
    const QString fw = Common::getFWUpdateDataPath();
    const QString file = Common::getTempFilesDataPath() + QStringLiteral("/local.zip");
    ASSERT_TRUE(KT::writeArchive(file, {{"SYSUPDAT.IMG", image}}));
    ASSERT_TRUE(KT::writeFile(fw + QStringLiteral("/KEEP.TXT"), "keep"));
    const TCData d;
    EXPECT_EQ(flagsOf(ask(thread, &TCWorker::SIGNAL_firmwareUpdated,
                          [=](TCWorker* w) { w->SLOT_updateFW(d, file, true); })),
              FW_UPDATE_FAILED | GENERAL_ERROR);
    EXPECT_EQ(flagsOf(ask(thread, &TCWorker::SIGNAL_ZFTP_installUpdateCompleted,
                          [=](TCWorker* w) { w->SLOT_ZFTP_installUpdate(d, file, true); })),
              FW_UPDATE_FAILED | GENERAL_ERROR);
    EXPECT_EQ(flagsOf(ask(thread, &TCWorker::SIGNAL_fwDataCopied,
                          [=](TCWorker* w) { w->SLOT_copyFWData(d, QStringLiteral("SYS")); })),
              FW_UPDATE_FAILED | GENERAL_ERROR);
    EXPECT_TRUE(QFileInfo::exists(file));
    EXPECT_TRUE(QFileInfo::exists(fw + QStringLiteral("/KEEP.TXT")));
}

// An environment variable naming a folder where no private folder can be
// made, for its lifetime.
class UnusableFolder {
public:
    UnusableFolder(const char* variable, const std::string& path)
        : m_variable(variable)
        , m_saved(qgetenv(variable))
    {
        ::setenv(variable, path.c_str(), 1);
    }
    ~UnusableFolder() { ::setenv(m_variable, m_saved.constData(), 1); }

private:
    const char* m_variable;
    QByteArray m_saved;
};

// Without a private working folder nothing is extracted, written or deleted,
// and nothing lands relative to the current or root folder.
TEST_F(Firmware, WithoutAWorkingFolderEveryOperationFailsAtOnce)
{
    zarvo::emulator::device_model& model = publishModel();
    const QString file = archive({{"SYSUPDAT.IMG", image}});
    zarvo::test::temp_dir scratch;
    const std::string unusable = (scratch / "missing" / "deeper").string();
    // A file where the folders would go: nothing can be made below it.
    ASSERT_TRUE(KT::writeFile(KT::qpath(scratch / "file"), "not a folder"));
    const UnusableFolder temp("TMPDIR", unusable);
    const UnusableFolder data("XDG_DATA_HOME", (scratch / "file").string());
    ASSERT_EQ(Common::getFWUpdateDataPath(), QString());
    ASSERT_EQ(Common::getBackupDataPath(), QString());
    const TCData d = record();
    EXPECT_EQ(update(file, true), FW_UPDATE_FAILED | GENERAL_ERROR);
    EXPECT_EQ(install(file, true), FW_UPDATE_FAILED | GENERAL_ERROR);
    EXPECT_EQ(copy(QStringLiteral("SYS")), FILE_OR_DIR_NOT_FOUND | GENERAL_ERROR);
    const auto backup = ask(thread(), &TCWorker::SIGNAL_backupDone, [=](TCWorker* w) {
        w->SLOT_doBackup(d, QStringLiteral("/DEVICE.BPB"), QString(), QString());
    });
    EXPECT_EQ(std::get<1>(backup), QString());
    EXPECT_EQ(flagsOf(backup), FILE_OR_DIR_NOT_FOUND | GENERAL_ERROR);
    EXPECT_EQ(flagsOf(ask(thread(), &TCWorker::SIGNAL_backupRevertDone,
                          [=](TCWorker* w) {
                              w->SLOT_revertBackup(d, QStringLiteral("/backups/0012ABCD"));
                          })),
              GENERAL_ERROR | FILE_OPERATION_FAILED);
    EXPECT_TRUE(model.transcript().empty());
    EXPECT_TRUE(QFileInfo::exists(file));
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("SYSUPDAT.IMG")));
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/SYSUPDAT.IMG")));
}

} // namespace
} // namespace ConnectLib
