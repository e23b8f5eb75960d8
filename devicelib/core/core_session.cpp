#include "devicelib/core/core_session.h"

#include "devicelib/core/connection.h"
#include "devicelib/core/interprocess_mutex.h"
#include "devicelib/core/running_operations.h"
#include "devicelib/errors/errors.h"

#include <boost/filesystem/path.hpp>

#include <algorithm>
#include <iterator>
#include <stdexcept>

namespace zarvo::core {

namespace {

// The device path of a file operation: absolute, normalised. Relative text is
// refused although normalisation alone would make it absolute.
boost::filesystem::path device_path(const std::string& text, const char* argument)
{
    if (text.empty() || text.front() != '/')
        throw invalid_parameter(argument);
    std::string normalised = zarvo::path::normalize(text);
    if (normalised.empty() || normalised.front() != '/')
        throw invalid_parameter(argument);
    return boost::filesystem::path(normalised);
}

// Streams must leave failures to the connection, which tests their state as it
// transfers; a stream that would throw on its own is refused up front.
void check_stream(const std::ios& stream)
{
    if (stream.exceptions() != std::ios_base::goodbit)
        throw stream_failure();
}

// out = a without b; true when that is not empty.
bool difference(const std::set<connection*>& a, const std::set<connection*>& b,
                std::set<connection*>& out)
{
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::inserter(out, out.end()));
    return !out.empty();
}

// A name the connection fills in; no answer means the link is gone.
std::string name_from(connection& c, bool (connection::*fill)(std::string&))
{
    std::string name;
    if (!(c.*fill)(name))
        throw link_lost();
    return name;
}

} // namespace

session::session(std::uint64_t device_id)
    : device_id_(device_id)
    , device_lock_(create_interprocess_mutex(device_id))
{
}

session::~session() = default;

// The frame of every device operation: device lock (never waited for), then
// the operation mutex for the whole transfer. Whatever the connection throws
// passes unchanged; both are released in reverse order on every path. The
// operation counts as running throughout, so that a system sleep waits for it.
template <typename Operation>
auto session::device_operation(Operation&& operation)
{
    const running_operation running(*this);
    if (!device_lock_)
        throw insufficient_permissions();
    if (!device_lock_->try_lock())
        throw system_busy();
    struct release_level {
        interprocess_mutex& lock;
        ~release_level() { lock.unlock(); }
    } release{*device_lock_};
    boost::lock_guard<boost::mutex> guard(operation_mutex_);
    return operation();
}

template <typename Ask>
auto session::ask(connection* connection, Ask&& ask)
{
    if (!connection)
        throw session_expired();
    boost::lock_guard<boost::mutex> guard(operation_mutex_);
    if (connections_.empty())
        throw session_expired();
    if (connections_.count(connection) == 0)
        throw link_lost();
    return ask(*connection);
}

bool session::add_connection(connection* connection, bool make_current)
{
    boost::lock_guard<boost::mutex> guard(operation_mutex_);
    const bool becomes_current = connections_.empty() || make_current;
    boost::lock_guard<boost::mutex> cancel_guard(cancel_mutex_);
    auto inserted = connections_.insert(connection).first;
    if (becomes_current)
        current_ = *inserted;
    return connections_.size() == 1;
}

bool session::remove_connection(connection* connection)
{
    boost::lock_guard<boost::mutex> guard(operation_mutex_);
    auto found = connections_.find(connection);
    if (found == connections_.end())
        throw std::out_of_range("Connection does not belong to the session.");
    const bool was_current = current_ == connection;
    boost::lock_guard<boost::mutex> cancel_guard(cancel_mutex_);
    connections_.erase(found);
    if (was_current)
        current_ = connections_.empty() ? nullptr : *connections_.begin();
    return connections_.empty();
}

void session::wait_established()
{
    if (established_.load())
        return;
    boost::unique_lock<boost::mutex> guard(operation_mutex_);
    while (!established_.load())
        established_condition_.wait(guard);
}

void session::set_established()
{
    boost::lock_guard<boost::mutex> guard(operation_mutex_);
    established_condition_.notify_all();
    established_.exchange(true);
}

