#include "tests/support/program_run/fake_web_service.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace RavoSync::Test {

namespace {

const QString contentHost = QStringLiteral("content.ravo.test");
const QString contentPrefix = QStringLiteral("/contentserver/");

FakeRequest fromJson(const QJsonObject& line)
{
    FakeRequest request;
    request.method = line.value(QLatin1String("method")).toString();
    request.scheme = line.value(QLatin1String("scheme")).toString();
    request.host = line.value(QLatin1String("host")).toString();
    request.path = line.value(QLatin1String("path")).toString();
    request.query = line.value(QLatin1String("query")).toString();
    const QJsonObject headers = line.value(QLatin1String("headers")).toObject();
    for (auto it = headers.begin(); it != headers.end(); ++it)
        request.headers.insert(it.key(), it.value().toString());
    request.bodyLength = line.value(QLatin1String("bodyLength")).toVariant().toLongLong();
    request.bodySha256 = line.value(QLatin1String("bodySha256")).toString();
    if (line.contains(QLatin1String("bodyBase64")))
        request.body =
            QByteArray::fromBase64(line.value(QLatin1String("bodyBase64")).toString().toLatin1());
    else
        request.body = line.value(QLatin1String("body")).toString().toUtf8();
    return request;
}

} // namespace

FakeWebService::FakeWebService(const QList<Mount>& extraMounts, const QStringList& firstContent)
{
    std::vector<std::string> arguments{RAVO_FAKEWEB_SCRIPT, "--state",
                                       QDir(m_state.path()).absolutePath().toStdString()};
    // The page tree as the content server holds it: the build tree's
    // generated files, the source folders, then the fixtures.
    const QStringList folders =
        firstContent +
        QString::fromUtf8(RAVO_FAKEWEB_CONTENT_DIRS).split(QLatin1Char('|'), Qt::SkipEmptyParts);
    for (const QString& folder : folders) {
        arguments.push_back("--mount");
        arguments.push_back(contentHost.toStdString());
        arguments.push_back(contentPrefix.toStdString());
        arguments.push_back(folder.toStdString());
    }
    for (const Mount& mount : extraMounts) {
        arguments.push_back("--mount");
        arguments.push_back(contentHost.toStdString());
        arguments.push_back(mount.prefix.toStdString());
        arguments.push_back(QDir(mount.folder).absolutePath().toStdString());
    }
    m_program = std::make_unique<zarvo::test::child_program>(RAVO_FAKEWEB_PYTHON, arguments);
    const QString greeting = QString::fromStdString(m_program->read_line(60000));
    if (!greeting.startsWith(QLatin1String("PORT "))) {
        ADD_FAILURE() << "the fake web service did not start: '" << greeting.toStdString() << "'";
        return;
    }
    m_port = greeting.mid(5).toUShort();
}

FakeWebService::~FakeWebService()
{
    if (m_stopped)
        return;
    m_program->close_input();
    m_program->wait_exit();
}

pid_t FakeWebService::pid() const
{
    return m_program->pid();
}

int FakeWebService::stop()
{
    m_stopped = true;
    m_program->terminate();
    return m_program->wait_exit();
}

QString FakeWebService::caFile() const
{
    return m_state.filePath(QStringLiteral("ca.pem"));
}

void FakeWebService::release(const QString& gate)
{
    QFile file(m_state.filePath(gate));
    if (!file.open(QIODevice::WriteOnly))
        ADD_FAILURE() << "cannot release " << gate.toStdString();
}

void FakeWebService::setRoutes(const QJsonArray& routes)
{
    // Written whole and renamed into place, so the service never reads half
    // a file; the version keeps two writes within one clock tick apart.
    QJsonObject document;
    document.insert(QStringLiteral("routes"), routes);
    document.insert(QStringLiteral("version"), ++m_routesVersion);
    QSaveFile file(m_state.filePath(QStringLiteral("routes.json")));
    if (!file.open(QIODevice::WriteOnly)) {
        ADD_FAILURE() << "cannot write routes.json";
        return;
    }
    file.write(QJsonDocument(document).toJson(QJsonDocument::Compact));
    if (!file.commit())
        ADD_FAILURE() << "cannot write routes.json";
}

QList<FakeRequest> FakeWebService::requests() const
{
    QList<FakeRequest> result;
    QFile log(m_state.filePath(QStringLiteral("requests.jsonl")));
    if (!log.open(QIODevice::ReadOnly))
        return result;
    const QList<QByteArray> lines = log.readAll().split('\n');
    for (const QByteArray& line : lines) {
        // The last line may still be on its way.
        const QJsonDocument entry = QJsonDocument::fromJson(line);
        if (entry.isObject())
            result.append(fromJson(entry.object()));
    }
    return result;
}

const QString FakeWebService::defaultUser = QStringLiteral("user@ravo.test");
const QString FakeWebService::defaultPassword = QStringLiteral("secret");
const QString FakeWebService::defaultUtc = QStringLiteral("2026-01-15T09:30:00Z");
const QString FakeWebService::syncHost = QStringLiteral("content.ravo.test");

QByteArray FakeWebService::storedBody(const QString& host, const QString& path) const
{
    QFile file(m_state.filePath(QStringLiteral("store/") + host + QLatin1Char('/') + path));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

QJsonObject FakeWebService::handlerRule(const QString& method, const QString& pathPattern,
                                        const QString& handler, const QJsonObject& fields)
{
    QJsonObject rule = fields;
    rule.insert(QStringLiteral("method"), method);
    rule.insert(QStringLiteral("path"), pathPattern);
    rule.insert(QStringLiteral("handler"), handler);
    return rule;
}

QJsonArray FakeWebService::webServiceRoutes()
{
    QJsonObject storeAll{{"host", syncHost}};
    return QJsonArray{
        handlerRule(QStringLiteral("POST"), QStringLiteral("*/login/user/associateToApp"),
                    QStringLiteral("login"),
                    {{"users", QJsonObject{{defaultUser, defaultPassword}}}}),
        handlerRule(QStringLiteral("POST"), QStringLiteral("*/login/sso/associateToApp"),
                    QStringLiteral("sso")),
        handlerRule(QStringLiteral("GET"), QStringLiteral("*/time/*"), QStringLiteral("time"),
                    {{"utc", defaultUtc}}),
        handlerRule(QStringLiteral("GET"), QStringLiteral("*/devices/*/registration"),
                    QStringLiteral("registration")),
        handlerRule(QStringLiteral("POST"), QStringLiteral("*/devices/*/firsttime"),
                    QStringLiteral("store")),
        handlerRule(QStringLiteral("*"), QStringLiteral("/v2/*"), QStringLiteral("store"),
                    storeAll),
    };
}

QString FakeWebService::syncFixturesDir()
{
    return QStringLiteral(RAVO_FAKEWEB_SYNC_FIXTURES);
}

QByteArray FakeWebService::deterministicBody(int size)
{
    QByteArray body(size, '\0');
    for (int i = 0; i < size; ++i)
        body[i] = char(i % 251);
    return body;
}

} // namespace RavoSync::Test
