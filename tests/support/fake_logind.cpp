#include "tests/support/fake_logind.h"

#include "tests/support/latch.h"

#include <dbus/dbus.h>

#include <algorithm>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace zarvo::test {
namespace {

const char* const login_name = "org.freedesktop.login1";
const char* const login_path = "/org/freedesktop/login1";
const char* const login_manager = "org.freedesktop.login1.Manager";

struct scoped_error {
    DBusError e;
    scoped_error() { dbus_error_init(&e); }
    ~scoped_error() { dbus_error_free(&e); }
    std::string text() const { return dbus_error_is_set(&e) ? e.message : "unknown error"; }
};

// A private, registered connection to the bus at address.
DBusConnection* connect(const std::string& address)
{
    dbus_threads_init_default();
    scoped_error error;
    DBusConnection* c = dbus_connection_open_private(address.c_str(), &error.e);
    if (!c)
        throw std::runtime_error("cannot reach the test bus: " + error.text());
    dbus_connection_set_exit_on_disconnect(c, FALSE);
    if (!dbus_bus_register(c, &error.e)) {
        dbus_connection_close(c);
        dbus_connection_unref(c);
        throw std::runtime_error("cannot register on the test bus: " + error.text());
    }
    return c;
}

void disconnect(DBusConnection* c)
{
    dbus_connection_close(c);
    dbus_connection_unref(c);
}

DBusMessage* sleep_signal(bool before)
{
    DBusMessage* m = dbus_message_new_signal(login_path, login_manager, "PrepareForSleep");
    dbus_bool_t value = before;
    dbus_message_append_args(m, DBUS_TYPE_BOOLEAN, &value, DBUS_TYPE_INVALID);
    return m;
}

} // namespace

fake_logind::fake_logind(const std::string& address)
    : bus_(connect(address))
{
    unique_name_ = dbus_bus_get_unique_name(bus_);
    scoped_error error;
    if (dbus_bus_request_name(bus_, login_name, DBUS_NAME_FLAG_DO_NOT_QUEUE, &error.e) !=
        DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER) {
        disconnect(bus_);
        throw std::runtime_error("cannot own logind's name: " + error.text());
    }
    dbus_connection_get_unix_fd(bus_, &bus_fd_);
    thread_ = std::thread([this] { run(); });
}

fake_logind::~fake_logind()
{
    stop_.set();
    thread_.join();
    disconnect(bus_);
    for (int fd : watched_)
        ::close(fd);
}

void fake_logind::on_thread(std::function<void()> f)
{
    std::packaged_task<void()> task(std::move(f));
    auto done = task.get_future();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    requests_.set();
    done.get();
}

void fake_logind::prepare_for_sleep(bool before)
{
    on_thread([this, before] {
        DBusMessage* m = sleep_signal(before);
        dbus_connection_send(bus_, m, nullptr);
        dbus_connection_flush(bus_);
        dbus_message_unref(m);
    });
}

void fake_logind::release_name()
{
    on_thread([this] {
        scoped_error error;
        dbus_bus_release_name(bus_, login_name, &error.e);
    });
}

void fake_logind::own_name()
{
    on_thread([this] {
        scoped_error error;
        dbus_bus_request_name(bus_, login_name, DBUS_NAME_FLAG_DO_NOT_QUEUE, &error.e);
    });
}

void fake_logind::set_refuse(bool refuse)
{
    std::lock_guard<std::mutex> lock(mutex_);
    refuse_ = refuse;
}

std::vector<inhibit_call> fake_logind::calls() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

int fake_logind::inhibit_calls() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(calls_.size());
}

int fake_logind::locks_held() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    int held = 0;
    for (int fd : watched_) {
        pollfd p{fd, 0, 0};
        if (::poll(&p, 1, 0) == 0)
            ++held;
    }
    return held;
}

int fake_logind::locks_held(const std::string& mode) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    int held = 0;
    for (int fd : watched_) {
        pollfd p{fd, 0, 0};
        if (modes_.at(fd) == mode && ::poll(&p, 1, 0) == 0)
            ++held;
    }
    return held;
}

std::vector<std::chrono::steady_clock::time_point> fake_logind::releases() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return releases_;
}

template <typename Predicate>
bool fake_logind::wait(Predicate p) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (changed_.wait_for(lock, latch::default_limit, p))
        return true;
    ADD_FAILURE() << "fake logind: condition not reached";
    return false;
}

bool fake_logind::wait_calls(int n) const
{
    return wait([&] { return static_cast<int>(calls_.size()) >= n; });
}

