#pragma once

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>

namespace zarvo::core {

// Serialises listener start and stop, and holds them back while the drivers
// are suspended. Unlike a mutex it may be closed on one thread and reopened on
// another, which a system resume needs.
class gate {
public:
    // One listener start or stop at a time; waits while the gate is closed.
    class passage {
    public:
        explicit passage(gate& g);
        ~passage();
        passage(const passage&) = delete;
        passage& operator=(const passage&) = delete;

    private:
        gate& gate_;
    };

    // Closes the gate for a suspend once the current passage is through.
    // Gives up with false when the last listener is being stopped (that stop
    // waits for the drivers, so waiting for it would never end) or when the
    // gate is already closed.
    bool close();
    // Opens the gate again; any thread may call it.
    void reopen();
    // Set while the last listener is being stopped.
    void mark_last_stopping(bool on);

    bool is_closed() const;
    // Whether a start or stop is through the gate now.
    bool is_busy() const;
    // How many starts or stops wait to pass, and how many closes wait for a
    // passage to end.
    unsigned passages_waiting() const;
    unsigned closes_waiting() const;

private:
    void enter();
    void leave();

    mutable boost::mutex mutex_;
    boost::condition_variable cond_;
    bool busy_ = false;
    bool closed_ = false;
    bool last_stopping_ = false;
    unsigned passages_waiting_ = 0;
    unsigned closes_waiting_ = 0;
};

} // namespace zarvo::core
