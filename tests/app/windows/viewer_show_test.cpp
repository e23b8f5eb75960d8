#include "app/windows/viewer.h"
#include "app/windows/web_view.h"
#include "tests/app/support/web_wait.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

using ConnectLayout::Viewer;
using ConnectLayout::WebView;
using RavoSync::Test::loadAndWait;

QRect screen()
{
    return QGuiApplication::primaryScreen()->geometry();
}

bool onTop(const QWidget& w)
{
    return w.windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

class ViewerShow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(loadAndWait(&m_view, QUrl(QStringLiteral("qrc:/fixtures/sized.html"))));
    }

    Viewer m_viewer;
    WebView m_view;
};

TEST_F(ViewerShow, FirstShowAtTheBottomRight)
{
    m_viewer.SLOT_showDialog(&m_view);
    EXPECT_TRUE(m_view.isVisible());
    EXPECT_EQ(m_viewer.mainView(), &m_view);
    EXPECT_EQ(m_view.pos(), QPoint(screen().width() - m_view.width() - 30,
                                   screen().height() - m_view.height() - 80));
}

TEST_F(ViewerShow, ASecondShowKeepsAMovedPosition)
{
    m_viewer.SLOT_showDialog(&m_view);
    m_view.move(40, 60);
    m_viewer.SLOT_showDialog(&m_view);
    EXPECT_TRUE(m_view.isVisible());
    EXPECT_EQ(m_view.pos(), QPoint(40, 60));
}

TEST_F(ViewerShow, ShowingNoViewHidesTheWindow)
{
    m_viewer.SLOT_showDialog(&m_view);
    m_viewer.SLOT_putOnTop(&m_view);
    m_viewer.SLOT_showDialog(nullptr);
    EXPECT_FALSE(m_view.isVisible());
    EXPECT_FALSE(onTop(m_view));
}

TEST_F(ViewerShow, ShowingNoViewBeforeAnyIsHarmless)
{
    m_viewer.SLOT_showDialog(nullptr);
    m_viewer.SLOT_putOnTop(nullptr);
    EXPECT_FALSE(m_view.isVisible());
}

TEST_F(ViewerShow, PutOnTopAndReleaseLeaveAVisibleWindowVisible)
{
    m_viewer.SLOT_showDialog(&m_view);
    m_viewer.SLOT_putOnTop(&m_view);
    EXPECT_TRUE(m_view.isVisible());
    EXPECT_TRUE(onTop(m_view));

    m_viewer.SLOT_putOnTop(nullptr);
    EXPECT_TRUE(m_view.isVisible());
    EXPECT_FALSE(onTop(m_view));
}

TEST_F(ViewerShow, ADeletedMainViewIsNeverTouched)
{
    auto* view = new WebView;
    m_viewer.SLOT_showDialog(view);
    delete view;
    m_viewer.SLOT_putOnTop(nullptr);
    m_viewer.SLOT_showDialog(nullptr);
    m_viewer.SLOT_evaluateJS(QStringLiteral("1"));
    EXPECT_EQ(m_viewer.mainView(), nullptr);
}

TEST_F(ViewerShow, CloseWhileDisallowedIsIgnored)
{
    QSignalSpy closed(&m_view, &WebView::SIGNAL_close);
    m_view.show();
    m_view.setClosingAllowed(false);
    EXPECT_FALSE(m_view.close());
    EXPECT_TRUE(m_view.isVisible());
    EXPECT_EQ(closed.size(), 0);

    m_view.setClosingAllowed(true);
    EXPECT_TRUE(m_view.close());
    EXPECT_FALSE(m_view.isVisible());
    EXPECT_EQ(closed.size(), 1);
}

} // namespace
