#include "connectlib/common/common.h"
#include "tests/connectlib/support/ktlib_test_support.h"
#include "tests/support/temp_dir.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <gtest/gtest.h>

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipnewinfo.h>

#include <vector>

using ConnectLib::Common;
using namespace ConnectLib::Test;

namespace {

struct ZipEntry {
    QString name;
    QByteArray data;
    quint32 unixMode = 0; // type and permission bits; 0 leaves QuaZip's default
};

bool makeZip(const QString& path, const std::vector<ZipEntry>& entries)
{
    QuaZip zip(path);
    if (!zip.open(QuaZip::mdCreate))
        return false;
    for (const ZipEntry& entry : entries) {
        QuaZipNewInfo info(entry.name);
        if (entry.unixMode != 0)
            info.externalAttr = entry.unixMode << 16;
        QuaZipFile file(&zip);
        if (!file.open(QIODevice::WriteOnly, info) || file.write(entry.data) != entry.data.size())
            return false;
        file.close();
        if (file.getZipError() != UNZ_OK)
            return false;
    }
    zip.close();
    return zip.getZipError() == UNZ_OK;
}

QStringList everythingBelow(const QString& folder)
{
    QStringList paths;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths << it.next();
    paths.sort();
    return paths;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class ExtractDir : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(m_zips)); }

    QString zip(const std::vector<ZipEntry>& entries)
    {
        const QString path = m_zips + QStringLiteral("/archive.zip");
        QFile::remove(path);
        EXPECT_TRUE(makeZip(path, entries));
        return path;
    }

    zarvo::test::temp_dir m_dir;
    const QString m_zips = qpath(m_dir / "zips");
    const QString m_work = qpath(m_dir / "work");
    const QString m_target = m_work + QStringLiteral("/target");
};

TEST_F(ExtractDir, ExtractsANestedArchiveByteExactInArchiveOrder)
{
    QByteArray binary;
    for (quint32 i = 0; i < 300000; ++i)
        binary.append(char((i * 7919u) >> 3));
    const QString archive = zip({
        {QStringLiteral("top.txt"), "top\n"},
        {QStringLiteral("dir/"), {}},
        {QStringLiteral("dir/sub/"), {}},
        {QStringLiteral("dir/sub/inner.bin"), binary},
        {QStringLiteral("other/.dot"), ""},
    });

    const QStringList extracted = Common::extractDir(archive, m_target);
    EXPECT_EQ(extracted, (QStringList{
                             m_target + QStringLiteral("/top.txt"),
                             m_target + QStringLiteral("/dir/"),
                             m_target + QStringLiteral("/dir/sub/"),
                             m_target + QStringLiteral("/dir/sub/inner.bin"),
                             m_target + QStringLiteral("/other/.dot"),
                         }));
    EXPECT_EQ(readAll(m_target + QStringLiteral("/top.txt")), QByteArray("top\n"));
    EXPECT_EQ(readAll(m_target + QStringLiteral("/dir/sub/inner.bin")), binary);
    EXPECT_TRUE(QFile::exists(m_target + QStringLiteral("/other/.dot")));
}

TEST_F(ExtractDir, RefusesArchivesThatReachOutsideTheTarget)
{
    const QString absolute = m_work + QStringLiteral("/abs");
    const std::pair<const char*, std::vector<ZipEntry>> rows[] = {
        {"parent", {{QStringLiteral("../x"), "x"}}},
        {"parent inside a path", {{QStringLiteral("a/../../x"), "x"}}},
        {"absolute", {{absolute, "x"}}},
        {"symlink then an entry through it",
         {{QStringLiteral("link"), "..", 0120777}, {QStringLiteral("link/x"), "x"}}},
        {"symlink alone", {{QStringLiteral("link"), "/etc/passwd", 0120777}}},
    };
    for (const auto& [name, entries] : rows) {
        // A harmless first entry shows that nothing is written before the
        // whole archive has been checked.
        std::vector<ZipEntry> withFirst{{QStringLiteral("ok.txt"), "ok"}};
        withFirst.insert(withFirst.end(), entries.begin(), entries.end());
        EXPECT_TRUE(Common::extractDir(zip(withFirst), m_target).isEmpty()) << name;
        EXPECT_EQ(everythingBelow(qpath(m_dir.path())),
                  (QStringList{m_zips, m_zips + QStringLiteral("/archive.zip")}))
            << name;
    }
}

