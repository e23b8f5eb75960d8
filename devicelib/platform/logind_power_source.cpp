// logind's sleep notices and delay locks over a private connection to the
// system bus. Only the driver's event thread uses the connection once open()
// has returned: nothing else may read from it or dispatch it.
#include "devicelib/platform/power_source.h"

#include "devicelib/platform/event.h"
#include "devicelib/platform/system_bus.h"
#include "devicelib/trace/trace.h"

#include <dbus/dbus.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/epoll.h>
#include <unistd.h>

namespace zarvo::platform {
namespace {

const char* const login_name = "org.freedesktop.login1";
const char* const login_path = "/org/freedesktop/login1";
const char* const login_manager = "org.freedesktop.login1.Manager";
const char* const bus_name = "org.freedesktop.DBus";

const char* const sleep_rule = "type='signal',sender='org.freedesktop.login1',"
                               "path='/org/freedesktop/login1',"
                               "interface='org.freedesktop.login1.Manager',"
                               "member='PrepareForSleep'";
const char* const owner_rule = "type='signal',sender='org.freedesktop.DBus',"
                               "path='/org/freedesktop/DBus',interface='org.freedesktop.DBus',"
                               "member='NameOwnerChanged',arg0='org.freedesktop.login1'";

// The event thread waits in these calls; a stop joins it.
constexpr int call_timeout_ms = 3000;

const char* const why_delayed = "Stopping device transfers before sleep";

class logind_power_source : public power_source {
public:
    ~logind_power_source() override { close(); }

    int open(power_events& events) override;
    void dispatch() override;
    std::unique_ptr<awake_guard> keep_awake() override;
    void close() override;

private:
    void handle(DBusMessage* m);
    void sleep_notice(bool before);
    void owner_changed(const std::string& owner);
    void lost(const char* why);
    bool add_match(const char* rule, scoped_error& error);
    std::string name_owner();
    void take_inhibitor();
    void release_inhibitor();
    void drop_bus();

    power_events* events_ = nullptr;
    DBusConnection* bus_ = nullptr;
    int bus_fd_ = -1;
    // What the event thread waits on: stays valid while the bus comes and
    // goes, so that it never polls a descriptor number reused elsewhere.
    int epoll_ = -1;
    // Set when messages wait in the connection's queue rather than on its
    // socket (read during a blocking call), so that the thread still looks.
    event queued_;
    // The delay lock, held while no sleep is under way.
    int inhibitor_ = -1;
    // logind's unique name on the bus: the only sender whose notices count.
    std::string owner_;
    // A sleep was announced and its wake-up notice has not come yet.
    bool sleep_announced_ = false;
};

int logind_power_source::open(power_events& events)
{
    close();
    events_ = &events;
    epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
    if (epoll_ < 0) {
        ZARVO_TRACE("zarvo::platform::logind_power_source::open",
                    "Cannot wait for power notices (error %d).", errno);
        return -1;
    }
    epoll_event ev{};
    ev.events = EPOLLIN;
    if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, queued_.fd(), &ev) != 0) {
        ZARVO_TRACE("zarvo::platform::logind_power_source::open",
                    "Cannot wait for power notices (error %d).", errno);
        close();
        return -1;
    }
    dbus_threads_init_default();
    scoped_error error;
    bus_ = connect_system_bus(error, call_timeout_ms);
    if (!bus_) {
        ZARVO_TRACE("zarvo::platform::logind_power_source::open",
                    "No system bus, so system sleep is not followed: %s", error.text());
        close();
        return -1;
    }
    if (add_match(sleep_rule, error))
        add_match(owner_rule, error);
    if (dbus_error_is_set(&error.e)) {
        ZARVO_TRACE("zarvo::platform::logind_power_source::open",
                    "Cannot follow logind's sleep notices: %s", error.text());
        drop_bus();
        return epoll_;
    }
    owner_ = name_owner();
    if (owner_.empty())
        ZARVO_TRACE("zarvo::platform::logind_power_source::open",
                    "logind is not on the system bus; waiting for it.");
    else
        take_inhibitor();
    if (!dbus_connection_get_unix_fd(bus_, &bus_fd_) ||
        ::epoll_ctl(epoll_, EPOLL_CTL_ADD, bus_fd_, &ev) != 0) {
        ZARVO_TRACE("zarvo::platform::logind_power_source::open",
                    "Cannot wait on the system bus (error %d).", errno);
        drop_bus();
    }
    // The calls above may have read a notice off the socket.
    queued_.set();
    return epoll_;
}

