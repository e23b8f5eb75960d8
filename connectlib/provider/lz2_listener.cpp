#include "connectlib/provider/lz2_listener.h"

#include "connectlib/worker/session_guard.h"
#include "devicelib/core/session.h"

#include <mutex>

namespace ConnectLib {

LZ2Listener::LZ2Listener(QObject* parent)
    : QObject(parent)
{
    deviceattachlistner::instance().subscribe(this);
}

LZ2Listener::~LZ2Listener()
{
    // The map holds nothing once the listener has stopped: every session
    // ended with disconnected.
    deviceattachlistner::instance().unsubscribe(this);
}

void LZ2Listener::forget(SessionGuard* guard)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    forgetHeld(guard);
}

void LZ2Listener::forgetHeld(SessionGuard* guard)
{
    SessionPointer session = guard->getSessionPointer();
    if (session) {
        m_sessions.remove(session.raw());
        m_adopted.remove(guard);
    }
}

void LZ2Listener::guardAdopted(SessionGuard* guard)
{
    m_adopted.insert(guard);
}

void LZ2Listener::established(zarvo::session& s)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    // A further connection of a known session changes nothing.
    if (m_sessions.contains(&s))
        return;
    auto* guard = new SessionGuard(&s);
    m_sessions.insert(&s, guard);
    // The registration runs inside this emission, under the mutex.
    emit SIGNAL_SessionEstablished(this, guard);
}

void LZ2Listener::rerouted(zarvo::session& s)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (SessionGuard* guard = m_sessions.value(&s))
        emit SIGNAL_SessionRerouted(guard);
}

void LZ2Listener::disconnected(zarvo::session& s)
{
    // The loss of one of several connections changes nothing.
    if (s.connection_count() != 0)
        return;
    SessionGuard* guard = nullptr;
    bool adopted = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        guard = m_sessions.value(&s);
        if (!guard)
            return;
        // Waits for the device's running operation.
        guard->nullify();
        m_sessions.remove(&s);
        adopted = m_adopted.remove(guard);
    }
    emit SIGNAL_SessionDisappeared(s.device_id(), guard);
    // Nobody else can reach a guard that no worker took: it left the map
    // under the mutex, and only callbacks under the mutex handed it out.
    if (!adopted)
        delete guard;
}

void LZ2Listener::idling(zarvo::session& s)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (SessionGuard* guard = m_sessions.value(&s))
        emit SIGNAL_SessionIdling(guard);
}

void LZ2Listener::battery_status(zarvo::session& s, int level)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (SessionGuard* guard = m_sessions.value(&s))
        emit SIGNAL_SessionBatteryStatus(guard, level);
}

void LZ2Listener::dorvane_device_attached()
{
    emit SIGNAL_DorvaneAttached();
}

void LZ2Listener::dorvane_device_detached()
{
    emit SIGNAL_DorvaneDetached();
}

} // namespace ConnectLib
