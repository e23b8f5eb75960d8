#pragma once

#include <QList>
#include <QNetworkProxy>
#include <QString>
#include <QUrl>

#include <functional>

// The program's few ways out to the desktop and the system, each one
// process-wide function behind a replaceable hook, so tests never open a
// browser, start an installer or depend on the machine's proxy and locale.
// A setter given an empty function puts the default back. Set hooks before
// use, on the user interface thread.
namespace SystemHooks {

// The system's proxies for a request (default: Qt's system factory, which
// reads http_proxy, https_proxy and no_proxy on Linux).
QList<QNetworkProxy> systemProxies(const QNetworkProxyQuery& query);
void setSystemProxies(std::function<QList<QNetworkProxy>(const QNetworkProxyQuery&)> hook);

// The system locale's name, such as "de_DE" (default: QLocale::system()).
QString systemLocaleName();
void setSystemLocaleName(std::function<QString()> hook);

// Hands an address to the desktop (default: QDesktopServices::openUrl);
// true when the desktop took it.
bool openUrl(const QUrl& url);
void setOpenUrl(std::function<bool(const QUrl&)> hook);

// Hands a downloaded installer file to the desktop (default: openUrl of its
// local file address). The program never runs the file itself nor changes
// its permissions.
bool launchInstaller(const QString& path);
void setLaunchInstaller(std::function<bool(const QString&)> hook);

} // namespace SystemHooks
