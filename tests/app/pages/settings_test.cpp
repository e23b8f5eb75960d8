// The settings panel in the real main page: "ui/index.html" from the fake
// content server with every sync phase a quiet stand-in, a device published
// to the window and the progress page in the content area. The tables are
// settings_page.js; the cases here look at what lies outside the page (the
// settings store, the autostart entry, the configuration signal, the fetched
// translation file, the bridge's own scripts).
#include "app/windows/viewer.h"
#include "app/windows/web_view.h"
#include "connectlib/common/common.h"
#include "tests/app/support/page_script_test.h"
#include "tests/app/support/stub_device_script.h"
#include "tests/app/support/web_wait.h"
#include "tests/connectlib/support/process_events.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QStandardPaths>
#include <QWebFrame>

#include <sys/stat.h>

namespace RavoSync::Test {
namespace {

using ConnectLib::Common;

const QString appName = QStringLiteral("RavoSyncSettingsTest");

// Every phase of the sync logic, each doing nothing: the window starts its
// sync, shows the progress page and waits there.
QString quietPhases()
{
    const char* const names[] = {
        "Authenticate", "SelfUpdate", "DeviceInfo",    "UserSettings",    "Exercises",
        "Activities",   "Sensors",    "SportProfiles", "TrainingTargets", "Routes",
        "Totals",       "Fwupdate",   "FirstTimeUse",  "Sports",          "Tests",
        "Histories",    "Agps",       "Languages",     "Apkupdate",       "Maps",
        "Downloads",    "ResetSync",  "PhysicalInfo"};
    QString script;
    for (const char* name : names)
        script += QStringLiteral("function %1() { this.runSyncPhase = function () {}; }\n")
                      .arg(QLatin1String(name));
    return script;
}

QJsonObject rule(const QString& host, const QString& path, int status,
                 const QString& contentType = QString(), const QString& body = QString())
{
    QJsonObject answer{{"method", "GET"}, {"host", host}, {"path", path}, {"status", status}};
    if (!contentType.isEmpty())
        answer.insert(QStringLiteral("headers"), QJsonObject{{"Content-Type", contentType}});
    if (!body.isNull())
        answer.insert(QStringLiteral("body"), body);
    return answer;
}

// A language package: one file below "SYS/".
QJsonObject package(const QString& host, const QString& path)
{
    QJsonObject answer = rule(host, path, 200, QStringLiteral("application/zip"));
    answer.insert(QStringLiteral("bodyBase64"),
                  QStringLiteral("UEsDBBQAAAAAAAAAIVyLKZB9AgAAAAIAAAAPAAAAU1lTL0xBTkcvREUuQklOZGVQ"
                                 "SwECFAMUAAAAAAAAACFciymQfQIAAAACAAAADwAAAAAAAAAAAAAAgAEAAAAAU1lT"
                                 "L0xBTkcvREUuQklOUEsFBgAAAAABAAEAPQAAAC8AAAAAAA=="));
    return answer;
}

QJsonArray routes()
{
    const QString content = QStringLiteral("content.ravo.test");
    return QJsonArray{
        rule(content, QStringLiteral("/contentserver/sync/*.js"), 200,
             QStringLiteral("application/javascript"), quietPhases()),
        rule(content, QStringLiteral("/contentserver/ver/rs_ver.json"), 200,
             QStringLiteral("application/json"),
             QStringLiteral("{\"url\":\"https://cdn.ravo.test/\"}")),
        package(QStringLiteral("cdn.ravo.test"),
                QStringLiteral("/contentserver/sync/zarvotovri2/1.2.3/langs.zip")),
        package(content, QStringLiteral("/contentserver/sync/zarvotovri2/langs.zip"))};
}

class SettingsPanel : public PageScriptTest {
protected:
    void SetUp() override
    {
        PageScriptTest::SetUp();
        if (HasFatalFailure())
            return;
        exposeStubDevice();
        m_web->setRoutes(routes());
        Common::setSettingsValue(QStringLiteral("app_name"), appName);
        Common::setSettingsValue(QStringLiteral("language"), QStringLiteral("en"));
        Common::setSettingsValue(QStringLiteral("startwithos"), QStringLiteral("false"));
        Common::setApplicationAutostart(appName, false);
    }

