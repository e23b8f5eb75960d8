#include "connectlib/common/common.h"
#include "tests/connectlib/support/ktlib_test_support.h"

#include <QHash>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

using ConnectLib::Common;

namespace {

TEST(CommonText, BasicAuthIsBase64OfLatin1UserColonPassword)
{
    struct Row {
        QString user;
        QString password;
        QByteArray expected;
    };
    const Row rows[] = {
        {QStringLiteral("abc"), QString(), QByteArray("abc:").toBase64()},
        {QStringLiteral("user"), QStringLiteral("pa:ss"), QByteArray("dXNlcjpwYTpzcw==")},
        {QString(), QString(), QByteArray("Og==")},
        // Latin-1, not UTF-8: one byte 0xE4 for the umlaut.
        {QString::fromUtf8("\xc3\xa4"), QStringLiteral("x"), QByteArray("\xe4:x").toBase64()},
    };
    for (const Row& row : rows) {
        const QByteArray auth = Common::createBasicAuth(row.user, row.password);
        EXPECT_EQ(auth, row.expected) << row.user.toStdString();
        EXPECT_EQ(auth.size() % 4, 0);
        EXPECT_FALSE(auth.startsWith("Basic"));
    }
}

TEST(CommonText, IsFilePathWantsExactlyNameDotExtension)
{
    const std::pair<const char*, bool> rows[] = {
        {"a.b", true}, {"name.json", true}, {"a", false}, {"a.b.c", false},  {".b", false},
        {"a.", false}, {"", false},         {".", false}, {"dir/a.b", true}, // only the dot counts
    };
    for (const auto& [path, expected] : rows)
        EXPECT_EQ(Common::isFilePath(QString::fromUtf8(path)), expected) << path;
}

TEST(CommonText, ReplaceUserTagsExpandsPerUserInOrder)
{
    const QStringList dirs{QStringLiteral("/U/[USER]/S"), QStringLiteral("/SYS")};
    EXPECT_EQ(
        Common::replaceUserTags(dirs, {QStringLiteral("0"), QStringLiteral("1")}),
        (QStringList{QStringLiteral("/U/0/S"), QStringLiteral("/U/1/S"), QStringLiteral("/SYS")}));
    // A tagged entry with no users contributes nothing.
    EXPECT_EQ(Common::replaceUserTags(dirs, {}), QStringList{QStringLiteral("/SYS")});
    // Every tag of an entry takes the same id.
    EXPECT_EQ(Common::replaceUserTags({QStringLiteral("[USER]/a/[USER]")}, {QStringLiteral("7")}),
              QStringList{QStringLiteral("7/a/7")});
}

TEST(CommonText, GetTextResolvesOneLevelOfBrackets)
{
    const QHash<QString, QString> table{
        {QStringLiteral("open"), QStringLiteral("Open the [site]")},
        {QStringLiteral("site"), QStringLiteral("web page")},
        {QStringLiteral("two"), QStringLiteral("[site] and [site]")},
        {QStringLiteral("stuck"), QStringLiteral("[nope] then [site]")},
        {QStringLiteral("chain"), QStringLiteral("see [inner]")},
        {QStringLiteral("inner"), QStringLiteral("the [site]")},
        {QStringLiteral("reversed"), QStringLiteral("a ] b [site]")},
    };
    const std::pair<const char*, const char*> rows[] = {
        {"open", "Open the web page"},
        {"two", "web page and web page"},
        {"stuck", "[nope] then [site]"}, // the unresolved bracket stops the rest
        {"chain", "see the [site]"},     // the substituted text is not looked into
        {"reversed", "a ] b [site]"},    // a "]" before the first "[": as is
        {"missing", ""},
    };
    for (const auto& [key, expected] : rows)
        EXPECT_EQ(Common::getText(table, QString::fromUtf8(key)), QString::fromUtf8(expected))
            << key;

    QHash<QString, QString> unmapped = table;
    unmapped.remove(QStringLiteral("site"));
    EXPECT_EQ(Common::getText(unmapped, QStringLiteral("open")), QStringLiteral("Open the [site]"));
}

TEST(CommonText, TimezoneMinutesFollowTheLocalZone)
{
    // POSIX zone names count west as positive: "XXX-2" is two hours ahead.
    const std::pair<const char*, int> rows[] = {
        {"XXX-2", 120}, {"XXX5", -300}, {"UTC0", 0}, {"XXX-5:30", 330}};
    for (const auto& [zone, minutes] : rows) {
        ::setenv("TZ", zone, 1);
        ::tzset();
        EXPECT_EQ(Common::getTimezoneMinutes(), minutes) << zone;
    }
}

} // namespace