void logind_power_source::dispatch()
{
    queued_.reset();
    if (!bus_)
        return;
    const bool connected = dbus_connection_read_write(bus_, 0);
    // Blocking calls made while handling a notice leave what arrived
    // meanwhile in the queue: it is drained here too.
    while (bus_) {
        message_ref m{dbus_connection_pop_message(bus_)};
        if (!m.m)
            break;
        handle(m.m);
    }
    if (bus_ && (!connected || !dbus_connection_get_is_connected(bus_)))
        lost("The system bus went away");
}

std::unique_ptr<awake_guard> logind_power_source::keep_awake()
{
    if (inhibitor_ < 0)
        return nullptr;
    const int fd = inhibitor_;
    inhibitor_ = -1;
    // Closing the lock lets the system sleep.
    return std::make_unique<awake_guard>([fd] { ::close(fd); });
}

void logind_power_source::close()
{
    drop_bus();
    release_inhibitor();
    queued_.reset();
    if (epoll_ >= 0)
        ::close(epoll_);
    epoll_ = -1;
    events_ = nullptr;
    owner_.clear();
    sleep_announced_ = false;
}

void logind_power_source::handle(DBusMessage* m)
{
    const char* sender = dbus_message_get_sender(m);
    if (dbus_message_is_signal(m, login_manager, "PrepareForSleep")) {
        // Anyone may send a signal to this connection directly; only
        // logind's own count, or any program could stop every device.
        if (!sender || owner_.empty() || owner_ != sender ||
            !dbus_message_has_path(m, login_path)) {
            ZARVO_TRACE("zarvo::platform::logind_power_source::handle",
                        "Ignored a sleep notice from %s.", sender ? sender : "nobody");
            return;
        }
        dbus_bool_t before = FALSE;
        scoped_error error;
        if (!dbus_message_get_args(m, &error.e, DBUS_TYPE_BOOLEAN, &before, DBUS_TYPE_INVALID)) {
            ZARVO_TRACE("zarvo::platform::logind_power_source::handle",
                        "Malformed sleep notice: %s", error.text());
            return;
        }
        sleep_notice(before);
    } else if (dbus_message_is_signal(m, bus_name, "NameOwnerChanged")) {
        if (!sender || std::string(sender) != bus_name)
            return;
        const char* name = nullptr;
        const char* old_owner = nullptr;
        const char* new_owner = nullptr;
        scoped_error error;
        if (dbus_message_get_args(m, &error.e, DBUS_TYPE_STRING, &name, DBUS_TYPE_STRING,
                                  &old_owner, DBUS_TYPE_STRING, &new_owner, DBUS_TYPE_INVALID) &&
            std::string(name) == login_name)
            owner_changed(new_owner);
    }
}

void logind_power_source::sleep_notice(bool before)
{
    if (before) {
        sleep_announced_ = true;
        events_->power_broadcast(power_suspend);
        // The driver has let go of the lock; should it not have taken it,
        // holding it any longer would only delay the sleep.
        release_inhibitor();
        return;
    }
    sleep_announced_ = false;
    // First, so that a second sleep soon after is delayed too.
    take_inhibitor();
    events_->power_broadcast(power_resume_automatic);
}

void logind_power_source::owner_changed(const std::string& owner)
{
    if (owner == owner_)
        return;
    owner_ = owner;
    // A lock of logind's earlier run no longer delays anything.
    release_inhibitor();
    if (sleep_announced_) {
        // Its wake-up notice will never come.
        ZARVO_TRACE("zarvo::platform::logind_power_source::owner_changed",
                    "logind went away during a sleep; resuming the drivers.");
        sleep_announced_ = false;
        events_->power_broadcast(power_resume_automatic);
    }
    if (!owner_.empty())
        take_inhibitor();
}

