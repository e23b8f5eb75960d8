#include "app/windows/viewer.h"
#include "app/windows/web_view.h"
#include "tests/app/support/web_wait.h"
#include "tests/support/param_name.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <gtest/gtest.h>

namespace {

using ConnectLayout::Viewer;
using ConnectLayout::WebView;
using RavoSync::Test::loadAndWait;

QRect screen()
{
    return QGuiApplication::primaryScreen()->geometry();
}

QUrl page(const char* name)
{
    return QUrl(QStringLiteral("qrc:/fixtures/") + QLatin1String(name));
}

struct SizeCase {
    const char* page;
    QSize size;
};

void PrintTo(const SizeCase& c, std::ostream* os)
{
    *os << c.page;
}

class ViewerSizing : public ::testing::TestWithParam<SizeCase> {};

TEST_P(ViewerSizing, SizeFromThePage)
{
    Viewer viewer;
    WebView view;
    ASSERT_TRUE(loadAndWait(&view, page(GetParam().page)));
    viewer.SLOT_resizeView(&view);
    EXPECT_EQ(view.size(), GetParam().size) << GetParam().page;
    // Fixed: the user cannot resize it.
    EXPECT_EQ(view.minimumSize(), GetParam().size);
    EXPECT_EQ(view.maximumSize(), GetParam().size);
}

INSTANTIATE_TEST_SUITE_P(Table, ViewerSizing,
                         ::testing::Values(
                             // minW() 551 beats the 500 wide content; margin 10 + padding 5, twice.
                             SizeCase{"sized.html", QSize(551 + 2 * 15, 320 + 2 * 15)},
                             // No jQuery: the document's own sizes are 0, its style margin 7.
                             SizeCase{"no_jquery.html", QSize(550 + 2 * 7, 430 + 2 * 7)},
                             // No "mainpage" element: nothing to measure, no margin.
                             SizeCase{"no_mainpage.html", QSize(550, 430)}),
                         zarvo::test::printed_name());

TEST(ViewerSizing, NoViewDoesNothing)
{
    Viewer viewer;
    viewer.SLOT_resizeView(nullptr);
}

TEST(ViewerSizing, StickingOutAtTheRightOrBottomIsMovedIn)
{
    Viewer viewer;
    WebView view;
    ASSERT_TRUE(loadAndWait(&view, page("sized.html")));
    const QSize size(551 + 30, 320 + 30);
    ASSERT_LT(size.width(), screen().width());
    ASSERT_LT(size.height(), screen().height());

    view.move(screen().width() - 100, 20);
    viewer.SLOT_resizeView(&view);
    EXPECT_EQ(view.pos(), QPoint(screen().width() - size.width(), 20));

    view.move(30, screen().height() - 10);
    viewer.SLOT_resizeView(&view);
    EXPECT_EQ(view.pos(), QPoint(30, screen().height() - size.height()));

    view.move(-40, -50);
    viewer.SLOT_resizeView(&view);
    EXPECT_EQ(view.pos(), QPoint(0, 0));
}

TEST(ViewerSizing, LargerThanTheScreenEndsAtTheTopLeftCorner)
{
    Viewer viewer;
    WebView view;
    ASSERT_TRUE(loadAndWait(&view, page("large.html")));
    ASSERT_GT(1400, screen().width());
    ASSERT_GT(1000, screen().height());
    view.move(50, 60);
    viewer.SLOT_resizeView(&view);
    EXPECT_EQ(view.size(), QSize(1400, 1000));
    EXPECT_EQ(view.pos(), QPoint(0, 0));
}

} // namespace
