#include "tests/e2e/sync_routes.h"

#include "tests/support/program_run/fake_web_service.h"

#include <QJsonDocument>

namespace RavoSync::E2e {

using Test::FakeWebService;

QJsonObject syncResourceRule(const QString& name, const QJsonObject& body)
{
    return {{"method", "GET"},
            {"host", "content.ravo.test"},
            {"path", QStringLiteral("/contentserver/sync/*") + name},
            {"body", QString::fromUtf8(QJsonDocument(body).toJson(QJsonDocument::Compact))},
            {"headers", QJsonObject{{"Content-Type", "application/json"}}}};
}

QJsonArray syncRunRoutes(const QStringList& morePhases, const QJsonArray& first)
{
    QJsonArray routes = first;
    QJsonArray phases{"user_settings", "exercises"};
    for (const QString& phase : morePhases)
        phases.append(phase);
    routes.append(syncResourceRule(QStringLiteral("synclogic.json"), {{"files", phases}}));
    // The user's settings the web service holds.
    QByteArray settings(300, '\0');
    for (int i = 0; i < settings.size(); ++i)
        settings[i] = char((i * 7 + 3) % 256);
    routes.append(
        QJsonObject{{"method", "GET"},
                    {"host", FakeWebService::syncHost},
                    {"path", "*/user-settings"},
                    {"bodyBase64", QString::fromLatin1(settings.toBase64())},
                    {"headers", QJsonObject{{"Content-Type", "application/x-protobuf"}}}});
    for (const auto& rule : FakeWebService::webServiceRoutes())
        routes.append(rule);
    return routes;
}

} // namespace RavoSync::E2e