void logind_power_source::lost(const char* why)
{
    ZARVO_TRACE("zarvo::platform::logind_power_source::lost",
                "%s; system sleep is no longer followed.", why);
    drop_bus();
    release_inhibitor();
    owner_.clear();
    if (sleep_announced_) {
        // The wake-up notice would have come over this connection.
        sleep_announced_ = false;
        events_->power_broadcast(power_resume_automatic);
    }
}

bool logind_power_source::add_match(const char* rule, scoped_error& error)
{
    message_ref call{
        dbus_message_new_method_call(bus_name, "/org/freedesktop/DBus", bus_name, "AddMatch")};
    if (!call.m || !dbus_message_append_args(call.m, DBUS_TYPE_STRING, &rule, DBUS_TYPE_INVALID)) {
        dbus_set_error_const(&error.e, DBUS_ERROR_NO_MEMORY, "no memory for a match rule");
        return false;
    }
    message_ref reply{
        dbus_connection_send_with_reply_and_block(bus_, call.m, call_timeout_ms, &error.e)};
    return reply.m != nullptr;
}

std::string logind_power_source::name_owner()
{
    message_ref call{
        dbus_message_new_method_call(bus_name, "/org/freedesktop/DBus", bus_name, "GetNameOwner")};
    if (!call.m)
        return {};
    const char* name = login_name;
    if (!dbus_message_append_args(call.m, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID))
        return {};
    scoped_error error;
    message_ref reply{
        dbus_connection_send_with_reply_and_block(bus_, call.m, call_timeout_ms, &error.e)};
    const char* owner = nullptr;
    if (!reply.m ||
        !dbus_message_get_args(reply.m, &error.e, DBUS_TYPE_STRING, &owner, DBUS_TYPE_INVALID))
        return {};
    return owner;
}

void logind_power_source::take_inhibitor()
{
    if (inhibitor_ >= 0 || !bus_)
        return;
    if (!dbus_connection_can_send_type(bus_, DBUS_TYPE_UNIX_FD)) {
        ZARVO_TRACE("zarvo::platform::logind_power_source::take_inhibitor",
                    "The system bus cannot pass descriptors; sleep is not delayed.");
        return;
    }
    message_ref call{
        dbus_message_new_method_call(login_name, login_path, login_manager, "Inhibit")};
    if (!call.m)
        return;
    const char* what = "sleep";
    const char* who = program_invocation_short_name;
    const char* why = why_delayed;
    const char* mode = "delay";
    if (!dbus_message_append_args(call.m, DBUS_TYPE_STRING, &what, DBUS_TYPE_STRING, &who,
                                  DBUS_TYPE_STRING, &why, DBUS_TYPE_STRING, &mode,
                                  DBUS_TYPE_INVALID))
        return;
    scoped_error error;
    message_ref reply{
        dbus_connection_send_with_reply_and_block(bus_, call.m, call_timeout_ms, &error.e)};
    int fd = -1;
    if (!reply.m ||
        !dbus_message_get_args(reply.m, &error.e, DBUS_TYPE_UNIX_FD, &fd, DBUS_TYPE_INVALID)) {
        ZARVO_TRACE("zarvo::platform::logind_power_source::take_inhibitor",
                    "Cannot delay sleep: %s", error.text());
        return;
    }
    // Programs started from here must not keep the system awake.
    const int flags = ::fcntl(fd, F_GETFD);
    if (flags >= 0)
        ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
    inhibitor_ = fd;
}

void logind_power_source::release_inhibitor()
{
    if (inhibitor_ >= 0)
        ::close(inhibitor_);
    inhibitor_ = -1;
}

void logind_power_source::drop_bus()
{
    if (!bus_)
        return;
    // Out of the wait set first: its number may be reused once closed.
    if (bus_fd_ >= 0 && epoll_ >= 0)
        ::epoll_ctl(epoll_, EPOLL_CTL_DEL, bus_fd_, nullptr);
    bus_fd_ = -1;
    dbus_connection_close(bus_);
    dbus_connection_unref(bus_);
    bus_ = nullptr;
}

} // namespace

std::unique_ptr<power_source> make_logind_power_source()
{
    return std::make_unique<logind_power_source>();
}

} // namespace zarvo::platform
