#pragma once

#include "connectlib/export.h"

#include <QMap>
#include <QMutex>
#include <QObject>

namespace zarvo {
class session;
}

namespace ConnectLib {

class SessionGuard;

// The library's view of the device library's sessions: one guard per
// established session, kept in a map under a non-recursive mutex. The map
// never owns a guard; the device's worker does.
class KTLIB_EXPORT LZ2Listener : public QObject {
    Q_OBJECT
public:
    explicit LZ2Listener(QObject* parent = nullptr);
    ~LZ2Listener() override;

    // Removes the entry of the guard's current session. Takes the map's mutex,
    // then the guard's, so it waits for the device's running operation. An
    // emptied guard removes nothing.
    void forget(SessionGuard* guard);

protected:
    // Lock order: this mutex before any guard's mutex, never the other way.
    QMutex m_mutex;
    QMap<zarvo::session*, SessionGuard*> m_sessions;
};

} // namespace ConnectLib
