#include "devicelib/platform/sleep_block.h"

#include "devicelib/platform/system_bus.h"
#include "devicelib/trace/trace.h"

#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace zarvo::platform {

sleep_block::~sleep_block()
{
    release();
}

sleep_block::sleep_block(sleep_block&& other) noexcept
    : fd_(std::exchange(other.fd_, -1))
{
}

sleep_block& sleep_block::operator=(sleep_block&& other) noexcept
{
    if (this != &other) {
        release();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

void sleep_block::release() noexcept
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

namespace {

// The operation waits for this before it starts, on the caller's thread.
constexpr int call_timeout_ms = 3000;

int take_block(DBusConnection* bus, const char* why, scoped_error& error)
{
    if (!dbus_connection_can_send_type(bus, DBUS_TYPE_UNIX_FD)) {
        dbus_set_error_const(&error.e, DBUS_ERROR_NOT_SUPPORTED,
                             "the system bus cannot pass descriptors");
        return -1;
    }
    message_ref call{dbus_message_new_method_call("org.freedesktop.login1",
                                                  "/org/freedesktop/login1",
                                                  "org.freedesktop.login1.Manager", "Inhibit")};
    const char* what = "sleep:shutdown";
    const char* who = program_invocation_short_name;
    const char* mode = "block";
    if (!call.m || !dbus_message_append_args(call.m, DBUS_TYPE_STRING, &what, DBUS_TYPE_STRING,
                                             &who, DBUS_TYPE_STRING, &why, DBUS_TYPE_STRING, &mode,
                                             DBUS_TYPE_INVALID)) {
        dbus_set_error_const(&error.e, DBUS_ERROR_NO_MEMORY, "no memory for the call");
        return -1;
    }
    message_ref reply{
        dbus_connection_send_with_reply_and_block(bus, call.m, call_timeout_ms, &error.e)};
    int fd = -1;
    if (!reply.m ||
        !dbus_message_get_args(reply.m, &error.e, DBUS_TYPE_UNIX_FD, &fd, DBUS_TYPE_INVALID))
        return -1;
    // Programs started from here must not keep the system from sleeping.
    const int flags = ::fcntl(fd, F_GETFD);
    if (flags >= 0)
        ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
    return fd;
}

} // namespace

sleep_block block_sleep(const char* why) noexcept
{
    if (!why)
        why = "";
    try {
        dbus_threads_init_default();
        scoped_error error;
        DBusConnection* bus = connect_system_bus(error, call_timeout_ms);
        int fd = -1;
        if (bus) {
            fd = take_block(bus, why, error);
            // The lock lives in its descriptor, not in the connection.
            dbus_connection_close(bus);
            dbus_connection_unref(bus);
        }
        if (fd < 0)
            ZARVO_TRACE("zarvo::platform::block_sleep",
                        "Sleep and shutdown are not blocked (%s): %s", why, error.text());
        return sleep_block(fd);
    } catch (...) {
        // Only a lack of memory gets here; the operation runs without the lock.
        return {};
    }
}

} // namespace zarvo::platform
