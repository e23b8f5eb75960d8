#pragma once

#include "tests/support/child_program.h"

#include <QByteArray>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace RavoSync::Test {

// One request as the fake web service logged it ("requests.jsonl").
struct FakeRequest {
    QString method;
    QString scheme;
    QString host;
    QString path;
    QString query;
    // Header names in lower case.
    QHash<QString, QString> headers;
    qint64 bodyLength = 0;
    QString bodySha256;
    // The body when it was small enough to be logged.
    QByteArray body;

    bool hasHeader(const QString& name) const { return headers.contains(name.toLower()); }
    QString header(const QString& name) const { return headers.value(name.toLower()); }
};

// The fake web service and content server (tools/fakeweb/fakeweb.py) as a
// child process: its state in a folder of its own, the page tree mounted at
// the content server's "/contentserver/". It touches nothing in this
// process; FakeWeb (tests/app/support) makes it the application's proxy, a
// test of a whole program hands its port and CA to the program. The
// destructor closes the service's standard input and waits for it to end.
class FakeWebService {
public:
    // A further folder the content server serves below prefix (a path on
    // content.ravo.test, such as "/contentserver/test/"); a file the page
    // tree lacks is looked for in the mounts that follow.
    struct Mount {
        QString prefix;
        QString folder;
    };
    // firstContent: folders served at "/contentserver/" before the page tree.
    explicit FakeWebService(const QList<Mount>& extraMounts = {},
                            const QStringList& firstContent = {});
    ~FakeWebService();
    FakeWebService(const FakeWebService&) = delete;
    FakeWebService& operator=(const FakeWebService&) = delete;

    // Whether the service runs and listens.
    bool started() const { return m_port != 0; }
    quint16 port() const { return m_port; }
    pid_t pid() const;
    QString stateDir() const { return m_state.path(); }
    // The test CA; "untrusted-ca.pem" beside it signs "untrusted.ravo.test".
    QString caFile() const;

    // Replaces the answer rules (routes.json; see fakeweb.py for the keys).
    void setRoutes(const QJsonArray& routes);
    // Lets the answers of the rules whose "holdUntil" names gate go on.
    void release(const QString& gate);
    // Every request logged so far, oldest first.
    QList<FakeRequest> requests() const;
    // Ends the service now (SIGTERM); the exit status, -1 when it did not end.
    int stop();

    // The bytes a rule's "bodySize" gives: byte i is i % 251.
    static QByteArray deterministicBody(int size);

    // What the "store" handler holds for host and path (empty when nothing).
    QByteArray storedBody(const QString& host, const QString& path) const;

    // A rule answered by one of fakeweb.py's handlers, with its own keys.
    static QJsonObject handlerRule(const QString& method, const QString& pathPattern,
                                   const QString& handler, const QJsonObject& fields = {});
    // The web service as the sync fixtures use it, below any "remoteurl":
    // login (defaultUser with defaultPassword), the single-sign-on poll
    // answering at once, the time on the clock defaultUtc, every device
    // registered, first-time data and the user data below the login's
    // "baseUrl" (host syncHost, the web service's own, below "/v2/")
    // stored. Rules put before these win.
    static QJsonArray webServiceRoutes();
    static const QString defaultUser;
    static const QString defaultPassword;
    static const QString defaultUtc;
    static const QString syncHost;
    // The content server's sync fixtures (phase scripts, sync logic, version
    // file, login fragment): pass as firstContent to serve them.
    static QString syncFixturesDir();

private:
    QTemporaryDir m_state;
    std::unique_ptr<zarvo::test::child_program> m_program;
    quint16 m_port = 0;
    int m_routesVersion = 0;
    bool m_stopped = false;
};

} // namespace RavoSync::Test
