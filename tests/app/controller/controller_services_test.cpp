// The controller's services at start and on a configuration change:
// versions, proxy, language, first use, and the tray it makes.
#include "tests/app/controller/controller_fixture.h"

#include "app/tray/tray_icon.h"
#include "tests/support/param_name.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>

namespace {

using ConnectLib::Common;
using RavoSync::Test::ControllerTest;

class ControllerStart : public ControllerTest {};

TEST_F(ControllerStart, LogsTheVersionsAndStoresTheProgramVersion)
{
    EXPECT_EQ(setting("ktversion"), QStringLiteral("0.0.0.1"));
    makeController();
    const QStringList lines = m_log.lines();
    const int first = lines.indexOf(QStringLiteral("Application version: 2.6.2"));
    ASSERT_GE(first, 0);
    ASSERT_GT(lines.size(), first + 2);
    EXPECT_EQ(lines.at(first + 1), QStringLiteral("Build: Distribution"));
    EXPECT_EQ(lines.at(first + 2), QStringLiteral("Libzarvo2 version: 5.2.2-r990"));
    EXPECT_EQ(setting("ktversion"), QStringLiteral("2.6.2"));
}

TEST_F(ControllerStart, MakesAVisibleTrayWiredToTheController)
{
    ConnectClientMain& controller = makeController();
    ConnectLayout::TrayIcon* tray = controller.trayIcon();
    ASSERT_NE(tray, nullptr);
    EXPECT_TRUE(tray->isVisible());
    EXPECT_EQ(tray->toolTip(), QStringLiteral("Zarvo RavoSync"));
    EXPECT_TRUE(m_log.contains(QStringLiteral("System tray available.")) ||
                m_log.contains(QStringLiteral("No system tray on this desktop")));
    EXPECT_FALSE(m_log.contains(QStringLiteral("Could not make all tray icon connections.")));
}

struct ProxyCase {
    const char* type;
    const char* name;
    const char* port;
    bool systemAnswers;
    const char* logLine;
    QNetworkProxy::ProxyType applied;
    const char* host;
    quint16 appliedPort;
    const char* storedPort;
};

void PrintTo(const ProxyCase& c, std::ostream* os)
{
    *os << "proxytype '" << c.type << "' port '" << c.port << "'"
        << (c.systemAnswers ? "" : " no system answer");
}

class ProxySettings : public ControllerTest, public ::testing::WithParamInterface<ProxyCase> {};

TEST_P(ProxySettings, AppliesAndRecordsTheProxy)
{
    const ProxyCase& c = GetParam();
    setSetting("proxytype", QLatin1String(c.type));
    setSetting("proxyname", QLatin1String(c.name));
    setSetting("proxyport", QLatin1String(c.port));
    setSetting("proxyusername", QStringLiteral("user"));
    setSetting("proxypassword", QStringLiteral("secret"));
    // Not a first use: a first use opens a window, which applies the proxy
    // again.
    setSetting("secondtimeuse", QStringLiteral("1"));
    if (c.systemAnswers)
        m_systemProxies = {
            QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("system.test"), 3128),
            QNetworkProxy(QNetworkProxy::NoProxy)};
    makeController();

