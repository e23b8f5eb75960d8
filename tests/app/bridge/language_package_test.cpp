// Language packages: the downloaded archive unpacked into the firmware
// folder, other languages removed, its "SYS" folder handed on for the
// device; refused names, contents and paths touch nothing outside.
#include "tests/app/bridge/device_fixture.h"

#include "connectlib/common/common.h"
#include "tests/connectlib/support/ktlib_test_support.h"
#include "tests/connectlib/worker/zip_archive.h"
#include "tests/support/param_name.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

using ConnectLib::Common;
using ConnectLib::Test::ArchiveEntry;
using ConnectLib::Test::writeArchive;
using RavoSync::Test::DeviceBridgeTest;

using ConnectLib::Test::filesBelow;
using ConnectLib::Test::readBytes;

// Written with the folders it needs.
bool writeNewFile(const QString& path, const QByteArray& content)
{
    return QDir().mkpath(QFileInfo(path).path()) && ConnectLib::Test::writeFile(path, content);
}

class LanguagePackage : public DeviceBridgeTest {
protected:
    void SetUp() override
    {
        DeviceBridgeTest::SetUp();
        m_firmware = Common::getFWUpdateDataPath();
        ASSERT_FALSE(m_firmware.isEmpty());
        ASSERT_TRUE(Common::deleteLocalDirectory(m_firmware));
        m_firmware = Common::getFWUpdateDataPath();
        ASSERT_FALSE(m_firmware.isEmpty());
        m_outside = QDir::tempPath() + QStringLiteral("/outside");
        ASSERT_TRUE(Common::deleteLocalDirectory(m_outside));
        ASSERT_TRUE(writeNewFile(m_outside + QStringLiteral("/fi.txt"), "user's"));
        ASSERT_TRUE(writeNewFile(m_outside + QStringLiteral("/x.zip"), "user's"));
        m_stub->clearCalls();
    }

    // The package as the page's download leaves it in the local buffer.
    void downloaded(const std::vector<ArchiveEntry>& entries)
    {
        const QString path = QDir::tempPath() + QStringLiteral("/package.zip");
        ASSERT_TRUE(writeArchive(path, entries));
        m_device->localBuffer = readBytes(path);
        ASSERT_FALSE(m_device->localBuffer.isEmpty());
    }

    // The one answer the page got: copied on to the device ("/SYS") or a
    // failure text.
    QString outcome()
    {
        const QStringList calls = m_stub->callNames();
        const int copied = calls.count(QStringLiteral("copyFirmwareData"));
        int answered = 0;
        QString text;
        for (const auto& emission : m_signals->emissions()) {
            if (emission.name == QLatin1String("SIGNAL_firmwareDataCopied")) {
                ++answered;
                text = emission.arguments.at(0).toString();
            }
        }
        if (copied + answered != 1)
            return QStringLiteral("answered %1 times").arg(copied + answered);
        return copied ? m_stub->calls().last().arguments.at(0).toString() : text;
    }

    bool outsideUntouched()
    {
        return filesBelow(m_outside) ==
               QStringList{QStringLiteral("fi.txt"), QStringLiteral("x.zip")};
    }

    QString m_firmware;
    QString m_outside;
};

TEST_F(LanguagePackage, OnlyTheChosenLanguagesOfThisPackageGoToTheDevice)
{
    // Left by an earlier firmware or language package.
    ASSERT_TRUE(writeNewFile(m_firmware + QStringLiteral("/SYS/stale/en.txt"), "old"));
    ASSERT_TRUE(writeNewFile(m_firmware + QStringLiteral("/SYS/SYSUPDAT.IMG"), "old"));
    downloaded({{QStringLiteral("SYS/en.txt"), "en"},
                {QStringLiteral("SYS/fi.txt"), "fi"},
                {QStringLiteral("SYS/sub/de.txt"), "de"},
                {QStringLiteral("SYS/sub/EN.font.bin"), "EN"}});

    m_device->SLOT_copyLangsToLocal(QStringLiteral("langs.zip"), {QStringLiteral("en")});

    EXPECT_EQ(outcome(), QStringLiteral("/SYS"));
    EXPECT_TRUE(m_device->langsCopyOngoing);
    EXPECT_EQ(filesBelow(m_firmware + QStringLiteral("/SYS")),
              (QStringList{QStringLiteral("en.txt"), QStringLiteral("sub/EN.font.bin")}));
    EXPECT_EQ(readBytes(m_firmware + QStringLiteral("/SYS/en.txt")), QByteArray("en"));

    // The device's answer ends the copy.
    m_device->SLOT_firmwareDataCopied(ConnectLib::OK);
    EXPECT_FALSE(m_device->langsCopyOngoing);
}

