// The application services the bridge gives the pages.
#include "tests/app/bridge/bridge_fixture.h"

#include "app/platform/systemhooks.h"
#include "connectlib/common/common.h"
#include "tests/app/support/url_handlers.h"
#include "tests/support/param_name.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>

namespace {

using ConnectLib::Common;
using RavoSync::Test::BridgeTest;
using RavoSync::Test::clearRecordedUrls;
using RavoSync::Test::recordedUrls;

class BridgeServices : public BridgeTest {};

TEST_F(BridgeServices, SecretsAreStoredAndBounded)
{
    EXPECT_EQ(m_bridge->SLOT_getSecret(0), QString());
    m_bridge->SLOT_saveVariable(QStringLiteral("appsecret"), QStringLiteral("old"));
    EXPECT_EQ(m_bridge->SLOT_getSecret(0), QString());
    EXPECT_EQ(m_bridge->SLOT_getVariable(QStringLiteral("appsecret")), QString());

    const QString secret = m_bridge->SLOT_getSecret(16);
    EXPECT_EQ(secret.size(), 16);
    EXPECT_EQ(m_bridge->SLOT_getVariable(QStringLiteral("appsecret")), secret);

    EXPECT_EQ(m_bridge->SLOT_getSecret(1 << 30).size(), 1024);
    EXPECT_TRUE(m_log.contains(QStringLiteral("Secret length 1073741824 clamped to 1024")));
    EXPECT_EQ(m_bridge->SLOT_getSecret(-3), QString());
}

struct LinkCase {
    const char* url;
    bool opened;
};

void PrintTo(const LinkCase& c, std::ostream* os)
{
    *os << c.url;
}

class ExternalLinks : public BridgeTest, public ::testing::WithParamInterface<LinkCase> {};

TEST_P(ExternalLinks, OnlyWebAndMailAddressesGoToTheDesktop)
{
    clearRecordedUrls();
    const QString url = QString::fromLatin1(GetParam().url);
    EXPECT_EQ(m_bridge->SLOT_openExternalLink(url), GetParam().opened);
    if (GetParam().opened) {
        ASSERT_EQ(recordedUrls().size(), 1);
        EXPECT_EQ(recordedUrls().first(), QUrl::fromUserInput(url));
    } else {
        EXPECT_TRUE(recordedUrls().isEmpty());
        EXPECT_TRUE(m_log.contains(QStringLiteral("External link refused: ") + url));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ExternalLinks,
                         ::testing::Values(LinkCase{"https://www.ravo.test/help", true},
                                           LinkCase{"http://www.ravo.test/", true},
                                           LinkCase{"mailto:support@ravo.test", true},
                                           LinkCase{"file:///etc/passwd", false},
                                           LinkCase{"smb://x", false},
                                           LinkCase{"javascript:x", false}),
                         zarvo::test::printed_name());

// Links go through the program's desktop opener, whose answer the page gets.
TEST_F(BridgeServices, ExternalLinksGoThroughTheDesktopOpener)
{
    QList<QUrl> opened;
    bool answer = false;
    SystemHooks::setOpenUrl([&](const QUrl& url) {
        opened.append(url);
        return answer;
    });
    clearRecordedUrls();
    EXPECT_FALSE(m_bridge->SLOT_openExternalLink(QStringLiteral("https://www.ravo.test/a")));
    answer = true;
    EXPECT_TRUE(m_bridge->SLOT_openExternalLink(QStringLiteral("https://www.ravo.test/b")));
    EXPECT_FALSE(m_bridge->SLOT_openExternalLink(QStringLiteral("file:///etc/passwd")));
    SystemHooks::setOpenUrl(nullptr);

    EXPECT_EQ(opened, (QList<QUrl>{QUrl(QStringLiteral("https://www.ravo.test/a")),
                                   QUrl(QStringLiteral("https://www.ravo.test/b"))}));
    EXPECT_TRUE(recordedUrls().isEmpty());
}

TEST_F(BridgeServices, TextGoesToTheClipboard)
{
    m_bridge->SLOT_copyToClipboard(QStringLiteral("copied text"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("copied text"));
}

// The stored name is only shown: the entry is the program's own, and a
// name a page stored never reaches another program's entry.
TEST_F(BridgeServices, StartAtLoginWritesOnlyTheProgramsOwnEntry)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                           QStringLiteral("/autostart");
    ASSERT_TRUE(folder.startsWith(QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"))));
    const auto entries = [&] { return QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot); };

    Common::setSettingsValue(QStringLiteral("app_name"), QString());
    m_bridge->SLOT_setApplicationToStartAtLogin(true);
    EXPECT_TRUE(entries().isEmpty());

    Common::setSettingsValue(QStringLiteral("app_name"), QStringLiteral("RavoSyncBridgeTest"));
    m_bridge->SLOT_setApplicationToStartAtLogin(true);
    EXPECT_EQ(entries(), QStringList{QStringLiteral("ravosync.desktop")});
    m_bridge->SLOT_setApplicationToStartAtLogin(false);
    EXPECT_TRUE(entries().isEmpty());

    // A foreign entry survives a page that names it.
    ASSERT_TRUE(QDir().mkpath(folder));
    const QByteArray foreign("[Desktop Entry]\nType=Application\nName=Backup\nExec=backup\n");
    QFile agent(folder + QStringLiteral("/backup-agent.desktop"));
    ASSERT_TRUE(agent.open(QIODevice::WriteOnly));
    agent.write(foreign);
    agent.close();
    loadStubPage();
    js(QStringLiteral("JSObject.SLOT_saveAppSetting('app_name', 'backup-agent');"
                      "JSObject.SLOT_setApplicationToStartAtLogin(true);"
                      "JSObject.SLOT_setApplicationToStartAtLogin(false);"));
    ASSERT_TRUE(agent.open(QIODevice::ReadOnly));
    EXPECT_EQ(agent.readAll(), foreign);
    agent.close();
    EXPECT_EQ(entries(), QStringList{QStringLiteral("backup-agent.desktop")});
    agent.remove();
    Common::setSettingsValue(QStringLiteral("app_name"), QString());
}

TEST_F(BridgeServices, OfflineFilesOnlyBesideTheProgram)
{
    const QString dir = QCoreApplication::applicationDirPath();
    const QString name =
        QStringLiteral("bridge_offline_%1.txt").arg(QCoreApplication::applicationPid());
    QFile file(dir + QLatin1Char('/') + name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QString parentRoute =
        QStringLiteral("../") + QFileInfo(dir).fileName() + QLatin1Char('/') + name;

    EXPECT_TRUE(m_bridge->SLOT_hasOfflineFile(name));
    EXPECT_FALSE(m_bridge->SLOT_hasOfflineFile(QStringLiteral("missing_offline_file.txt")));
    EXPECT_FALSE(m_bridge->SLOT_hasOfflineFile(QStringLiteral("/etc/hosts")));
    EXPECT_FALSE(m_bridge->SLOT_hasOfflineFile(QStringLiteral("../x")));
    EXPECT_FALSE(m_bridge->SLOT_hasOfflineFile(parentRoute));
    EXPECT_FALSE(m_bridge->SLOT_hasOfflineFile(QString()));
    file.remove();
}

TEST_F(BridgeServices, LinuxNames)
{
    EXPECT_EQ(m_bridge->SLOT_getOSname(), QStringLiteral("linux"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^linux\\d+$"))
                    .match(m_bridge->SLOT_getOSVersion())
                    .hasMatch())
        << m_bridge->SLOT_getOSVersion().toStdString();
}

TEST_F(BridgeServices, TheLanguageReachesThePageAsText)
{
    loadStubPage();
    const QString language =
        QStringLiteral("de'); window.injected = 1; ('\\\"\n</script><script>window.injected=2;");
    Common::setSettingsValue(QStringLiteral("language"), language);
    js(QStringLiteral("JSObject.SLOT_reinitConfigurations();"));
    Common::setSettingsValue(QStringLiteral("language"), QString());
    ASSERT_EQ(js(QStringLiteral("Stub.translations.length")).toInt(), 1);
    EXPECT_EQ(js(QStringLiteral("Stub.translations[0][0]")).toString(), language);
    EXPECT_EQ(js(QStringLiteral("Stub.translations[0][1]")).toString(), QStringLiteral("tr/"));
    EXPECT_EQ(js(QStringLiteral("typeof window.injected")).toString(), QStringLiteral("undefined"));
}

TEST_F(BridgeServices, SettingsLogAndRequests)
{
    m_bridge->SLOT_saveAppSetting(QStringLiteral("delaynew"), QStringLiteral("3000"));
    EXPECT_EQ(m_bridge->SLOT_loadAppSetting(QStringLiteral("delaynew")), QStringLiteral("3000"));
    m_bridge->SLOT_saveAppSetting(QStringLiteral("delaynew"), QString());
    EXPECT_EQ(m_bridge->SLOT_getLogFilePath(), ConnectLib::Logger::instance()->getCurrentFile());

    m_bridge->SLOT_initConfigs();
    m_bridge->SLOT_resync();
    EXPECT_EQ(m_stub->callNames(),
              (QStringList{QStringLiteral("initConfigs"), QStringLiteral("resync")}));

    m_bridge->SLOT_dontAutosyncDevice(QStringLiteral("ABCD1234"));
    EXPECT_EQ(m_bridge->SLOT_dontAutosyncDevice(), QStringLiteral("ABCD1234"));
}

// A page spells a read-only key as the settings store will file it: with
// slashes the store drops, or in other letters. Each is refused, logged
// and leaves the built-in value.
struct KeySpelling {
    const char* name;
    const char* pattern; // %1 is the key
    bool upperCase;
};

void PrintTo(const KeySpelling& c, std::ostream* os)
{
    *os << c.name;
}

struct ReadOnlyKey {
    const char* key;
};

void PrintTo(const ReadOnlyKey& c, std::ostream* os)
{
    *os << c.key;
}

class ReadOnlySpellings
    : public BridgeTest,
      public ::testing::WithParamInterface<std::tuple<ReadOnlyKey, KeySpelling>> {};

TEST_P(ReadOnlySpellings, AreRefusedAndLogged)
{
    const QString key = QString::fromLatin1(std::get<0>(GetParam()).key);
    const KeySpelling& spelling = std::get<1>(GetParam());
    const QString spelled =
        QString::fromLatin1(spelling.pattern).arg(spelling.upperCase ? key.toUpper() : key);
    const QString before = m_bridge->SLOT_loadAppSetting(key);
    m_bridge->SLOT_saveAppSetting(spelled, QStringLiteral("../../page-value"));
    EXPECT_EQ(m_bridge->SLOT_loadAppSetting(key), before);
    EXPECT_EQ(Common::getSettingsValue(key), before);
    EXPECT_TRUE(m_log.contains(QStringLiteral("Could not save sensitive information: ") + spelled))
        << m_log.lines().join(QLatin1Char('\n')).toStdString();
    // Nothing filed under any spelling of it either.
    for (const QString& stored : QSettings().allKeys())
        EXPECT_NE(stored.section(QLatin1Char('/'), -1).toLower(), key) << stored.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadOnlySpellings,
    ::testing::Combine(::testing::Values(ReadOnlyKey{"loginwithapp"},
                                         ReadOnlyKey{"savereadwritefiles"},
                                         ReadOnlyKey{"apploginname"}, ReadOnlyKey{"apploginapikey"},
                                         ReadOnlyKey{"offlinefiledir"}),
                       ::testing::Values(KeySpelling{"Plain", "%1", false},
                                         KeySpelling{"LeadingSlash", "/%1", false},
                                         KeySpelling{"TrailingSlash", "%1/", false},
                                         KeySpelling{"DoubledSlashes", "//%1//", false},
                                         KeySpelling{"BothEnds", "/%1/", false},
                                         KeySpelling{"UpperCase", "%1", true},
                                         KeySpelling{"InAGroup", "auth/%1", false})),
    [](const ::testing::TestParamInfo<std::tuple<ReadOnlyKey, KeySpelling>>& info) {
        return std::string(std::get<0>(info.param).key) + "_" + std::get<1>(info.param).name;
    });

TEST_F(BridgeServices, FirmwareWorkingFolderIsDeleted)
{
    const QString folder = Common::getFWUpdateDataPath();
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/SYS")));
    EXPECT_TRUE(m_bridge->SLOT_deleteFwUpdFiles());
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/SYS")));
}

} // namespace
