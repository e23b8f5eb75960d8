#include "app/windows/trusted_origin.h"

#include "connectlib/common/common.h"

namespace ConnectLayout {

namespace {

int defaultPort(const QString& scheme)
{
    if (scheme == QLatin1String("https"))
        return 443;
    if (scheme == QLatin1String("http"))
        return 80;
    return -1;
}

int effectivePort(const QUrl& url)
{
    return url.port(defaultPort(url.scheme()));
}

} // namespace

bool isTrustedPageOrigin(const QUrl& url)
{
    if (!url.isValid())
        return false;
    if (url.scheme() == QLatin1String("qrc"))
        return true;

    const QUrl content(ConnectLib::Common::getSettingsValue(QStringLiteral("contenturl")),
                       QUrl::StrictMode);
    if (!content.isValid() || content.host().isEmpty())
        return false;
    if (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))
        return false;
    return url.scheme() == content.scheme() && url.host() == content.host() &&
           effectivePort(url) == effectivePort(content);
}

} // namespace ConnectLayout
