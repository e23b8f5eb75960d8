#include "connectlib/types/tc_entry_item.h"
#include "connectlib/worker/daily_root_path.h"
#include "connectlib/worker/device_entry_name.h"
#include "connectlib/worker/local_entry_tree.h"
#include "connectlib/worker/local_root_path.h"
#include "connectlib/worker/write_rate_text.h"
#include "tests/connectlib/support/ktlib_test_support.h"
#include "tests/support/temp_dir.h"

#include <QDir>
#include <gtest/gtest.h>

#include <unistd.h>

using namespace ConnectLib;
using namespace ConnectLib::Test;

namespace {

TEST(ConfinedLocalPath, StaysInsideTheRootWhateverItsSpelling)
{
    struct Row {
        const char* root;
        const char* request;
        const char* expected; // empty: refused
    };
    const Row rows[] = {
        {"/r/root", "/a/b.txt", "/r/root/a/b.txt"},
        {"/r/root/", "/a/b.txt", "/r/root/a/b.txt"},
        {"/r/x/../root", "/a", "/r/root/a"},
        {"/r/root", "/a/../b", "/r/root/b"},
        {"/r/root", "/", "/r/root"},
        {"/r/root", "/..", ""},
        {"/r/root", "/../root2/f", ""},
        {"/r/root", "/a/../../x", ""},
        {"/r/root/", "/../../etc/passwd", ""},
        // Glued without a separator: a name that merely extends the root's.
        {"/r/root", "2/f", ""},
        {"/", "/etc/x", "/etc/x"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(confinedLocalPath(QString::fromUtf8(row.root), QString::fromUtf8(row.request)),
                  QString::fromUtf8(row.expected))
            << row.root << " + " << row.request;
    }
}

TEST(DeviceEntryName, RejectsNamesThatWouldNotStayOneComponent)
{
    struct Row {
        std::string name;
        bool usable;
    };
    const Row rows[] = {
        {"", false},
        {".", false},
        {"..", false},
        {"a/b", false},
        {"/", false},
        {std::string("ok\0..", 5), false},
        {std::string("\0", 1), false},
        {"...", true},
        {".hidden", true},
        {"DSAVE", true},
        {"A B.BPB", true},
        {"\xc3\xa4", true},
    };
    for (const Row& row : rows)
        EXPECT_EQ(isUsableEntryName(row.name), row.usable) << row.name.size();
}

TEST(DailyRootPath, SplitsBaseSubFolderAndExtraLevel)
{
    struct Row {
        const char* root;
        bool valid;
        const char* base;
        const char* sub;
        bool extra;
    };
    const Row rows[] = {
        {"/U/0/[YYYYMMDD]/E/[SUBDIR]", true, "/U/0", "E", true},
        {"/U/0/[YYYYMMDD]/ACT", true, "/U/0", "ACT", false},
        {"/U/0/[YYYYMMDD]/", true, "/U/0", "", false},
        {"/U/0/[YYYYMMDD]/[SUBDIR]", true, "/U/0", "[SUBDIR]", false},
        {"/U/0/[YYYYMMDD]", false, "", "", false},
        {"/U/0/ACT", false, "", "", false},
    };
    for (const Row& row : rows) {
        const DailyRootPath parsed = parseDailyRootPath(QString::fromUtf8(row.root));
        EXPECT_EQ(parsed.valid, row.valid) << row.root;
        if (!row.valid)
            continue;
        EXPECT_EQ(parsed.base, QString::fromUtf8(row.base)) << row.root;
        EXPECT_EQ(parsed.subFolder, QString::fromUtf8(row.sub)) << row.root;
        EXPECT_EQ(parsed.extraLevel, row.extra) << row.root;
    }
}

TEST(DailyRootPath, StripsTheBaseLiterallyEvenWithPatternCharacters)
{
    struct Row {
        const char* path;
        const char* base;
        const char* expected;
    };
    const Row rows[] = {
        {"/U/0/D/ACT", "/U/0", "D/ACT"},
        {"/U/0.1+/D/ACT", "/U/0.1+", "D/ACT"},
        // As a pattern "/U/0.1+" would match "/U/011" too.
        {"/U/011/D", "/U/0.1+", "/U/011/D"},
        {"/a(b)[c]^$/D", "/a(b)[c]^$", "D"},
        {"/U/0X/D", "/U/0", "/U/0X/D"},
        {"/D/ACT", "", "D/ACT"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(stripBasePrefix(QString::fromUtf8(row.path), QString::fromUtf8(row.base)),
                  QString::fromUtf8(row.expected))
            << row.path;
}

TEST(WriteRateText, SizeDurationAndRate)
{
    struct Row {
        qint64 size;
        qint64 seconds;
        const char* text;
    };
    const Row rows[] = {
        {5000000, 2, "write size: 5000000 duration: 00:00:02, rate (MB/sec): 2.5"},
        {3000000, 3661, "write size: 3000000 duration: 01:01:01, rate (MB/sec): 0.000819448"},
        // The duration is a time of day: a day and a second shows 00:00:01.
        {86401000000, 86401, "write size: 86401000000 duration: 00:00:01, rate (MB/sec): 1"},
        {5000000, 0, "write size: 5000000 duration: 00:00:00, rate (MB/sec): inf"},
        {0, 0, "write size: 0 duration: 00:00:00, rate (MB/sec): nan"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(writeRateText(row.size, row.seconds), QString::fromUtf8(row.text));
}

QStringList treePaths(const TCEntryItem& node)
{
    QStringList out;
    for (int i = 0; i < node.childCount(); ++i) {
        out << node.child(i)->absolutePath();
        out << treePaths(*node.child(i));
    }
    return out;
}

TEST(LocalEntryTree, ListsDotNamesSkipsLinksAndPathsAreRelativeToTheCleanRoot)
{
    zarvo::test::temp_dir dir;
    const QString root = qpath(dir / "root");
    ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/sub/deeper")));
    ASSERT_TRUE(writeFile(root + QStringLiteral("/.dot"), "d"));
    ASSERT_TRUE(writeFile(root + QStringLiteral("/B.txt"), "bb"));
    ASSERT_TRUE(writeFile(root + QStringLiteral("/sub/deeper/x.bin"), "xyz"));
    // A loop back to the root and a link to a file: neither listed nor followed.
    ASSERT_EQ(::symlink(root.toLocal8Bit().constData(),
                        (root + QStringLiteral("/sub/loop")).toLocal8Bit().constData()),
              0);
    ASSERT_EQ(::symlink((root + QStringLiteral("/B.txt")).toLocal8Bit().constData(),
                        (root + QStringLiteral("/link.txt")).toLocal8Bit().constData()),
              0);

    const QStringList expected = {QStringLiteral("/.dot"), QStringLiteral("/B.txt"),
                                  QStringLiteral("/sub"), QStringLiteral("/sub/deeper"),
                                  QStringLiteral("/sub/deeper/x.bin")};
    for (const QString& given :
         {root, root + QStringLiteral("/"), root + QStringLiteral("/sub/../")}) {
        TCEntryItem node(QStringLiteral("/"), nullptr);
        appendLocalEntries(&node, given, given);
        EXPECT_EQ(treePaths(node), expected) << given.toStdString();
    }

    TCEntryItem node(QStringLiteral("/sub"), nullptr);
    appendLocalEntries(&node, root + QStringLiteral("/sub"), root + QStringLiteral("/"));
    ASSERT_EQ(node.childCount(), 1);
    const TCEntryItem* deeper = node.child(0);
    EXPECT_EQ(deeper->type(), TCEntryItem::Directory);
    ASSERT_EQ(deeper->childCount(), 1);
    EXPECT_EQ(deeper->child(0)->entryName(), QStringLiteral("x.bin"));
    EXPECT_EQ(deeper->child(0)->size(), 3);
    EXPECT_EQ(deeper->child(0)->type(), TCEntryItem::File);

    TCEntryItem missing(QStringLiteral("/none"), nullptr);
    appendLocalEntries(&missing, root + QStringLiteral("/none"), root);
    EXPECT_EQ(missing.childCount(), 0);
}

} // namespace