bool fake_logind::wait_releases(int n) const
{
    return wait([&] { return static_cast<int>(releases_.size()) >= n; });
}

void fake_logind::run()
{
    for (;;) {
        std::vector<pollfd> fds{{stop_.fd(), POLLIN, 0}, {requests_.fd(), POLLIN, 0}};
        if (bus_fd_ >= 0)
            fds.push_back({bus_fd_, POLLIN, 0});
        const std::size_t first_lock = fds.size();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (int fd : watched_)
                fds.push_back({fd, 0, 0}); // hang-up is always reported
        }
        if (::poll(fds.data(), fds.size(), -1) < 0)
            continue;
        if (fds[0].revents)
            return;
        if (fds[1].revents) {
            requests_.reset();
            std::deque<std::packaged_task<void()>> tasks;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                tasks.swap(tasks_);
            }
            for (auto& t : tasks)
                t();
        }
        // A blocking call of a task leaves what arrived meanwhile in the
        // connection's queue, with nothing left on the socket to wake for.
        if (bus_fd_ >= 0 && (fds[2].revents || fds[1].revents)) {
            const bool connected = dbus_connection_read_write(bus_, 0);
            while (DBusMessage* m = dbus_connection_pop_message(bus_)) {
                handle(m);
                dbus_message_unref(m);
            }
            // The bus went away: only the locks are watched from now on.
            if (!connected || !dbus_connection_get_is_connected(bus_))
                bus_fd_ = -1;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        for (std::size_t i = first_lock; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            ::close(fds[i].fd);
            watched_.erase(std::find(watched_.begin(), watched_.end(), fds[i].fd));
            releases_.push_back(std::chrono::steady_clock::now());
            changed_.notify_all();
        }
    }
}

void fake_logind::handle(DBusMessage* m)
{
    if (dbus_message_get_type(m) != DBUS_MESSAGE_TYPE_METHOD_CALL)
        return;
    if (dbus_message_is_method_call(m, login_manager, "Inhibit") &&
        dbus_message_has_path(m, login_path)) {
        answer_inhibit(m);
        return;
    }
    DBusMessage* reply =
        dbus_message_new_error(m, DBUS_ERROR_UNKNOWN_METHOD, "Not played by the fake.");
    dbus_connection_send(bus_, reply, nullptr);
    dbus_message_unref(reply);
}

void fake_logind::answer_inhibit(DBusMessage* m)
{
    inhibit_call call;
    const char* what = "";
    const char* who = "";
    const char* why = "";
    const char* mode = "";
    scoped_error error;
    dbus_message_get_args(m, &error.e, DBUS_TYPE_STRING, &what, DBUS_TYPE_STRING, &who,
                          DBUS_TYPE_STRING, &why, DBUS_TYPE_STRING, &mode, DBUS_TYPE_INVALID);
    call.what = what;
    call.who = who;
    call.why = why;
    call.mode = mode;
    call.caller = dbus_message_get_sender(m) ? dbus_message_get_sender(m) : "";
    bool refuse;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        refuse = refuse_;
    }

    DBusMessage* reply = nullptr;
    int ends[2] = {-1, -1};
    if (refuse || dbus_error_is_set(&error.e) || ::pipe2(ends, O_CLOEXEC) != 0) {
        reply = dbus_message_new_error(m, DBUS_ERROR_ACCESS_DENIED, "Refused by the test.");
    } else {
        reply = dbus_message_new_method_return(m);
        dbus_message_append_args(reply, DBUS_TYPE_UNIX_FD, &ends[1], DBUS_TYPE_INVALID);
        ::close(ends[1]); // the message holds a copy until it is sent
    }
    {
        // Recorded before the answer leaves: a caller that has its answer
        // finds the call counted.
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(call);
        if (ends[0] >= 0) {
            watched_.push_back(ends[0]);
            modes_[ends[0]] = call.mode;
        }
        changed_.notify_all();
    }
    dbus_connection_send(bus_, reply, nullptr);
    dbus_connection_flush(bus_);
    dbus_message_unref(reply);
}

void send_forged_prepare_for_sleep(const std::string& address, const std::string& destination,
                                   bool before)
{
    DBusConnection* c = connect(address);
    DBusMessage* to_all = sleep_signal(before);
    dbus_connection_send(c, to_all, nullptr);
    dbus_message_unref(to_all);
    DBusMessage* direct = sleep_signal(before);
    dbus_message_set_destination(direct, destination.c_str());
    dbus_connection_send(c, direct, nullptr);
    dbus_message_unref(direct);
    dbus_connection_flush(c);
    disconnect(c);
}

} // namespace zarvo::test
