#pragma once

#include "devicelib/core/message.h"

#include <boost/thread/thread.hpp>

#include <cstdint>

namespace zarvo::core {

// Device events: per attached listener, a thread that waits until the session
// has been marked established and then delivers the callback. Ids without a
// session, or no listener, create nothing.
class device_idle : public message {
public:
    explicit device_idle(std::uint64_t id);
    void execute(engine& e, listener_map& listeners, session_map& sessions) override;

private:
    std::uint64_t id_;
};

class battery_status_change : public message {
public:
    battery_status_change(std::uint64_t id, int level);
    void execute(engine& e, listener_map& listeners, session_map& sessions) override;

private:
    std::uint64_t id_;
    int level_;
};

class sync_required : public message {
public:
    explicit sync_required(std::uint64_t id);
    void execute(engine& e, listener_map& listeners, session_map& sessions) override;

private:
    std::uint64_t id_;
};

// A notification thread ended on its own: it leaves its listener's and its
// session's thread sets and is joined and deleted. A thread that is not found
// has been moved to the disposer, which joins it.
class event_completed : public message {
public:
    explicit event_completed(boost::thread::id t);
    void execute(engine& e, listener_map& listeners, session_map& sessions) override;

private:
    boost::thread::id thread_;
};

} // namespace zarvo::core
