#pragma once

#include "devicelib/clock/clock.h"
#include "devicelib/core/connection.h"
#include "devicelib/export.h"
#include "devicelib/values/device_info.h"
#include "devicelib/values/disk_space.h"
#include "devicelib/values/path.h"

#include <cstdint>
#include <iosfwd>
#include <set>
#include <string>

namespace zarvo {

// One device as the client sees it. Sessions are created, owned and deleted
// by the core; clients get them by reference from their listener and may call
// any operation from any thread. Device operations are serialised per device
// across threads and processes: one that finds the device in use by another
// thread or program fails at once with zarvo::system_busy.
class ZARVO_EXPORT session {
public:
    // Connections are opaque handles: valid until the driver withdraws them.
    struct connection_snapshot {
        core::connection* current = nullptr;
        std::set<core::connection*> connections;
    };

    session() = default;
    session(const session&) {}
    session& operator=(const session&) { return *this; }
    virtual ~session();

    virtual core::connection* current_connection() = 0;
    // Changes nothing; always false.
    virtual bool select_connection(core::connection* connection) = 0;
    virtual void connections(std::set<core::connection*>& out) = 0;
    virtual int connection_count() = 0;
    virtual void snapshot(connection_snapshot& out) = 0;
    // out = the session's connections that are not in known.
    virtual bool added_connections(const std::set<core::connection*>& known,
                                   std::set<core::connection*>& out) = 0;
    // out = the connections of known that the session no longer has.
    virtual bool removed_connections(const std::set<core::connection*>& known,
                                     std::set<core::connection*>& out) = 0;
    virtual std::string transport(core::connection* connection) = 0;
    virtual bool has_connection(core::connection* connection) = 0;
    virtual core::connection* find_connection(const std::string& transport) = 0;
    virtual std::string family(core::connection* connection) = 0;
    virtual core::connection::placement_type placement(core::connection* connection) = 0;
    virtual std::uint64_t device_id() = 0;
    virtual zarvo::disk_space disk_space() = 0;
    virtual bool fetch(const std::string& path, std::set<zarvo::entry>& out) = 0;
    virtual bool create(const std::string& directory) = 0;
    virtual void read(const std::string& file, std::ostream& out) = 0;
    virtual void write(const std::string& file, std::istream& in) = 0;
    virtual void merge(const std::string& file, std::istream& in) = 0;
    virtual bool remove(const std::string& path) = 0;
    // Asks the current connection to abandon its running transfer; never waits.
    virtual void cancel() = 0;
    virtual bool ready() = 0;
    virtual void set_established() = 0;

    // Device commands over the file operations above and the core session's
    // queries and notifications. Those built on queries or notifications, and
    // user_id, need a session of this library: on any other they raise
    // zarvo::invalid_function. A device answering "busy, ask again" is asked
    // again for a while; then zarvo::try_again.

    // The device information file.
    zarvo::device_info info() const;
    // The current user of the user database, and setting it: a user the
    // device does not know gives zarvo::no_such_user.
    unsigned current_user() const;
    void current_user(unsigned user);
    // A user's master id; zarvo::no_such_user for a user without files,
    // zarvo::prerequisite_not_met when none is stored.
    std::uint64_t master_id(unsigned user) const;
    // The numbers of the user directories.
    std::set<unsigned> users() const;
    // The first user, in listing order, whose master id is master_id. Holds
    // the device for the whole scan.
    unsigned user_id(std::uint64_t master_id) const;
    // Stores a user's master id and password (at most 16 bytes).
    void update_credentials(unsigned user, std::uint64_t master_id, const std::string& password);
    // The device's token over exactly 16 nonce bytes.
    std::string generate_challenge_token(unsigned user, const unsigned char* nonce) const;
    void start_sync();
    // The description goes only with an incomplete sync.
    void stop_sync(bool completed, const char* description);
    void stop_sync();
    void stop_sync(bool completed);
    // Completed when no description is given.
    void stop_sync(const char* description);
    void reset(bool sleep, bool do_factory_defaults);
    void enable_adb(bool enable);
    int battery_status();
    bool inactivity_status();
    zarvo::disk_space cleanup_disk(std::uint64_t required_bytes);
    // Asks the parent's listing; the root is a directory without asking.
    zarvo::entry::type_t entry_type(const std::string& path);
    bool is_file(const std::string& path);
    bool is_directory(const std::string& path);
    void root(std::set<zarvo::entry>& out);

    // The device's clocks: the system clock in universal time, with whether
    // a trusted source set it, and the user's clock in local time, with or
    // without a time-zone offset. Reading asks again for a while while the
    // device answers 1 or 2, then zarvo::try_again; a clock the device
    // reports outside the messages' limits gives zarvo::bad_response. A value
    // the messages cannot carry gives zarvo::invalid_parameter ("time") and
    // sends nothing.
    zarvo::universal_time system_time() const;
    void system_time(const zarvo::universal_time& value);
    zarvo::local_time user_time() const;
    void user_time(const zarvo::local_time& value);

    std::int64_t timestamp() const;
};

} // namespace zarvo
