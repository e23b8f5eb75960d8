#include "app/windows/viewer.h"
#include "app/windows/web_view.h"
#include "connectlib/common/common.h"
#include "tests/app/support/web_wait.h"
#include "tests/connectlib/support/log_lines.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QWebFrame>
#include <gtest/gtest.h>

namespace {

using ConnectGlobals::SyncState;
using ConnectLayout::Viewer;
using ConnectLayout::WebView;
using RavoSync::Test::evalJs;
using RavoSync::Test::loadAndWait;
using RavoSync::Test::waitForJs;

// A quick page: a style sheet by relative address and a marker that says
// the document is there.
const QString quickPage = QStringLiteral(
    "<html><head><link rel=\"stylesheet\" href=\"test_quick.css\"></head>"
    "<body><div id=\"quickstyle\"></div><div id=\"marker\">quick</div></body></html>");

const QString loaded = QStringLiteral(
    "document.readyState === 'complete' && document.getElementById('marker') !== null");

class QuickDialog : public ::testing::Test {
protected:
    // Opens a quick dialog and waits for its document.
    void open(Viewer& viewer, SyncState::DialogState state, SyncState::DialogType type,
              const QString& script = QString())
    {
        viewer.SLOT_showQuickDialog(state, type, quickPage, script);
        ASSERT_NE(viewer.quickView(), nullptr);
        ASSERT_TRUE(waitForJs(quickFrame(viewer), loaded));
    }
    static QWebFrame* quickFrame(Viewer& viewer) { return viewer.quickView()->page()->mainFrame(); }
    static QString typeOfJsObject(Viewer& viewer)
    {
        return evalJs(quickFrame(viewer), QStringLiteral("typeof JSObject")).toString();
    }

    Viewer m_viewer;
};

TEST_F(QuickDialog, HelpOpensAtTheCursor)
{
    QCursor::setPos(QPoint(123, 77));
    ASSERT_EQ(QCursor::pos(), QPoint(123, 77));
    open(m_viewer, SyncState::SyncDialog, SyncState::QuickHelpDialog);
    EXPECT_EQ(m_viewer.quickView()->pos(), QPoint(123, 77));
    const Qt::WindowFlags flags = m_viewer.quickView()->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    // Hidden until the page says it is ready.
    EXPECT_FALSE(m_viewer.quickView()->isVisible());
}

TEST_F(QuickDialog, PromptOpensBesideTheMainView)
{
    WebView main;
    ASSERT_TRUE(loadAndWait(&main, QUrl(QStringLiteral("qrc:/fixtures/main.html"))));
    m_viewer.SLOT_showDialog(&main);
    main.move(100, 90);
    open(m_viewer, SyncState::SyncDialog, SyncState::PromptDialog);
    EXPECT_EQ(m_viewer.quickView()->pos(), QPoint(120, 140));
}

TEST_F(QuickDialog, OfflineResolvesFromTheBuiltInResources)
{
    open(m_viewer, SyncState::OfflineDialog, SyncState::QuickHelpDialog);
    EXPECT_EQ(m_viewer.quickView()->url(), QUrl(QStringLiteral("qrc:/resources/ui/")));
    EXPECT_TRUE(
        waitForJs(quickFrame(m_viewer),
                  QStringLiteral("document.getElementById('quickstyle').offsetWidth == 123")));
}

TEST_F(QuickDialog, PageReachesTheViewerAsJsObject)
{
    open(m_viewer, SyncState::OfflineDialog, SyncState::QuickHelpDialog);
    QWebFrame* frame = quickFrame(m_viewer);
    ASSERT_EQ(typeOfJsObject(m_viewer), QStringLiteral("object"));
    EXPECT_EQ(evalJs(frame, QStringLiteral("JSObject.SLOT_loadAppSetting('app_name')")).toString(),
              ConnectLib::Common::getSettingsValue(QStringLiteral("app_name")));
    EXPECT_EQ(evalJs(frame, QStringLiteral("JSObject.SLOT_isOfflineDialog()")), QVariant(true));
    evalJs(frame, QStringLiteral("JSObject.SLOT_copyToClipboard('copied by the page')"));
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("copied by the page"));

    open(m_viewer, SyncState::SyncDialog, SyncState::QuickHelpDialog);
    EXPECT_EQ(evalJs(quickFrame(m_viewer), QStringLiteral("JSObject.SLOT_isOfflineDialog()")),
              QVariant(false));
}

