#include "devicelib/platform/system_bus.h"

#include <chrono>
#include <cstdlib>

namespace zarvo::platform {
namespace {

const char* const bus_name = "org.freedesktop.DBus";

// The first call on a new connection also runs its authentication, in
// which libdbus's blocking call waits without a limit; the connection's
// input and output are driven here up to the time-out instead.
DBusMessage* first_call(DBusConnection* bus, DBusMessage* call, scoped_error& error, int timeout_ms)
{
    dbus_uint32_t serial = 0;
    if (!dbus_connection_send(bus, call, &serial)) {
        dbus_set_error_const(&error.e, DBUS_ERROR_NO_MEMORY, "cannot send on the system bus");
        return nullptr;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        // Nothing else is sent before this answer: what comes first is it.
        while (DBusMessage* m = dbus_connection_pop_message(bus)) {
            if (dbus_message_get_reply_serial(m) != serial) {
                dbus_message_unref(m);
                continue;
            }
            if (dbus_set_error_from_message(&error.e, m)) {
                dbus_message_unref(m);
                return nullptr;
            }
            return m;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0 || !dbus_connection_read_write(bus, int(left)))
            break;
    }
    dbus_set_error_const(&error.e, DBUS_ERROR_NO_REPLY, "the system bus does not answer");
    return nullptr;
}

} // namespace

// libdbus's own bus set-up (the Hello of dbus_bus_get_private) is the same
// call without the bound.
DBusConnection* connect_system_bus(scoped_error& error, int timeout_ms)
{
    // Where libdbus looks too: the variable, else the standard socket.
    const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    if (!address || !*address)
        address = "unix:path=/var/run/dbus/system_bus_socket";
    DBusConnection* bus = dbus_connection_open_private(address, &error.e);
    if (!bus)
        return nullptr;
    // libdbus would end the process when the bus goes away.
    dbus_connection_set_exit_on_disconnect(bus, FALSE);
    message_ref hello{
        dbus_message_new_method_call(bus_name, "/org/freedesktop/DBus", bus_name, "Hello")};
    message_ref reply{hello.m ? first_call(bus, hello.m, error, timeout_ms) : nullptr};
    if (!reply.m) {
        dbus_connection_close(bus);
        dbus_connection_unref(bus);
        return nullptr;
    }
    return bus;
}

} // namespace zarvo::platform
