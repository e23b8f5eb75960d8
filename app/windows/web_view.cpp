#include "app/windows/web_view.h"

#include "app/logging/app_log.h"
#include "app/windows/page_addresses.h"
#include "app/windows/web_page.h"
#include "connectlib/common/common.h"

#include <QCloseEvent>
#include <QHideEvent>
#include <QNetworkAccessManager>
#include <QShowEvent>
#include <QWebFrame>

// QNetworkSession is deprecated in Qt 5.15 but is the only way to ask
// whether the system's default network is open.
QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
#include <QNetworkConfigurationManager>
#include <QNetworkSession>

namespace ConnectLayout {

WebView::WebView(QWidget* parent)
    : QWebView(parent)
{
    disconnect(this, SIGNAL(loadStarted()), nullptr, nullptr);
    disconnect(this, SIGNAL(loadFinished(bool)), nullptr, nullptr);
    connect(this, SIGNAL(loadStarted()), this, SLOT(newPageLoading()));
    connect(this, SIGNAL(loadFinished(bool)), this, SLOT(pageLoaded(bool)));

    PageAddresses::fillWhenEmpty();

    setWindowFlags(Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

    m_page = new WebPage(this);
    setWindowTitle(ConnectLib::Common::getSettingsValue(QStringLiteral("app_name")));
    setPage(m_page);
    m_page->mainFrame()->setScrollBarPolicy(Qt::Vertical, Qt::ScrollBarAlwaysOff);
    m_page->mainFrame()->setScrollBarPolicy(Qt::Horizontal, Qt::ScrollBarAlwaysOff);

    QNetworkConfigurationManager manager;
    m_networkSession = new QNetworkSession(manager.defaultConfiguration(), this);
    openNetworkSession();
}

WebView::~WebView()
{
    // The page goes before the view's own parts.
    delete m_page;
    m_page = nullptr;
}

void WebView::openNetworkSession()
{
    if (!m_networkSession->isOpen())
        m_networkSession->open();
}

void WebView::newPageLoading()
{
    openNetworkSession();
    m_loadTime.start();
}

void WebView::pageLoaded(bool ok)
{
    openNetworkSession();
    const qint64 elapsed = m_loadTime.isValid() ? m_loadTime.elapsed() : 0;
    ConnectGlobals::logLine(
        QStringLiteral("status: ") + QString::number(ok ? 1 : 0) + QStringLiteral(", elapsed: ") +
        QString::number(elapsed) + QStringLiteral(", isNetworkOpen:") +
        QString::number(m_networkSession->isOpen() ? 1 : 0) +
        QStringLiteral(", networkAccessible: ") +
        QString::number(int(page()->networkAccessManager()->networkAccessible())));
    repaint();
}

void WebView::closeEvent(QCloseEvent* event)
{
    if (!m_closingAllowed) {
        event->ignore();
        return;
    }
    emit SIGNAL_close();
    QWebView::closeEvent(event);
}

void WebView::showEvent(QShowEvent* event)
{
    QWebView::showEvent(event);
    setPageShown(!isMinimized());
}

void WebView::hideEvent(QHideEvent* event)
{
    QWebView::hideEvent(event);
    setPageShown(false);
}

void WebView::changeEvent(QEvent* event)
{
    QWebView::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        setPageShown(isVisible() && !isMinimized());
}

void WebView::setPageShown(bool shown)
{
    const QWebPage::VisibilityState state =
        shown ? QWebPage::VisibilityStateVisible : QWebPage::VisibilityStateHidden;
    if (page() && page()->visibilityState() != state)
        page()->setVisibilityState(state);
}

} // namespace ConnectLayout

QT_WARNING_POP
