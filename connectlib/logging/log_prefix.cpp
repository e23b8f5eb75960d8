#include "connectlib/logging/log_prefix.h"

#include "connectlib/common/clock.h"

#include <QCoreApplication>

namespace ConnectLib {

QString appendLogPrefix(const QString& text)
{
    return QStringLiteral("[") + Clock::now().toString(QStringLiteral("HH:mm:ss.zzz")) +
           QStringLiteral("] [") + QString::number(QCoreApplication::applicationPid()) +
           QStringLiteral("] ") + text;
}

} // namespace ConnectLib
