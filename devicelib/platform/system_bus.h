#pragma once

// A private connection to the system bus whose set-up waits no longer than
// the caller allows: libdbus's own waits up to 25 s, or without a limit
// while authenticating.

#include <dbus/dbus.h>

namespace zarvo::platform {

struct scoped_error {
    DBusError e;
    scoped_error() { dbus_error_init(&e); }
    ~scoped_error() { dbus_error_free(&e); }
    scoped_error(const scoped_error&) = delete;
    scoped_error& operator=(const scoped_error&) = delete;
    const char* text() const { return dbus_error_is_set(&e) ? e.message : "unknown error"; }
};

struct message_ref {
    DBusMessage* m;
    ~message_ref()
    {
        if (m)
            dbus_message_unref(m);
    }
};

// Connects and says Hello within timeout_ms; nullptr with error set when it
// cannot. The caller closes and unrefs the connection.
DBusConnection* connect_system_bus(scoped_error& error, int timeout_ms);

} // namespace zarvo::platform
