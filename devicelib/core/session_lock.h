#pragma once

#include "devicelib/export.h"

#include <cstdint>

namespace zarvo {

class session;

// Holds a session's device lock across several operations of one thread.
// Meanwhile that thread's device operations succeed at once and every other
// thread's or program's fail with zarvo::system_busy. The last release clears
// a cancel request left in the current connection unless keep_cancel is set.
// Must be destroyed on the thread that made it.
class ZARVO_EXPORT session_lock {
public:
    // Flags.
    static constexpr std::uint32_t keep_cancel = 1; // the last release keeps a cancel request
    static constexpr std::uint32_t wait = 2;        // wait while another thread holds the lock

    // Told about each step; a number is a lock level, or the flags for failed.
    class ZARVO_EXPORT observer {
    public:
        observer() = default;
        observer(const observer&) {}
        observer& operator=(const observer&) { return *this; }
        virtual ~observer();

        virtual void acquiring(session& session, std::uint32_t level);
        virtual void acquired(session& session, std::uint32_t level);
        virtual void failed(session& session, std::uint32_t flags);
        virtual void releasing(session& session, std::uint32_t level);
        virtual void released(session& session, std::uint32_t level);
    };

    // Raise zarvo::insufficient_permissions when the session has no device
    // lock or the system refuses it (the reason in the text), zarvo::system_busy when another
    // thread or program holds it (unless flags has wait), zarvo::invalid_function for a session
    // that is not the library's own. A constructor that raises holds nothing.
    session_lock(session& session, std::uint32_t flags);
    session_lock(session& session, observer& observer, std::uint32_t flags);
    ~session_lock();

    session_lock(const session_lock&) = delete;
    session_lock& operator=(const session_lock&) = delete;

private:
    session* session_;
    observer* observer_;
    std::uint32_t flags_;
};

} // namespace zarvo