int session::query(int id, std::istream& parameters, std::iostream& result)
{
    return device_operation([&] { return current()->query(id, parameters, result); });
}

int session::notify(int id, std::istream& parameters)
{
    return device_operation([&] { return current()->notify(id, parameters); });
}

connection* session::current()
{
    if (!current_)
        throw session_expired();
    return current_;
}

connection* session::current_connection()
{
    boost::lock_guard<boost::mutex> guard(operation_mutex_);
    return current_;
}

bool session::select_connection(connection*)
{
    boost::lock_guard<boost::mutex> guard(operation_mutex_);
    boost::lock_guard<boost::mutex> cancel_guard(cancel_mutex_);
    return false;
}

void session::connections(std::set<connection*>& out)
{
    out.clear();
    boost::lock_guard<boost::mutex> guard(operation_mutex_);
    out = connections_;
}

int session::connection_count()
{
    boost::lock_guard<boost::mutex> guard(operation_mutex_);
    return static_cast<int>(connections_.size());
}

void session::snapshot(connection_snapshot& out)
{
    out.connections.clear();
    boost::lock_guard<boost::mutex> guard(operation_mutex_);
    out.current = current_;
    out.connections = connections_;
}

bool session::added_connections(const std::set<connection*>& known, std::set<connection*>& out)
{
    out.clear();
    boost::lock_guard<boost::mutex> guard(operation_mutex_);
    return difference(connections_, known, out);
}

bool session::removed_connections(const std::set<connection*>& known, std::set<connection*>& out)
{
    out.clear();
    boost::lock_guard<boost::mutex> guard(operation_mutex_);
    return difference(known, connections_, out);
}

std::string session::transport(connection* connection)
{
    return ask(connection,
               [](core::connection& c) { return name_from(c, &connection::transport); });
}

bool session::has_connection(connection* connection)
{
    boost::lock_guard<boost::mutex> guard(operation_mutex_);
    return connections_.count(connection) != 0;
}

connection* session::find_connection(const std::string& transport)
{
    boost::lock_guard<boost::mutex> guard(operation_mutex_);
    std::string name;
    for (connection* c : connections_) {
        if (c->transport(name) && name == transport)
            return c;
    }
    return nullptr;
}

std::string session::family(connection* connection)
{
    return ask(connection, [](core::connection& c) { return name_from(c, &connection::family); });
}

connection::placement_type session::placement(connection* connection)
{
    return ask(connection, [](core::connection& c) { return c.placement(); });
}

std::uint64_t session::device_id()
{
    return device_id_;
}

zarvo::disk_space session::disk_space()
{
    return device_operation([&] { return current()->disk_space(); });
}

bool session::fetch(const std::string& path, std::set<zarvo::entry>& out)
{
    const auto device = device_path(path, "path");
    return device_operation([&] {
        connection* c = current();
        out.clear();
        return c->fetch(device, out);
    });
}

bool session::create(const std::string& directory)
{
    const auto device = device_path(directory, "directory");
    return device_operation([&] { return current()->create(device); });
}

void session::read(const std::string& file, std::ostream& out)
{
    const auto device = device_path(file, "file");
    check_stream(out);
    device_operation([&] { current()->read(device, out); });
}

void session::write(const std::string& file, std::istream& in)
{
    const auto device = device_path(file, "file");
    check_stream(in);
    device_operation([&] { current()->write(device, in); });
}

void session::merge(const std::string& file, std::istream& in)
{
    const auto device = device_path(file, "file");
    check_stream(in);
    device_operation([&] { current()->merge(device, in); });
}

bool session::remove(const std::string& path)
{
    const auto device = device_path(path, "path");
    return device_operation([&] { return current()->remove(device); });
}

void session::cancel()
{
    boost::lock_guard<boost::mutex> guard(cancel_mutex_);
    if (current_)
        current_->cancel();
}

bool session::ready()
{
    return device_operation([&] {
        if (connections_.empty())
            throw session_expired();
        int readiness = 1;
        for (connection* c : connections_)
            readiness = std::min(readiness, c->readiness());
        if (readiness < 0)
            throw device_busy();
        return readiness > 0;
    });
}

} // namespace zarvo::core
