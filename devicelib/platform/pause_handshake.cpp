#include "devicelib/platform/pause_handshake.h"

namespace zarvo::platform {

void pause_handshake::acquire()
{
    std::unique_lock<std::mutex> lock(mutex_);
    // The reader itself may exchange from inside a notification handler; it
    // is not reading then.
    if (state_ == state::ended || std::this_thread::get_id() == reader_)
        return;
    state_ = state::pause_requested;
    wake_.set();
    changed_.wait(lock, [this] { return state_ == state::paused || state_ == state::ended; });
}

void pause_handshake::release()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_ != state::paused)
        return;
    wake_.reset();
    state_ = state::running;
    changed_.notify_all();
}

void pause_handshake::start()
{
    std::lock_guard<std::mutex> lock(mutex_);
    wake_.reset();
    state_ = state::running;
}

void pause_handshake::bind_reader()
{
    std::lock_guard<std::mutex> lock(mutex_);
    reader_ = std::this_thread::get_id();
}

void pause_handshake::park()
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (state_ == state::pause_requested || state_ == state::paused) {
        if (state_ == state::pause_requested) {
            state_ = state::paused;
            changed_.notify_all();
        }
        changed_.wait(lock);
    }
}

void pause_handshake::end()
{
    std::lock_guard<std::mutex> lock(mutex_);
    state_ = state::ended;
    reader_ = {};
    changed_.notify_all();
}

} // namespace zarvo::platform
