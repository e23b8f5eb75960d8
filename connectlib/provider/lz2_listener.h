#pragma once

#include "connectlib/attach/deviceattachlistner.h"
#include "connectlib/export.h"
#include "devicelib/core/listener.h"

#include <QMap>
#include <QObject>
#include <QSet>
#include <mutex>

namespace zarvo {
class session;
}

namespace ConnectLib {

class SessionGuard;

// The library's listener on the device library: one guard per established
// session, kept in a map under a non-recursive mutex, and every callback
// turned into a signal. The device library calls on its own threads, which
// run no event loop; the provider connects the session signals directly, so
// its slots run inside the callbacks.
//
// A guard belongs to the device's worker once registration hands it over
// (guardAdopted); a guard no worker took is deleted when its session ends.
class KTLIB_EXPORT LZ2Listener : public QObject,
                                 public zarvo::listener,
                                 public deviceattachlistner::deviceattach_subscriber {
    Q_OBJECT
public:
    // Subscribes to the USB attach listener.
    explicit LZ2Listener(QObject* parent = nullptr);
    // Withdraws the attach subscription, waiting for a callback in progress.
    // Stop the listener first. Guards still in the map are not deleted.
    ~LZ2Listener() override;

    // Removes the entry of the guard's current session. Takes the map's mutex,
    // then the guard's, so it waits for the device's running operation. An
    // emptied guard removes nothing.
    void forget(SessionGuard* guard);

    // Registration has given guard to a worker. Called from a slot of
    // SIGNAL_SessionEstablished, on that callback's thread, which holds the
    // map's mutex.
    void guardAdopted(SessionGuard* guard);
    // forget for a slot of SIGNAL_SessionEstablished, whose callback holds
    // the map's mutex already: a re-registration lets go of the guard of
    // the device's earlier session. Waits for that session's running
    // operation.
    void forgetHeld(SessionGuard* guard);

    // zarvo::listener. established registers a session's first connection;
    // disconnected ends it when its last connection has gone.
    void established(zarvo::session& s) override;
    // The device library never calls it.
    void rerouted(zarvo::session& s) override;
    void disconnected(zarvo::session& s) override;
    // Forwarded for a session in the map only.
    void idling(zarvo::session& s) override;
    void battery_status(zarvo::session& s, int level) override;

    // deviceattachlistner::deviceattach_subscriber
    void dorvane_device_attached() override;
    void dorvane_device_detached() override;

signals:
    // Emitted with the map's mutex held.
    void SIGNAL_SessionEstablished(ConnectLib::LZ2Listener* listener,
                                   ConnectLib::SessionGuard* session);
    void SIGNAL_SessionRerouted(ConnectLib::SessionGuard* session);
    // The session's last connection has gone; session is its guard, emptied
    // already. Emitted after the mutex is released.
    void SIGNAL_SessionDisappeared(quint64 device_id, ConnectLib::SessionGuard* session);
    void SIGNAL_SessionIdling(ConnectLib::SessionGuard* session);
    void SIGNAL_SessionBatteryStatus(ConnectLib::SessionGuard* session, int charge);
    void SIGNAL_DorvaneAttached();
    void SIGNAL_DorvaneDetached();

protected:
    // Lock order: this mutex before any guard's mutex, never the other way.
    std::mutex m_mutex;
    QMap<zarvo::session*, SessionGuard*> m_sessions;
    // Guards of m_sessions that a worker owns.
    QSet<SessionGuard*> m_adopted;
};

} // namespace ConnectLib
