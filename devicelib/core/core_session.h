#pragma once

#include "devicelib/core/session.h"
#include "devicelib/core/types.h"

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <set>
#include <string>

namespace zarvo::core {

class interprocess_mutex;

// The live state of one device: its connections, the current one through
// which every device operation runs, and the device's cross-process lock.
//
// Lock order: device lock, then the operation mutex, then the cancel mutex.
// The operation mutex is held for the whole of a device operation; the cancel
// mutex alone guards the current connection for cancel and for the release of
// a session lock holder, which must never wait for a running transfer.
class session final : public zarvo::session {
public:
    // Opens the device lock; without it (opening failed) every operation that
    // needs it raises zarvo::insufficient_permissions.
    explicit session(std::uint64_t device_id);
    // Waits for nothing: the core deletes a session only after every client
    // operation and notification thread on it has ended.
    ~session() override;

    session(const session&) = delete;
    session& operator=(const session&) = delete;

    // Core entry points, called on the engine thread.
    bool add_connection(connection* connection, bool make_current);
    bool remove_connection(connection* connection);
    // Returns once the session is established; the wait is a Boost
    // interruption point wherever interruption is enabled.
    void wait_established();
    // The notification threads the core runs for this session; changed only
    // on the engine thread. The session never touches the threads.
    thread_set& threads() { return threads_; }

    // Raw device exchanges under the device operation frame; they return the
    // device's answer code.
    int query(int id, std::istream& parameters, std::iostream& result);
    int notify(int id, std::istream& parameters);

    // For zarvo::session_lock.
    interprocess_mutex* device_lock() const { return device_lock_.get(); }
    std::atomic<std::uint32_t>& lock_level() { return lock_level_; }
    boost::mutex& cancel_mutex() { return cancel_mutex_; }
    // The current connection; only with the cancel mutex held.
    connection* current_for_cancel() const { return current_; }

    connection* current_connection() override;
    bool select_connection(connection* connection) override;
    void connections(std::set<connection*>& out) override;
    int connection_count() override;
    void snapshot(connection_snapshot& out) override;
    bool added_connections(const std::set<connection*>& known, std::set<connection*>& out) override;
    bool removed_connections(const std::set<connection*>& known,
                             std::set<connection*>& out) override;
    std::string transport(connection* connection) override;
    bool has_connection(connection* connection) override;
    connection* find_connection(const std::string& transport) override;
    std::string family(connection* connection) override;
    connection::placement_type placement(connection* connection) override;
    std::uint64_t device_id() override;
    zarvo::disk_space disk_space() override;
    bool fetch(const std::string& path, std::set<zarvo::entry>& out) override;
    bool create(const std::string& directory) override;
    void read(const std::string& file, std::ostream& out) override;
    void write(const std::string& file, std::istream& in) override;
    void merge(const std::string& file, std::istream& in) override;
    bool remove(const std::string& path) override;
    void cancel() override;
    bool ready() override;
    void set_established() override;

private:
    template <typename Operation>
    auto device_operation(Operation&& operation);
    template <typename Ask>
    auto ask(connection* connection, Ask&& ask);
    // The current connection, or zarvo::session_expired; operation mutex held.
    connection* current();

    const std::uint64_t device_id_;
    thread_set threads_;
    std::set<connection*> connections_;
    connection* current_ = nullptr;
    boost::mutex operation_mutex_;
    std::unique_ptr<interprocess_mutex> device_lock_;
    // Read by session_lock observers while the holding thread changes it.
    std::atomic<std::uint32_t> lock_level_{0};
    boost::mutex cancel_mutex_;
    std::atomic<bool> established_{false};
    boost::condition_variable established_condition_;
};

} // namespace zarvo::core