TEST_F(LanguagePackage, WithoutALanguageListEveryFileStays)
{
    downloaded({{QStringLiteral("SYS/en.txt"), "en"}, {QStringLiteral("SYS/fi.txt"), "fi"}});
    m_device->SLOT_copyLangsToLocal(QStringLiteral("langs.zip"));
    EXPECT_EQ(outcome(), QStringLiteral("/SYS"));
    EXPECT_EQ(filesBelow(m_firmware + QStringLiteral("/SYS")),
              (QStringList{QStringLiteral("en.txt"), QStringLiteral("fi.txt")}));
}

struct RefusalCase {
    const char* name;
    const char* fileName;
    // What the local buffer holds: an archive of these entries, or (when
    // none are given) these bytes.
    std::vector<ArchiveEntry> entries;
    const char* bytes;
    bool targetIsFolder; // the archive's path is taken by a folder
    const char* answer;
};

void PrintTo(const RefusalCase& c, std::ostream* os)
{
    *os << c.name;
}

class PackageRefusals : public LanguagePackage,
                        public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(PackageRefusals, AnswerThePageAndAskNothingOfTheDevice)
{
    const RefusalCase& c = GetParam();
    if (!c.entries.empty())
        downloaded(c.entries);
    else
        m_device->localBuffer = QByteArray(c.bytes);
    // "\0" written as text stands for a NUL character.
    const QString fileName =
        QString::fromUtf8(c.fileName).replace(QStringLiteral("\\0"), QString(QChar(0)));
    if (c.targetIsFolder) {
        ASSERT_TRUE(
            writeNewFile(m_firmware + QLatin1Char('/') + fileName + QStringLiteral("/keep"), ""));
    }

    m_device->SLOT_copyLangsToLocal(fileName, {QStringLiteral("en")});

    EXPECT_EQ(outcome(), QString::fromUtf8(c.answer));
    EXPECT_FALSE(m_device->langsCopyOngoing);
    EXPECT_FALSE(m_stub->callNames().contains(QStringLiteral("copyFirmwareData")));
    EXPECT_TRUE(outsideUntouched());
    EXPECT_FALSE(QFileInfo::exists(m_firmware + QStringLiteral("/../x.zip")));
    EXPECT_FALSE(QFileInfo::exists(m_firmware + QStringLiteral("/../x")));
}

const std::vector<ArchiveEntry> goodPackage{{QStringLiteral("SYS/en.txt"), "en"}};

INSTANTIATE_TEST_SUITE_P(
    Table, PackageRefusals,
    ::testing::Values(
        RefusalCase{"climbingName", "../x.zip", goodPackage, "", false, "INVALID_PARAMETER"},
        RefusalCase{"emptyName", "", goodPackage, "", false, "INVALID_PARAMETER"},
        RefusalCase{"dotDot", "..", goodPackage, "", false, "INVALID_PARAMETER"},
        RefusalCase{"subFolder", "a/b.zip", goodPackage, "", false, "INVALID_PARAMETER"},
        RefusalCase{"backslash", "a\\b.zip", goodPackage, "", false, "INVALID_PARAMETER"},
        RefusalCase{"nul", "a\\0b.zip", goodPackage, "", false, "INVALID_PARAMETER"},
        RefusalCase{"notAnArchive", "langs.zip", {}, "not a zip", false, "INVALID_CONTENT"},
        RefusalCase{"nothingDownloaded", "langs.zip", {}, "", false, "INVALID_CONTENT"},
        RefusalCase{"climbingEntry",
                    "langs.zip",
                    {{QStringLiteral("SYS/en.txt"), "en"}, {QStringLiteral("../x"), "x"}},
                    "",
                    false,
                    "INVALID_CONTENT"},
        RefusalCase{"noSysFolder",
                    "langs.zip",
                    {{QStringLiteral("LANG/en.txt"), "en"}},
                    "",
                    false,
                    "INVALID_CONTENT"},
        RefusalCase{"unwritableTarget", "langs.zip", goodPackage, "", true,
                    "FILE_OPERATION_FAILED"}),
    zarvo::test::printed_name());

