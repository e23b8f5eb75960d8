#pragma once

// Where the power driver learns that the system is about to sleep or has
// woken up, and how it keeps the system awake meanwhile. The default source
// is logind on the system bus; a process may install another one (tests do)
// before the first listener starts. The source is chosen again at every
// start of the driver.

#include <functional>
#include <memory>

namespace zarvo::platform {

// The system's power notices, as the driver handles them.
enum power_event : unsigned {
    // May the system sleep? Only granted.
    power_query_suspend = 0,
    // The system is about to sleep.
    power_suspend = 4,
    // The system woke up on its own.
    power_resume_automatic = 18,
};

// Receives a source's notices on the driver's event thread.
class power_events {
public:
    virtual ~power_events();
    // Returns whether the notice was handled.
    virtual bool power_broadcast(unsigned code) = 0;
};

// Keeps the system awake until destroyed.
class awake_guard {
public:
    explicit awake_guard(std::function<void()> release);
    ~awake_guard();
    awake_guard(const awake_guard&) = delete;
    awake_guard& operator=(const awake_guard&) = delete;

private:
    std::function<void()> release_;
};

// Life: open() -> the event thread waits on its descriptor and calls
// dispatch() whenever it is readable -> the event thread ends -> close(),
// and again. dispatch() and keep_awake() run on the event thread only.
class power_source {
public:
    virtual ~power_source();

    // Sets up for one run of the driver. Returns the descriptor the event
    // thread waits on, which stays valid until close(); negative when no
    // notice will ever come. What arrived during set-up leaves it readable. Failures are traced, never thrown: the source
    // is then idle.
    virtual int open(power_events& events) = 0;
    // Hands every waiting notice to the events given to open(), without
    // waiting for more.
    virtual void dispatch() = 0;
    // Keeps the system awake until the guard is destroyed; null when that
    // cannot be done.
    virtual std::unique_ptr<awake_guard> keep_awake() = 0;
    // Releases what open() set up; the event thread has ended.
    virtual void close() = 0;
};

// logind over the system bus (DBUS_SYSTEM_BUS_ADDRESS when set).
std::unique_ptr<power_source> make_logind_power_source();
// Never sends a notice: the driver stays idle.
std::unique_ptr<power_source> make_no_power_source();

// The source the driver uses from its next start on; null returns to the
// default (logind). Any thread; read at each start.
void install_power_source(std::shared_ptr<power_source> source);
// The installed source, else a new logind source.
std::shared_ptr<power_source> choose_power_source();

} // namespace zarvo::platform
