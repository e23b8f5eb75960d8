// Reads, writes, merges, directory creation, removals and the copy of local
// files to a device, on a worker over the device model or a scripted
// connection.
#include "connectlib/common/clock.h"
#include "connectlib/common/common.h"
#include "devicelib/errors/errors.h"
#include "tests/connectlib/support/ktlib_test_support.h"
#include "tests/connectlib/worker/device_fixture.h"
#include "tests/connectlib/worker/error_cases.h"
#include "tests/support/temp_dir.h"

#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <stdexcept>

namespace ConnectLib {
namespace {

using Test::ask;
using Test::flagsOf;
using zarvo::test::connection_action;
using zarvo::test::connection_op;

// Bytes 0..255 over and over: zero bytes and every other value.
QByteArray binary(int size)
{
    QByteArray out(size, '\0');
    for (int i = 0; i < size; ++i)
        out[i] = char(i * 7 % 256);
    return out;
}

std::string stdBytes(const QByteArray& data)
{
    return std::string(data.constData(), std::size_t(data.size()));
}

// The "CPStateFlag: " lines that flags give.
QStringList flagLines(CPStateFlags flags)
{
    QStringList lines;
    for (const QString& name :
         Common::stringFromStateFlags(flags).split(QStringLiteral(", "), Qt::SkipEmptyParts)) {
        if (name != QLatin1String("OK"))
            lines.append(QStringLiteral("CPStateFlag: ") + name);
    }
    return lines;
}

QStringList flagLinesIn(const QStringList& log)
{
    return log.filter(QRegularExpression(QStringLiteral("^CPStateFlag: ")));
}

const Test::ErrorCase& errorNamed(const char* name)
{
    const auto found =
        std::find_if(std::begin(Test::errorCases), std::end(Test::errorCases),
                     [&](const Test::ErrorCase& c) { return std::strcmp(c.name, name) == 0; });
    if (found == std::end(Test::errorCases))
        throw std::invalid_argument(name);
    return *found;
}

class FileOperations : public Test::DeviceFixture {
protected:
    CPStateFlags read(const QString& path, QByteArray* content = nullptr)
    {
        const TCData d = record();
        const auto result = ask(thread(), &TCWorker::SIGNAL_fileRead,
                                [d, path](TCWorker* w) { w->SLOT_readFile(d, path); });
        EXPECT_EQ(std::get<0>(result), d);
        if (content)
            *content = std::get<1>(result);
        return flagsOf(result);
    }
    CPStateFlags write(const QString& path, const QByteArray& data, qlonglong* bytes = nullptr)
    {
        const TCData d = record();
        const auto result = ask(thread(), &TCWorker::SIGNAL_fileWrote,
                                [d, path, data](TCWorker* w) { w->SLOT_writeFile(d, path, data); });
        if (bytes)
            *bytes = std::get<1>(result);
        return flagsOf(result);
    }
    CPStateFlags merge(const QString& path, const QByteArray& data)
    {
        const TCData d = record();
        return flagsOf(ask(thread(), &TCWorker::SIGNAL_fileMerged,
                           [d, path, data](TCWorker* w) { w->SLOT_mergeFile(d, path, data); }));
    }
    CPStateFlags writeOffline(const QString& source, const QString& target,
                              qlonglong* bytes = nullptr)
    {
        const TCData d = record();
        const auto result = ask(thread(), &TCWorker::SIGNAL_fileWrote, [=](TCWorker* w) {
            w->SLOT_writeOfflineFileToTC(d, source, target, QByteArray("ignored"));
        });
        if (bytes)
            *bytes = std::get<1>(result);
        return flagsOf(result);
    }
    CPStateFlags create(const QString& path)
    {
        const TCData d = record();
        return flagsOf(ask(thread(), &TCWorker::SIGNAL_directoryCreated,
                           [d, path](TCWorker* w) { w->SLOT_createDirectory(d, path); }));
    }
    CPStateFlags removeEntries(const QStringList& entries)
    {
        const TCData d = record();
        return flagsOf(ask(thread(), &TCWorker::SIGNAL_entriesRemoved,
                           [d, entries](TCWorker* w) { w->SLOT_removeEntries(d, entries); }));
    }

