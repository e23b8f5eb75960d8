#include "connectlib/worker/session_guard.h"

#include "devicelib/errors/errors.h"

#include <atomic>
#include <functional>

namespace ConnectLib {

SessionPointer::SessionPointer(zarvo::session* session, std::recursive_mutex& mutex)
    : m_mutex(&mutex)
    , m_session(session)
{
}

SessionPointer::SessionPointer(SessionPointer&& other) noexcept
    : m_mutex(other.m_mutex)
    , m_session(other.m_session)
{
    other.m_mutex = nullptr;
    other.m_session = nullptr;
}

SessionPointer& SessionPointer::operator=(SessionPointer&& other) noexcept
{
    if (this != &other) {
        release();
        m_mutex = other.m_mutex;
        m_session = other.m_session;
        other.m_mutex = nullptr;
        other.m_session = nullptr;
    }
    return *this;
}

SessionPointer::~SessionPointer()
{
    release();
}

void SessionPointer::release()
{
    if (m_mutex)
        m_mutex->unlock();
    m_mutex = nullptr;
}

bool SessionPointer::operator==(const zarvo::session* other) const
{
    return m_session == other;
}

bool SessionPointer::operator!=(const zarvo::session* other) const
{
    return m_session != other;
}

bool SessionPointer::operator<(const zarvo::session* other) const
{
    return std::less<const zarvo::session*>()(m_session, other);
}

bool SessionPointer::operator>(const zarvo::session* other) const
{
    return std::less<const zarvo::session*>()(other, m_session);
}

bool SessionPointer::operator<=(const zarvo::session* other) const
{
    return !(*this > other);
}

bool SessionPointer::operator>=(const zarvo::session* other) const
{
    return !(*this < other);
}

zarvo::session* SessionPointer::operator->()
{
    if (!m_session)
        throw zarvo::session_expired();
    return m_session;
}

const zarvo::session* SessionPointer::operator->() const
{
    if (!m_session)
        throw zarvo::session_expired();
    return m_session;
}

zarvo::session& SessionPointer::operator*()
{
    return *operator->();
}

const zarvo::session& SessionPointer::operator*() const
{
    return *operator->();
}

namespace {
std::atomic<int> guardsAlive{0};
} // namespace

SessionGuard::SessionGuard(zarvo::session* session)
    : m_session(session)
{
    ++guardsAlive;
}

SessionGuard::SessionGuard(const SessionGuard& other)
    : m_session(nullptr)
{
    std::lock_guard<std::recursive_mutex> lock(other.m_mutex);
    m_session = other.m_session;
    ++guardsAlive;
}

SessionGuard::~SessionGuard()
{
    --guardsAlive;
}

int SessionGuard::instances()
{
    return guardsAlive;
}

SessionPointer SessionGuard::getSessionPointer()
{
    m_mutex.lock();
    return SessionPointer(m_session, m_mutex);
}

void SessionGuard::nullify()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_session = nullptr;
}

} // namespace ConnectLib
