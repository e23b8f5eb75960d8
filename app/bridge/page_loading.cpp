// Loading a window's pages: the dialog kind, the offline dialog's data, the
// address and the proxy.
#include "app/bridge/jsobject.h"

#include "app/logging/app_log.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkRequest>
#include <QUrl>
#include <QWebFrame>
#include <QWebPage>

using ConnectGlobals::SyncState;

namespace {

// The main frame's document before anything was loaded into a view.
const QLatin1String emptyDocument("<html><head></head><body></body></html>");

// A content address the pages can be loaded from: an http or https address
// with a host. An empty or garbled "contenturl" in hosts.conf is none.
bool isUsableContentAddress(const QString& address)
{
    const QUrl url(address, QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty() &&
           (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"));
}

} // namespace

void JsObject::SLOT_startByLoading(QString htmlFileName)
{
    SLOT_startByLoading(htmlFileName, QString(), QStringList(), QString(), QString());
}

void JsObject::SLOT_startByLoading(QString htmlFileName, QString contentHtmlName)
{
    SLOT_startByLoading(htmlFileName, contentHtmlName, QStringList(), QString(), QString());
}

void JsObject::SLOT_startByLoading(QString htmlFileName, QString contentHtmlName,
                                   QStringList contentTextIds)
{
    SLOT_startByLoading(htmlFileName, contentHtmlName, contentTextIds, QString(), QString());
}

void JsObject::SLOT_startByLoading(QString htmlFileName, QString contentHtmlName,
                                   QStringList contentTextIds, QString dialogButtons)
{
    SLOT_startByLoading(htmlFileName, contentHtmlName, contentTextIds, dialogButtons, QString());
}

void JsObject::SLOT_startByLoading(QString htmlFileName, QString contentHtmlName,
                                   QStringList contentTextIds, QString dialogButtons,
                                   QString executeScript)
{
    if (htmlFileName.startsWith(QLatin1String("qrc:"))) {
        m_dialogState = SyncState::OfflineDialog;
    } else if (!isUsableContentAddress(m_contentUrl)) {
        // Nothing could ever answer: the built-in offline page says so
        // instead of a waiting animation that never ends.
        ConnectGlobals::logLine(QStringLiteral("Invalid content address \"") + m_contentUrl +
                                QStringLiteral("\" (contenturl in hosts.conf); showing the "
                                               "offline page."));
        showOfflineDialogFor(QStringLiteral("error_nonetworkconnection"),
                             QStringLiteral("errorDlgValues.buttons.syncagain=1;"
                                            "errorDlgValues.buttons.close=1;"),
                             QStringLiteral("App.syncMain.errorCase();"));
        return;
    } else {
        ConnectGlobals::logLine(QStringLiteral("Start loading dialog..."));
        m_dialogState = SLOT_getVariable(QStringLiteral("tcdeviceid")).isEmpty()
                            ? SyncState::DeviceListDialog
                            : SyncState::SyncDialog;
    }

    emit m_requests->SIGNAL_showDialog(m_webView);

    // Only a window that has shown nothing yet waits with the animation.
    if (m_webView && htmlFileName.contains(QLatin1String("index.html")) &&
        m_webView->page()->mainFrame()->toHtml() == emptyDocument)
        SLOT_runWaitAnimation();

    m_offlineContentPage = contentHtmlName;
    m_contentTextIds = contentTextIds;
    m_dialogButtons = dialogButtons;
    m_executeScript = executeScript;

    SLOT_resetProxy();

    if (!m_webView) {
        ConnectGlobals::logLine(QStringLiteral(" ERROR: ") + QStringLiteral("WebView was null"));
        return;
    }

    startPageTimer();
    m_replacingPage = true;
    if (m_dialogState != SyncState::OfflineDialog) {
        const QNetworkProxy proxy = m_webView->page()->networkAccessManager()->proxy();
        ConnectGlobals::logLine(QStringLiteral("With proxy: ") + proxy.hostName() +
                                QStringLiteral(":") + QString::number(proxy.port()) +
                                QStringLiteral("/") + htmlFileName);
        const QNetworkRequest request(
            QUrl(QStringLiteral("%0/%1").arg(m_contentUrl, htmlFileName)));
        m_webView->load(request, QNetworkAccessManager::GetOperation, QByteArray());
    } else {
        m_webView->load(QUrl(htmlFileName));
    }
}

QString JsObject::SLOT_offlineFileName()
{
    return m_offlineContentPage;
}

QStringList JsObject::SLOT_contentTextIds()
{
    return m_contentTextIds;
}

QString JsObject::SLOT_dialogButtons()
{
    return m_dialogButtons;
}

QString JsObject::SLOT_executeScript()
{
    return m_executeScript;
}

bool JsObject::SLOT_isOfflineDialog()
{
    return m_dialogState == SyncState::OfflineDialog;
}

bool JsObject::SLOT_isDeviceListDialog()
{
    return m_dialogState == SyncState::DeviceListDialog;
}

void JsObject::SLOT_setDialogStateOffline()
{
    m_dialogState = SyncState::OfflineDialog;
}
