#pragma once

#include "devicelib/export.h"
#include "devicelib/values/disk_space.h"
#include "devicelib/values/path.h"

#include <boost/filesystem/path.hpp>

#include <cstdint>
#include <istream>
#include <ostream>
#include <set>
#include <string>

namespace zarvo::core {

// One transport to one device, created by a driver and owned by the core
// from its publication until it is withdrawn. Sessions call it from client
// threads under their locks; cancel may come from another thread while an
// operation runs. Paths are absolute, normalised device paths; on Linux a
// boost::filesystem::path is narrow, so the caller's bytes reach the device
// unchanged.
class ZARVO_EXPORT connection {
public:
    // The device's placement; no connection of this system knows it.
    using placement_type = std::uint64_t;

    virtual ~connection();

    // Fill the transport's name ("HID", "TCP"); true when filled.
    virtual bool transport(std::string& name) = 0;
    // Fill the device family's name, possibly empty; true when filled.
    virtual bool family(std::string& name) = 0;
    virtual zarvo::disk_space disk_space() = 0;
    // Lists a directory into entries; true when listed.
    virtual bool fetch(const boost::filesystem::path& directory,
                       std::set<zarvo::entry>& entries) = 0;
    // True when the directory was created.
    virtual bool create(const boost::filesystem::path& directory) = 0;
    virtual void read(const boost::filesystem::path& file, std::ostream& content) = 0;
    virtual void write(const boost::filesystem::path& file, std::istream& content) = 0;
    // Sends a serialised message that the device merges into the stored one.
    virtual void merge(const boost::filesystem::path& file, std::istream& content) = 0;
    // True when removed.
    virtual bool remove(const boost::filesystem::path& p) = 0;
    // Makes the running or next transfer end with operation_canceled, until
    // reset_cancel. Returns at once.
    virtual void cancel() = 0;
    virtual void reset_cancel() = 0;
    // One query: the device's answer code (0 success), its payload into
    // result.
    virtual int query(int id, std::istream& parameters, std::ostream& result) = 0;
    // One host-to-device notification: the device's answer code.
    virtual int notify(int id, std::istream& parameters) = 0;
    // Below zero busy, zero not ready, above zero ready.
    virtual int readiness() = 0;
    // The last notice before the core deletes the connection.
    virtual void withdrawn() = 0;
    // Throws zarvo::not_implemented unless a connection knows better.
    virtual placement_type placement();
};

} // namespace zarvo::core
