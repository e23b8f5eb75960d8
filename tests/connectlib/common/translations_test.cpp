#include "connectlib/common/common.h"
#include "connectlib/logging/logger.h"
#include "tests/connectlib/support/ktlib_test_support.h"
#include "tests/support/temp_dir.h"

#include <QDir>
#include <QHash>
#include <gtest/gtest.h>

using ConnectLib::Common;
using ConnectLib::Logger;
using namespace ConnectLib::Test;

namespace {

using Table = QHash<QString, QString>;

QStringList logLines()
{
    return readLines(Logger::instance()->getCurrentFile());
}

class ParseJsonFile : public ::testing::Test {
protected:
    QString write(const QByteArray& content)
    {
        const QString path = qpath(m_dir / "file.json");
        EXPECT_TRUE(writeFile(path, content));
        return path;
    }

    zarvo::test::temp_dir m_dir;
};

TEST_F(ParseJsonFile, ReadsTopLevelPropertiesAsText)
{
    const Table expected{
        {QStringLiteral("greeting"),
         QString::fromUtf8("hyv\xc3\xa4\xc3\xa4 p\xc3\xa4iv\xc3\xa4\xc3\xa4")},
        {QStringLiteral("count"), QStringLiteral("42")},
        {QStringLiteral("ratio"), QStringLiteral("0.5")},
        {QStringLiteral("enabled"), QStringLiteral("true")},
        {QStringLiteral("twice"), QStringLiteral("later")},
    };
    const QByteArray body =
        "{\r\n  \"greeting\": \"hyv\xc3\xa4\xc3\xa4 p\xc3\xa4iv\xc3\xa4\xc3\xa4\",\n"
        "  \"count\": 42, \"ratio\": 0.5, \"enabled\": true,\n"
        "  \"twice\": \"earlier\", \"twice\": \"later\"\n}\n";
    const std::pair<const char*, QByteArray> rows[] = {
        {"plain", body},
        {"UTF-8 byte-order mark", QByteArray("\xef\xbb\xbf") + body},
    };
    for (const auto& [name, content] : rows)
        EXPECT_EQ(Common::parseJSONFile(write(content)), expected) << name;
}

TEST_F(ParseJsonFile, SyntaxErrorGivesAnEmptyTableWithoutLogLine)
{
    const QString path = write("{\"a\": \"b\",, }");
    const int before = logLines().size();
    EXPECT_TRUE(Common::parseJSONFile(path).isEmpty());
    EXPECT_EQ(logLines().size(), before);
}

// A translation file is one object of keys to texts; an array's elements
// and length are no translations.
TEST_F(ParseJsonFile, ATextThatIsNoObjectGivesAnEmptyTableWithoutLogLine)
{
    const int before = logLines().size();
    for (const QByteArray& content :
         {QByteArray("[]"), QByteArray("[{\"a\": \"b\"}, \"c\"]"), QByteArray(" [\"a\"]\n")}) {
        EXPECT_EQ(Common::parseJSONFile(write(content)), Table()) << content.constData();
    }
    EXPECT_EQ(logLines().size(), before);
}

TEST_F(ParseJsonFile, AProgramIsNeverRunAndGivesAnEmptyTable)
{
    const int before = logLines().size();
    for (const QByteArray& content : {
             QByteArray("{\"a\": (function () { return \"ran\"; })()}"),
             QByteArray("{\"a\": \"b\"}, (function () { for (;;) {} })()"),
             QByteArray("{a: 'unquoted'} // a comment"),
         }) {
        EXPECT_TRUE(Common::parseJSONFile(write(content)).isEmpty()) << content.constData();
    }
    EXPECT_EQ(logLines().size(), before);
}

TEST_F(ParseJsonFile, MissingFileGivesAnEmptyTableAndItsLogLine)
{
    const QString path = qpath(m_dir / "absent.json");
    EXPECT_TRUE(Common::parseJSONFile(path).isEmpty());
    const QStringList lines = logLines();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.last().endsWith(QStringLiteral("] Unable to open JSON file: ") + path))
        << lines.last().toStdString();
}

TEST(LanguageCodes, ComeFromTheTranslationFilesInTheCurrentFolder)
{
    zarvo::test::temp_dir dir;
    const QString folder = qpath(dir / "resources/tr");
    ASSERT_TRUE(QDir().mkpath(folder));
    for (const char* name : {"translations_fi.json", "readme.json", "translations_en.json",
                             "translations_zh_CN.json", "_x.json", "notes.txt"})
        ASSERT_TRUE(writeFile(folder + QLatin1Char('/') + QString::fromUtf8(name), "{}"));

    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(qpath(dir.path())));
    const QStringList codes = Common::getAvailableLangCodes();
    QDir::setCurrent(previous);

    EXPECT_EQ(codes, (QStringList{QStringLiteral("en"), QStringLiteral("en"), QStringLiteral("en"),
                                  QStringLiteral("fi"), QStringLiteral("zh_CN")}));
}

} // namespace