    void TearDown() override
    {
        Common::setApplicationAutostart(appName, false);
        Common::setSettingsValue(QStringLiteral("language"), QStringLiteral("en"));
        PageScriptTest::TearDown();
    }

    // The main page with the window's device; true once the settings panel
    // is there and the progress page waits in the content area.
    bool loadMainPage()
    {
        const QList<QPair<QString, QString>> variables{{"tcdeviceid", "00004001"},
                                                       {"tcmodel", "ZarvoTovri2"},
                                                       {"tcfirmware", "1.2.3"},
                                                       {"tcfullmodel", "Zarvo Tovri 2"},
                                                       {"currentuserdir", "U/1"}};
        for (const auto& variable : variables)
            m_bridge->SLOT_saveVariable(variable.first, variable.second);
        m_bridge->SLOT_startByLoading(QStringLiteral("ui/index.html"));
        return waitForJs(frame(), QStringLiteral("typeof App !== 'undefined' && App.syncMain && "
                                                 "App.syncMain.selfUpdObj !== undefined && "
                                                 "typeof loadAllSettings === 'function' && "
                                                 "typeof updateProgressbarStatus === 'function' && "
                                                 "$('#generaltab').text() === 'General' && "
                                                 "$('#about_copyright').text() !== '' && "
                                                 "$('#index_header [textid]').attr('textid') === "
                                                 "'progress_syncongoingheader' && "
                                                 "typeof StubDevice !== 'undefined'"));
    }

    void openPanel()
    {
        js(QStringLiteral("if ($('#pbSettings').attr('type') === 'on') "
                          "App.Common.showHideSettings();"));
    }
    void closePanel()
    {
        js(QStringLiteral("if ($('#pbSettings').attr('type') !== 'on') "
                          "App.Common.showHideSettings();"));
    }

    std::string text(const QString& selector)
    {
        return js(QStringLiteral("$('%1').text()").arg(selector)).toString().toStdString();
    }

    int callsNamed(const QString& name) const { return m_stub->callNames().count(name); }