TEST_F(LanguagePackage, ARefusedArchiveLeavesNoFileOfItsOwnOrOfEarlierPackages)
{
    ASSERT_TRUE(writeNewFile(m_firmware + QStringLiteral("/SYS/fi.txt"), "old"));
    downloaded({{QStringLiteral("SYS/en.txt"), "en"}, {QStringLiteral("../x"), "x"}});
    m_device->SLOT_copyLangsToLocal(QStringLiteral("langs.zip"), {QStringLiteral("en")});
    EXPECT_EQ(outcome(), QStringLiteral("INVALID_CONTENT"));
    EXPECT_FALSE(QFileInfo::exists(m_firmware + QStringLiteral("/SYS")));
}

TEST_F(LanguagePackage, WithoutAPrivateFolderNothingIsWritten)
{
    downloaded(goodPackage);
    // Qt names no temporary folder for a TMPDIR that does not exist.
    const QByteArray saved = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(m_outside + QStringLiteral("/missing")));
    m_device->SLOT_copyLangsToLocal(QStringLiteral("x.zip"), {QStringLiteral("en")});
    qputenv("TMPDIR", saved);
    EXPECT_EQ(outcome(), QStringLiteral("FILE_OPERATION_FAILED"));
    EXPECT_TRUE(outsideUntouched());
}

// SLOT_deleteUnwantedLangfiles is a page slot: its path is a page's text.
class UnwantedLanguages : public LanguagePackage {
protected:
    void SetUp() override
    {
        LanguagePackage::SetUp();
        ASSERT_TRUE(writeNewFile(m_firmware + QStringLiteral("/SYS/en.txt"), "en"));
        ASSERT_TRUE(writeNewFile(m_firmware + QStringLiteral("/SYS/fi.txt"), "fi"));
        ASSERT_TRUE(writeNewFile(m_firmware + QStringLiteral("/SYS/sub/de.txt"), "de"));
        ASSERT_TRUE(writeNewFile(m_firmware + QStringLiteral("/fi.zip"), "fi"));
    }
    QStringList firmwareFiles() { return filesBelow(m_firmware); }
    const QStringList m_all{QStringLiteral("SYS/en.txt"), QStringLiteral("SYS/fi.txt"),
                            QStringLiteral("SYS/sub/de.txt"), QStringLiteral("fi.zip")};
};

TEST_F(UnwantedLanguages, PathsOutsideOrThroughLinksAreRefused)
{
    ASSERT_TRUE(QFile::link(m_outside, m_firmware + QStringLiteral("/SYS/linked")));
    ASSERT_TRUE(QFile::link(m_outside, m_firmware + QStringLiteral("/linked")));
    const char* const refused[] = {"../..",  "..",         "../../..",   "SYS/../..", "SYS/..",
                                   "",       ".",          "./",         "/",         "/tmp",
                                   "linked", "SYS/linked", "SYS/en.txt", "missing"};
    for (const char* path : refused) {
        EXPECT_FALSE(
            m_device->SLOT_deleteUnwantedLangfiles(QString::fromUtf8(path), {QStringLiteral("en")}))
            << path;
    }
    EXPECT_TRUE(outsideUntouched());
    EXPECT_EQ(firmwareFiles(), m_all);
}

TEST_F(UnwantedLanguages, KeepsTheListedLanguagesRecursivelyAndRemovesLinksAsLinks)
{
    ASSERT_TRUE(QFile::link(m_outside, m_firmware + QStringLiteral("/SYS/sub/linked")));
    ASSERT_TRUE(QFile::link(m_outside, m_firmware + QStringLiteral("/SYS/sub/de.link")));
    EXPECT_TRUE(
        m_device->SLOT_deleteUnwantedLangfiles(QStringLiteral("./SYS/"), {QStringLiteral("de")}));
    EXPECT_EQ(firmwareFiles(),
              (QStringList{QStringLiteral("SYS/sub/de.txt"), QStringLiteral("fi.zip")}));
    // The link named for a kept language stays; neither link was followed.
    EXPECT_TRUE(QFileInfo(m_firmware + QStringLiteral("/SYS/sub/de.link")).isSymLink());
    EXPECT_FALSE(QFileInfo(m_firmware + QStringLiteral("/SYS/sub/linked")).isSymLink());
    EXPECT_TRUE(outsideUntouched());
}

} // namespace
