#include "connectlib/common/clock.h"

#include <mutex>

namespace ConnectLib::Clock {

namespace {
std::mutex& sourceMutex()
{
    static std::mutex mutex;
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
    std::lock_guard<std::mutex> lock(sourceMutex());
    return source() ? source()() : QDateTime::currentDateTime();
}

void setSource(std::function<QDateTime()> fn)
{
    std::lock_guard<std::mutex> lock(sourceMutex());
    source() = std::move(fn);
}
} // namespace ConnectLib::Clock