    static QString autostartEntry() { return Common::autostartEntryPath(); }
};

TEST_F(SettingsPanel, Tables)
{
    ASSERT_TRUE(loadMainPage());
    const QString error = evaluateFile(QStringLiteral("www/bridge_stand_in.js"));
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    runLoadedSuite(QStringLiteral("settings_page.js"));
}

// The start check box writes the setting and the desktop's autostart entry.
TEST_F(SettingsPanel, StartWithTheComputerWritesTheAutostartEntry)
{
    ASSERT_TRUE(loadMainPage());
    ASSERT_TRUE(autostartEntry().startsWith(QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"))));
    for (const bool start : {true, false, true, false}) {
        SCOPED_TRACE(start);
        openPanel();
        js(QStringLiteral("$('#cbRunAutomatically').prop('checked', %1);")
               .arg(start ? QStringLiteral("true") : QStringLiteral("false")));
        m_stub->clearCalls();
        closePanel();
        EXPECT_EQ(Common::getSettingsValue(QStringLiteral("startwithos")),
                  start ? QStringLiteral("true") : QStringLiteral("false"));
        EXPECT_EQ(QFile::exists(autostartEntry()), start);
        EXPECT_EQ(callsNamed(QStringLiteral("initConfigs")), 1);
    }
}

// A new language: the file is fetched, the page (the panel included) is
// re-texted and the program applies the configuration.
TEST_F(SettingsPanel, LanguageChangeRetextsThePage)
{
    ASSERT_TRUE(loadMainPage());
    EXPECT_EQ(text(QStringLiteral("#index_header")), "Syncing") << "English before";
    js(QStringLiteral("App.Common.setSessionVariable('avllangcodes', 'de,en,ja');"));
    openPanel();
    js(QStringLiteral("$('#currentLang').trigger('click');"
                      "$('#langSelection li[lang=de]').trigger('click');"));
    m_stub->clearCalls();
    closePanel();
    EXPECT_EQ(Common::getSettingsValue(QStringLiteral("language")), QStringLiteral("de"));
    EXPECT_EQ(callsNamed(QStringLiteral("initConfigs")), 1);
    ASSERT_TRUE(waitForJs(frame(), QStringLiteral("$('#generaltab').text() === 'Allgemein'")));
    EXPECT_EQ(text(QStringLiteral("#index_header")), "Synchronisierung");
    EXPECT_EQ(text(QStringLiteral("#button_factoryreset")), "Zurücksetzen");
    EXPECT_EQ(text(QStringLiteral("#abouttab")), "Info");
    bool fetched = false;
    for (const FakeRequest& request : m_web->requests())
        fetched =
            fetched || request.path == QLatin1String("/contentserver/tr/translations_de.json");
    EXPECT_TRUE(fetched);

    // Closing again without a change reads no translation file (the read
    // would start inside the save).
    js(QStringLiteral("window.trReads = 0; $(document).on('ajaxSend.settingsTest', function (e, x, "
                      "s) { if (String(s.url).indexOf('/tr/') >= 0) ++window.trReads; });"));
    openPanel();
    closePanel();
    EXPECT_EQ(js(QStringLiteral("window.trReads")).toInt(), 0);
}

// A configuration change from outside re-texts the open panel through the
// handler the bridge names.
TEST_F(SettingsPanel, ReinitConfigurationsRetextsTheOpenPanel)
{
    ASSERT_TRUE(loadMainPage());
    openPanel();
    Common::setSettingsValue(QStringLiteral("language"), QStringLiteral("de"));
    m_bridge->SLOT_reinitConfigurations();
    ASSERT_TRUE(waitForJs(frame(), QStringLiteral("$('#generaltab').text() === 'Allgemein'")));
    EXPECT_EQ(text(QStringLiteral("#networktab")), "Netzwerk");
    EXPECT_EQ(js(QStringLiteral("App.syncMain.i18n.LANG_CODE")).toString(), QStringLiteral("de"));
    EXPECT_EQ(js(QStringLiteral("$('#pbSettings').attr('type')")).toString(), QStringLiteral("off"))
        << "the panel stays open";
}

// The store holds the proxy password: closing the panel leaves its file to
// the owner alone, even one that others could read before.
TEST_F(SettingsPanel, SettingsFileIsOwnerOnlyAfterSaving)
{
    ASSERT_TRUE(loadMainPage());
    const QByteArray file = QFile::encodeName(qEnvironmentVariable("XDG_CONFIG_HOME") +
                                              QStringLiteral("/Zarvo/ZarvoRavoSync.conf"));
    ASSERT_EQ(::chmod(file.constData(), 0644), 0);
    const mode_t oldMask = ::umask(022);
    openPanel();
    js(QStringLiteral("$('#rbManualProxy').trigger('click'); $('#txtProxy').val('p.zarvo.test');"
                      "$('#txtProxyPort').val('3128'); $('#txtProxyUser').val('ann');"
                      "$('#txtProxyPass').val('s3cret');"));
    closePanel();
    ::umask(oldMask);
    EXPECT_EQ(Common::getSettingsValue(QStringLiteral("proxypassword")), QStringLiteral("s3cret"));
    struct stat st {};
    ASSERT_EQ(::stat(file.constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode_t(0600));
}

// The factory reset button's prompt in the window's quick view: Yes resets
// the device (a "zarvotovri" sleeps and the unplug prompt follows with OK
// alone), Cancel only closes the prompt.
TEST_F(SettingsPanel, FactoryResetPromptAnswers)
{
    using ConnectLib::Test::processUntil;
    struct Row {
        const char* button;
        bool resets;
    };
    for (const Row& row : {Row{"button_yes", true}, Row{"button_cancel", false}}) {
        SCOPED_TRACE(row.button);
        ASSERT_TRUE(loadMainPage());
        ConnectLayout::Viewer* viewer = m_stub->viewer();
        viewer->SLOT_showDialog(m_bridge->webView());
        js(QStringLiteral("App.Common.setSessionVariable('tcmodel', 'ZarvoTovri');"));
        openPanel();
        m_stub->clearCalls();
        js(QStringLiteral("$('#button_factoryreset').trigger('click');"));
        const auto quickShown = [viewer] {
            return viewer->quickView() != nullptr && viewer->quickView()->isVisible();
        };
        ASSERT_TRUE(processUntil(quickShown));
        QWebFrame* quick = viewer->quickView()->page()->mainFrame();
        ASSERT_TRUE(waitForJs(quick, QStringLiteral("typeof $ === 'function' && "
                                                    "$('#button_yes:visible').length === 1")));
        EXPECT_EQ(evalJs(quick, QStringLiteral("$('.button:visible').map(function () { return "
                                               "this.id; }).get()"))
                      .toStringList(),
                  QStringList({QStringLiteral("button_yes"), QStringLiteral("button_cancel")}));
        evalJs(quick, QStringLiteral("$('#%1').trigger('click');").arg(QLatin1String(row.button)));
        if (row.resets) {
            ASSERT_TRUE(processUntil(
                [this] { return m_stub->callNames().contains(QStringLiteral("doReset")); }));
            EXPECT_EQ(m_stub->calls().front().arguments, (QVariantList{true, true}));
            // The unplug prompt replaces the question.
            ASSERT_TRUE(processUntil([&] {
                return quickShown() &&
                       evalJs(viewer->quickView()->page()->mainFrame(),
                              QStringLiteral("typeof $ === 'function' && "
                                             "$('.button:visible').map(function () { return "
                                             "this.id; }).get().join(',') === 'button_ok'"))
                           .toBool();
            }));
            EXPECT_EQ(js(QStringLiteral("$('#pbSettings').attr('type')")).toString(),
                      QStringLiteral("on"))
                << "the panel closed";
        } else {
            ASSERT_TRUE(processUntil([&] { return !quickShown(); }));
            EXPECT_FALSE(m_stub->callNames().contains(QStringLiteral("doReset")));
        }
    }
}

// The offline dialog takes the panel from the built-in resources.
TEST_F(SettingsPanel, OfflineDialogHasThePanel)
{
    m_bridge->SLOT_startByLoading(
        QStringLiteral("qrc:/resources/ui/index.html"), QStringLiteral("ui/progress.html"),
        QStringList{QStringLiteral("error_nonetworkconnection")},
        QStringLiteral("errorDlgValues.buttons.syncagain=1;errorDlgValues.buttons.close=1;"),
        QStringLiteral("App.syncMain.errorCase();"));
    ASSERT_TRUE(waitForJs(frame(), QStringLiteral("typeof App !== 'undefined' && App.syncMain && "
                                                  "App.syncMain.errorShown === true && "
                                                  "typeof loadAllSettings === 'function' && "
                                                  "$('#networktab').text() === 'Network'")));
    m_bridge->SLOT_evaluateJS(QStringLiteral("App.Common.showHideSettings(); showTabIndex(1);"));
    EXPECT_TRUE(js(QStringLiteral("$('#networktabdata').css('display') !== 'none' && "
                                  "$('input[name=proxytype]:checked').length === 1"))
                    .toBool());
    EXPECT_EQ(text(QStringLiteral("#networksettings_manualproxy")), "Manual proxy settings");
    EXPECT_EQ(text(QStringLiteral("#button_factoryreset")), "Factory reset");
}

// The tray's About entry.
TEST_F(SettingsPanel, TrayScriptOpensTheAboutTab)
{
    ASSERT_TRUE(loadMainPage());
    m_bridge->SLOT_evaluateJS(QStringLiteral("App.Common.showHideSettings(); showTabIndex(2);"));
    EXPECT_EQ(js(QStringLiteral("$('#pbSettings').attr('type')")).toString(),
              QStringLiteral("off"));
    EXPECT_TRUE(js(QStringLiteral("$('#pageSettings').css('display') !== 'none' && "
                                  "$('#abouttabdata').css('display') !== 'none' && "
                                  "$('#generaltabdata').css('display') === 'none' && "
                                  "$('#abouttab').hasClass('tabheader_on')"))
                    .toBool());
    EXPECT_EQ(text(QStringLiteral("#about_version")),
              Common::getSettingsValue(QStringLiteral("ktversion")).toStdString());
    EXPECT_FALSE(text(QStringLiteral("#about_version")).empty());
    EXPECT_EQ(
        text(QStringLiteral("#about_copyright")),
        QStringLiteral("Copyright © Zarvo %1").arg(QDate::currentDate().year()).toStdString());
    EXPECT_EQ(text(QStringLiteral("#about_appname")), "Zarvo RavoSync");
}

} // namespace
} // namespace RavoSync::Test