    EXPECT_TRUE(m_log.contains(QLatin1String(c.logLine))) << c.logLine;
    const QNetworkProxy applied = QNetworkProxy::applicationProxy();
    EXPECT_EQ(applied.type(), c.applied);
    EXPECT_EQ(applied.hostName(), QLatin1String(c.host));
    EXPECT_EQ(applied.port(), c.appliedPort);
    EXPECT_EQ(setting("proxyname"), QLatin1String(c.host));
    EXPECT_EQ(setting("proxyport"), QLatin1String(c.storedPort));
    EXPECT_TRUE(m_log.contains(QStringLiteral("Set application proxy: ") + QLatin1String(c.host) +
                               QStringLiteral(" and port: ") + QString::number(c.appliedPort)));
    if (c.applied == QNetworkProxy::HttpProxy && QLatin1String(c.type) == QLatin1String("2")) {
        EXPECT_EQ(int(applied.capabilities()), 0x19);
        EXPECT_EQ(applied.user(), QStringLiteral("user"));
        EXPECT_EQ(applied.password(), QStringLiteral("secret"));
    }
    // Only the system mode asks the system, for the content server.
    const bool system = QByteArray(c.logLine) == "Set auto proxy" ||
                        QByteArray(c.logLine) == "Could not set application proxy.";
    ASSERT_EQ(m_proxyQueries.size(), system ? 1 : 0);
    if (system) {
        EXPECT_EQ(m_proxyQueries.first().url(), QUrl(setting("contenturl")));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProxySettings,
    ::testing::Values(ProxyCase{"0", "old.test", "8080", true, "Set no proxy.",
                                QNetworkProxy::NoProxy, "", 0, ""},
                      ProxyCase{"1", "", "", true, "Set auto proxy", QNetworkProxy::HttpProxy,
                                "system.test", 3128, "3128"},
                      ProxyCase{"", "", "", true, "Set auto proxy", QNetworkProxy::HttpProxy,
                                "system.test", 3128, "3128"},
                      ProxyCase{"x", "", "", true, "Set auto proxy", QNetworkProxy::HttpProxy,
                                "system.test", 3128, "3128"},
                      // The default proxy stays, which reads back as none.
                      ProxyCase{"1", "old.test", "8080", false, "Could not set application proxy.",
                                QNetworkProxy::NoProxy, "", 0, ""},
                      ProxyCase{"2", "manual.test", "8080", true, "Set manual proxy",
                                QNetworkProxy::HttpProxy, "manual.test", 8080, "8080"},
                      ProxyCase{"2", "manual.test", "web", true, "Set manual proxy",
                                QNetworkProxy::HttpProxy, "manual.test", 0, "0"}),
    zarvo::test::printed_name());

struct LanguageCase {
    const char* language; // the setting before the start
    const char* locale;
    const char* logged; // "Lang code: " line
    const char* file;   // the file used
    const char* stored; // the setting afterwards, also the table's LANG_CODE
};

void PrintTo(const LanguageCase& c, std::ostream* os)
{
    *os << "language '" << c.language << "' locale '" << c.locale << "'";
}

class Language : public ControllerTest, public ::testing::WithParamInterface<LanguageCase> {};

TEST_P(Language, PicksTheFileAndPinsItsCode)
{
    const LanguageCase& c = GetParam();
    setSetting("language", QLatin1String(c.language));
    m_locale = QLatin1String(c.locale);
    ConnectClientMain& controller = makeController();

    EXPECT_TRUE(m_log.contains(QStringLiteral("Lang code: ") + QLatin1String(c.logged)));
    EXPECT_TRUE(m_log.contains(QStringLiteral("Language file found: ") + QLatin1String(c.file) +
                               QStringLiteral(", code: ") + QLatin1String(c.stored)));
    EXPECT_EQ(setting("language"), QLatin1String(c.stored));
    EXPECT_EQ(controller.translations().value(QStringLiteral("LANG_CODE")),
              QLatin1String(c.stored));
    EXPECT_EQ(controller.trayIcon()->contextMenu()->actions().first()->text(),
              Common::getText(controller.translations(), QStringLiteral("app_menu_sync")));
}

INSTANTIATE_TEST_SUITE_P(
    Table, Language,
    ::testing::Values(
        LanguageCase{"", "de_DE", "de_DE", ":/resources/tr/translations_de.json", "de"},
        LanguageCase{"", "pt_BR", "pt_BR", ":/resources/tr/translations_pt.json", "pt"},
        LanguageCase{"", "nb_NO", "no", ":/resources/tr/translations_no.json", "no"},
        LanguageCase{"", "nb", "no", ":/resources/tr/translations_no.json", "no"},
        LanguageCase{"", "zh-Hans", "zh_CN", ":/resources/tr/translations_zh_CN.json", "zh_CN"},
        LanguageCase{"", "zh_TW", "zh_TW", ":/resources/tr/translations_en.json", "en"},
        LanguageCase{"", "", "en", ":/resources/tr/translations_en.json", "en"},
        LanguageCase{"fi", "de_DE", "fi", ":/resources/tr/translations_fi.json", "fi"}),
    zarvo::test::printed_name());

TEST_F(ControllerStart, AnUnknownLanguageFallsBackToEnglish)
{
    m_locale = QStringLiteral("zh_TW");
    makeController();
    EXPECT_TRUE(m_log.contains(QStringLiteral(
        "Language file not found: resources/tr/translations_zh_TW.json, code: zh_TW using "
        "language en")));
}

TEST_F(ControllerStart, AFileBelowTheWorkingDirectoryWinsOverTheBuiltInOne)
{
    const QString root = QDir::currentPath();
    ASSERT_TRUE(QDir(root).mkpath(QStringLiteral("resources/tr")));
    QFile file(root + QStringLiteral("/resources/tr/translations_de.json"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"LANG_CODE": "de", "app_menu_sync": "Lokal"})");
    file.close();
    m_locale = QStringLiteral("de_AT");
    ConnectClientMain& controller = makeController();

    EXPECT_TRUE(m_log.contains(
        QStringLiteral("Language file found: resources/tr/translations_de.json, code: de")));
    EXPECT_EQ(setting("language"), QStringLiteral("de"));
    EXPECT_EQ(controller.translations().value(QStringLiteral("app_menu_sync")),
              QStringLiteral("Lokal"));
}

TEST_F(ControllerStart, TheApplicationNameIsWrittenOnlyWhenEmpty)
{
    makeController();
    EXPECT_EQ(setting("app_name"), QStringLiteral("Zarvo RavoSync"));
    m_controller.reset();

    setSetting("app_name", QStringLiteral("My Sync"));
    makeController();
    EXPECT_EQ(setting("app_name"), QStringLiteral("My Sync"));
}

TEST_F(ControllerStart, FirstUseWritesTheAutostartEntry)
{
    makeController();
    EXPECT_TRUE(m_log.contains(QStringLiteral("*** First time use detected ***")));
    EXPECT_TRUE(QFileInfo(autostartFolder() + QStringLiteral("/ravosync.desktop")).isFile());
}

TEST_F(ControllerStart, ASecondUseWritesNoAutostartEntry)
{
    setSetting("secondtimeuse", QStringLiteral("1"));
    makeController();
    EXPECT_TRUE(m_log.contains(QStringLiteral("*** Second time use detected ***")));
    EXPECT_FALSE(m_log.contains(QStringLiteral("*** First time use detected ***")));
    EXPECT_FALSE(QFileInfo::exists(autostartFolder()));
}

TEST_F(ControllerStart, AConfigurationChangeRetitlesTheTrayAndReappliesTheProxy)
{
    ConnectClientMain& controller = makeController();
    QList<QAction*> entries = controller.trayIcon()->contextMenu()->actions();
    ASSERT_EQ(entries.first()->text(), QStringLiteral("Sync"));

    setSetting("language", QStringLiteral("de"));
    setSetting("proxytype", QStringLiteral("0"));
    m_log.clear();
    controller.SLOT_configChangedFromOutside();

    const ConnectGlobals::TranslationList german =
        Common::parseJSONFile(QStringLiteral(":/resources/tr/translations_de.json"));
    EXPECT_EQ(controller.trayIcon()->contextMenu()->actions(), entries);
    EXPECT_EQ(entries.first()->text(), Common::getText(german, QStringLiteral("app_menu_sync")));
    EXPECT_EQ(entries.at(1)->text(), Common::getText(german, QStringLiteral("app_menu_settings")));
    EXPECT_EQ(controller.trayIcon()->toolTip(),
              Common::getText(german, QStringLiteral("app_menu_state_idle")));
    EXPECT_TRUE(m_log.contains(QStringLiteral("Set no proxy.")));
    EXPECT_EQ(QNetworkProxy::applicationProxy().type(), QNetworkProxy::NoProxy);
}

// The tray's settings and about entries reach the controller.
TEST_F(ControllerStart, SettingsAndAboutApplyTheProxyAgain)
{
    ConnectClientMain& controller = makeController();
    setSetting("proxytype", QStringLiteral("0"));
    m_log.clear();
    emit controller.trayIcon()->SIGNAL_showSettings();
    EXPECT_TRUE(m_log.contains(QStringLiteral("Set no proxy.")));

    setSetting("proxytype", QStringLiteral("2"));
    setSetting("proxyname", QStringLiteral("manual.test"));
    m_log.clear();
    emit controller.trayIcon()->SIGNAL_showAboutDialog();
    EXPECT_TRUE(m_log.contains(QStringLiteral("Set manual proxy")));
}

} // namespace
