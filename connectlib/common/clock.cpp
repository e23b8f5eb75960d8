#include "connectlib/common/clock.h"

#include <QMutex>
#include <QMutexLocker>

namespace ConnectLib::Clock {

namespace {
QMutex& sourceMutex()
{
    static QMutex mutex;
    return mutex;
}

std::function<QDateTime()>& source()
{
    static std::function<QDateTime()> fn;
    return fn;
}
} // namespace

QDateTime now()
{
    QMutexLocker lock(&sourceMutex());
    return source() ? source()() : QDateTime::currentDateTime();
}

void setSource(std::function<QDateTime()> fn)
{
    QMutexLocker lock(&sourceMutex());
    source() = std::move(fn);
}

} // namespace ConnectLib::Clock
