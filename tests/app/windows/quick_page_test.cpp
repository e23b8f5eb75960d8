// The quick dialog's page (ui/quickhelp.html) in the real viewer: a page of
// a sync window fills it through the page library and the real bridge, the
// viewer shows it in its quick view.
#include "app/windows/viewer.h"
#include "app/windows/web_view.h"
#include "connectlib/common/common.h"
#include "tests/app/support/page_script_test.h"
#include "tests/app/support/web_wait.h"
#include "tests/connectlib/support/log_lines.h"
#include "tests/connectlib/support/process_events.h"
#include "tests/support/param_name.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QWebFrame>
#include <QWebPage>

#include <vector>

namespace RavoSync::Test {
namespace {

using ConnectLayout::Viewer;
using ConnectLib::Test::LogLines;
using ConnectLib::Test::processUntil;

constexpr int promptDialog = 0;
constexpr int quickHelpDialog = 1;

class QuickPage : public PageScriptTest {
protected:
    void SetUp() override
    {
        PageScriptTest::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_TRUE(loadHostPage(QStringLiteral("shell_host.html")));
        // The window's page: the real controller with the English texts and
        // an answer function that logs what it was given.
        js(QStringLiteral(
            "Host.reset(); window.englishLoaded = false;"
            "smain.eOffline = new App.LocalEndpoint('resources');"
            "$.ajax({ url: 'https://content.ravo.test/contentserver/tr/translations_en.json',"
            "         dataType: 'text' }).done(function (data) {"
            "    smain.i18n = App.Common.createLocObject(data); window.englishLoaded = true; });"
            "window.quickClicked = function (id) { console.log('-D Quick answer ' + id); };"));
        ASSERT_TRUE(waitForJs(frame(), QStringLiteral("window.englishLoaded === true")));
        viewer()->SLOT_showDialog(m_bridge->webView());
    }

    Viewer* viewer() const { return m_stub->viewer(); }
    QWebFrame* quickFrame() const { return viewer()->quickView()->page()->mainFrame(); }
    QVariant quickJs(const QString& expression) const { return evalJs(quickFrame(), expression); }

    // The window's page asks for the dialog as the settings page does; true
    // once the viewer shows it.
    bool open(int type, const QString& textKey, const QString& script)
    {
        js(QStringLiteral("App.Common.loadQuickDialog(smain.eOffline, smain.eContent, "
                          "'ui/quickhelp.html', %1, '%2', \"%3\");")
               .arg(type)
               .arg(textKey, script));
        return processUntil([this] {
            return viewer()->quickView() != nullptr && viewer()->quickView()->isVisible();
        });
    }