    zarvo::test::temp_dir m_dir;
};

TEST_F(FileOperations, BinaryContentCrossesByteExactBothWays)
{
    zarvo::emulator::device_model& model = publishModel();
    for (int size : {1, 256, 3 * 1024 * 1024 + 17}) {
        const QByteArray data = binary(size);
        model.put_file("/U/0/IN.BIN", stdBytes(data));
        QByteArray content;
        EXPECT_EQ(read(QStringLiteral("/U/0/IN.BIN"), &content), OK) << size;
        EXPECT_TRUE(content == data) << size;

        qlonglong bytes = 0;
        EXPECT_EQ(write(QStringLiteral("/U/0/OUT.BIN"), data, &bytes), OK) << size;
        EXPECT_EQ(bytes, size);
        EXPECT_EQ(model.file("/U/0/OUT.BIN"), stdBytes(data)) << size;
    }
    EXPECT_TRUE(flagLinesIn(log.lines()).isEmpty());
}

TEST_F(FileOperations, TheDeviceModelsAnswers)
{
    zarvo::emulator::device_model& model = publishModel();
    qlonglong bytes = -5;
    EXPECT_EQ(write(QStringLiteral("/U/0/T.TXT"), "abc", &bytes), OK);
    EXPECT_EQ(bytes, 3);

    QByteArray content = "x";
    EXPECT_EQ(read(QStringLiteral("/U/0/NONE.TXT"), &content),
              FILE_OR_DIR_NOT_FOUND | FILE_OPERATION_FAILED);
    EXPECT_TRUE(content.isEmpty());

    // One pass from the left: three slashes in a row become two, which the
    // device library then reads as one.
    EXPECT_EQ(create(QStringLiteral("/U/0//S")), OK);
    EXPECT_TRUE(model.is_directory("/U/0/S"));

    log.clear();
    EXPECT_EQ(create(QStringLiteral("/U/0/S")), DIRECTORY_EXISTS | FILE_OPERATION_FAILED);
    EXPECT_TRUE(log.lines().contains(QStringLiteral("Directory already exists!")));
    EXPECT_EQ(flagLinesIn(log.lines()),
              (QStringList{"CPStateFlag: FILE_OPERATION_FAILED", "CPStateFlag: DIRECTORY_EXISTS"}));

    model.put_file("/U/0/M.TXT", "");
    EXPECT_EQ(removeEntries({QStringLiteral("/U/0/M.TXT"), QStringLiteral("/U/0/GONE.TXT")}),
              OK | GENERAL_ERROR);
    EXPECT_FALSE(model.file("/U/0/M.TXT"));
    EXPECT_TRUE(log.lines().contains(QStringLiteral("Failed remove: /U/0/GONE.TXT")));

    withdraw();
    EXPECT_EQ(read(QStringLiteral("/U/0/T.TXT")), TC_CONNECTION_LOST | FILE_OPERATION_FAILED);
}

// The file-operation family: each class injected into each of the five
// operations. Row 7 is invalid content for the transfers and an invalid
// parameter for directory creation; a read has neither row 7 nor disk full.
struct FamilyRow {
    const char* error;
    int read;
    int transfer; // write, merge, local file to device
    int create;
};

const FamilyRow fileFamily[] = {
    {"try_again", 0x100010, 0x100010, 0x100010},
    {"wait_for_idling", 0x200010, 0x200010, 0x200010},
    {"device_busy", 0x40010, 0x40010, 0x40010},
    {"system_busy", 0x80010, 0x80010, 0x80010},
    {"operation_canceled", 0x14, 0x14, 0x14},
    {"no_such_file_or_directory", 0x30, 0x30, 0x30},
    {"no_such_user", 0x30, 0x30, 0x30},
    {"invalid_content", 0x12, 0x2010, 0x12},
    {"invalid_parameter", 0x12, 0x12, 0x8010},
    {"disk_full", 0x12, 0x1010, 0x1010},
    {"link_lost", 0x810, 0x810, 0x810},
    {"session_expired", 0x810, 0x810, 0x810},
    {"operation_timed_out", 0x10010, 0x10010, 0x10010},
    {"bad_data", 0x12, 0x12, 0x12},
    {"directory_exists", 0x12, 0x12, 0x12},
    {"std::runtime_error", 0x12, 0x12, 0x12},
};

TEST_F(FileOperations, FileOperationFamilyForEachOperation)
{
    zarvo::test::fake_connection& connection = publishFake();
    const QString source = ConnectLib::Test::qpath(m_dir / "source.bin");
    ASSERT_TRUE(ConnectLib::Test::writeFile(source, "local bytes"));

    struct Operation {
        const char* name;
        connection_op op;
        int FamilyRow::*expected;
        std::function<CPStateFlags()> run;
    };
    const Operation operations[] = {
        {"read", connection_op::read, &FamilyRow::read,
         [&] { return read(QStringLiteral("/A.TXT")); }},
        {"write", connection_op::write, &FamilyRow::transfer,
         [&] { return write(QStringLiteral("/A.TXT"), "abc"); }},
        {"merge", connection_op::merge, &FamilyRow::transfer,
         [&] { return merge(QStringLiteral("/A.TXT"), "abc"); }},
        {"offline write", connection_op::write, &FamilyRow::transfer,
         [&] { return writeOffline(source, QStringLiteral("/A.TXT")); }},
        {"create", connection_op::create, &FamilyRow::create,
         [&] { return create(QStringLiteral("/D")); }},
    };
    for (const Operation& operation : operations) {
        for (const FamilyRow& row : fileFamily) {
            connection.script(operation.op, connection_action::runs(errorNamed(row.error).raise));
            log.clear();
            const CPStateFlags expected(row.*operation.expected);
            EXPECT_EQ(operation.run(), expected) << operation.name << " " << row.error;
            EXPECT_EQ(flagLinesIn(log.lines()), flagLines(expected))
                << operation.name << " " << row.error;
        }
        // And with nothing injected.
        EXPECT_EQ(operation.run(), OK) << operation.name;
    }
}

// The removal family, and what each removal slot makes of its value.
TEST_F(FileOperations, RemovalFamilyWithEachSlotsAdjustment)
{
    zarvo::test::fake_connection& connection = publishFake();
    struct Row {
        const char* error; // null: the device answers without an error
        bool answer;
        int value;
    };
    const Row rows[] = {
        {nullptr, true, 0x1},
        {nullptr, false, 0x2},
        {"try_again", true, 0x100000},
        {"wait_for_idling", true, 0x200000},
        {"device_busy", true, 0x40000},
        {"system_busy", true, 0x80000},
        {"operation_canceled", true, 0x4},
        {"no_such_file_or_directory", true, 0x20},
        {"link_lost", true, 0x800},
        {"session_expired", true, 0x800},
        {"operation_timed_out", true, 0x10000},
        {"invalid_parameter", true, 0x2},
        {"std::runtime_error", true, 0x2},
    };
    using Signal = void (TCWorker::*)(TCData, CPStateFlags);
    struct Slot {
        const char* name;
        Signal signal;
        void (TCWorker::*slot)(TCData, QString);
        std::function<int(int)> adjust;
    };
    const auto fileOperation = [](int v) { return v == 0x1 ? v : v | 0x10; };
    const Slot removals[] = {
        {"removeFile", &TCWorker::SIGNAL_fileRemoved, &TCWorker::SLOT_removeFile, fileOperation},
        {"removeDirectory", &TCWorker::SIGNAL_directoryRemoved, &TCWorker::SLOT_removeDirectory,
         fileOperation},
        {"removeEntry", &TCWorker::SIGNAL_entryRemoved, &TCWorker::SLOT_removeEntry,
         [](int v) { return v == 0x1 || v == 0x4 ? v : v | 0x10; }},
        {"removeEntries", &TCWorker::SIGNAL_entriesRemoved, nullptr, [](int v) { return v; }},
    };
    const TCData d = record();
    for (const Slot& slot : removals) {
        for (const Row& row : rows) {
            connection.script(connection_op::remove,
                              row.error ? connection_action::runs(errorNamed(row.error).raise)
                                        : connection_action::returns(row.answer));
            log.clear();
            const auto call = slot.slot;
            const CPStateFlags flags = flagsOf(ask(thread(), slot.signal, [=](TCWorker* w) {
                if (call)
                    (w->*call)(d, QStringLiteral("/X"));
                else
                    w->SLOT_removeEntries(d, {QStringLiteral("/X")});
            }));
            const CPStateFlags expected(slot.adjust(row.value));
            EXPECT_EQ(flags, expected) << slot.name << " " << (row.error ? row.error : "answer");
            EXPECT_EQ(flagLinesIn(log.lines()), flagLines(expected)) << slot.name;
        }
    }
    EXPECT_EQ(removeEntries({}), CPStateFlags());
}

TEST_F(FileOperations, EveryEntryOfAListIsAttempted)
{
    zarvo::test::fake_connection& connection = publishFake();
    // A cancel that came between two entries meets the second one's
    // transfer; the one after goes through again.
    connection.script(connection_op::remove, connection_action::returns(true));
    connection.script(connection_op::remove,
                      connection_action::throws(zarvo::operation_canceled()));
    connection.script(connection_op::remove, connection_action::returns(true));
    EXPECT_EQ(removeEntries({"/A", "/B", "/C"}), OK | CANCELLED);
    std::size_t removals = 0;
    for (const auto& call : connection.calls())
        removals += call.op == connection_op::remove ? 1 : 0;
    EXPECT_EQ(removals, 3u);

    // The device goes after the first entry: the guard is emptied between
    // entries (the worker's own thread already holds it, so this does not
    // wait) and the rest find no session.
    connection.script(connection_op::remove,
                      connection_action::runs([this] { guard().nullify(); }));
    EXPECT_EQ(removeEntries({"/D", "/E", "/F"}), OK | TC_CONNECTION_LOST);
    EXPECT_EQ(log.errors().filter(QStringLiteral("Session expired exception thrown.")).size(), 2);
}

TEST_F(FileOperations, LocalFileToTheDevice)
{
    zarvo::emulator::device_model& model = publishModel();
    const QString source = ConnectLib::Test::qpath(m_dir / "big.bin");
    const QByteArray data = binary(5000000);
    ASSERT_TRUE(ConnectLib::Test::writeFile(source, data));

    // The clock moves two seconds while the device takes the file.
    const QDateTime start = QDateTime::currentDateTime();
    std::atomic<int> clockSeconds{0};
    Clock::setSource([&] { return start.addSecs(clockSeconds.load()); });
    const auto stall =
        model.script_stall(zarvo::emulator::match::file(zarvo::emulator::command::put), 1);
    std::thread device([&] {
        if (stall->wait_reached(1))
            clockSeconds = 2;
        stall->release();
    });
    qlonglong bytes = 0;
    EXPECT_EQ(writeOffline(source, QStringLiteral("/U/0/BIG.BIN"), &bytes), OK);
    device.join();
    EXPECT_EQ(bytes, 5000000);
    EXPECT_EQ(model.file("/U/0/BIG.BIN"), stdBytes(data));
    EXPECT_TRUE(log.lines().contains(
        QStringLiteral("write size: 5000000 duration: 00:00:02, rate (MB/sec): 2.5")));

    // Within one second: Qt's infinity.
    log.clear();
    EXPECT_EQ(writeOffline(source, QStringLiteral("/U/0/BIG2.BIN"), &bytes), OK);
    EXPECT_TRUE(log.lines().contains(
        QStringLiteral("write size: 5000000 duration: 00:00:00, rate (MB/sec): inf")));
    Clock::setSource({});

    // A source that cannot be opened: the device sees nothing.
    model.clear_transcript();
    log.clear();
    const QString missing = ConnectLib::Test::qpath(m_dir / "missing.bin");
    bytes = -1;
    EXPECT_EQ(writeOffline(missing, QStringLiteral("/U/0/M.BIN"), &bytes),
              GENERAL_ERROR | FILE_OPERATION_FAILED);
    EXPECT_EQ(bytes, 0);
    EXPECT_TRUE(log.lines().contains(QStringLiteral("Unable to open file for read: ") + missing));
    EXPECT_TRUE(model.transcript().empty());
}

TEST_F(FileOperations, PutLocalFile)
{
    zarvo::emulator::device_model& model = publishModel();
    const QString source = ConnectLib::Test::qpath(m_dir / "fw.bin");
    const QByteArray data = binary(70000);
    ASSERT_TRUE(ConnectLib::Test::writeFile(source, data));
    // A folder exists but cannot be read as a file.
    const QString unreadable = ConnectLib::Test::qpath(m_dir.path());

    TCWorker* w = worker();
    thread().run([w, source] { w->putLocalFile(source, QStringLiteral("/SYSUPDAT.IMG")); });
    EXPECT_EQ(model.file("/SYSUPDAT.IMG"), stdBytes(data));

    model.clear_transcript();
    std::string message;
    thread().run([w, unreadable, &message] {
        try {
            w->putLocalFile(unreadable, QStringLiteral("/X.IMG"));
        } catch (const std::runtime_error& error) {
            message = error.what();
        }
    });
    EXPECT_EQ(message, "Unable to open file for read");
    EXPECT_TRUE(
        log.lines().contains(QStringLiteral("Unable to open file for read: ") + unreadable));
    EXPECT_TRUE(model.transcript().empty());
}

} // namespace
} // namespace ConnectLib
