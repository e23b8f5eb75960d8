#pragma once

#include "connectlib/export.h"

#include <mutex>

namespace zarvo {
class session;
}

namespace ConnectLib {

class SessionGuard;

// One use of a guarded session: holds one lock of the guard's recursive
// mutex from getSessionPointer until it is destroyed. Move-only, so exactly
// the lock that was taken is released, once.
class KTLIB_EXPORT SessionPointer {
public:
    SessionPointer(SessionPointer&& other) noexcept;
    SessionPointer& operator=(SessionPointer&& other) noexcept;
    SessionPointer(const SessionPointer&) = delete;
    SessionPointer& operator=(const SessionPointer&) = delete;
    ~SessionPointer();

    explicit operator bool() const { return m_session != nullptr; }
    bool operator!() const { return m_session == nullptr; }

    // The held pointer is the left operand.
    bool operator==(const zarvo::session* other) const;
    bool operator!=(const zarvo::session* other) const;
    bool operator<(const zarvo::session* other) const;
    bool operator>(const zarvo::session* other) const;
    bool operator<=(const zarvo::session* other) const;
    bool operator>=(const zarvo::session* other) const;

    // Throw zarvo::session_expired when the guard had been emptied.
    zarvo::session* operator->();
    const zarvo::session* operator->() const;
    zarvo::session& operator*();
    const zarvo::session& operator*() const;

    // Unchecked; null once the guard has been emptied.
    zarvo::session* raw() { return m_session; }
    const zarvo::session* raw() const { return m_session; }

private:
    friend class SessionGuard;
    // mutex is already locked once for this pointer.
    SessionPointer(zarvo::session* session, std::recursive_mutex& mutex);

    void release();

    std::recursive_mutex* m_mutex;
    zarvo::session* m_session;
};

// Couples a device session, owned by the device library, with a recursive
// mutex. Every use of the session holds the mutex through a SessionPointer;
// nullify() empties the guard for good once the running use has ended.
class KTLIB_EXPORT SessionGuard {
public:
    explicit SessionGuard(zarvo::session* session);
    // Takes the other guard's session; shares no lock with it.
    SessionGuard(const SessionGuard& other);
    SessionGuard& operator=(const SessionGuard&) = delete;
    ~SessionGuard();

    // Waits while another thread uses the session; the owning thread may nest.
    SessionPointer getSessionPointer();
    // Waits for the use in progress, then forgets the session.
    void nullify();

    // Guards alive in the process, for leak checks.
    static int instances();

private:
    zarvo::session* m_session;
    // A standard mutex, so race checkers see it.
    mutable std::recursive_mutex m_mutex;
};

} // namespace ConnectLib