TEST_F(ExtractDir, RefusesANameHoldingANulByte)
{
    // Archive tools cannot write such a name: the byte is put in afterwards,
    // in the entry's local and central headers alike.
    const QString archive =
        zip({{QStringLiteral("ok.txt"), "ok"}, {QStringLiteral("a@b.txt"), "x"}});
    QByteArray bytes = readAll(archive);
    ASSERT_EQ(bytes.count("a@b.txt"), 2);
    bytes.replace("a@b.txt", QByteArray("a\0b.txt", 7));
    ASSERT_TRUE(writeFile(archive, bytes));

    EXPECT_TRUE(Common::extractDir(archive, m_target).isEmpty());
    EXPECT_EQ(everythingBelow(qpath(m_dir.path())),
              (QStringList{m_zips, m_zips + QStringLiteral("/archive.zip")}));
}

TEST_F(ExtractDir, UnreadableArchivesGiveTheEmptyList)
{
    const QString garbage = m_zips + QStringLiteral("/garbage.zip");
    ASSERT_TRUE(writeFile(garbage, "PK\x03\x04 this is not an archive"));
    EXPECT_TRUE(Common::extractDir(garbage, m_target).isEmpty());
    EXPECT_TRUE(Common::extractDir(m_zips + QStringLiteral("/missing.zip"), m_target).isEmpty());
    EXPECT_FALSE(QFile::exists(m_target));
}

TEST_F(ExtractDir, AFailingEntryRemovesWhatWasExtracted)
{
    // "f" is written as a file, so "f/x" cannot be.
    const QString archive = zip({
        {QStringLiteral("first/a.txt"), "a"},
        {QStringLiteral("f"), "file"},
        {QStringLiteral("f/x"), "x"},
    });
    ASSERT_TRUE(QDir().mkpath(m_target));
    ASSERT_TRUE(writeFile(m_target + QStringLiteral("/mine.txt"), "mine"));

    EXPECT_TRUE(Common::extractDir(archive, m_target).isEmpty());
    EXPECT_EQ(everythingBelow(m_target), QStringList{m_target + QStringLiteral("/mine.txt")});
}

TEST_F(ExtractDir, ARollBackKeepsTheFilesThatWereThereBefore)
{
    // "old.bin" is overwritten, then "f/x" fails; "new.bin" goes again.
    const QString archive = zip({
        {QStringLiteral("old.bin"), "replaced"},
        {QStringLiteral("new.bin"), "new"},
        {QStringLiteral("f"), "file"},
        {QStringLiteral("f/x"), "x"},
    });
    ASSERT_TRUE(QDir().mkpath(m_target));
    const QString old = m_target + QStringLiteral("/old.bin");
    ASSERT_TRUE(writeFile(old, "from the last update"));

    EXPECT_TRUE(Common::extractDir(archive, m_target).isEmpty());
    EXPECT_EQ(everythingBelow(m_target), QStringList{old});
    EXPECT_TRUE(QFile::exists(old));

    // A failure inside the pre-existing file's own entry leaves its content.
    const QString damaged = zip({{QStringLiteral("old.bin"), QByteArray(4096, 'z')}});
    ASSERT_TRUE(writeFile(old, "from the last update"));
    QByteArray bytes = readAll(damaged);
    // The central directory's CRC of the entry: the data no longer matches.
    const int central = bytes.lastIndexOf(QByteArray("PK\x01\x02", 4));
    ASSERT_GT(central, 0);
    const int at = central + 16;
    bytes[at] = char(bytes[at] ^ 0x55);
    ASSERT_TRUE(writeFile(damaged, bytes));
    EXPECT_TRUE(Common::extractDir(damaged, m_target).isEmpty());
    EXPECT_EQ(readAll(old), QByteArray("from the last update"));
}

} // namespace
