#pragma once

#include "devicelib/core/session.h"

#include <set>
#include <string>

namespace zarvo::test {

// A zarvo::session that is not the library's own: every virtual operation
// does nothing and answers empty or false.
class foreign_session : public zarvo::session {
public:
    core::connection* current_connection() override { return nullptr; }
    bool select_connection(core::connection*) override { return false; }
    void connections(std::set<core::connection*>&) override {}
    int connection_count() override { return 0; }
    void snapshot(connection_snapshot&) override {}
    bool added_connections(const std::set<core::connection*>&,
                           std::set<core::connection*>&) override
    {
        return false;
    }
    bool removed_connections(const std::set<core::connection*>&,
                             std::set<core::connection*>&) override
    {
        return false;
    }
    std::string transport(core::connection*) override { return {}; }
    bool has_connection(core::connection*) override { return false; }
    core::connection* find_connection(const std::string&) override { return nullptr; }
    std::string family(core::connection*) override { return {}; }
    core::connection::placement_type placement(core::connection*) override { return 0; }
    std::uint64_t device_id() override { return 0; }
    zarvo::disk_space disk_space() override { return {}; }
    bool fetch(const std::string&, std::set<zarvo::entry>&) override { return false; }
    bool create(const std::string&) override { return false; }
    void read(const std::string&, std::ostream&) override {}
    void write(const std::string&, std::istream&) override {}
    void merge(const std::string&, std::istream&) override {}
    bool remove(const std::string&) override { return false; }
    void cancel() override {}
    bool ready() override { return false; }
    void set_established() override {}
};

} // namespace zarvo::test
