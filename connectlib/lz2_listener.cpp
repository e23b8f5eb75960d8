#include "connectlib/lz2_listener.h"

#include "connectlib/session_guard.h"

namespace ConnectLib {

LZ2Listener::LZ2Listener(QObject* parent)
    : QObject(parent)
{
}

LZ2Listener::~LZ2Listener() = default;

void LZ2Listener::forget(SessionGuard* guard)
{
    QMutexLocker lock(&m_mutex);
    SessionPointer session = guard->getSessionPointer();
    if (session)
        m_sessions.remove(session.raw());
}

} // namespace ConnectLib
