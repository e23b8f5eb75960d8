#pragma once

// The fake web service's answers for a sync run of the end-to-end fixtures:
// the user's settings and a sync logic of the
// user's settings and exercises followed by further phases. Rules given
// first win over these, these over the web service's own.

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace RavoSync::E2e {

// A GET rule on the content server for a sync resource (such as
// "fwupdate.json"), found wherever the page looks first (per model and
// firmware), answering body as JSON.
QJsonObject syncResourceRule(const QString& name, const QJsonObject& body);

QJsonArray syncRunRoutes(const QStringList& morePhases = {}, const QJsonArray& first = {});

} // namespace RavoSync::E2e
