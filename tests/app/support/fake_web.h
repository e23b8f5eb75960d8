#pragma once

#include "tests/support/program_run/fake_web_service.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace RavoSync::Test {

// The fake web service and content server (tools/fakeweb/fakeweb.py) as a
// child process for one test: its state in a folder of its own, the built-in
// page tree mounted at the content server's "/contentserver/". While it runs
// it is the application's HTTP proxy and its test CA is trusted (through
// SSL_CERT_FILE and addTrustedRootsFromEnvironment, as the program does), so
// the program keeps its built-in addresses. The destructor closes the
// service's standard input and waits for it to end.
class FakeWeb {
public:
    // Untrusted leaves the test CA out of the trust anchors (every FakeWeb
    // makes a CA of its own, so an earlier one's trust does not carry over).
    enum class Trust { TestCa, Untrusted };
    // A further folder the content server serves below prefix (a path on
    // content.ravo.test, such as "/contentserver/test/"); a file the page
    // tree lacks is looked for in the mounts that follow.
    using Mount = FakeWebService::Mount;
    // firstContent: folders served at "/contentserver/" before the page tree.
    explicit FakeWeb(Trust trust = Trust::TestCa, const QList<Mount>& extraMounts = {},
                     const QStringList& firstContent = {});
    ~FakeWeb();
    FakeWeb(const FakeWeb&) = delete;
    FakeWeb& operator=(const FakeWeb&) = delete;

    // Whether the service runs and listens.
    bool started() const { return m_service.started(); }
    quint16 port() const { return m_service.port(); }
    QString stateDir() const { return m_service.stateDir(); }
    // The test CA; "untrusted-ca.pem" beside it signs "untrusted.ravo.test".
    QString caFile() const { return m_service.caFile(); }

    // Replaces the answer rules (routes.json; see fakeweb.py for the keys).
    void setRoutes(const QJsonArray& routes) { m_service.setRoutes(routes); }
    // Lets the answers of the rules whose "holdUntil" names gate go on.
    void release(const QString& gate) { m_service.release(gate); }
    // Every request logged so far, oldest first.
    QList<FakeRequest> requests() const { return m_service.requests(); }
    // Processes events until a logged request satisfies match; the first such
    // request, or nothing after timeoutMs (with a test failure).
    bool waitForRequest(const std::function<bool(const FakeRequest&)>& match, int timeoutMs = 20000,
                        FakeRequest* found = nullptr);

    // The bytes a rule's "bodySize" gives: byte i is i % 251.
    static QByteArray deterministicBody(int size)
    {
        return FakeWebService::deterministicBody(size);
    }

    // What the "store" handler holds for host and path (empty when nothing).
    QByteArray storedBody(const QString& host, const QString& path) const
    {
        return m_service.storedBody(host, path);
    }
    // The web-service rules and fixtures of FakeWebService.
    static QJsonObject handlerRule(const QString& method, const QString& pathPattern,
                                   const QString& handler, const QJsonObject& fields = {})
    {
        return FakeWebService::handlerRule(method, pathPattern, handler, fields);
    }
    static QJsonArray webServiceRoutes() { return FakeWebService::webServiceRoutes(); }
    static inline const QString& defaultUser = FakeWebService::defaultUser;
    static inline const QString& defaultPassword = FakeWebService::defaultPassword;
    static inline const QString& defaultUtc = FakeWebService::defaultUtc;
    static inline const QString& syncHost = FakeWebService::syncHost;
    static QString syncFixturesDir() { return FakeWebService::syncFixturesDir(); }

private:
    FakeWebService m_service;
};

} // namespace RavoSync::Test
