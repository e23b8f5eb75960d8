#include "connectlib/common/common.h"

#include <QLatin1String>
#include <QRandomGenerator>

namespace ConnectLib {

QByteArray Common::createBasicAuth(QString user, QString password)
{
    return QStringLiteral("%0:%1").arg(user, password).toLatin1().toBase64();
}

QString Common::generateSecret(int count)
{
    static const QLatin1String alphabet(
        "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    // These texts go to the web service as secrets: they must not repeat
    // from one run to the next, so they come from the system's generator.
    QString secret;
    if (count <= 0)
        return secret;
    secret.reserve(count);
    QRandomGenerator* generator = QRandomGenerator::system();
    for (int i = 0; i < count; ++i)
        secret.append(alphabet[int(generator->bounded(quint32(alphabet.size())))]);
    return secret;
}

} // namespace ConnectLib
