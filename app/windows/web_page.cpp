#include "app/windows/web_page.h"

#include "app/logging/app_log.h"
#include "app/platform/systemhooks.h"
#include "app/windows/page_addresses.h"
#include "app/windows/page_network_manager.h"
#include "app/windows/trusted_origin.h"
#include "app/windows/web_view.h"

#include <QNetworkRequest>
#include <QWebFrame>
#include <qwebkitglobal.h>

namespace ConnectLayout {

namespace {

// Addresses a link may hand to the desktop: web pages and mail.
bool opensOutside(const QUrl& url)
{
    const QString scheme = url.scheme();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
           scheme == QLatin1String("mailto");
}

// Web addresses without credentials, query or fragment; of anything else (a
// data: document, a local file) only the scheme.
QString loggedAddress(const QUrl& url)
{
    if (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"))
        return url.toString(QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment);
    return url.scheme() + QLatin1Char(':');
}

} // namespace

WebPage::WebPage(WebView* view)
    : QWebPage(view)
{
    setNetworkAccessManager(new PageNetworkManager(this));
    ConnectGlobals::logLine(QStringLiteral("QtWebKit version: ") + qWebKitVersion());
    PageAddresses::fillWhenEmpty();
}

WebPage::~WebPage() = default;

void WebPage::javaScriptConsoleMessage(const QString& message, int, const QString&)
{
    if (!message.startsWith(QLatin1String("-D")))
        return;
    // Only the marker goes: a "-D" further on belongs to the line (a folder
    // such as "/tmp/rse-DZ1" must name that folder in the log).
    QString line = message.mid(2);
    // Server addresses stay out of the log.
    if (!PageAddresses::content().isEmpty())
        line.remove(PageAddresses::content());
    if (!PageAddresses::remote().isEmpty())
        line.remove(PageAddresses::remote());
    ConnectGlobals::logLine(line);
}

bool WebPage::acceptNavigationRequest(QWebFrame* frame, const QNetworkRequest& request,
                                      NavigationType type)
{
    const QUrl url = request.url();
    if (type == NavigationTypeLinkClicked) {
        if (isTrustedPageOrigin(url)) {
            // A link meant for a new window loads here instead.
            if (!frame) {
                mainFrame()->load(url);
                return false;
            }
            return true;
        }
        if (opensOutside(url)) {
            ConnectGlobals::logLine(QStringLiteral("Opening link in the browser: ") +
                                    loggedAddress(url));
            SystemHooks::openUrl(url);
        } else {
            ConnectGlobals::logLine(QStringLiteral("Link dropped: ") + url.scheme() +
                                    QLatin1Char(':'));
        }
        return false;
    }
    if ((!frame || frame == mainFrame()) && !isTrustedPageOrigin(url)) {
        ConnectGlobals::logLine(QStringLiteral("Navigation refused to untrusted address: ") +
                                loggedAddress(url));
        return false;
    }
    return QWebPage::acceptNavigationRequest(frame, request, type);
}

} // namespace ConnectLayout
