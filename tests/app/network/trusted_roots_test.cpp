// Trust anchors from SSL_CERT_FILE and SSL_CERT_DIR, and the content page
// through the fake web service with and without its CA.
#include "app/network/trusted_roots.h"
#include "tests/app/support/fake_web.h"
#include "tests/app/support/web_wait.h"
#include "tests/connectlib/support/log_lines.h"

#include <QDir>
#include <QFile>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QWebElement>
#include <QWebFrame>
#include <QWebView>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using RavoSync::Test::FakeWeb;

const QUrl plainPage(QStringLiteral("https://content.ravo.test/contentserver/test/plain.html"));

QSslCertificate firstCertificate(const QString& path)
{
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(path);
    return certificates.isEmpty() ? QSslCertificate() : certificates.first();
}

class Environment {
public:
    Environment(const QString& file, const QString& dirs)
    {
        ::setenv("SSL_CERT_FILE", QFile::encodeName(file).constData(), 1);
        ::setenv("SSL_CERT_DIR", QFile::encodeName(dirs).constData(), 1);
    }
    ~Environment()
    {
        ::unsetenv("SSL_CERT_FILE");
        ::unsetenv("SSL_CERT_DIR");
    }
};

TEST(TrustedRoots, BundleAndFolderCertificatesJoinTheSystemAnchors)
{
    FakeWeb web(FakeWeb::Trust::Untrusted);
    ASSERT_TRUE(web.started());
    const QString state = web.stateDir();
    // One folder with the second CA, a text file and a hash-style link to the
    // same certificate; a second folder that does not exist; an empty part.
    QTemporaryDir folder;
    ASSERT_TRUE(QFile::copy(state + QStringLiteral("/untrusted-ca.pem"),
                            folder.filePath(QStringLiteral("other.pem"))));
    QFile note(folder.filePath(QStringLiteral("README")));
    ASSERT_TRUE(note.open(QIODevice::WriteOnly));
    note.write("not a certificate\n");
    note.close();
    ASSERT_TRUE(QFile::link(folder.filePath(QStringLiteral("other.pem")),
                            folder.filePath(QStringLiteral("abcd1234.0"))));

    const QList<QSslCertificate> system = QSslConfiguration::systemCaCertificates();
    ConnectLib::Test::LogLines log;
    Environment environment(web.caFile(),
                            folder.path() + QStringLiteral("::") + folder.filePath("missing"));
    EXPECT_EQ(ConnectGlobals::addTrustedRootsFromEnvironment(), 2);

    const QList<QSslCertificate> anchors =
        QSslConfiguration::defaultConfiguration().caCertificates();
    EXPECT_TRUE(anchors.contains(firstCertificate(web.caFile())));
    EXPECT_TRUE(anchors.contains(firstCertificate(state + QStringLiteral("/untrusted-ca.pem"))));
    for (const QSslCertificate& certificate : system)
        EXPECT_TRUE(anchors.contains(certificate));
    EXPECT_TRUE(
        log.contains(QStringLiteral("Trusted roots added from SSL_CERT_FILE and SSL_CERT_DIR: 2")));

    // A second call adds nothing twice.
    EXPECT_EQ(ConnectGlobals::addTrustedRootsFromEnvironment(), 0);
}

TEST(TrustedRoots, WithoutTheVariablesNothingChangesAndNothingIsLogged)
{
    ::unsetenv("SSL_CERT_FILE");
    ::unsetenv("SSL_CERT_DIR");
    ConnectLib::Test::LogLines log;
    const int before = QSslConfiguration::defaultConfiguration().caCertificates().size();
    EXPECT_EQ(ConnectGlobals::addTrustedRootsFromEnvironment(), 0);
    EXPECT_EQ(QSslConfiguration::defaultConfiguration().caCertificates().size(), before);
    EXPECT_FALSE(log.contains(QStringLiteral("Trusted roots added")));
}

TEST(TrustedRoots, TheContentPageLoadsThroughTheFakeOnlyWithItsCa)
{
    {
        FakeWeb untrusted(FakeWeb::Trust::Untrusted);
        ASSERT_TRUE(untrusted.started());
        QWebView view;
        EXPECT_FALSE(RavoSync::Test::loadAndWait(&view, plainPage));
    }
    FakeWeb web;
    ASSERT_TRUE(web.started());
    QWebView view;
    ASSERT_TRUE(RavoSync::Test::loadAndWait(&view, plainPage));
    EXPECT_EQ(view.page()->mainFrame()->findFirstElement(QStringLiteral("#text")).toPlainText(),
              QStringLiteral("served by the content server"));
    RavoSync::Test::FakeRequest request;
    ASSERT_TRUE(web.waitForRequest(
        [](const RavoSync::Test::FakeRequest& r) { return r.path.endsWith("/plain.html"); }, 20000,
        &request));
    EXPECT_EQ(request.scheme, QStringLiteral("https"));
    EXPECT_EQ(request.host, QStringLiteral("content.ravo.test"));
}

} // namespace
