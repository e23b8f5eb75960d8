#include "app/windows/viewer.h"

#include "app/windows/trusted_origin.h"
#include "app/windows/web_page.h"
#include "app/windows/web_view.h"
#include "connectlib/common/common.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QCursor>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QScreen>
#include <QWebFrame>
#include <QWebSecurityOrigin>

namespace ConnectLayout {

namespace {

int evalInt(QWebFrame* frame, const QString& script)
{
    return frame->evaluateJavaScript(script).toInt();
}

// A CSS length such as "12px" as whole pixels; 0 when it is none.
int evalPixels(QWebFrame* frame, const QString& script)
{
    return frame->evaluateJavaScript(script).toString().remove(QStringLiteral("px")).toInt();
}

QRect defaultScreen()
{
    return QGuiApplication::primaryScreen()->geometry();
}

// The security origin of a frame's document as an address.
QUrl originOf(QWebFrame* frame)
{
    const QWebSecurityOrigin origin = frame->securityOrigin();
    QUrl url;
    url.setScheme(origin.scheme());
    url.setHost(origin.host());
    if (origin.port() > 0)
        url.setPort(origin.port());
    if (origin.scheme() == QLatin1String("qrc"))
        url.setPath(QStringLiteral("/"));
    return url;
}

// Changing window flags hides a top-level window; one meant to stay visible
// is shown again.
void setFlagKeepingVisible(QWidget* window, Qt::WindowType flag, bool on)
{
    const bool wasVisible = window->isVisible();
    window->setWindowFlag(flag, on);
    if (wasVisible && !window->isVisible())
        window->show();
}

} // namespace

Viewer::Viewer()
    : QWidget(nullptr)
{
    // The font database must exist before the application's font is changed.
    QFontDatabase fonts;
    Q_UNUSED(fonts);
    QFont font = QApplication::font();
    font.setStyleStrategy(QFont::PreferAntialias);
    QApplication::setFont(font);
}

Viewer::~Viewer()
{
    delete m_quickView;
}

void Viewer::SLOT_resizeView(WebView* view)
{
    if (!view)
        return;
    QWebFrame* frame = view->page()->mainFrame();
    const int minWidth = evalInt(frame, QStringLiteral("minW()"));
    const int minHeight = evalInt(frame, QStringLiteral("minH()"));
    int width = evalInt(frame, QStringLiteral("$('#mainpage').width()"));
    int height = evalInt(frame, QStringLiteral("$('#mainpage').height()"));
    int margin = evalPixels(frame, QStringLiteral("$('#mainpage').css('margin-top')")) +
                 evalPixels(frame, QStringLiteral("$('#mainpage').css('padding-top')"));
    if (width == 0 || height == 0) {
        // No jQuery or no content: ask the document itself.
        width = evalInt(frame, QStringLiteral("document.getElementById('mainpage').offsetWidth"));
        height = evalInt(frame, QStringLiteral("document.getElementById('mainpage').offsetHeight"));
        margin = evalPixels(frame,
                            QStringLiteral("document.getElementById('mainpage').style.marginTop"));
    }
    width = qMax(width, minWidth);
    height = qMax(height, minHeight);
    if (width <= 0)
        width = 550;
    if (height <= 0)
        height = 430;
    view->setFixedSize(width + 2 * margin, height + 2 * margin);

    // Right and bottom first, then the left and top edges: a view larger than
    // the screen keeps its top left corner on it.
    const QRect screen = defaultScreen();
    int x = view->x();
    int y = view->y();
    if (x + view->width() > screen.width())
        x = screen.width() - view->width();
    if (y + view->height() > screen.height())
        y = screen.height() - view->height();
    view->move(qMax(x, 0), qMax(y, 0));
}

void Viewer::SLOT_showDialog(WebView* webView)
{
    if (!webView) {
        if (m_mainView) {
            m_mainView->setWindowFlag(Qt::WindowStaysOnTopHint, false);
            m_mainView->hide();
        }
        return;
    }
    m_mainView = webView;
    SLOT_resizeView(webView);
    if (webView->isHidden()) {
        const QRect screen = defaultScreen();
        webView->move(screen.width() - webView->width() - 30,
                      screen.height() - webView->height() - 80);
    }
    webView->showNormal();
    webView->setWindowState(Qt::WindowActive);
    webView->activateWindow();
    webView->raise();
}

void Viewer::SLOT_putOnTop(WebView* webView)
{
    if (webView) {
        webView->setWindowFlag(Qt::WindowStaysOnTopHint, true);
        webView->showNormal();
        webView->raise();
        webView->activateWindow();
        webView->setWindowState(Qt::WindowActive);
        return;
    }
    if (m_mainView) {
        setFlagKeepingVisible(m_mainView, Qt::WindowStaysOnTopHint, false);
        m_mainView->lower();
    }
}

void Viewer::createQuickView()
{
    m_quickView = new WebView();
    QWebFrame* frame = m_quickView->page()->mainFrame();
    frame->setScrollBarPolicy(Qt::Vertical, Qt::ScrollBarAlwaysOff);
    frame->setScrollBarPolicy(Qt::Horizontal, Qt::ScrollBarAlwaysOff);
    m_quickView->page()->networkAccessManager()->setProxy(QNetworkProxy::applicationProxy());
    SLOT_addJSObject();
    connect(frame, SIGNAL(javaScriptWindowObjectCleared()), this, SLOT(SLOT_addJSObject()));
}

void Viewer::SLOT_showQuickDialog(ConnectGlobals::SyncState::DialogState state,
                                  ConnectGlobals::SyncState::DialogType type, QString helpContent,
                                  QString script)
{
    if (!m_quickView)
        createQuickView();

    QPoint position = QCursor::pos();
    if (type == ConnectGlobals::SyncState::PromptDialog && m_mainView)
        position = m_mainView->pos() + QPoint(20, 50);
    m_quickView->setWindowFlags(Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint |
                                Qt::WindowStaysOnTopHint);
    m_quickView->move(position);

    const QUrl base = state == ConnectGlobals::SyncState::OfflineDialog
                          ? QUrl(QStringLiteral("qrc:/resources/ui/"))
                          : QUrl(QStringLiteral("%0/ui/").arg(ConnectLib::Common::getSettingsValue(
                                QStringLiteral("contenturl"))));
    m_dialogState = state;
    m_quickDialogScript = script;
    m_quickView->setHtml(helpContent, base);
}

void Viewer::closeQuickView()
{
    if (m_quickView)
        m_quickView->close();
}

void Viewer::SLOT_hideQuickDialog()
{
    closeQuickView();
}

void Viewer::SLOT_close()
{
    closeQuickView();
}

void Viewer::SLOT_quit()
{
    closeQuickView();
}

void Viewer::SLOT_quickDlgReady()
{
    if (!m_quickView)
        return;
    m_quickView->page()->mainFrame()->evaluateJavaScript(m_quickDialogScript);
    SLOT_resizeView(m_quickView);
    m_quickView->raise();
    m_quickView->activateWindow();
    m_quickView->showNormal();
}

void Viewer::SLOT_clicked(QString buttonId)
{
    closeQuickView();
    SLOT_evaluateJS(buttonId);
}

void Viewer::SLOT_evaluateJS(QString js_command)
{
    if (m_mainView)
        m_mainView->page()->mainFrame()->evaluateJavaScript(js_command);
    QCoreApplication::processEvents();
}

bool Viewer::SLOT_isOfflineDialog()
{
    return m_dialogState == ConnectGlobals::SyncState::OfflineDialog;
}

QString Viewer::SLOT_loadAppSetting(QString key)
{
    return ConnectLib::Common::getSettingsValue(key);
}

void Viewer::SLOT_copyToClipboard(QString text)
{
    QApplication::clipboard()->setText(text);
}

void Viewer::SLOT_addJSObject()
{
    if (!m_quickView)
        return;
    QWebFrame* frame = m_quickView->page()->mainFrame();
    // Only the program's own pages get the viewer (and through it every
    // setting, the clipboard and the main page's script).
    if (!isTrustedPageOrigin(originOf(frame)))
        return;
    frame->addToJavaScriptWindowObject(QStringLiteral("JSObject"), this);
}

} // namespace ConnectLayout
