#include "app/windows/web_page.h"
#include "app/windows/web_view.h"
#include "connectlib/common/common.h"
#include "tests/app/support/web_wait.h"
#include "tests/connectlib/support/log_lines.h"
#include "tests/support/param_name.h"

#include <QNetworkSession>
#include <QRegularExpression>
#include <QWebFrame>
#include <gtest/gtest.h>

#include <functional>

namespace {

using ConnectLayout::WebView;
using ConnectLib::Test::LogLines;
using RavoSync::Test::evalJs;
using RavoSync::Test::loadAndWait;

const QUrl sized(QStringLiteral("qrc:/fixtures/sized.html"));

TEST(WebView, ConstructionGivesFrameTitleAndPage)
{
    LogLines log;
    WebView view;
    EXPECT_EQ(view.page(), view.webPage());
    EXPECT_EQ(view.windowTitle(), ConnectLib::Common::getSettingsValue(QStringLiteral("app_name")));
    const Qt::WindowFlags flags = view.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(view.page()->mainFrame()->scrollBarPolicy(Qt::Vertical), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(view.page()->mainFrame()->scrollBarPolicy(Qt::Horizontal), Qt::ScrollBarAlwaysOff);
    EXPECT_TRUE(view.closingAllowed());
    EXPECT_TRUE(log.contains(QStringLiteral("QtWebKit version: ")));
}

QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
TEST(WebView, OneNetworkSessionAfterTenLoads)
{
    WebView view;
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(loadAndWait(&view, sized));
    EXPECT_EQ(view.findChildren<QNetworkSession*>().size(), 1);
    EXPECT_EQ(view.findChild<QNetworkSession*>(), view.networkSession());
}
QT_WARNING_POP

TEST(WebView, EveryLoadIsLogged)
{
    LogLines log;
    WebView view;
    ASSERT_TRUE(loadAndWait(&view, sized));
    ASSERT_TRUE(log.waitFor(QStringLiteral("status: ")));
    const QRegularExpression shape(QStringLiteral(
        "^status: 1, elapsed: \\d+, isNetworkOpen:[01], networkAccessible: (-1|0|1)$"));
    QStringList loads = log.lines().filter(QStringLiteral("status: "));
    ASSERT_EQ(loads.size(), 1);
    EXPECT_TRUE(shape.match(loads.first()).hasMatch()) << loads.first().toStdString();
}

struct ConsoleCase {
    const char* message;
    const char* logged; // nullptr: nothing logged
};

void PrintTo(const ConsoleCase& c, std::ostream* os)
{
    *os << c.message;
}

class ConsoleLines : public ::testing::TestWithParam<ConsoleCase> {};

TEST_P(ConsoleLines, OnlyDebugLinesReachTheLogWithoutServerAddresses)
{
    WebView view;
    ASSERT_TRUE(loadAndWait(&view, sized));
    LogLines log;
    evalJs(view.page()->mainFrame(),
           QStringLiteral("console.log(%1); console.log('-D end of case');")
               .arg(QStringLiteral("'") + QLatin1String(GetParam().message) + QLatin1Char('\'')));
    ASSERT_TRUE(log.waitFor(QStringLiteral(" end of case")));
    QStringList lines = log.lines();
    lines.removeAll(QStringLiteral(" end of case"));
    if (GetParam().logged)
        EXPECT_EQ(lines, QStringList{QString::fromLatin1(GetParam().logged)});
    else
        EXPECT_TRUE(lines.isEmpty()) << lines.join(QLatin1Char('|')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConsoleLines,
    ::testing::Values(ConsoleCase{"-D Set dialog layout.", " Set dialog layout."},
                      ConsoleCase{"-D loading https://content.ravo.test/contentserver/ui/a.html",
                                  " loading /ui/a.html"},
                      ConsoleCase{"-D asking https://content.ravo.test/v2/time", " asking /time"},
                      // Only the marker goes: a "-D" inside is the line's own text
                      // (a folder such as "/tmp/rse-DZ1" names that folder).
                      ConsoleCase{"-D twice -D inside", " twice -D inside"},
                      ConsoleCase{"-D Backup done: /tmp/rse-DZ1/backups/80147800 OK",
                                  " Backup done: /tmp/rse-DZ1/backups/80147800 OK"},
                      ConsoleCase{"Set dialog layout.", nullptr},
                      ConsoleCase{"-d lower case", nullptr},
                      ConsoleCase{" -D not at the start", nullptr}),
    zarvo::test::printed_name());

} // namespace

// The page knows when nobody can see it (document.hidden), so that it can
// stop what only moves for the eye.
TEST(WebView, ThePageIsHiddenWhileTheWindowIsHiddenOrMinimised)
{
    WebView view;
    ASSERT_TRUE(loadAndWait(&view, sized));
    const auto hidden = [&] {
        return evalJs(view.page()->mainFrame(), QStringLiteral("document.hidden")).toBool();
    };
    const struct {
        const char* step;
        std::function<void()> act;
        bool hidden;
    } steps[] = {
        {"shown", [&] { view.show(); }, false},
        {"hidden", [&] { view.hide(); }, true},
        {"shown again", [&] { view.show(); }, false},
        {"minimised", [&] { view.showMinimized(); }, true},
        {"restored", [&] { view.showNormal(); }, false},
        {"hidden while minimised", [&] { view.hide(); }, true},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.step);
        step.act();
        EXPECT_EQ(hidden(), step.hidden);
    }
}
