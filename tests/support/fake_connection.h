#pragma once

#include "devicelib/core/connection.h"
#include "tests/support/latch.h"

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace zarvo::test {

enum class connection_op {
    transport,
    family,
    disk_space,
    fetch,
    create,
    read,
    write,
    merge,
    remove,
    cancel,
    reset_cancel,
    query,
    notify,
    readiness,
    withdrawn,
};

struct connection_call {
    connection_op op;
    std::string path;  // file operations
    std::string bytes; // read from or written to the caller's stream
    int id = -1;       // query or notification id
    std::thread::id thread;
};

// One scripted answer of a fake_connection operation. `before` runs first
// (it may block or throw); the results that apply to the operation follow.
struct connection_action {
    std::function<void()> before;
    std::optional<bool> answer;                    // fetch, create, remove
    std::optional<int> code;                       // query, notify
    std::optional<std::string> bytes;              // read, query
    std::optional<std::set<zarvo::entry>> listing; // fetch
    std::optional<zarvo::disk_space> space;        // disk_space

    static connection_action returns(bool value);
    static connection_action returns_code(int value);
    static connection_action returns_bytes(std::string value);
    static connection_action returns_listing(std::set<zarvo::entry> value);
    static connection_action returns_space(zarvo::disk_space value);
    static connection_action blocks_on(const latch& l);
    static connection_action runs(std::function<void()> f);
    template <typename Error>
    static connection_action throws(Error error)
    {
        return runs([error] { throw error; });
    }
};

// Outlives its connection: counts withdrawn() and the destruction, with the
// threads they ran on.
struct connection_probe {
    std::atomic<int> withdrawn{0};
    std::atomic<int> destroyed{0};
    std::mutex mutex;
    std::vector<std::thread::id> withdrawn_on;
    std::vector<std::thread::id> destroyed_on;
};

// A connection that records every call and answers from per-operation
// scripts; with nothing scripted it succeeds with empty results. placement
// keeps the base behaviour.
class fake_connection : public zarvo::core::connection {
public:
    explicit fake_connection(std::shared_ptr<connection_probe> probe = {});
    ~fake_connection() override;

    // Queues an answer for the next call of op.
    void script(connection_op op, connection_action action);
    void set_transport(std::string name, bool answer = true);
    void set_family(std::string name, bool answer = true);
    void set_readiness(int value);

    std::vector<connection_call> calls() const;
    bool cancel_requested() const { return cancelled_; }

    bool transport(std::string& name) override;
    bool family(std::string& name) override;
    zarvo::disk_space disk_space() override;
    bool fetch(const boost::filesystem::path& directory, std::set<zarvo::entry>& entries) override;
    bool create(const boost::filesystem::path& directory) override;
    void read(const boost::filesystem::path& file, std::ostream& content) override;
    void write(const boost::filesystem::path& file, std::istream& content) override;
    void merge(const boost::filesystem::path& file, std::istream& content) override;
    bool remove(const boost::filesystem::path& p) override;
    void cancel() override;
    void reset_cancel() override;
    int query(int id, std::istream& parameters, std::ostream& result) override;
    int notify(int id, std::istream& parameters) override;
    int readiness() override;
    void withdrawn() override;

private:
    // Takes op's next scripted action and runs its `before` outside the lock.
    connection_action next(connection_op op);
    // Returns the call's index, for results known only afterwards.
    std::size_t record(connection_call call);

    mutable std::mutex mutex_;
    std::vector<connection_call> calls_;
    std::map<connection_op, std::deque<connection_action>> scripts_;
    struct named_answer {
        std::string name;
        bool answer = true;
    };
    bool answer_name(connection_op op, const named_answer& configured, std::string& name);

    named_answer transport_{"TEST"};
    named_answer family_;
    int readiness_ = 0;
    std::atomic<bool> cancelled_{false};
    std::shared_ptr<connection_probe> probe_;
};

} // namespace zarvo::test
