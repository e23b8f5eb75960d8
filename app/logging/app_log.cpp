#include "app/logging/app_log.h"

#include "connectlib/logging/logger.h"

#include <QCoreApplication>
#include <QDateTime>

namespace ConnectGlobals {

QString appendLogPrefix(const QString& text)
{
    return QStringLiteral("[") +
           QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz")) +
           QStringLiteral("] [") + QString::number(QCoreApplication::applicationPid()) +
           QStringLiteral("] ") + text;
}

void logLine(const QString& text)
{
    ConnectLib::Logger::instance()->logPrint(appendLogPrefix(text));
}

} // namespace ConnectGlobals
