#include "tests/app/support/fake_web.h"

#include "app/network/trusted_roots.h"
#include "tests/connectlib/support/process_events.h"

#include <QFile>
#include <QNetworkProxy>

#include <cstdlib>

namespace RavoSync::Test {

FakeWeb::FakeWeb(Trust trust, const QList<Mount>& extraMounts, const QStringList& firstContent)
    : m_service(extraMounts, firstContent)
{
    if (!m_service.started())
        return;
    QNetworkProxy::setApplicationProxy(
        QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("::1"), m_service.port()));
    if (trust == Trust::TestCa) {
        ::setenv("SSL_CERT_FILE", QFile::encodeName(caFile()).constData(), 1);
        ConnectGlobals::addTrustedRootsFromEnvironment();
    }
}

FakeWeb::~FakeWeb()
{
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy));
}

bool FakeWeb::waitForRequest(const std::function<bool(const FakeRequest&)>& match, int timeoutMs,
                             FakeRequest* found)
{
    const bool seen = ConnectLib::Test::processUntil(
        [&] {
            for (const FakeRequest& request : requests()) {
                if (match(request)) {
                    if (found)
                        *found = request;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return seen;
}

} // namespace RavoSync::Test
