#include "tests/app/support/page_probe_script.h"

#include "app/bridge/jsobject.h"
#include "app/platform/systemhooks.h"
#include "tests/app/support/fake_web.h"
#include "tests/app/support/url_handlers.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace RavoSync::Test {

namespace {

QString compact(const QJsonArray& array)
{
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

} // namespace

PageProbeScript::PageProbeScript(JsObject* bridge, FakeWeb* web)
    : m_web(web)
{
    connect(bridge->requests(), &BridgeRequests::SIGNAL_putOnTop, this,
            [this](ConnectLayout::WebView* view) { m_onTop.append(view != nullptr); });
    SystemHooks::setOpenUrl([this](const QUrl& url) {
        if (m_refuse > 0) {
            --m_refuse;
            ++m_refused;
            return false;
        }
        return QDesktopServices::openUrl(url);
    });
}

PageProbeScript::~PageProbeScript()
{
    SystemHooks::setOpenUrl({});
}

void PageProbeScript::setRoutes(const QString& routesJson)
{
    m_web->setRoutes(QJsonDocument::fromJson(routesJson.toUtf8()).array());
}

QString PageProbeScript::requests() const
{
    QJsonArray list;
    for (const FakeRequest& request : m_web->requests()) {
        QJsonObject headers;
        for (auto it = request.headers.begin(); it != request.headers.end(); ++it)
            headers.insert(it.key(), it.value());
        list.append(QJsonObject{{"method", request.method},
                                {"host", request.host},
                                {"path", request.path},
                                {"query", request.query},
                                {"headers", headers},
                                {"body", QString::fromUtf8(request.body)}});
    }
    return compact(list);
}

QString PageProbeScript::opened() const
{
    QJsonArray list;
    for (const QUrl& url : recordedUrls())
        list.append(url.toString(QUrl::FullyEncoded));
    return compact(list);
}

void PageProbeScript::refuseOpens(int count)
{
    m_refuse = count;
}

QString PageProbeScript::onTop() const
{
    QJsonArray list;
    for (bool onTop : m_onTop)
        list.append(onTop);
    return compact(list);
}

QString PageProbeScript::clipboard() const
{
    return QGuiApplication::clipboard()->text();
}

void PageProbeScript::clear()
{
    clearRecordedUrls();
    m_onTop.clear();
    m_refuse = 0;
    m_refused = 0;
    QGuiApplication::clipboard()->clear();
}

} // namespace RavoSync::Test
