#include "app/platform/systemhooks.h"

#include <QDesktopServices>
#include <QLocale>
#include <QNetworkProxyFactory>

#include <utility>

namespace SystemHooks {

namespace {

struct Hooks {
    std::function<QList<QNetworkProxy>(const QNetworkProxyQuery&)> systemProxies;
    std::function<QString()> systemLocaleName;
    std::function<bool(const QUrl&)> openUrl;
    std::function<bool(const QString&)> launchInstaller;
};

Hooks& hooks()
{
    static Hooks instance;
    return instance;
}

} // namespace

QList<QNetworkProxy> systemProxies(const QNetworkProxyQuery& query)
{
    if (hooks().systemProxies)
        return hooks().systemProxies(query);
    return QNetworkProxyFactory::systemProxyForQuery(query);
}

void setSystemProxies(std::function<QList<QNetworkProxy>(const QNetworkProxyQuery&)> hook)
{
    hooks().systemProxies = std::move(hook);
}

QString systemLocaleName()
{
    if (hooks().systemLocaleName)
        return hooks().systemLocaleName();
    return QLocale::system().name();
}

void setSystemLocaleName(std::function<QString()> hook)
{
    hooks().systemLocaleName = std::move(hook);
}

bool openUrl(const QUrl& url)
{
    if (hooks().openUrl)
        return hooks().openUrl(url);
    return QDesktopServices::openUrl(url);
}

void setOpenUrl(std::function<bool(const QUrl&)> hook)
{
    hooks().openUrl = std::move(hook);
}

bool launchInstaller(const QString& path)
{
    if (hooks().launchInstaller)
        return hooks().launchInstaller(path);
    return openUrl(QUrl::fromLocalFile(path));
}

void setLaunchInstaller(std::function<bool(const QString&)> hook)
{
    hooks().launchInstaller = std::move(hook);
}

} // namespace SystemHooks
