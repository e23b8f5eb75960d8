#include "app/network/trusted_roots.h"

#include "app/logging/app_log.h"

#include <QDir>
#include <QFileInfo>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QString>

namespace ConnectGlobals {

namespace {

QList<QSslCertificate> pemCertificates(const QString& path)
{
    return QSslCertificate::fromPath(path, QSsl::Pem, QSslCertificate::PatternSyntax::FixedString);
}

} // namespace

int addTrustedRootsFromEnvironment()
{
    const QString bundle = qEnvironmentVariable("SSL_CERT_FILE");
    const QString folders = qEnvironmentVariable("SSL_CERT_DIR");
    if (bundle.isEmpty() && folders.isEmpty())
        return 0;

    QList<QSslCertificate> found;
    if (!bundle.isEmpty())
        found += pemCertificates(bundle);
    for (const QString& folder : folders.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        const QFileInfoList files =
            QDir(folder).entryInfoList(QDir::Files | QDir::Readable, QDir::Name);
        for (const QFileInfo& file : files)
            found += pemCertificates(file.absoluteFilePath());
    }

    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    // Setting a CA list ends Qt's on-demand loading of the system store, so
    // the system's anchors are taken in explicitly.
    QList<QSslCertificate> anchors = configuration.caCertificates();
    for (const QSslCertificate& system : QSslConfiguration::systemCaCertificates()) {
        if (!anchors.contains(system))
            anchors.append(system);
    }
    int added = 0;
    for (const QSslCertificate& certificate : qAsConst(found)) {
        // A folder's hash links name the same files again.
        if (certificate.isNull() || anchors.contains(certificate))
            continue;
        anchors.append(certificate);
        ++added;
    }
    configuration.setCaCertificates(anchors);
    QSslConfiguration::setDefaultConfiguration(configuration);
    logLine(QStringLiteral("Trusted roots added from SSL_CERT_FILE and SSL_CERT_DIR: ") +
            QString::number(added));
    return added;
}

} // namespace ConnectGlobals