    // Makes the window offline: its quick dialogs come from the built-in
    // resources. The built-in template is handed over as the offline store
    // would read it (the store's reads have their own tests).
    void goOffline()
    {
        m_bridge->SLOT_setDialogStateOffline();
        QFile page(QStringLiteral(":/resources/ui/quickhelp.html"));
        ASSERT_TRUE(page.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(page.readAll());
        const QString literal =
            QString::fromUtf8(QJsonDocument(QJsonArray{html}).toJson(QJsonDocument::Compact));
        js(QStringLiteral("window.builtInQuickPage = %1[0];"
                          "smain.eOffline = { readOfflineFile: function (path, obj, success) {"
                          "    success(window.builtInQuickPage, 'success', {}); } };")
               .arg(literal));
    }
};

TEST_F(QuickPage, HelpTextIsAtLeast300By200AndLeftAligned)
{
    LogLines log;
    ASSERT_TRUE(open(quickHelpDialog, QStringLiteral("generalsettings_quickhelp"), QString()));
    const QSize size = viewer()->quickView()->size();
    EXPECT_GE(size.width(), 300);
    EXPECT_GE(size.height(), 200);
    EXPECT_TRUE(quickJs(QStringLiteral("$('#mainpage').hasClass('mainpage_quickhelp')")).toBool());
    EXPECT_FALSE(quickJs(QStringLiteral("$('#mainpage').hasClass('mainpage_prompt')")).toBool());
    EXPECT_EQ(quickJs(QStringLiteral("$('#mainpage').css('text-align')")).toString(),
              QStringLiteral("left"));
    EXPECT_EQ(quickJs(QStringLiteral("$('#mainpage').width()")).toInt(), 300);
    // The help text in place of the placeholder, no button shown.
    const QString text =
        js(QStringLiteral(
               "$('<div>').html(App.Common.getText('generalsettings_quickhelp')).text()"))
            .toString();
    ASSERT_FALSE(text.isEmpty());
    ASSERT_NE(text, QStringLiteral("generalsettings_quickhelp"));
    EXPECT_EQ(quickJs(QStringLiteral("$('#content').text()")).toString(), text);
    EXPECT_EQ(quickJs(QStringLiteral("$('.button:visible').length")).toInt(), 0);
    EXPECT_TRUE(log.contains(QStringLiteral(" Set dialog layout.")));
}

TEST_F(QuickPage, PromptIsAtLeast551WideWithItsButtonsAtTheBottom)
{
    ASSERT_TRUE(open(promptDialog, QStringLiteral("generalsettings_factoryreset_prompt"),
                     QStringLiteral("App.Common.showButtons('yes', 'cancel');")));
    const QSize size = viewer()->quickView()->size();
    EXPECT_GE(size.width(), 551);
    EXPECT_GE(size.height(), 200);
    EXPECT_TRUE(quickJs(QStringLiteral("$('#mainpage').hasClass('mainpage_prompt')")).toBool());
    EXPECT_EQ(
        quickJs(QStringLiteral("$('.button:visible').map(function () { return this.id; }).get()"))
            .toStringList(),
        QStringList({QStringLiteral("button_yes"), QStringLiteral("button_cancel")}));
    // The button bar ends at the window's bottom edge and holds the buttons.
    EXPECT_EQ(quickJs(QStringLiteral("document.getElementById('buttons')"
                                     ".getBoundingClientRect().bottom"))
                  .toInt(),
              size.height());
    EXPECT_GE(quickJs(QStringLiteral("document.getElementById('button_yes')"
                                     ".getBoundingClientRect().top"))
                  .toInt(),
              size.height() - 60);
    // The labels are the translations of the buttons' ids, in the template's
    // order.
    const QStringList ids =
        quickJs(
            QStringLiteral("$('#buttons > .button').map(function () { return this.id; }).get()"))
            .toStringList();
    EXPECT_EQ(ids, QStringList({"button_ok", "button_yes", "button_syncagain",
                                "button_networksettings", "button_save", "button_saveandclose",
                                "button_close", "button_cancel", "button_no", "button_later"}));
    EXPECT_EQ(quickJs(QStringLiteral("$('#button_yes .buttonText.i18n').html()")).toString(),
              js(QStringLiteral("App.Common.getText('button_yes')")).toString());
    EXPECT_EQ(quickJs(QStringLiteral("$('#button_cancel .buttonText.i18n').html()")).toString(),
              js(QStringLiteral("App.Common.getText('button_cancel')")).toString());
}

// The view keeps the fixed size of the dialog before; the next dialog's
// width comes from its own layout all the same.
TEST_F(QuickPage, EachLayoutKeepsItsWidthAfterTheOther)
{
    struct Step {
        int type;
        const char* key;
        int width; // of the dialog, with the page's 10 px padding each side
    };
    const Step steps[] = {
        {quickHelpDialog, "generalsettings_quickhelp", 320},
        {promptDialog, "generalsettings_factoryreset_prompt", 571},
        {quickHelpDialog, "networksettings_quickhelp", 320},
        {promptDialog, "generalsettings_factoryreset_prompt", 571},
    };
    for (const Step& step : steps) {
        ASSERT_TRUE(open(step.type, QString::fromLatin1(step.key),
                         step.type == promptDialog ? QStringLiteral("App.Common.showButtons('ok');")
                                                   : QString()))
            << step.key;
        EXPECT_EQ(viewer()->quickView()->width(), step.width) << step.key;
        viewer()->SLOT_close();
        ASSERT_FALSE(viewer()->quickView()->isVisible());
    }
}

struct Answer {
    const char* label;
    const char* buttons; // showButtons' arguments
    const char* button;  // the one pressed
    bool answers;        // the window's page hears quickClicked
};

void PrintTo(const Answer& a, std::ostream* os)
{
    *os << a.label;
}

class QuickPageAnswers : public QuickPage, public ::testing::WithParamInterface<Answer> {};

// Yes closes the dialog before the window's page acts on it; OK, Close and
// Cancel only close it.
TEST_P(QuickPageAnswers, CloseTheDialog)
{
    const Answer& row = GetParam();
    ASSERT_TRUE(open(promptDialog, QStringLiteral("generalsettings_factoryreset_prompt"),
                     QStringLiteral("App.Common.showButtons(%1);").arg(row.buttons)));
    std::vector<bool> visibleWhenAnswered;
    const auto connection =
        QObject::connect(ConnectLib::Logger::instance(), &ConnectLib::Logger::SIGNAL_logPrint,
                         [this, &visibleWhenAnswered](const QString& line) {
                             if (line.contains(QStringLiteral("Quick answer button_yes")))
                                 visibleWhenAnswered.push_back(viewer()->quickView()->isVisible());
                         });
    quickJs(QStringLiteral("$('#%1').click()").arg(row.button));
    EXPECT_TRUE(processUntil([this] { return !viewer()->quickView()->isVisible(); }));
    QObject::disconnect(connection);
    if (row.answers) {
        ASSERT_EQ(visibleWhenAnswered.size(), 1u);
        EXPECT_FALSE(visibleWhenAnswered.front());
    } else {
        EXPECT_TRUE(visibleWhenAnswered.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Table, QuickPageAnswers,
                         ::testing::Values(Answer{"yes", "'yes', 'cancel'", "button_yes", true},
                                           Answer{"cancel", "'yes', 'cancel'", "button_cancel",
                                                  false},
                                           Answer{"ok", "'ok'", "button_ok", false},
                                           Answer{"close", "'close'", "button_close", false}),
                         zarvo::test::printed_name());

struct Fonts {
    const char* label;
    const char* language;
    bool offline;
    const char* check; // true in the quick page when its fonts are the language's
};

void PrintTo(const Fonts& f, std::ostream* os)
{
    *os << f.label;
}

class QuickPageFonts : public QuickPage, public ::testing::WithParamInterface<Fonts> {};

TEST_P(QuickPageFonts, FollowTheLanguage)
{
    const Fonts& row = GetParam();
    ConnectLib::Common::setSettingsValue(QStringLiteral("language"),
                                         QString::fromLatin1(row.language));
    if (row.offline)
        goOffline();
    ASSERT_TRUE(open(quickHelpDialog, QStringLiteral("generalsettings_quickhelp"), QString()));
    EXPECT_TRUE(quickJs(QString::fromLatin1(row.check)).toBool())
        << quickJs(QStringLiteral("$('#rs_fonts').attr('href') + ' ' + $('body').css('font-size')"))
               .toString()
               .toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, QuickPageFonts,
    ::testing::Values(
        Fonts{"ja", "ja", false, "$('#rs_fonts').attr('href') === '../ui/css/fonts_asia.css'"},
        Fonts{"zh", "zh_CN", false, "$('#rs_fonts').attr('href') === '../ui/css/fonts_asia.css'"},
        Fonts{"en", "en", false, "$('#rs_fonts').attr('href') === '../ui/css/fonts.css'"},
        Fonts{"ja_offline", "ja", true, "$('body').css('font-size') === '14px'"},
        Fonts{"de_offline", "de", true, "$('body').css('font-size') === '15px'"}),
    zarvo::test::printed_name());

TEST_F(QuickPage, OfflineTakesItsStyleSheetsFromTheBuiltInResources)
{
    goOffline();
    const int before = m_web->requests().size();
    ASSERT_TRUE(open(promptDialog, QStringLiteral("generalsettings_factoryreset_prompt"),
                     QStringLiteral("App.Common.showButtons('ok');")));
    EXPECT_EQ(viewer()->quickView()->url(), QUrl(QStringLiteral("qrc:/resources/ui/")));
    EXPECT_EQ(quickJs(QStringLiteral("document.getElementById('rs_styles').sheet.href")).toString(),
              QStringLiteral("qrc:/resources/ui/css/styles.css"));
    // styles.css applies: the buttons take its colours.
    EXPECT_EQ(quickJs(QStringLiteral("$('#button_ok').css('background-color')")).toString(),
              QStringLiteral("rgb(11, 110, 121)"));
    EXPECT_EQ(quickJs(QStringLiteral("typeof jQuery")).toString(), QStringLiteral("function"));
    const QList<FakeRequest> requests = m_web->requests();
    for (const FakeRequest& request : requests.mid(before))
        EXPECT_FALSE(request.path.contains(QStringLiteral("quickhelp")) ||
                     request.path.contains(QStringLiteral("/ui/css/")) ||
                     request.path.contains(QStringLiteral("jquery")))
            << request.path.toStdString();
}

} // namespace
} // namespace RavoSync::Test
