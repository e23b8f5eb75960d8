#pragma once

// Pauses a reader thread for the length of an exchange. The exchanging side
// requests a pause and waits until the reader has let go of the device; the
// reader notices the request through wake() beside its device poll. Once the
// reader has ended, or when none runs, both sides of the handshake return at
// once, so no exchange waits for a thread that is gone.

#include "devicelib/platform/event.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace zarvo::platform {

class pause_handshake {
public:
    // Exchanging side.
    void acquire();
    void release();

    // Reader side. start() before the reader thread runs, so that an
    // exchange right after it waits for the reader; bind_reader() first
    // thing on the reader thread; park() after its wait was woken by wake(),
    // returning once the exchange is over; end() when it ends for good.
    void start();
    void bind_reader();
    void park();
    void end();

    const event& wake() const { return wake_; }

private:
    enum class state { running, pause_requested, paused, ended };

    std::mutex mutex_;
    std::condition_variable changed_;
    state state_ = state::ended;
    std::thread::id reader_;
    event wake_;
};

} // namespace zarvo::platform
