#pragma once

#include "devicelib/core/connection.h"
#include "devicelib/disk_space.h"
#include "devicelib/export.h"
#include "devicelib/path.h"

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

    std::int64_t timestamp() const;
};

} // namespace zarvo