TEST_F(QuickDialog, ContentServerPageGetsJsObject)
{
    open(m_viewer, SyncState::SyncDialog, SyncState::QuickHelpDialog);
    EXPECT_EQ(m_viewer.quickView()->url(),
              QUrl(QStringLiteral("https://content.ravo.test/contentserver/ui/")));
    EXPECT_EQ(typeOfJsObject(m_viewer), QStringLiteral("object"));
}

TEST_F(QuickDialog, UntrustedDocumentGetsNoJsObject)
{
    open(m_viewer, SyncState::OfflineDialog, SyncState::QuickHelpDialog);
    ASSERT_EQ(typeOfJsObject(m_viewer), QStringLiteral("object"));
    // A document without a trusted origin in the same view.
    m_viewer.quickView()->setHtml(quickPage);
    ASSERT_TRUE(waitForJs(quickFrame(m_viewer), loaded));
    EXPECT_EQ(typeOfJsObject(m_viewer), QStringLiteral("undefined"));
}

TEST_F(QuickDialog, ScriptRunsOnlyWhenThePageIsReady)
{
    open(m_viewer, SyncState::OfflineDialog, SyncState::QuickHelpDialog,
         QStringLiteral("document.body.setAttribute('data-ran', 'yes');"));
    QWebFrame* frame = quickFrame(m_viewer);
    EXPECT_TRUE(
        evalJs(frame, QStringLiteral("document.body.getAttribute('data-ran') === null")).toBool());
    EXPECT_FALSE(m_viewer.quickView()->isVisible());

    evalJs(frame, QStringLiteral("JSObject.SLOT_quickDlgReady()"));
    EXPECT_EQ(evalJs(frame, QStringLiteral("document.body.getAttribute('data-ran')")).toString(),
              QStringLiteral("yes"));
    EXPECT_TRUE(m_viewer.quickView()->isVisible());
}

TEST_F(QuickDialog, ClickHidesTheDialogAndRunsInTheMainPage)
{
    WebView main;
    ASSERT_TRUE(loadAndWait(&main, QUrl(QStringLiteral("qrc:/fixtures/main.html"))));
    m_viewer.SLOT_showDialog(&main);
    open(m_viewer, SyncState::OfflineDialog, SyncState::PromptDialog);
    m_viewer.SLOT_quickDlgReady();
    ASSERT_TRUE(m_viewer.quickView()->isVisible());

    evalJs(quickFrame(m_viewer),
           QStringLiteral("JSObject.SLOT_clicked(\"quickClicked('button_yes')\")"));
    EXPECT_FALSE(m_viewer.quickView()->isVisible());
    EXPECT_EQ(evalJs(main.page()->mainFrame(), QStringLiteral("$('#clicked').text()")).toString(),
              QStringLiteral("button_yes"));
}

TEST_F(QuickDialog, HideCloseAndQuitCloseTheQuickView)
{
    m_viewer.SLOT_hideQuickDialog(); // none yet: nothing happens
    void (Viewer::*closers[])() = {&Viewer::SLOT_hideQuickDialog, &Viewer::SLOT_close,
                                   &Viewer::SLOT_quit};
    for (auto closer : closers) {
        open(m_viewer, SyncState::OfflineDialog, SyncState::QuickHelpDialog);
        m_viewer.SLOT_quickDlgReady();
        ASSERT_TRUE(m_viewer.quickView()->isVisible());
        (m_viewer.*closer)();
        EXPECT_FALSE(m_viewer.quickView()->isVisible());
    }
}

TEST_F(QuickDialog, TwoViewersKeepTheirOwnScripts)
{
    Viewer other;
    open(m_viewer, SyncState::OfflineDialog, SyncState::QuickHelpDialog,
         QStringLiteral("document.body.setAttribute('data-script', 'first');"));
    open(other, SyncState::OfflineDialog, SyncState::QuickHelpDialog,
         QStringLiteral("document.body.setAttribute('data-script', 'second');"));
    m_viewer.SLOT_quickDlgReady();
    other.SLOT_quickDlgReady();
    EXPECT_EQ(
        evalJs(quickFrame(m_viewer), QStringLiteral("document.body.getAttribute('data-script')"))
            .toString(),
        QStringLiteral("first"));
    EXPECT_EQ(evalJs(quickFrame(other), QStringLiteral("document.body.getAttribute('data-script')"))
                  .toString(),
              QStringLiteral("second"));
}

TEST_F(QuickDialog, DialogStateStartsAsSyncDialog)
{
    EXPECT_EQ(m_viewer.dialogState(), SyncState::SyncDialog);
    EXPECT_FALSE(m_viewer.SLOT_isOfflineDialog());
}

} // namespace
