// Directory listings and entry trees of a device: over the device model, and
// over scripted listings for failures deep in a tree and hostile names.
#include "devicelib/errors/errors.h"
#include "devicelib/values/path.h"
#include "tests/connectlib/worker/device_fixture.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

#include <limits>
#include <set>
#include <string>

namespace ConnectLib {
namespace {

using Test::ask;
using Test::flagsOf;
using zarvo::test::connection_action;
using zarvo::test::connection_op;

constexpr quint64 allOnes = std::numeric_limits<quint64>::max();

// Absolute paths below node, each directory before its contents.
QStringList treePaths(const TCEntryItem& node)
{
    QStringList out;
    for (int i = 0; i < node.childCount(); ++i) {
        out << node.child(i)->absolutePath() << treePaths(*node.child(i));
    }
    return out;
}

// A listing entry whose name is kept byte for byte, as a hostile device
// could send it.
struct RawName : zarvo::basic_entry<char, '/'> {
    explicit RawName(std::string name) { text_ = std::move(name); }
};

zarvo::entry file(std::string name, std::uint64_t size = 1)
{
    return zarvo::entry(zarvo::entry::file, RawName(std::move(name)), size);
}

zarvo::entry directory(std::string name)
{
    return zarvo::entry(zarvo::entry::directory, RawName(std::move(name)), 0);
}

std::size_t fetches(const zarvo::test::fake_connection& connection)
{
    std::size_t count = 0;
    for (const auto& call : connection.calls())
        count += call.op == connection_op::fetch ? 1 : 0;
    return count;
}

class Listings : public Test::DeviceFixture {
protected:
    std::tuple<TCEntryItem, CPStateFlags> entries(const QString& root)
    {
        const TCData d = record();
        const auto result = ask(thread(), &TCWorker::SIGNAL_entriesReceived,
                                [d, root](TCWorker* w) { w->SLOT_getEntries(d, root); });
        return {std::get<1>(result), std::get<2>(result)};
    }
    std::tuple<QStringList, CPStateFlags> subdirectories(const QString& root)
    {
        const TCData d = record();
        const auto result = ask(thread(), &TCWorker::SIGNAL_subdirectoriesReceived,
                                [d, root](TCWorker* w) { w->SLOT_getSubdirectories(d, root); });
        return {std::get<1>(result), std::get<2>(result)};
    }
    std::tuple<QStringList, CPStateFlags> withoutFile(const QString& root, const QString& name)
    {
        const TCData d = record();
        const auto result =
            ask(thread(), &TCWorker::SIGNAL_subdirectoriesReceived, [d, root, name](TCWorker* w) {
                w->SLOT_getSubdirectoriesWithoutFile(d, root, name);
            });
        return {std::get<1>(result), std::get<2>(result)};
    }
    std::tuple<QStringList, CPStateFlags> dailyWithoutFile(const QString& root, const QString& name)
    {
        const TCData d = record();
        const auto result =
            ask(thread(), &TCWorker::SIGNAL_subdirectoriesReceived, [d, root, name](TCWorker* w) {
                w->SLOT_getDailySubdirectoriesWithoutFile(d, root, name);
            });
        return {std::get<1>(result), std::get<2>(result)};
    }
    std::tuple<QStringList, CPStateFlags> dailyEntries(const QString& root)
    {
        const TCData d = record();
        const auto result = ask(thread(), &TCWorker::SIGNAL_getDailyEntriesReceived,
                                [d, root](TCWorker* w) { w->SLOT_getDailyEntries(d, root); });
        return {std::get<1>(result), std::get<2>(result)};
    }
    std::tuple<quint64, CPStateFlags> dirSize(const QString& root)
    {
        const TCData d = record();
        const auto result = ask(thread(), &TCWorker::SIGNAL_tcDirSizeReceived,
                                [d, root](TCWorker* w) { w->SLOT_getTCDirSize(d, root); });
        return {std::get<1>(result), std::get<2>(result)};
    }
    QStringList flagLines() const
    {
        return log.lines().filter(QRegularExpression(QStringLiteral("^CPStateFlag: ")));
    }
};

TEST_F(Listings, EntriesOfANamedDirectoryAndOfTheRoot)
{
    zarvo::emulator::device_model& model = publishModel();
    model.put_file("/U/0/DSAVE/A.TXT", "aaaa");
    model.put_file("/U/0/DSAVE/SUB/B.TXT", "bb");
    model.put_file("/U/0/OTHER.TXT", "o");

    for (const char* root : {"/U/0/DSAVE", "/U/0/dsave"}) {
        const auto [item, flags] = entries(QString::fromLatin1(root));
        EXPECT_EQ(flags, OK) << root;
        EXPECT_EQ(item.entryName(), QStringLiteral("DSAVE"));
        EXPECT_EQ(item.type(), TCEntryItem::Directory);
        EXPECT_EQ(treePaths(item),
                  (QStringList{"/U/0/DSAVE/A.TXT", "/U/0/DSAVE/SUB", "/U/0/DSAVE/SUB/B.TXT"}));
        EXPECT_EQ(item.child(0)->size(), 4);
    }

    log.clear();
    const auto [none, noneFlags] = entries(QStringLiteral("/U/0/NONE"));
    EXPECT_EQ(noneFlags, GET_ENTRIES_FAILED | GENERAL_ERROR);
    EXPECT_EQ(none.childCount(), 0);
    EXPECT_TRUE(none.entryName().isEmpty());
    EXPECT_TRUE(log.lines().contains(QStringLiteral("No child was found.")));
    EXPECT_EQ(flagLines(),
              (QStringList{"CPStateFlag: GENERAL_ERROR", "CPStateFlag: GET_ENTRIES_FAILED"}));

    const auto [whole, wholeFlags] = entries(QStringLiteral("/"));
    EXPECT_EQ(wholeFlags, OK);
    const QStringList all = treePaths(whole);
    for (const char* path : {"/DEVICE.BPB", "/U", "/U/0", "/U/0/DSAVE/SUB/B.TXT", "/U/UDB.BPB"})
        EXPECT_TRUE(all.contains(QString::fromLatin1(path))) << path;
}

TEST_F(Listings, SubdirectoriesAndThoseWithoutAFile)
{
    zarvo::emulator::device_model& model = publishModel();
    model.put_file("/F/A.TXT", "a");
    model.put_file("/F/B.TXT", "b");
    model.put_file("/S/ONE/ID.BPB", "i");
    model.put_file("/S/TWO/id.bpb", "i");
    model.make_directory("/S/THREE/ID.BPB");
    model.put_file("/S/FOUR/OTHER", "x");

    EXPECT_EQ(subdirectories(QStringLiteral("/F")),
              std::make_tuple(QStringList(), CPStateFlags(OK)));
    EXPECT_EQ(subdirectories(QStringLiteral("/S")),
              std::make_tuple(QStringList{"FOUR", "ONE", "THREE", "TWO"}, CPStateFlags(OK)));
    // A file of that name in any letter case counts; a directory does not.
    EXPECT_EQ(withoutFile(QStringLiteral("/S"), QStringLiteral("ID.BPB")),
              std::make_tuple(QStringList{"FOUR", "THREE"}, CPStateFlags(OK)));
    EXPECT_EQ(subdirectories(QStringLiteral("/NONE")),
              std::make_tuple(QStringList(), GET_ENTRIES_FAILED | FILE_OR_DIR_NOT_FOUND));
    EXPECT_TRUE(flagLines().isEmpty());
}

TEST_F(Listings, DailyFolders)
{
    zarvo::emulator::device_model& model = publishModel();
    model.put_file("/U/0/20240105/E/T1/ID.BPB", "i");
    model.make_directory("/U/0/20240105/E/T2");
    model.make_directory("/U/0/20240105/ACT");
    model.put_file("/U/0/20240106/ACT/ACT.BPB", "a");
    model.make_directory("/U/0/20240107");
    // Not day folders.
    model.make_directory("/U/0/2024010/E/T3");
    model.make_directory("/U/0/2024010/ACT");
    model.make_directory("/U/0/20241305/E/T4");
    model.make_directory("/U/0/20241305/ACT");

    EXPECT_EQ(
        dailyWithoutFile(QStringLiteral("/U/0/[YYYYMMDD]/E/[SUBDIR]"), QStringLiteral("ID.BPB")),
        std::make_tuple(QStringList{"20240105/E/T2"}, CPStateFlags(OK)));
    EXPECT_EQ(dailyWithoutFile(QStringLiteral("/U/0/[YYYYMMDD]/ACT"), QStringLiteral("ACT.BPB")),
              std::make_tuple(QStringList{"20240105/ACT"}, CPStateFlags(OK)));
    EXPECT_EQ(flagLines(), QStringList());

    EXPECT_EQ(dailyEntries(QStringLiteral("/U/0/[YYYYMMDD]/")),
              std::make_tuple(QStringList{"20240105", "20240105/ACT", "20240105/E", "20240105/E/T1",
                                          "20240105/E/T1/ID.BPB", "20240105/E/T2", "20240106",
                                          "20240106/ACT", "20240106/ACT/ACT.BPB", "20240107"},
                              CPStateFlags(OK)));

    log.clear();
    const QString noTag = QStringLiteral("/U/0/ACT");
    EXPECT_EQ(dailyEntries(noTag),
              std::make_tuple(QStringList(), FILE_OR_DIR_NOT_FOUND | FILE_OPERATION_FAILED));
    EXPECT_EQ(dailyWithoutFile(noTag, QStringLiteral("X")),
              std::make_tuple(QStringList(), FILE_OR_DIR_NOT_FOUND | FILE_OPERATION_FAILED));
    EXPECT_EQ(log.errors()
                  .filter(QStringLiteral("No daily \"YYYYMMDD\" folder name in root dir "
                                         "exist: /U/0/ACT"))
                  .size(),
              2);
}

TEST_F(Listings, ABusyDeviceAnswersEveryListingWithItsFlags)
{
    zarvo::emulator::device_model& model = publishModel();
    model.script_answer(zarvo::emulator::match::file(zarvo::emulator::command::get), 202);
    const CPStateFlags busy = TC_BUSY | GET_ENTRIES_FAILED;
    EXPECT_EQ(subdirectories(QStringLiteral("/U")), std::make_tuple(QStringList(), busy));
    EXPECT_EQ(withoutFile(QStringLiteral("/U"), QStringLiteral("X")),
              std::make_tuple(QStringList(), busy));
    EXPECT_EQ(dailyWithoutFile(QStringLiteral("/U/0/[YYYYMMDD]/ACT"), QStringLiteral("X")),
              std::make_tuple(QStringList(), busy));
    EXPECT_EQ(dailyEntries(QStringLiteral("/U/0/[YYYYMMDD]/")),
              std::make_tuple(QStringList(), busy));
    EXPECT_EQ(dirSize(QStringLiteral("/U")), std::make_tuple(allOnes, busy));
    const auto [item, flags] = entries(QStringLiteral("/U/0"));
    EXPECT_EQ(flags, busy);
    // The three listings that log their flags; GET_ENTRIES_FAILED is added
    // after the log.
    EXPECT_EQ(flagLines(), (QStringList{"CPStateFlag: TC_BUSY", "CPStateFlag: TC_BUSY",
                                        "CPStateFlag: TC_BUSY"}));
}

TEST_F(Listings, DirectorySize)
{
    zarvo::emulator::device_model& model = publishModel();
    model.put_file("/D/A.BIN", std::string(10, 'a'));
    model.put_file("/D/S/B.BIN", std::string(200, 'b'));
    model.put_file("/D/S/T/C.BIN", std::string(3000, 'c'));
    model.put_file("/D/S/T/EMPTY.BIN", "");
    model.make_directory("/E/S/T");
    EXPECT_EQ(dirSize(QStringLiteral("/D")), std::make_tuple(quint64(3210), CPStateFlags(OK)));
    EXPECT_EQ(dirSize(QStringLiteral("/E")), std::make_tuple(quint64(0), CPStateFlags(OK)));
    EXPECT_EQ(dirSize(QStringLiteral("/NONE")),
              std::make_tuple(allOnes, GET_ENTRIES_FAILED | FILE_OR_DIR_NOT_FOUND));
}

// Listings of the scripted connection: first the start, then depth first.
TEST_F(Listings, AFailureDeepInTheTreeEndsTheReadWithWhatCameBefore)
{
    zarvo::test::fake_connection& connection = publishFake();
    const auto script = [&] {
        connection.script(
            connection_op::fetch,
            connection_action::returns_listing({file("0.TXT"), directory("B"), file("c.txt")}));
        connection.script(connection_op::fetch,
                          connection_action::returns_listing({file("1.TXT"), directory("C")}));
        connection.script(connection_op::fetch,
                          connection_action::returns_listing({directory("D")}));
        connection.script(connection_op::fetch,
                          connection_action::throws(zarvo::wait_for_idling()));
    };
    script();
    const auto [item, flags] = entries(QStringLiteral("/"));
    EXPECT_EQ(flags, WAIT_FOR_IDLING | GET_ENTRIES_FAILED);
    EXPECT_EQ(treePaths(item), QStringList{"/0.TXT"});
    EXPECT_TRUE(log.errors().contains(QStringLiteral("Wait for idling exception thrown.")));

    script();
    EXPECT_EQ(dirSize(QStringLiteral("/")),
              std::make_tuple(allOnes, WAIT_FOR_IDLING | GET_ENTRIES_FAILED));
}

TEST_F(Listings, HostileNamesAreSkippedAndTheRestIsListed)
{
    zarvo::test::fake_connection& connection = publishFake();
    const std::string hostile[] = {
        "", ".", "..", "a/b", std::string("ok\0.TXT", 7), std::string("\0", 1)};
    for (const std::string& name : hostile) {
        for (bool asDirectory : {false, true}) {
            connection.script(
                connection_op::fetch,
                connection_action::returns_listing({file("GOOD.TXT"), directory("DIR"),
                                                    asDirectory ? directory(name) : file(name)}));
            connection.script(connection_op::fetch,
                              connection_action::returns_listing({file("IN.TXT")}));
            log.clear();
            const auto [item, flags] = entries(QStringLiteral("/"));
            EXPECT_EQ(flags, OK);
            EXPECT_EQ(treePaths(item), (QStringList{"/DIR", "/DIR/IN.TXT", "/GOOD.TXT"}))
                << name.size();
            EXPECT_EQ(log.lines().filter(QStringLiteral("Skipped a device entry")).size(), 1)
                << name.size();
        }
    }
    EXPECT_EQ(fetches(connection), 2 * 2 * std::size(hostile));
    // The log names the entry, a NUL written out so that nothing is cut.
    connection.script(connection_op::fetch,
                      connection_action::returns_listing({file(std::string("ok\0.TXT", 7))}));
    log.clear();
    entries(QStringLiteral("/"));
    EXPECT_EQ(log.lines().filter(QStringLiteral("Skipped a device entry")),
              QStringList{"Skipped a device entry with an unusable name \"ok\\x00.TXT\" in /"});
}

TEST_F(Listings, AnEndlessTreeStopsAtTheDepthLimit)
{
    zarvo::test::fake_connection& connection = publishFake();
    for (int i = 0; i < 2 * TCWorker::maxTreeDepth; ++i)
        connection.script(connection_op::fetch,
                          connection_action::returns_listing({directory("D")}));
    const auto [item, flags] = entries(QStringLiteral("/"));
    EXPECT_EQ(flags, GENERAL_ERROR | GET_ENTRIES_FAILED);
    EXPECT_EQ(item.childCount(), 0);
    EXPECT_EQ(fetches(connection), std::size_t(TCWorker::maxTreeDepth + 1));
    QString deepest;
    for (int i = 0; i <= TCWorker::maxTreeDepth; ++i)
        deepest += QStringLiteral("/D");
    EXPECT_TRUE(log.lines().contains(
        QStringLiteral("Stopped reading the device tree, too deep at: ") + deepest));
}

} // namespace
} // namespace ConnectLib
